#include "latex/TabToLatex.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <optional>
#include <string_view>

#include "model/Tables.h"
#include "model/TextImport.h"
#include "model/TextWidth.h"

namespace {

// Preamble of a table without columns. LaTeX rejects an empty preamble
// ("Missing # inserted in alignment preamble") even when no row follows, so
// such a table gets a single column without padding. Its rows have no cells
// to place and its rules no column to stand on, so nothing but the \begin and
// \end lines is written, and the environment typesets as an empty box.
constexpr std::string_view kNoColumnPreamble = "@{}l@{}";

// Blanks and control characters around the options are typing accidents; a
// stray control character would even stop LaTeX ("Text line contains an
// invalid character" for DEL). Bytes from 0x80 up belong to the user's 8-bit
// text and are kept.
bool IsTrimmed(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c <= ' ' || c == 0x7f;
}

std::string_view TrimOptions(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

void AppendInt(std::string& out, long long value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

}  // namespace

char ColumnAlignLetter(std::string_view format) {
  // Only the letters outside groups and commands name column types; what
  // else a format holds (rules, >{..}, @{..}, a stray group) may stand in
  // the next column's format instead when the code is read back, so it must
  // not decide the letter.
  char letter = 0;
  int depth = 0;
  for (size_t p = 0; p < format.size(); ++p) {
    const char c = format[p];
    if (c == '\\') {
      ++p;
      while (p + 1 < format.size() && std::isalpha(static_cast<unsigned char>(format[p + 1]))) ++p;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      --depth;
    } else if (depth == 0 && std::isalpha(static_cast<unsigned char>(c))) {
      if (letter != 0 || (c != 'l' && c != 'c' && c != 'r')) return 0;
      letter = c;
    }
  }
  return letter;
}

std::string_view FormatSideRules(std::string_view format, bool leading) {
  const size_t other = leading ? format.find_first_not_of('|') : format.find_last_not_of('|');
  if (other == std::string_view::npos) return format;  // nothing but rules, or empty
  return leading ? format.substr(0, other) : format.substr(other + 1);
}

namespace {

// Read-only view of the columns for one call. Cell positions come from running
// sums of the spans, which a damaged file can push outside 0..C-1; every
// lookup answers for such positions as for a column without a format and a
// boundary without a rule, so that nothing is read outside the vectors.
class TColumnView {
 public:
  explicit TColumnView(const TTable& table)
      : FCount(table.ColCount()), FVerticalRules(table.Style.Rules != rsBooktabs) {
    FFormats.reserve(static_cast<size_t>(FCount));
    FAligns.reserve(static_cast<size_t>(FCount));
    FSideRules.assign(static_cast<size_t>(FCount) + 1, std::string());
    for (const TColumn* column : table.Columns) {
      const std::string& format = column->Format;
      const size_t i = FFormats.size();
      FFormats.push_back(&format);
      FAligns.push_back(ColumnAlignLetter(format));
      FSideRules[i] += FormatSideRules(format, true);
      FSideRules[i + 1] += FormatSideRules(format, false);
    }
    FRules.assign(static_cast<size_t>(FCount) + 1, false);
  }

  int Count() const { return FCount; }
  const std::string& Format(long long col) const { return InColumns(col) ? *FFormats[col] : FEmpty; }
  // The letter of the column's own alignment; 0 when it has none of l, c, r
  // (p{..}, X, S, ...).
  char Align(long long col) const { return InColumns(col) ? FAligns[col] : 0; }
  // The rules that the formats themselves write at a boundary ("r|" then
  // "|l" give "||"); empty when none.
  const std::string& SideRules(long long boundary) const {
    return boundary >= 0 && boundary <= FCount ? FSideRules[boundary] : FEmpty;
  }
  // The "|" the vote puts at a boundary; written only where the formats
  // have none of their own there, so that a rule is never doubled.
  bool Rule(long long boundary) const { return boundary >= 0 && boundary <= FCount && FRules[boundary]; }
  bool WrittenRule(long long boundary) const { return Rule(boundary) && SideRules(boundary).empty(); }
  // Whether the preamble draws a rule at a boundary, by the vote or by the
  // formats.
  bool Drawn(long long boundary) const { return Rule(boundary) || !SideRules(boundary).empty(); }
  void SetRule(int boundary, bool rule) { FRules[boundary] = rule; }
  // Booktabs has no vertical rules: the cells' left and right rules are
  // left out of the code altogether.
  bool VerticalRules() const { return FVerticalRules; }

 private:
  bool InColumns(long long col) const { return col >= 0 && col < FCount; }

  int FCount;
  bool FVerticalRules;
  std::vector<const std::string*> FFormats;
  std::vector<char> FAligns;
  std::vector<std::string> FSideRules;
  std::vector<bool> FRules;  // boundary i gets "|" by the vote
  std::string FEmpty;
};

}  // namespace

// Boundary rules: a "|" goes into the preamble where more than half of the
// rows draw a vertical rule. Only single-column cells vote, each for its left
// edge, and the last cell of a row also for the right edge; a cell's right
// rule elsewhere is stood for by the left rule of its neighbour. Cells whose
// rules the preamble does not match get them through \multicolumn.
std::vector<bool> VoteBoundaryRules(const TTable& table) {
  const int c = table.ColCount();
  std::vector<int> votes(static_cast<size_t>(c) + 1, 0);
  auto vote = [&](long long boundary) {
    if (boundary >= 0 && boundary <= c) ++votes[boundary];
  };
  for (const TRow* row : table.Rows) {
    const int n = row->Count();
    long long k = 0;
    int j = 0;
    for (const TCell* cell : *row) {
      if (cell->Span == 1) {
        if (cell->RuleLeft) vote(k);
        if (j == n - 1 && cell->RuleRight) vote(k + 1);
      }
      k += cell->Span;
      ++j;
    }
  }
  const int needed = table.RowCount() / 2;
  std::vector<bool> rules(static_cast<size_t>(c) + 1);
  for (int i = 0; i <= c; ++i) rules[static_cast<size_t>(i)] = votes[i] > needed;
  return rules;
}

namespace {

void DecideBoundaryRules(const TTable& table, TColumnView& columns) {
  if (!columns.VerticalRules()) return;
  const std::vector<bool> rules = VoteBoundaryRules(table);
  for (int i = 0; i <= columns.Count(); ++i) columns.SetRule(i, rules[static_cast<size_t>(i)]);
}

// The horizontal rules of one row boundary, one entry per column. A column is
// ruled when the cell above has its bottom rule or the cell below its top rule,
// so a boundary is built from the two rows around it and no grid of all
// boundaries is kept. In booktabs style the rules of two joined cells side
// by side are groups of their own: where they meet is remembered as a break.
class TRuleLine {
 public:
  TRuleLine(int columns, TRuleStyle style)
      : FMarks(static_cast<size_t>(columns), 0), FBreaks(static_cast<size_t>(columns) + 1, 0), FStyle(style) {}

  void MarkRow(const TRow& row, bool bottom) {
    const long long c = static_cast<long long>(FMarks.size());
    long long k = 0;
    bool groupBefore = false;  // the cell before is a ruled joined cell
    for (const TCell* cell : row) {
      const long long next = k + cell->Span;
      // No rule runs through a block: the boundaries inside it are left
      // out even if a damaged table holds a rule flag there.
      const bool inside = bottom ? cell->RowSpan > 1 : cell->Covered();
      const bool ruled = !inside && (bottom ? cell->RuleBottom : cell->RuleTop) != 0;
      if (ruled) {
        for (long long i = std::max(k, 0LL), e = std::min(next, c); i < e; ++i) {
          if (!FMarks[i]) {
            FMarks[i] = 1;
            ++FSet;
          }
        }
      }
      // Two headings over several columns each, side by side and both
      // ruled below, each keep their own rule.
      const bool group = bottom && ruled && cell->Span > 1;
      if (group && groupBefore && k > 0 && k < c) FBreaks[k] = 1;
      groupBefore = group;
      k = next;
    }
  }

  // Appends the boundary's line, if it has any rule, and forgets the marks for
  // the next boundary. Classic: a rule over every column is \hline;
  // otherwise every maximal run of ruled columns is one \cline, left to
  // right, with nothing between them: "\cline{1-2}\cline{4-4}". Booktabs: a
  // rule over every column is \toprule at the table's top (first is set),
  // \bottomrule at its bottom (last), \midrule elsewhere. Inside the
  // table a run is cut between two headings over several columns that
  // stand side by side in the row above, both ruled below: the rules under
  // group headings stay the groups' (\cmidrule each). A ruled header row
  // with one heading over two columns beside a single one is one \midrule.
  template <class Out>
  void AddRuleLine(Out& out, bool first, bool last) {
    if (FSet == 0) return;
    const size_t c = FMarks.size();
    // At the table's top and bottom a rule over every column is the
    // table's frame, whatever groups it came from.
    const bool booktabs = FStyle == rsBooktabs;
    const bool groups = booktabs && !first && !last;
    std::string& line = out.Line();
    const bool whole = FSet == c && (!groups || std::find(FBreaks.begin(), FBreaks.end(), 1) == FBreaks.end());
    if (whole) {
      line += !booktabs ? "\\hline" : first ? "\\toprule" : last ? "\\bottomrule" : "\\midrule";
    } else {
      size_t i = 0;
      while (i < c) {
        if (!FMarks[i]) {
          ++i;
          continue;
        }
        const size_t start = i;
        do ++i;
        while (i < c && FMarks[i] && !(groups && FBreaks[i]));
        line += booktabs ? CmidruleTrim(start, i) : "\\cline{";
        AppendInt(line, static_cast<long long>(start) + 1);
        line += '-';
        AppendInt(line, static_cast<long long>(i));
        line += '}';
      }
    }
    out.EndLine();
    std::fill(FMarks.begin(), FMarks.end(), 0);
    std::fill(FBreaks.begin(), FBreaks.end(), 0);
    FSet = 0;
  }

 private:
  // The booktabs manual's convention: an end of a partial rule is trimmed
  // unless it is at the table's edge, so that neighbouring rules stay
  // apart and an edge rule lines up with the full rules. Columns
  // start..end-1.
  const char* CmidruleTrim(size_t start, size_t end) const {
    const bool left = start > 0;
    const bool right = end < FMarks.size();
    return left && right ? "\\cmidrule(lr){" : left ? "\\cmidrule(l){" : right ? "\\cmidrule(r){" : "\\cmidrule{";
  }

  std::vector<unsigned char> FMarks;
  std::vector<unsigned char> FBreaks;  // per column boundary: two groups' rules meet here
  size_t FSet = 0;                     // number of non-zero marks
  TRuleStyle FStyle;
};

// What joins the cells of a row, and what ends its cells.
constexpr std::string_view kCellSeparator = " & ";
constexpr std::string_view kRowEnd = " \\\\ ";

// A cell's text, and for a block's own cell the \multirow around it with
// the arguments it was read with: "\multirow[t]{3}[2]{*}[1ex]{text}". The
// cells a block covers are empty.
void WriteCellText(const TCell& cell, std::string& line) {
  if (cell.RowSpan <= 1) {
    line += cell.Text();
    return;
  }
  const TBlockArgs& args = cell.BlockArgs();
  const auto optional = [&line](const std::string& arg) {
    if (arg.empty()) return;
    line += '[';
    line += arg;
    line += ']';
  };
  line += "\\multirow";
  optional(args.VPos);
  line += '{';
  AppendInt(line, cell.RowSpan);
  line += '}';
  optional(args.BigStruts);
  line += '{';
  line += args.Width.empty() ? std::string_view("*") : std::string_view(args.Width);
  line += '}';
  optional(args.VMove);
  line += '{';
  line += cell.Text();
  line += '}';
}

// One cell's code, appended to line. A cell is wrapped in \multicolumn
// when the preamble cannot say what the cell needs: a span, an alignment
// other than its column's letter, or a vertical rule that the preamble
// lacks or has where the cell has none (booktabs: the cells' own vertical
// rules count as none). The rules a format writes itself ("r|") belong to
// the column in every row: a cell that is wrapped keeps them. k is the
// cell's first column. A cell covered by a wide block is an empty
// \multicolumn with the block's sides and alignment, as people write it.
void WriteCell(const TCell& cell, long long k, const TColumnView& columns, std::string& line) {
  const long long e = k + cell.Span;
  const bool left = (columns.VerticalRules() && cell.RuleLeft != 0) || !columns.SideRules(0).empty();
  const bool right = (columns.VerticalRules() && cell.RuleRight != 0) || !columns.SideRules(e).empty();
  bool wrap = cell.Span > 1 || right != columns.Drawn(e) || (k == 0 && left != columns.Drawn(0));
  if (!wrap && cell.Align != 0) wrap = cell.Align != columns.Align(k);
  if (wrap) {
    const char align = cell.Covered() ? cell.BlockCell()->Align : cell.Align;
    line += "\\multicolumn{";
    AppendInt(line, cell.Span);
    line += "}{";
    if (k == 0 && left) line += columns.SideRules(0).empty() ? "|" : columns.SideRules(0);
    line += align != 0 ? align : columns.Align(k) != 0 ? columns.Align(k) : 'l';
    if (right) line += columns.SideRules(e).empty() ? "|" : columns.SideRules(e);
    line += "}{";
    WriteCellText(cell, line);
    line += '}';
  } else {
    WriteCellText(cell, line);
  }
}

// Columns of code for "Align code columns": the display width each table
// column's code takes, so that every cell can be padded to it. The widths
// come from the single cells: a joined cell is padded to the columns it
// covers, but one wider than them does not widen them, so that one long
// heading does not push every other row apart; only its own row's later
// cells move.
class TCodeWidths {
 public:
  TCodeWidths(const TTable& table, const TColumnView& columns) : FWidths(static_cast<size_t>(columns.Count()), 0) {
    std::string code;
    for (const TRow* row : table.Rows) {
      long long k = 0;
      for (const TCell* cell : *row) {
        if (cell->Span == 1 && k >= 0 && k < columns.Count()) {
          code.clear();
          if (k == 0) code += row->Prefix;
          WriteCell(*cell, k, columns, code);
          size_t& width = FWidths[static_cast<size_t>(k)];
          width = std::max(width, DisplayWidth(code));
        }
        k += cell->Span;
      }
    }
  }

  // The width of columns k..k+span-1 with the separators between them.
  size_t Width(long long k, long long span) const {
    size_t w = 0;
    for (long long i = std::max(k, 0LL), e = std::min(k + span, static_cast<long long>(FWidths.size())); i < e; ++i)
      w += FWidths[static_cast<size_t>(i)];
    return w + static_cast<size_t>(std::max(span - 1, 0LL)) * kCellSeparator.size();
  }

 private:
  std::vector<size_t> FWidths;
};

// One row's line: prefix, the cells joined by " & ", " \\ ", postfix. With
// widths every cell (the first with the prefix) is padded with blanks to
// its columns' width. Appended to line.
void WriteRow(const TRow& row, const TColumnView& columns, const TCodeWidths* widths, std::string& line) {
  const size_t lineStart = line.size();
  line += row.Prefix;
  long long k = 0;
  bool first = true;
  for (const TCell* cell : row) {
    if (!first) line += kCellSeparator;
    first = false;
    const size_t cellStart = k == 0 ? lineStart : line.size();
    WriteCell(*cell, k, columns, line);
    if (widths) {
      const size_t need = widths->Width(k, cell->Span);
      const size_t have = DisplayWidth(std::string_view(line).substr(cellStart));
      if (have < need) line.append(need - have, ' ');
    }
    k += cell->Span;
  }
  line += kRowEnd;
  line += row.Postfix;
}

// The line of a row of plain cells, as WriteRow writes it for a row without
// prefix and postfix whose cells have no rules, span or alignment of their
// own: nothing is wrapped, the texts are joined as they are. A row with
// fewer than columns texts ends in empty cells. Appended to line.
void WritePlainRow(const std::vector<std::string_view>& texts, size_t columns, const TTextImportOptions& options,
                   std::string& scratch, std::string& line) {
  bool first = true;
  for (const std::string_view text : texts) {
    if (!first) line += kCellSeparator;
    first = false;
    line += FieldText(text, options, scratch);
  }
  for (size_t i = texts.size(); i < columns; ++i) {
    if (!first) line += kCellSeparator;
    first = false;
  }
  line += kRowEnd;
}

// The \begin line: the environment, its options and the preamble, which
// columns gives (the formats and the boundary rules); without columns the
// table has none.
template <class Out>
void WriteBegin(const TTable& table, const TColumnView* columns, Out& out) {
  std::string& line = out.Line();
  line += "\\begin{";
  line += table.Environment;
  line += '}';
  line += TrimOptions(table.EnvOptions);
  line += '{';
  if (!columns) {
    line += kNoColumnPreamble;
  } else {
    const int c = columns->Count();
    for (int i = 0; i < c; ++i) {
      if (columns->WrittenRule(i)) line += '|';
      line += columns->Format(i);
    }
    if (columns->WrittenRule(c)) line += '|';
  }
  line += '}';
  out.EndLine();
}

template <class Out>
void WriteEnd(const TTable& table, Out& out) {
  std::string& line = out.Line();
  line += "\\end{";
  line += table.Environment;
  line += '}';
  out.EndLine();
}

// Appends text as lines of its own, one per line of the text.
template <class Out>
void WriteTextLines(std::string_view text, Out& out) {
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view part = text.substr(0, eol);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    out.Line() += part;
    out.EndLine();
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
}

template <class Out>
void WriteCaptionAndLabel(const TTableFloat& f, Out& out) {
  if (!f.Caption.empty()) {
    std::string& line = out.Line();
    line += "\\caption{";
    line += f.Caption;
    line += '}';
    out.EndLine();
  }
  if (!f.Label.empty()) {
    std::string& line = out.Line();
    line += "\\label{";
    line += f.Label;
    line += '}';
    out.EndLine();
  }
}

// The float's lines before the environment: \begin{table}[placement],
// \centering, the caption and label when they go above, and the float's
// other text that came before the tabular.
template <class Out>
void WriteFloatBegin(const TTableFloat& f, Out& out) {
  std::string& line = out.Line();
  line += f.Wide ? "\\begin{table*}" : "\\begin{table}";
  if (!f.Placement.empty()) {
    line += '[';
    line += f.Placement;
    line += ']';
  }
  out.EndLine();
  if (f.Centering) {
    out.Line() += "\\centering";
    out.EndLine();
  }
  if (!f.CaptionBelow) WriteCaptionAndLabel(f, out);
  WriteTextLines(f.TextBefore, out);
}

template <class Out>
void WriteFloatEnd(const TTableFloat& f, Out& out) {
  WriteTextLines(f.TextAfter, out);
  if (f.CaptionBelow) WriteCaptionAndLabel(f, out);
  out.Line() += f.Wide ? "\\end{table*}" : "\\end{table}";
  out.EndLine();
}

// The whole table, line by line into out, which offers Line(): the string
// to append the next line to, and EndLine() once it is complete. rowLines,
// if given, receives the number of the line of every row and boundaryRules
// the preamble's vertical rules.
template <class Out>
void Generate(const TTable& table, const TLatexOptions& options, Out& out, std::vector<size_t>* rowLines,
              std::vector<bool>* boundaryRules) {
  const TTableFloat& tableFloat = table.Style.Float;
  const bool inFloat = tableFloat.Active() && !options.WithoutFloat;
  if (inFloat) WriteFloatBegin(tableFloat, out);
  const int c = table.ColCount();
  if (c == 0) {
    WriteBegin(table, nullptr, out);
    WriteEnd(table, out);
  } else {
    TColumnView columns(table);
    DecideBoundaryRules(table, columns);
    if (boundaryRules) {
      boundaryRules->assign(static_cast<size_t>(c) + 1, false);
      for (int i = 0; i <= c; ++i) (*boundaryRules)[static_cast<size_t>(i)] = columns.Rule(i);
    }
    WriteBegin(table, &columns, out);

    std::optional<TCodeWidths> widths;
    if (options.AlignColumns) widths.emplace(table, columns);
    TRuleLine rules(c, table.Style.Rules);
    const TRow* above = nullptr;
    for (const TRow* row : table.Rows) {
      if (above) rules.MarkRow(*above, true);
      rules.MarkRow(*row, false);
      rules.AddRuleLine(out, !above, false);
      if (rowLines) rowLines->push_back(out.Count());
      WriteRow(*row, columns, widths ? &*widths : nullptr, out.Line());
      out.EndLine();
      above = row;
    }
    if (above) rules.MarkRow(*above, true);
    rules.AddRuleLine(out, false, true);
    WriteEnd(table, out);
  }
  if (inFloat) WriteFloatEnd(tableFloat, out);
}

// Lines into a vector: each is built in one reused buffer and copied out at
// its exact length, so a row costs a single allocation.
class TLineVector {
 public:
  explicit TLineVector(std::vector<std::string>& lines) : FLines(lines) { FLine.reserve(256); }
  std::string& Line() {
    FLine.clear();
    return FLine;
  }
  void EndLine() { FLines.emplace_back(FLine); }
  size_t Count() const { return FLines.size(); }

 private:
  std::vector<std::string>& FLines;
  std::string FLine;
};

// Lines straight into the caller's output buffer, each ended by a line
// feed, handed on whenever the buffer is full enough.
class TLineStream {
 public:
  TLineStream(std::string& out, const std::function<void(std::string&)>& flush, size_t pieceSize)
      : FOut(out), FFlush(flush), FPieceSize(pieceSize) {}
  std::string& Line() { return FOut; }
  void EndLine() {
    FOut += '\n';
    ++FCount;
    if (FOut.size() >= FPieceSize) FFlush(FOut);
  }
  size_t Count() const { return FCount; }

 private:
  std::string& FOut;
  const std::function<void(std::string&)>& FFlush;
  size_t FPieceSize;
  size_t FCount = 0;
};

void GenerateLines(const TTable& table, const TLatexOptions& options, std::vector<std::string>& lines,
                   std::vector<size_t>* rowLines, std::vector<bool>* boundaryRules) {
  lines.clear();
  // At most a rule line above every row, the row, the rule line below the
  // last row, and the two environment lines.
  if (table.ColCount() > 0) lines.reserve(2 * static_cast<size_t>(table.RowCount()) + 3);
  TLineVector out(lines);
  Generate(table, options, out, rowLines, boundaryRules);
}

// Everything but the cell texts that the code depends on: the environment,
// its options and the column formats; and per row its prefix, postfix and
// each cell's span, alignment and rules. FNV-1a over 64 bits.

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

inline uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * kFnvPrime; }

uint64_t MixText(uint64_t h, const std::string& s) {
  for (const char ch : s) h = Mix(h, static_cast<unsigned char>(ch));
  return Mix(h, 0x100 + s.size());
}

uint64_t TableShape(const TTable& table) {
  uint64_t h = kFnvOffset;
  h = MixText(h, table.Environment);
  h = MixText(h, table.EnvOptions);
  h = Mix(h, static_cast<uint64_t>(table.ColCount()));
  h = Mix(h, static_cast<uint64_t>(table.RowCount()));
  for (const TColumn* column : table.Columns) h = MixText(h, column->Format);
  const TTableFloat& f = table.Style.Float;
  h = Mix(h, table.Style.Rules);
  for (const std::string* text : {&f.Placement, &f.Caption, &f.Label, &f.TextBefore, &f.TextAfter})
    h = MixText(h, *text);
  return Mix(h, uint64_t{f.Centering} | uint64_t{f.CaptionBelow} << 1 | uint64_t{f.Wide} << 2);
}

// The cells are summed, each weighted by an odd number of its own, rather
// than chained through the hash: the products do not wait for each other,
// so a fingerprint of every cell of a large table costs little more than
// reading them. Spans and alignments make one sum, the rule bytes another;
// a change of either in any one cell always changes its sum, the weight
// being odd. Other changes are caught with the odds of a 64-bit hash.
uint64_t RowCellsShape(const TRow& row) {
  constexpr uint64_t kWeightStep = 0x9e3779b97f4a7c16ull;  // even: the weights stay odd
  uint64_t sum = 0;
  uint64_t rules = 0;
  uint64_t weight = kFnvPrime;
  for (const TCell* cell : row) {
    uint64_t packed = static_cast<uint32_t>(cell->Span) | uint64_t{static_cast<unsigned char>(cell->Align)} << 32 |
                      uint64_t{static_cast<uint32_t>(cell->RowSpan)} << 40;
    // A block's arguments are written with its text; the few blocks of a
    // table pay for hashing them.
    if (cell->RowSpan > 1) {
      const TBlockArgs& args = cell->BlockArgs();
      uint64_t a = kFnvOffset;
      for (const std::string* text : {&args.VPos, &args.BigStruts, &args.Width, &args.VMove}) a = MixText(a, *text);
      packed ^= a;
    }
    // The rule bytes as they are: a rule's value changing without its
    // being drawn or not only costs a complete generation.
    const uint64_t ruled = uint64_t{cell->RuleLeft} | uint64_t{cell->RuleTop} << 8 | uint64_t{cell->RuleRight} << 16 |
                           uint64_t{cell->RuleBottom} << 24;
    sum += packed * weight;
    rules += ruled * weight;
    weight += kWeightStep;
  }
  return Mix(Mix(Mix(kFnvOffset, sum), rules), static_cast<uint64_t>(row.Count()));
}

// The row's prefix and postfix, which count no changes of their own.
uint64_t RowEndsShape(const TRow& row) { return MixText(MixText(kFnvOffset, row.Prefix), row.Postfix); }

}  // namespace

void TableToLatex(const TTable& table, std::vector<std::string>& lines, const TLatexOptions& options) {
  GenerateLines(table, options, lines, nullptr, nullptr);
}

void TableToLatex(const TTable& table, std::string& out, const std::function<void(std::string&)>& flush,
                  size_t pieceSize, const TLatexOptions& options) {
  TLineStream stream(out, flush, pieceSize);
  Generate(table, options, stream, nullptr, nullptr);
  if (!out.empty()) flush(out);
}

int64_t TextToLatex(TStream& stream, const TTextShape& shape, const TTextImportOptions& options, std::string& out,
                    const std::function<void(std::string&)>& flush, size_t pieceSize) {
  // The imported table's columns without its rows: its \begin and \end
  // lines come from the code that writes every table's. Without rows no
  // boundary has a rule, as none has in the imported table.
  TTable layout;
  for (size_t i = 0; i < shape.Columns; ++i) new TColumn(layout);
  const TColumnView columns(layout);
  TLineStream lines(out, flush, pieceSize);
  WriteBegin(layout, &columns, lines);
  size_t rows = 0;
  std::string scratch;
  const int64_t nulAt = ForEachTextRecord(stream, shape, options, [&](const std::vector<std::string_view>& fields) {
    WritePlainRow(fields, shape.Columns, options, scratch, lines.Line());
    lines.EndLine();
    ++rows;
  });
  // Records lost since the text was measured leave empty rows, as in the
  // imported table. No rule line comes between rows: no cell has a rule.
  for (; rows < shape.Rows; ++rows) {
    WritePlainRow({}, shape.Columns, options, scratch, lines.Line());
    lines.EndLine();
  }
  WriteEnd(layout, lines);
  if (!out.empty()) flush(out);
  return nulAt;
}

// The same rows as last time, in the same places (no list of any table has
// changed since), and nothing but texts changed in them. The cells' spans,
// alignments and rules count their changes (gCellSpanEpoch,
// gCellFormatEpoch): while the counts stand still, no cell is read, and a
// keystroke costs a look at each row's ends rather than at every cell.
bool TLatexGenerator::Unchanged(const TTable& table) const {
  if (FTable != &table || FEpoch != gTableShapeEpoch || FRows.size() != static_cast<size_t>(table.RowCount()) ||
      table.ColCount() == 0 || TableShape(table) != FTableShape)
    return false;
  const bool cellsStill = FSpanEpoch == gCellSpanEpoch && FFormatEpoch == gCellFormatEpoch;
  size_t i = 0;
  for (const TRow* row : table.Rows) {
    const TRowState& state = FRows[i++];
    if (state.Row != row || state.Ends != RowEndsShape(*row) || (!cellsStill && state.Cells != RowCellsShape(*row)))
      return false;
  }
  return true;
}

void TLatexGenerator::NoteCellEpochs() {
  FSpanEpoch = gCellSpanEpoch;
  FFormatEpoch = gCellFormatEpoch;
}

const std::vector<std::string>& TLatexGenerator::Generate(const TTable& table, const TLatexOptions& options) {
  FChanged.clear();
  // Aligned code may change every line for one changed text: no short cut.
  if (!options.AlignColumns && !FAligned && Unchanged(table)) {
    NoteCellEpochs();
    TColumnView columns(table);
    for (int i = 0; i <= columns.Count(); ++i) columns.SetRule(i, FBoundaryRules[static_cast<size_t>(i)]);
    std::string line;
    for (TRowState& state : FRows) {
      if (state.Row->TextVersion == state.TextVersion) continue;
      line.clear();
      WriteRow(*state.Row, columns, nullptr, line);
      if (FLines[state.Line] != line) {
        FLines[state.Line] = line;
        FChanged.push_back(state.Line);
      }
      state.TextVersion = state.Row->TextVersion;
    }
    FAllChanged = false;
    return FLines;
  }
  std::vector<size_t> rowLines;
  rowLines.reserve(static_cast<size_t>(table.RowCount()));
  GenerateLines(table, options, FLines, &rowLines, &FBoundaryRules);
  FAllChanged = true;
  FAligned = options.AlignColumns;
  FTable = &table;
  FEpoch = gTableShapeEpoch;
  NoteCellEpochs();
  FTableShape = TableShape(table);
  FRows.clear();
  FRows.reserve(rowLines.size());
  size_t i = 0;
  for (const TRow* row : table.Rows) {
    FRows.push_back(
        {row, row->TextVersion, RowCellsShape(*row), RowEndsShape(*row), i < rowLines.size() ? rowLines[i] : 0});
    ++i;
  }
  return FLines;
}
