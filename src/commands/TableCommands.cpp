#include "commands/TableCommands.h"

#include "document/SLists.h"
#include "model/TableEdit.h"

namespace {

TCommandResult Step(const char* caption) {
  TCommandResult r;
  r.Caption = caption;
  return r;
}

// The first column of a table whose rows have no cells yet: one single cell
// per row, so that every row covers the one column.
void AddFirstColumn(TTable& table) {
  new TColumn(table);
  for (TRow* row : table.Rows) new TCell(*row);
}

}  // namespace

// ---------------------------------------------------------------- insert

TCommandResult InsertRowCol(TTable& table, int kind) {
  if (kind < ikRowAbove || kind > ikColumnAfter) return {};
  const TSelection s = ReadSelection(table);
  const TCellRect r = s.Empty() ? TCellRect{0, 0, table.ColCount() - 1, table.RowCount() - 1} : s.Bounds;
  if (kind == ikRowAbove || kind == ikRowBelow) {
    // The model copies a reference row; without one the new row is the
    // first, of single cells.
    if (table.RowCount() == 0) table.AddRow();
    else table.InsertRow(kind == ikRowAbove ? r.Top : r.Bottom, kind == ikRowBelow);
    return Step("Insert Row");
  }
  if (table.ColCount() == 0) AddFirstColumn(table);
  else table.InsertColumn(kind == ikColumnBefore ? r.Left : r.Right, kind == ikColumnAfter);
  return Step("Insert Column");
}

// ---------------------------------------------------------------- delete and cut

TCommandResult DeleteSelection(TTable& table, TDeleteMode mode, bool cut) {
  switch (mode) {
    case dmDeleteContents: {
      for (TCell* c : table.GetSelectedCells()) c->SetText(std::string());
      return Step(cut ? "Cut cell contents" : "Delete cell contents");
    }
    case dmDeleteColumns:
    case dmDeleteRows: {
      const bool columns = mode == dmDeleteColumns;
      const TArrayOfInteger picked = columns ? table.GetSelectedColumns() : table.GetSelectedRows();
      const int count = columns ? table.ColCount() : table.RowCount();
      if (picked.empty() || static_cast<int>(picked.size()) >= count) return {};
      // The current cell may be among the removed ones; the command ends it
      // anyway, so it ends before anything is freed.
      table.CurrentCell = nullptr;
      // From the highest index down, so the lower indices stay valid.
      for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
        if (columns) table.DeleteColumn(*it);
        else table.DeleteRow(*it);
      }
      const bool one = picked.size() == 1;
      TCommandResult r;
      if (columns) r.Caption = cut ? (one ? "Cut column" : "Cut columns") : (one ? "Delete column" : "Delete columns");
      else r.Caption = cut ? (one ? "Cut row" : "Cut rows") : (one ? "Delete row" : "Delete rows");
      r.Current = ccNone;
      return r;
    }
    case dmDeleteNone:
      break;
  }
  return {};
}

// ---------------------------------------------------------------- join and split

TCommandResult JoinOrSplit(TTable& table) {
  const TArrayOfCells cells = table.GetSelectedCells();
  if (TCell* one = SelectedBlock(cells)) {
    if (one->RowSpan > 1) SplitBlock(*one);
    else if (one->Span > 1) SplitCell(*one);
    else return {};
    return Step("Split");
  }
  if (!CellsJoinable(cells)) return {};

  std::string text;
  for (const TCell* c : cells)
    if (text.empty()) text = c->Text();
  TCell* joined = cells.front();
  if (CellsInOneRow(cells)) {
    // Within one row the joined cell keeps its own rules.
    int span = 0;
    for (const TCell* c : cells) span += c->Span;
    TRow& row = *joined->Row();
    const int first = joined->Index();
    for (size_t k = 1; k < cells.size(); ++k) {
      if (table.CurrentCell == cells[k]) table.CurrentCell = nullptr;
      row.Delete(first + 1);
    }
    joined->Span = span;
  } else {
    const TCell& last = *cells.back();
    joined = JoinCells(table, {joined->ColIndex(), joined->RowIndex(), last.ColIndex() + last.Span - 1, last.RowIndex()});
  }
  joined->SetText(std::move(text));
  joined->Align = 'c';

  table.ClearSelection();
  table.SelectCell(joined);
  TCommandResult r = Step("Join");
  r.Current = ccCell;
  r.Cell = joined;
  return r;
}

// ---------------------------------------------------------------- rules and borders

namespace {
constexpr uint8_t kRuleOn = 255;
constexpr uint8_t kRuleOff = 0;
}  // namespace

TCommandResult ApplyRulePattern(TTable& table, int pattern) {
  const TSelection s = ReadSelection(table);
  if (s.Empty()) return {};
  if (pattern == rbNone) table.SetRules(s.Bounds, rbAll, kRuleOff);
  else if (RulePatternPresent(SelectionRuleFlags(table, s.Bounds), pattern)) table.SetRules(s.Bounds, pattern, kRuleOff);
  else table.SetRules(s.Bounds, pattern, kRuleOn);
  return Step("Rules");
}

TCommandResult ApplyBorders(TTable& table, int mask) {
  const TSelection s = ReadSelection(table);
  if (s.Empty()) return {};
  table.SetRules(s.Bounds, rbAll, kRuleOff);
  table.SetRules(s.Bounds, mask, kRuleOn);
  return Step("Borders");
}

// ---------------------------------------------------------------- alignment and formats

bool AlignsColumns(const TTable& table) { return table.SelectionMode == smColumns; }

TCommandResult AlignCells(TTable& table, char align) {
  const TCellRect r = table.GetSelectionRect();
  bool changed = false;
  for (int i = r.Top; i <= r.Bottom; ++i) {
    int s = 0;
    for (TCell* c : *table.Rows[i]) {
      const int e = s + c->Span - 1;
      // A joined cell keeps its letter: its \multicolumn needs one. A
      // block's alignment is its top cell's.
      if (s >= r.Left && e <= r.Right && (c->Span == 1 || align != 0) && !c->Covered() && c->Align != align) {
        c->Align = align;
        changed = true;
      }
      s = e + 1;
    }
  }
  return changed ? Step("Align") : TCommandResult{};
}

char CellAlignFor(TAlignButton button, bool nowChecked) {
  if (!nowChecked) return 0;
  switch (button) {
    case abLeft: return 'l';
    case abCenter: return 'c';
    case abRight: return 'r';
    default: return 0;
  }
}

TCommandResult SetColumnFormat(TTable& table, const std::string& format, TSList& recentFormats) {
  if (format.empty()) return {};
  bool changed = false;
  for (int i : table.GetSelectedColumns()) {
    TColumn& column = *table.Columns[i];
    if (column.Format != format) {
      column.Format = format;
      changed = true;
    }
  }
  if (format != "l" && format != "c" && format != "r") recentFormats.AddToTop(format);
  return changed ? Step("Align") : TCommandResult{};
}

std::string ColumnFormatFor(TAlignButton button) {
  switch (button) {
    case abLeft: return "l";
    case abCenter: return "c";
    case abRight: return "r";
    default: return {};
  }
}

std::string RecentFormatAt(const TSList& recentFormats, int k) {
  if (k < 1 || k > recentFormats.Count()) return {};
  return recentFormats[k - 1];
}
