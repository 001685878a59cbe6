#include "commands/DocumentCommands.h"

#include <algorithm>

#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "undo/UndoBuffers.h"

// ---------------------------------------------------------------- environment

int ClampTableSize(int n) { return std::clamp(n, kMinTableSize, kMaxTableSize); }

TEnvironmentKind EnvironmentKindOf(const std::string& name) {
  if (name == "tabular") return ekTabular;
  if (name == "array") return ekArray;
  return ekCustom;
}

std::string EnvironmentName(TEnvironmentKind kind, const std::string& customName) {
  switch (kind) {
    case ekTabular:
      return "tabular";
    case ekArray:
      return "array";
    case ekCustom:
      break;
  }
  return customName;
}

std::vector<std::string> EnvironmentPreview(const std::string& name, const std::string& options) {
  return {"\\begin{" + name + "}" + options + "{cols}", "...", "\\end{" + name + "}"};
}

bool NewTable(int rows, int cols, const std::string& environment, const std::string& options) {
  const std::string oldFileName = CurrentTable->FileName;
  const std::string oldTitle = CurrentTable->Title;
  try {
    if (!NewDocument(ClampTableSize(rows), ClampTableSize(cols))) return false;
    CurrentTable->Environment = environment;
    CurrentTable->EnvOptions = options;
    RecordUndo("New Table");
  } catch (...) {
    // The history's current state is still the old document: put it back,
    // so that a half-built table never stands in for it unrecorded.
    if (const TUndoEntry* current = UndoBuffer->EntryAt(UndoBuffer->Position())) {
      CurrentTable->CurrentCell = nullptr;
      current->RestoreTo(*CurrentTable);
      CurrentTable->FileName = oldFileName;
      CurrentTable->Title = oldTitle;
      UpdateCaption();
    }
    throw;
  }
  MarkSaved();
  return true;
}

TCommandResult ChangeEnvironment(TTable& table, const std::string& environment, const std::string& options) {
  table.Environment = environment;
  table.EnvOptions = options;
  TCommandResult r;
  r.Caption = "Change Environment";
  return r;
}

// ---------------------------------------------------------------- row prefix and postfix

bool RowPrefixEnabled(const TSelection& selection) { return !selection.Empty() && selection.Columns.empty(); }

TRowPrefixPostfix CommonRowPrefixPostfix(const TTable& table, const TCellRect& bounds) {
  if (bounds.Right < 0 || bounds.Top < 0 || bounds.Top >= table.RowCount()) return {};
  const int bottom = std::min(bounds.Bottom, table.RowCount() - 1);
  TRowPrefixPostfix common{table.Rows[bounds.Top]->Prefix, table.Rows[bounds.Top]->Postfix};
  bool prefixes = true;
  bool postfixes = true;
  for (int r = bounds.Top + 1; r <= bottom && (prefixes || postfixes); ++r) {
    const TRow& row = *table.Rows[r];
    prefixes = prefixes && row.Prefix == common.Prefix;
    postfixes = postfixes && row.Postfix == common.Postfix;
  }
  if (!prefixes) common.Prefix.clear();
  if (!postfixes) common.Postfix.clear();
  return common;
}

TCommandResult SetRowPrefixPostfix(TTable& table, const TCellRect& bounds, const TRowPrefixPostfix& typed) {
  if (bounds.Right < 0 || bounds.Top < 0 || bounds.Top >= table.RowCount()) return {};
  const TRowPrefixPostfix shown = CommonRowPrefixPostfix(table, bounds);
  // The text box gave back what it showed, in its own line breaks: compare
  // the texts, not the way their lines happen to be ended.
  const TRowPrefixPostfix text{WithCrLf(typed.Prefix), WithCrLf(typed.Postfix)};
  if (text.Prefix == WithCrLf(shown.Prefix) && text.Postfix == WithCrLf(shown.Postfix)) return {};
  const int bottom = std::min(bounds.Bottom, table.RowCount() - 1);
  for (int r = bounds.Top; r <= bottom; ++r) {
    TRow& row = *table.Rows[r];
    row.Prefix = text.Prefix;
    row.Postfix = text.Postfix;
  }
  TCommandResult r;
  r.Caption = "Row prefix/postfix";
  return r;
}

namespace {

std::string WithLineBreak(const std::string& text, const char* lineBreak) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += lineBreak;
    } else if (text[i] == '\n') {
      out += lineBreak;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string WithCrLf(const std::string& text) { return WithLineBreak(text, "\r\n"); }
std::string WithLf(const std::string& text) { return WithLineBreak(text, "\n"); }

// ---------------------------------------------------------------- Paste LaTeX Code

TCommandResult PasteLatexCode(TTable& table, std::string_view text) {
  TTable scratch;
  if (!ReadLatexTableOf(scratch, text, "the clipboard")) return {};
  table.CurrentCell = nullptr;
  table.TakeContent(scratch);
  table.ClearSelection();
  TCommandResult r;
  r.Caption = "Paste LaTeX code";
  r.Current = ccNone;
  return r;
}
