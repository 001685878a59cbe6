#include "document/DocumentFiles.h"

#include <sys/stat.h>

#include <filesystem>

#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/TextLines.h"

namespace {

// Preview lines are cut to this many bytes for display.
constexpr size_t kPreviewLineBytes = 1000;

size_t NameStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot within the name part, or npos.
size_t ExtStart(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot < NameStart(path) ? std::string::npos : dot;
}

}  // namespace

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = ExtStart(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string FileTitle(const std::string& path) {
  const size_t start = NameStart(path);
  const size_t dot = ExtStart(path);
  return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string AbsoluteFileName(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) return path;
  std::filesystem::path clean;
  for (const std::filesystem::path& part : absolute)
    if (part != "." && !part.empty()) clean /= part;
  // A name that ends in a separator names no file; it keeps its separator.
  std::string text = clean.string();
  if (path.back() == '/' && text.back() != '/') text += '/';
  return text;
}

TFileFormat FormatOfFile(const std::string& path) {
  const std::string ext = ExtractFileExt(path);
  if (ext == ".csv") return TFileFormat::Csv;
  if (ext == ".txt") return TFileFormat::Tab;
  return TFileFormat::Native;
}

bool TextFormatLoses(const TTable& table) {
  if (table.Environment != "tabular" || !table.EnvOptions.empty()) return true;
  for (const TColumn* column : table.Columns)
    if (column->Format != "l") return true;
  for (const TRow* row : table.Rows) {
    if (!row->Prefix.empty() || !row->Postfix.empty()) return true;
    for (const TCell* c : *row)
      if (c->Span != 1 || c->Align != 0 || c->RuleLeft || c->RuleTop || c->RuleRight || c->RuleBottom) return true;
  }
  return false;
}

void WriteDocumentFile(const TTable& table, const std::string& path) {
  switch (FormatOfFile(path)) {
    case TFileFormat::Csv:
      table.ExportText(path, ',');
      break;
    case TFileFormat::Tab:
      table.ExportText(path, '\t');
      break;
    case TFileFormat::Native:
      SaveTableFile(table, path);
      break;
  }
}

void ReadNativeFile(TTable& table, const std::string& path) { LoadTableFile(table, path); }

TTextPreview ReadTextPreview(const std::string& path, int maxLines, size_t maxBytes) {
  TTextPreview preview;
  TFileStream file(path, TFileStream::fmOpenRead);
  TextLines::TTextDecoder decoder;

  // The start of the file, as the import will read it.
  std::string text(maxBytes, '\0');
  const size_t got = file.Read(text.data(), maxBytes);
  text.resize(got);
  bool atEnd = got < maxBytes;
  if (!atEnd) {
    // Exactly maxBytes: one byte more tells whether anything follows.
    char probe;
    atEnd = file.Read(&probe, 1) == 0;
    file.Seek(static_cast<int64_t>(got));
  }
  // Short of the end, bytes that may pair with later ones stay held back, so
  // that the scan below starts on a whole UTF-16 code unit.
  decoder.Decode(text, 0, atEnd);
  const bool wholeText = atEnd || decoder.Ended();

  // The last line may be cut by maxBytes: it is shown as far as it was read.
  const std::vector<std::string_view> lines = TextLines::SplitLines(text);
  const size_t shown = std::min(lines.size(), static_cast<size_t>(std::max(maxLines, 0)));
  preview.Lines.reserve(shown);
  bool cut = false;
  for (size_t i = 0; i < shown; ++i) {
    const std::string_view line = TextLines::CutLine(lines[i], kPreviewLineBytes);
    cut = cut || line.size() < lines[i].size();
    preview.Lines.emplace_back(line);
  }
  preview.Cropped = !wholeText || shown < lines.size() || cut;

  // A NUL further on still ends the text the import will read: find it
  // without keeping the bytes.
  preview.NulAt = decoder.NulAt();
  if (!wholeText) {
    constexpr size_t kScanPiece = 256 * 1024;  // even: UTF-16 code units stay whole
    std::string piece(kScanPiece, '\0');
    int64_t offset = decoder.Consumed();
    file.Seek(offset);
    for (size_t n; preview.NulAt < 0 && (n = file.Read(piece.data(), kScanPiece)) > 0; offset += static_cast<int64_t>(n)) {
      const std::string_view bytes(piece.data(), n);
      const size_t at = decoder.IsUtf16() ? TextLines::FindNulUnit(bytes) : bytes.find('\0');
      if (at != std::string_view::npos) preview.NulAt = offset + static_cast<int64_t>(at);
    }
  }
  return preview;
}

// ---- LaTeX tables

namespace {
TLatexTableUI* gLatexUI = nullptr;
}  // namespace

void SetLatexTableUI(TLatexTableUI* ui) { gLatexUI = ui; }

std::string ReadLatexText(TStream& stream) {
  stream.Seek(0);
  std::string text;
  char piece[64 * 1024];
  for (size_t n; (n = stream.Read(piece, sizeof piece)) > 0;) text.append(piece, n);
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return text;
}

bool ReadLatexTableOf(TTable& table, std::string_view text, const std::string& name) {
  const std::vector<TLatexTableSource> tables = FindLatexTables(text);
  if (tables.empty()) throw EQuiltorError(FormatStr("No LaTeX table found in %s", name.c_str()));
  size_t index = 0;
  if (tables.size() > 1) {
    const int chosen = gLatexUI ? gLatexUI->ChooseLatexTable(tables) : -1;
    if (chosen < 0 || static_cast<size_t>(chosen) >= tables.size()) return false;
    index = static_cast<size_t>(chosen);
  }
  std::vector<std::string> warnings;
  try {
    warnings = ReadLatexTable(text, tables[index], table);
  } catch (const EQuiltorError& e) {
    throw EQuiltorError(name + ": " + e.what());
  }
  if (!warnings.empty() && gLatexUI) gLatexUI->ShowLatexWarnings(warnings);
  return true;
}

bool ReadPaperTable(TTable& table, const std::string& path, int number, TPaperLink& link) {
  TFileIdentity identity;
  const std::string bytes = ReadPaperFile(path, &identity);
  const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
  if (tables.empty()) throw EQuiltorError(FormatStr("No LaTeX table found in %s", path.c_str()));
  size_t index = 0;
  if (number > 0) {
    if (static_cast<size_t>(number) > tables.size())
      throw EQuiltorError(FormatStr("%s holds %zu LaTeX table%s, not %d", path.c_str(), tables.size(),
                                    tables.size() == 1 ? "" : "s", number));
    index = static_cast<size_t>(number) - 1;
  } else if (tables.size() > 1) {
    const int chosen = gLatexUI ? gLatexUI->ChooseLatexTable(tables) : -1;
    if (chosen < 0 || static_cast<size_t>(chosen) >= tables.size()) return false;
    index = static_cast<size_t>(chosen);
  }
  const TLatexTableSource& source = tables[index];
  std::vector<std::string> warnings;
  try {
    // The reader's offsets count from the text it is given.
    warnings = ReadLatexTable(bytes, source, table);
  } catch (const EQuiltorError& e) {
    throw EQuiltorError(path + ": " + e.what());
  }
  if (!warnings.empty() && gLatexUI) gLatexUI->ShowLatexWarnings(warnings);
  link = TPaperLink();
  const TPaperSpan span = PaperTableSpan(bytes, source, false);
  if (span.End == std::string::npos) return true;
  link.Path = path;
  link.Number = static_cast<int>(index) + 1;
  link.Begin = span.Begin;
  link.Source = bytes.substr(span.Begin, span.End - span.Begin);
  link.Float = table.Style.Float;
  link.Identity = identity;
  link.Approximations = DescribeApproximations(link.Source, table, warnings, false);
  return true;
}
