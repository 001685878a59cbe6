#include "document/PaperTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "latex/TabToLatex.h"
#include "model/AtomicFile.h"
#include "model/Errors.h"
#include "model/StreamIO.h"
#include "model/Tables.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

size_t BomLength(std::string_view bytes) { return bytes.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The first line break in bytes[from, to): "\r\n", "\n" or "\r"; empty for none.
std::string_view FirstBreak(std::string_view bytes, size_t from, size_t to) {
  for (size_t i = from; i < to && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') return "\n";
    if (bytes[i] == '\r') return i + 1 < bytes.size() && bytes[i + 1] == '\n' ? "\r\n" : "\r";
  }
  return {};
}

// Comments in LaTeX source: a '%' that is not escaped by an odd run of
// backslashes starts one.
int CountComments(std::string_view s) {
  int n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') continue;
    size_t slashes = 0;
    while (slashes < i && s[i - 1 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 0) {
      ++n;
      while (i < s.size() && s[i] != '\n' && s[i] != '\r') ++i;
    }
  }
  return n;
}

// Uses of the booktabs rule commands (a command name is not followed by a letter).
int CountBooktabsRules(std::string_view s) {
  int n = 0;
  for (const std::string_view name : {"\\toprule", "\\midrule", "\\bottomrule", "\\cmidrule", "\\specialrule"}) {
    for (size_t at = s.find(name); at != std::string_view::npos; at = s.find(name, at + 1)) {
      const size_t after = at + name.size();
      if (after >= s.size() || !std::isalpha(static_cast<unsigned char>(s[after]))) ++n;
    }
  }
  return n;
}

TFileIdentity IdentityOf(const struct stat& st) {
  TFileIdentity id;
  id.Known = true;
  id.Device = static_cast<uint64_t>(st.st_dev);
  id.Inode = static_cast<uint64_t>(st.st_ino);
  id.Size = static_cast<int64_t>(st.st_size);
  id.MTimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
  id.MTimeNsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
  return id;
}

}  // namespace

TFileIdentity FileIdentityOf(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

std::string ReadPaperFile(const std::string& path, TFileIdentity* identity) {
  // TFileStream refuses anything but a regular file without blocking on it.
  TFileStream file(path, TFileStream::fmOpenRead);
  struct stat st;
  if (::fstat(file.Handle(), &st) != 0) RaiseFileError("Cannot open file", path, errno);
  const auto tooLarge = [&path] {
    return EQuiltorError(FormatStr("Cannot open %s as LaTeX source: it is larger than 64 MiB", path.c_str()));
  };
  if (st.st_size > kMaxPaperBytes) throw tooLarge();
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char piece[64 * 1024];
  for (size_t n; (n = file.Read(piece, sizeof piece)) > 0;) {
    // The size may have grown since fstat.
    if (bytes.size() + n > static_cast<size_t>(kMaxPaperBytes)) throw tooLarge();
    bytes.append(piece, n);
  }
  if (bytes.find('\0') != std::string::npos)
    throw EQuiltorError(FormatStr("Cannot open %s as LaTeX source: it holds NUL bytes (a binary or UTF-16 file)",
                                  path.c_str()));
  if (identity) *identity = IdentityOf(st);
  return bytes;
}

std::vector<TLatexTableSource> FindPaperTables(std::string_view bytes) {
  // The reader sees the text without its byte-order mark, as a file read
  // for it would be.
  const size_t bom = BomLength(bytes);
  std::vector<TLatexTableSource> tables = FindLatexTables(bytes.substr(bom));
  for (TLatexTableSource& t : tables) {
    t.Begin += bom;
    t.BodyEnd += bom;
  }
  return tables;
}

namespace {

// Just after the "}" that closes the "\end{...}" at offset at.
size_t AfterEnd(std::string_view bytes, size_t at) {
  // Blanks may stand before the brace.
  size_t p = at + 4;
  while (p < bytes.size() && IsBlank(bytes[p])) ++p;
  if (p >= bytes.size() || bytes[p] != '{') return std::string_view::npos;
  const size_t close = bytes.find('}', p);
  return close == std::string_view::npos ? close : close + 1;
}

}  // namespace

size_t TableSourceEnd(std::string_view bytes, const TLatexTableSource& table) {
  if (!table.Ended) return std::string_view::npos;
  return AfterEnd(bytes, table.BodyEnd);
}

TPaperSpan PaperTableSpan(std::string_view bytes, const TLatexTableSource& table, bool withFloat) {
  TPaperSpan span{table.Begin, TableSourceEnd(bytes, table)};
  if (!withFloat || span.End == std::string_view::npos) return span;
  const TLatexFloatPlace place = FindLatexFloat(bytes, table);
  if (place.Begin == std::string_view::npos) return span;
  const size_t end = AfterEnd(bytes, place.EndAt);
  if (end != std::string_view::npos) span = {place.Begin, end};
  return span;
}

bool IsLoneTable(std::string_view bytes) {
  const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
  if (tables.size() != 1) return false;
  const TPaperSpan span = PaperTableSpan(bytes, tables[0], true);
  if (span.End == std::string_view::npos) return false;
  const auto blank = [](std::string_view s) { return std::all_of(s.begin(), s.end(), IsBlank); };
  const size_t bom = BomLength(bytes);
  return blank(bytes.substr(bom, span.Begin - bom)) && blank(bytes.substr(span.End));
}

namespace {

std::string LineBreakOf(std::string_view bytes, size_t begin, size_t end) {
  std::string_view br = FirstBreak(bytes, begin, end);
  if (br.empty()) br = FirstBreak(bytes, 0, bytes.size());
  return br.empty() ? std::string("\n") : std::string(br);
}

bool IsIndent(char c) { return c == ' ' || c == '\t'; }

// The blanks that start the line holding offset at, up to at; empty when
// anything else stands between the line's start and at.
std::string IndentBefore(std::string_view bytes, size_t at) {
  size_t start = at;
  while (start > 0 && bytes[start - 1] != '\n' && bytes[start - 1] != '\r') --start;
  const std::string_view lead = bytes.substr(start, at - start);
  return std::all_of(lead.begin(), lead.end(), IsIndent) ? std::string(lead) : std::string();
}

}  // namespace

TCodeLayout CodeLayoutOf(std::string_view bytes, size_t begin, size_t end) {
  TCodeLayout layout;
  layout.LineBreak = LineBreakOf(bytes, begin, end);
  layout.Indent = IndentBefore(bytes, begin);
  layout.InnerIndent = layout.Indent;
  layout.TrimLineEnds = true;
  // The first line after the \begin line, if it is not the last one.
  const size_t br = bytes.substr(0, end).find_first_of("\r\n", begin);
  if (br != std::string_view::npos) {
    size_t next = br + 1;
    if (bytes[br] == '\r' && next < end && bytes[next] == '\n') ++next;
    const size_t lineEnd = std::min(bytes.find_first_of("\r\n", next), end);
    if (lineEnd < end) {
      size_t p = next;
      while (p < lineEnd && IsIndent(bytes[p])) ++p;
      layout.InnerIndent = std::string(bytes.substr(next, p - next));
    }
  }
  return layout;
}

TCodeLayout AppendLayoutOf(std::string_view bytes) {
  TCodeLayout layout;
  layout.LineBreak = LineBreakOf(bytes, 0, bytes.size());
  return layout;
}

std::string TableCode(const TTable& table, const TCodeLayout& layout, bool withFloat) {
  std::vector<std::string> lines;
  TLatexOptions options;
  options.WithoutFloat = !withFloat;
  TableToLatex(table, lines, options);
  const std::string& lineBreak = layout.LineBreak;
  std::string code;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (i) {
      code += lineBreak;
      code += i + 1 == lines.size() ? layout.Indent : layout.InnerIndent;
    }
    if (layout.TrimLineEnds)
      while (!line.empty() && IsIndent(line.back())) line.remove_suffix(1);
    if (lineBreak == "\n") {
      code += line;
      continue;
    }
    // A cell text spanning lines: its bare line feeds take the paper's break.
    for (size_t k = 0; k < line.size(); ++k) {
      if (line[k] == '\n' && (k == 0 || line[k - 1] != '\r')) code += lineBreak;
      else code += line[k];
    }
  }
  return code;
}

std::string SpliceTable(std::string_view bytes, size_t begin, size_t end, std::string_view code) {
  std::string out;
  out.reserve(bytes.size() - (end - begin) + code.size());
  out.append(bytes.substr(0, begin));
  out.append(code);
  out.append(bytes.substr(end));
  return out;
}

std::string AppendTable(std::string_view bytes, std::string_view code, const TCodeLayout& layout, size_t& at) {
  const std::string& lineBreak = layout.LineBreak;
  std::string out(bytes);
  // A paragraph of its own: an empty line before it, unless the file is empty.
  if (!out.empty()) {
    if (out.back() != '\n' && out.back() != '\r') out += lineBreak;
    out += lineBreak;
  }
  at = out.size();
  out.append(code);
  out += lineBreak;
  return out;
}

TPaperPlace LocatePaperTable(std::string_view bytes, const TFileIdentity& now, const TPaperLink& link) {
  TPaperPlace place;
  const bool known = !link.Source.empty();
  if (known && now == link.Identity && link.Begin + link.Source.size() <= bytes.size() &&
      bytes.substr(link.Begin, link.Source.size()) == link.Source) {
    place.State = TPaperPlace::Found;
    place.Begin = link.Begin;
    place.End = link.Begin + link.Source.size();
    place.Number = link.Number;
    return place;
  }
  const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
  // The same source elsewhere (text was added above it) is the table;
  // else the table with its number.
  const TLatexTableSource* chosen = nullptr;
  for (const TLatexTableSource& t : tables) {
    const TPaperSpan span = PaperTableSpan(bytes, t, false);
    if (known && span.End != std::string_view::npos &&
        bytes.substr(span.Begin, span.End - span.Begin) == link.Source) {
      chosen = &t;
      break;
    }
  }
  if (!chosen && link.Number >= 1 && static_cast<size_t>(link.Number) <= tables.size())
    chosen = &tables[static_cast<size_t>(link.Number) - 1];
  if (!chosen) return place;
  const TPaperSpan span = PaperTableSpan(bytes, *chosen, false);
  if (span.End == std::string_view::npos) return place;
  // Without a remembered source (a recovered document) there is nothing to
  // compare with: finding the table by its number is all there is.
  place.State = known ? TPaperPlace::Changed : TPaperPlace::Found;
  place.Begin = span.Begin;
  place.End = span.End;
  place.Number = static_cast<int>(chosen - tables.data()) + 1;
  return place;
}

std::vector<std::string> DescribeApproximations(std::string_view source, const TTable& table,
                                                const std::vector<std::string>& readerWarnings, bool withFloat) {
  std::vector<std::string> out;
  const std::string code = TableCode(table, {}, withFloat);
  if (CountBooktabsRules(source) > CountBooktabsRules(code)) out.emplace_back("booktabs rules become \\hline");
  const int dropped = CountComments(source) - CountComments(code);
  if (dropped == 1) out.emplace_back("1 comment is dropped");
  else if (dropped > 1) out.push_back(FormatStr("%d comments are dropped", dropped));
  for (const std::string& w : readerWarnings) {
    // The reader's warnings are sentences; here they continue one.
    std::string phrase = w;
    if (phrase.ends_with('.')) phrase.pop_back();
    if (!phrase.empty()) phrase[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(phrase[0])));
    out.push_back(phrase);
  }
  return out;
}

std::string ApproximationQuestion(const std::string& fileName, int number,
                                  const std::vector<std::string>& approximations) {
  std::string text = FormatStr("Saving rewrites table %d of %s in Quiltor's style: ", number, fileName.c_str());
  for (size_t i = 0; i < approximations.size(); ++i) {
    if (i) text += ", ";
    text += approximations[i];
  }
  return text + ".";
}

void WritePaperFile(const std::string& path, std::string_view bytes) {
  TAtomicFile file(path);
  file.Stream().Write(bytes.data(), bytes.size());
  file.Commit();
}

void MergeCellTexts(TTable& table, const TTable& data) {
  // Columns first, so that rows added below get every column.
  while (table.ColCount() < data.ColCount()) {
    // The new column looks like the last one, which gives up the rules on
    // its right: they belong at the table's edge.
    const std::string format = table.ColCount() > 0 ? table.Columns[table.ColCount() - 1]->Format : "l";
    (new TColumn(table))->Format = format;
    for (TRow* row : table.Rows) {
      const TCell* last = row->Count() > 0 ? (*row)[row->Count() - 1] : nullptr;
      TCell* cell = new TCell(*row);
      if (!last) continue;
      // A joined cell's alignment is its own, not its columns'.
      if (last->Span == 1) cell->Align = last->Align;
      cell->RuleTop = last->RuleTop;
      cell->RuleRight = last->RuleRight;
      cell->RuleBottom = last->RuleBottom;
    }
  }
  if (table.RowCount() == 0 && data.RowCount() > 0) table.AddRow();
  while (table.RowCount() < data.RowCount()) {
    // The new row looks like the last one and takes over the rules below
    // it, which belong at the table's end. Above it goes the rule that
    // separates the last two rows when both are body rows (three rows or
    // more); with two, that rule is the header's, which is not repeated.
    const int n = table.RowCount();
    TRow* last = table.Rows[n - 1];
    const TRow* above = n >= 3 ? table.Rows[n - 2] : nullptr;
    TRow* row = new TRow(table);
    row->Assign(*last);
    row->Selected = false;
    for (TCell* c : *row) {
      c->Selected = false;
      c->SetText(std::string());
      // The last row's blocks end there: the new row's cells are its own.
      c->RowsToTop = 0;
      c->RowSpan = 1;
      c->SetBlockArgs(TBlockArgs());
      const TCell* lastCell = last->CellAtCol(c->ColIndex());
      const TCell* aboveCell = above ? above->CellAtCol(c->ColIndex()) : nullptr;
      c->RuleTop = above && ((lastCell && lastCell->RuleTop) || (aboveCell && aboveCell->RuleBottom)) ? 1 : 0;
    }
    for (TCell* c : *last) c->RuleBottom = 0;
  }
  if (table.RowCount() > data.RowCount() && data.RowCount() > 0) {
    // The rows that go take the table's end with them: the new last row
    // gets the old last row's closing rules and postfix.
    // Deleting a row shrinks the blocks over it: they end with the table.
    const TRow* old = table.Rows[table.RowCount() - 1];
    TRow* kept = table.Rows[data.RowCount() - 1];
    for (TCell* c : *kept) {
      const TCell* below = old->CellAtCol(c->ColIndex());
      c->RuleBottom = below ? below->RuleBottom : 0;
    }
    kept->Postfix = old->Postfix;
    while (table.RowCount() > data.RowCount()) table.DeleteRow(table.RowCount() - 1);
  }
  for (int r = 0; r < table.RowCount(); ++r) {
    for (TCell* c : *table.Rows[r]) {
      const TCell* from = r < data.RowCount() ? data.GetCell(r, c->ColIndex()) : nullptr;
      // Only the cell that starts at the column: a joined cell of data does
      // not repeat its text over the columns it covers.
      const std::string& text = from && from->ColIndex() == c->ColIndex() ? from->Text() : std::string();
      if (!c->Covered()) {
        c->SetText(text);
      } else if (!text.empty()) {
        // A block has one text: data's text where the block covers a cell
        // is added to it rather than lost.
        TCell* block = c->BlockCell();
        block->SetText(block->Text().empty() ? text : block->Text() + ' ' + text);
      }
    }
  }
}
