#include "latex/RowReader.h"

#include <algorithm>
#include <array>

#include "latex/ColumnList.h"
#include "latex/TabToLatex.h"
#include "latex/TableBuilder.h"
#include "model/Errors.h"

namespace LatexRead {

namespace {

bool IsRuleCommand(std::string_view name) {
  return name == "hline" || name == "cline" || name == "toprule" || name == "midrule" || name == "bottomrule" ||
         name == "cmidrule" || name == "specialrule" || name == "firsthline" || name == "lasthline" ||
         name == "Xhline" || name == "hdashline" || name == "cdashline" || name == "hhline";
}

// Commands that stand between rows rather than in a cell: row colours,
// vertical space, the longtable head and foot marks, page breaks.
bool IsRowCommand(std::string_view name);

// The rules of the booktabs package; the others are classic LaTeX's (and
// its packages': \Xhline, \hhline, the dashed rules).
bool IsBooktabsRule(std::string_view name) {
  return name == "toprule" || name == "midrule" || name == "bottomrule" || name == "cmidrule" || name == "specialrule";
}

bool IsRowCommand(std::string_view name) {
  static constexpr std::array<std::string_view, 18> kNames = {
      "rowcolor",   "rowcolors",    "hiderowcolors", "showrowcolors", "noalign",      "addlinespace",
      "rowstyle",   "arrayrulecolor", "morecmidrules", "pagebreak",   "nopagebreak", "newpage",
      "endhead",    "endfirsthead", "endfoot",        "endlastfoot",  "kill",         "rowfont"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

// What a row command takes after its name: '[' an optional [..], '{' a
// {..} argument.
const char* RowCommandArguments(std::string_view name) {
  if (name == "rowcolor" || name == "arrayrulecolor" || name == "rowfont") return "[{";
  if (name == "rowcolors") return "[{{{";
  if (name == "noalign" || name == "rowstyle") return "{";
  if (name == "addlinespace" || name == "pagebreak" || name == "nopagebreak") return "[";
  return "";
}

}  // namespace

// One group that opens with open ('[', '{' or '(') after p, blanks allowed
// before it: the offset after it, or p when there is none.
size_t TReader::Argument(size_t p, char open) const {
  size_t r = p;
  while (r < S.size() && IsBlank(S[r])) ++r;
  if (r >= S.size() || S[r] != open) return p;
  size_t e;
  if (open == '(') {
    const size_t close = S.find(')', r);
    e = close == std::string_view::npos ? close : close + 1;
  } else {
    e = GroupEnd(S, r);
  }
  if (e == std::string_view::npos) Fail(r, open == '{' ? "this { is never closed" : "this bracket is never closed");
  return e;
}

size_t TReader::Arguments(size_t p, const char* pattern) const {
  for (; *pattern; ++pattern) {
    const size_t e = Argument(p, *pattern);
    if (e == p && *pattern == '{') return p;
    p = e;
  }
  return p;
}

namespace {

// Reads a column range "a-b" of \cline or \cmidrule.
bool ParseRange(std::string_view t, long long& from, long long& to) {
  t = Trim(t);
  auto number = [&t](long long& n) {
    n = 0;
    size_t i = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (n < 1000000) n = n * 10 + (t[i] - '0');
      ++i;
    }
    t.remove_prefix(i);
    t = Trim(t);
    return i > 0;
  };
  if (!number(from)) return false;
  if (t.empty() || t[0] != '-') return false;
  t.remove_prefix(1);
  t = Trim(t);
  return number(to) && t.empty() && from >= 1 && to >= from;
}

}  // namespace

// A rule command at control: records it in rules and returns the offset
// after its arguments.
size_t TReader::ReadRule(TControl control, TBoundaryRules& rules) const {
  const std::string_view name = control.Name;
  size_t p = control.End;
  ++(IsBooktabsRule(name) ? BooktabsRules : ClassicRules);
  if (name == "cline" || name == "cmidrule" || name == "cdashline") {
    p = Argument(p, '[');
    const size_t trimStart = p;
    p = Argument(p, '(');
    const std::string_view trim = Trim(S.substr(trimStart, p - trimStart));
    const size_t open = Argument(p, '{');
    if (open == p) Fail(p, "a column range such as {2-3} is missing here");
    const std::string_view range = S.substr(p, open - p);
    const size_t brace = range.find('{');
    long long from = 0, to = 0;
    if (!ParseRange(range.substr(brace + 1, range.size() - brace - 2), from, to))
      Fail(p + brace, "this is not a column range such as {2-3}");
    rules.Ranges.emplace_back(from, to);
    if (name == "cmidrule") CmidruleTrims.push_back({{from, to}, std::string(trim)});
    return open;
  }
  if (name == "hhline") {
    // One entry per column: "-" and "=" rule it, "~" leaves it bare; the
    // vertical marks between them (|, :, #, t, b) take no column.
    const size_t open = Argument(p, '{');
    if (open == p) Fail(p, "\\hhline needs its argument, such as {|-|-|}");
    const size_t brace = S.find('{', p);
    const std::string entries =
        ExpandRepeats(Text, StripComments(S.substr(brace + 1, open - brace - 2), false), brace, "\\hhline");
    long long column = 0;
    for (const char c : entries) {
      if (c != '-' && c != '=' && c != '~') continue;
      ++column;
      if (c == '~') continue;
      if (!rules.Ranges.empty() && rules.Ranges.back().second == column - 1) rules.Ranges.back().second = column;
      else rules.Ranges.emplace_back(column, column);
    }
    return open;
  }
  if (name == "toprule" || name == "midrule" || name == "bottomrule") p = Argument(p, '[');
  if (name == "specialrule") p = Arguments(p, "{{{");
  if (name == "Xhline") p = Argument(p, '{');
  rules.Full = true;
  return p;
}

// The part between two rows (or before the first): rules, comments and row
// commands, and with lone (after a row) commands alone on their lines. Rules
// before the first other thing are the boundary's rules; what follows them,
// up to the first cell, is the next row's prefix, byte for byte, with the
// comment lines directly above it. Returns where the
// first cell starts (S.size() when no row follows).
size_t TReader::ReadRegion(size_t p, TBoundaryRules& rules, std::string& prefix, bool& commands, bool lone) const {
  size_t prefixStart = p;
  size_t q = p;
  bool started = false;
  TBoundaryRules after;  // rules since the last command
  size_t commandsEnd = p;
  for (;;) {
    while (q < S.size() && IsSpace(S[q])) ++q;
    if (q >= S.size()) break;
    if (S[q] == '%') {
      q = SkipComment(S, q);
      continue;
    }
    if (S[q] != '\\') break;
    const TControl control = ReadControl(S, q);
    if (IsRuleCommand(control.Name)) {
      if (started) {
        q = ReadRule(control, after);
        continue;
      }
      q = ReadRule(control, rules);
      // The rule's own line, a comment on it included, is not the prefix's.
      size_t r = q;
      while (r < S.size() && IsBlank(S[r])) ++r;
      if (r < S.size() && S[r] == '%') r = LineEnd(S, r);
      if (r < S.size() && S[r] == '\r') ++r;
      if (r < S.size() && S[r] == '\n') ++r;
      prefixStart = q = r;
      continue;
    }
    if (!IsRowCommand(control.Name) && !(lone && IsLoneCommand(control))) break;
    started = true;
    q = commandsEnd = Arguments(control.End, RowCommandArguments(control.Name));
    after = {};
  }
  commands = started;
  size_t textEnd = q;
  if (q >= S.size() && after.Any()) {
    // After the last row, rules that follow its commands are the rules
    // below it, as the generator writes them after the row's postfix.
    rules.Full = rules.Full || after.Full;
    rules.Ranges.insert(rules.Ranges.end(), after.Ranges.begin(), after.Ranges.end());
    textEnd = commandsEnd;
  }
  std::string_view text = S.substr(prefixStart, textEnd - prefixStart);
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  // Indentation of the first cell's line is not part of the prefix.
  const size_t lastBreak = text.find_last_of('\n');
  if (lastBreak != std::string_view::npos && Trim(text.substr(lastBreak)).empty()) text = text.substr(0, lastBreak + 1);
  prefix.assign(text);
  return q;
}

// Whether control is a command word that stands alone on its line: nothing
// but blanks or a comment after it. Between rows and after the last one such
// a command is a row command of the class or the document (\botrule, a
// macro of the paper's own), not a row of one cell.
bool TReader::IsLoneCommand(TControl control) const {
  const std::string_view name = control.Name;
  if (name.empty() || !IsLetter(name[0]) || name == "multicolumn" || name == "begin" || name == "end" ||
      name == "verb")
    return false;
  size_t r = control.End;
  while (r < S.size() && IsBlank(S[r])) ++r;
  return r >= S.size() || S[r] == '%' || S[r] == '\r' || S[r] == '\n';
}

// Whether S[from, to) holds a "&" or a row end outside braces.
bool TReader::HasRowBreak(size_t from, size_t to) const {
  int depth = 0;
  for (size_t q = from; q < to; ++q) {
    const char c = S[q];
    if (c == '%') return false;
    if (c == '{') ++depth;
    else if (c == '}') --depth;
    else if (c == '&' && depth == 0) return true;
    else if (c == '\\') {
      const TControl control = ReadControl(S.substr(0, to), q);
      if (depth == 0 && IsRowEnd(control.Name)) return true;
      q = (control.Name == "verb" && depth == 0 ? SkipVerb(S.substr(0, to), control.End) : control.End) - 1;
    }
  }
  return false;
}

// After a row's "\\": the rest of its line is the row's postfix, rule
// commands at its start excepted, which are the rules below the row. When the
// next row follows on the same line, only a "*" and a "[..]" stay with the
// row. Returns where the next region starts.
size_t TReader::ReadPostfix(size_t p, TReadRow& row, TBoundaryRules& below) const {
  const size_t lineEnd = LineEnd(S, p);
  size_t q = p;
  bool rules = false;
  for (;;) {
    size_t r = q;
    while (r < lineEnd && IsBlank(S[r])) ++r;
    if (r >= lineEnd || S[r] != '\\') break;
    const TControl control = ReadControl(S, r);
    if (!IsRuleCommand(control.Name)) break;
    q = ReadRule(control, below);
    rules = true;
  }
  size_t restBegin = q;
  if (rules) {
    while (restBegin < lineEnd && IsBlank(S[restBegin])) ++restBegin;
  } else if (restBegin < lineEnd && S[restBegin] == ' ') {
    ++restBegin;  // the blank the generator writes after "\\"
  }
  // The lead that belongs to "\\" itself: "*" and the space "[2pt]".
  size_t lead = restBegin;
  if (lead < lineEnd && S[lead] == '*') ++lead;
  {
    size_t r = lead;
    while (r < lineEnd && IsBlank(S[r])) ++r;
    if (r < lineEnd && S[r] == '[') {
      // Within the line: an open bracket must not send every row's scan to
      // the end of the table.
      const size_t e = GroupEnd(S.substr(0, lineEnd), r);
      if (e != std::string_view::npos) lead = e;
    }
  }
  // Is there a row's content after the lead on this line?
  size_t r = lead;
  for (;;) {
    while (r < lineEnd && IsBlank(S[r])) ++r;
    if (r >= lineEnd || S[r] != '\\') break;
    const TControl control = ReadControl(S, r);
    if (!IsRowCommand(control.Name) && !IsRuleCommand(control.Name)) break;
    TBoundaryRules ignored;
    r = IsRuleCommand(control.Name) ? ReadRule(control, ignored)
                                    : Arguments(control.End, RowCommandArguments(control.Name));
  }
  const bool content = r < lineEnd && S[r] != '%' && S[r] != '\r';
  if (content && (lineEnd == S.size() || HasRowBreak(r, lineEnd))) {
    row.Postfix.assign(S.substr(restBegin, lead - restBegin));
    return lead;
  }
  std::string_view postfix = S.substr(restBegin, lineEnd - restBegin);
  // A carriage return ends the line of a file with CR LF line ends; more of
  // them are invisible, and one kept would lose the next in every round (the
  // generator ends its lines with a line feed alone).
  while (!postfix.empty() && postfix.back() == '\r') postfix.remove_suffix(1);
  if (lineEnd == S.size()) {
    while (!postfix.empty() && IsSpace(postfix.back())) postfix.remove_suffix(1);
  }
  row.Postfix.assign(postfix);
  return lineEnd < S.size() ? lineEnd + 1 : lineEnd;
}

// Parses "\multicolumn{n}{format}{text}" at the start of t. With lead, the
// \multicolumn may come after other text, which lead then receives; without,
// it must open t. False when t holds no such \multicolumn (a plain cell).
bool TReader::ReadMulticolumn(std::string_view t, size_t at, TReadCell& cell, std::string* lead) {
  static constexpr std::string_view kName = kMulticolumn;
  size_t m = 0;
  if (!t.starts_with(kName) || (t.size() > kName.size() && IsLetter(t[kName.size()]))) {
    if (!lead) return false;
    // The first \multicolumn outside braces, after which only its three
    // arguments follow.
    m = FindMulticolumn(t);
    if (m == std::string_view::npos) return false;
  }
  std::string_view args[3];
  const size_t p = MulticolumnArguments(t, m, args);
  if (p == std::string_view::npos) {
    if (m > 0) return false;  // not the \multicolumn that makes the cell
    Fail(at, "\\multicolumn needs three arguments: {columns}{format}{text}");
  }
  const std::string_view rest = TrimText(t.substr(p));
  if (m > 0 && !rest.empty()) return false;
  if (m > 0) lead->assign(t.substr(0, m));

  const std::string_view count = Trim(args[0]);
  long long n = 0;
  bool number = !count.empty();
  for (char d : count) {
    if (d < '0' || d > '9') {
      number = false;
      break;
    }
    if (n <= kMaxColumns) n = n * 10 + (d - '0');
  }
  if (!number || n < 1) Fail(at, "the first argument of \\multicolumn must be a number of columns (1 or more)");
  if (n > kMaxColumns) Fail(at, FormatStr("\\multicolumn joins more than %lld columns", kMaxColumns).c_str());

  const TSpec spec = ParseSpec(Text, args[1], at);
  cell.Multi = true;
  cell.Span = n;
  cell.Left = spec.Rules.front();
  cell.Right = spec.Rules.back();
  // Double rules ("c||") stay in the format; the model's side rules stand for them.
  std::string_view format = spec.Formats.empty() ? std::string_view() : std::string_view(spec.Formats.front());
  format.remove_prefix(FormatSideRules(format, true).size());
  format.remove_suffix(FormatSideRules(format, false).size());
  const bool plain = spec.Formats.size() == 1 && format.size() == 1 && IsOneOf(format[0], "lcr");
  cell.Align = plain ? format[0] : 'l';
  if (!plain) {
    // p{..}, m{..} and b{..} set text left; of other formats the first of
    // l, c or r among their column letters is kept.
    for (const char c : format)
      if (c == 'l' || c == 'c' || c == 'r') {
        cell.Align = c;
        break;
      }
    if (!format.empty() && IsOneOf(format[0], "pmbX")) cell.Align = 'l';
  }
  // Inside the argument a \verb is no verbatim, but in the code written back
  // it is wherever the generator writes the cell without its \multicolumn
  // (one column, as the column would have it): left open, it would take in
  // what follows the cell there.
  if (HoldsOpenVerb(args[2])) Fail(at, "this \\multicolumn holds a \\verb that is not closed on its line");
  cell.Text.assign(TrimText(args[2]));
  if (!rest.empty()) {
    // Text after the \multicolumn in the same cell is typeset after its
    // text, and goes into it; a \verb cannot (LaTeX refuses it inside an
    // argument).
    if (HoldsVerb(rest)) Fail(at, "\\verb follows this \\multicolumn in its cell");
    // Nor can a second \multicolumn (LaTeX refuses it after the cell's
    // start); kept in the text, it would make the cell in the code written
    // back.
    if (FindMulticolumn(rest) != std::string_view::npos)
      Fail(at, "a second \\multicolumn follows this \\multicolumn in its cell");
    if (!cell.Text.empty()) cell.Text += ' ';
    cell.Text += rest;
  }
  // Where the generator writes the text without its \multicolumn, it must
  // read back as this one cell; LaTeX refuses these in the argument anyway.
  if (const std::string breaks = CellBreakIn(cell.Text); !breaks.empty())
    Fail(at, ("this \\multicolumn holds " + breaks).c_str());
  cell.Simplified = !plain || !rest.empty();
  return true;
}

namespace {

constexpr std::string_view kMultirow = "\\multirow";
// Rows beyond this are cut at the table's end anyway; the bound keeps the
// number in range.
constexpr long long kMaxRowSpan = 1000000000;

// Reads "\multirow[vpos]{rows}[bigstruts]{width}[vmove]{text}" when it is
// the whole of the cell's text: the cell then starts a block, with the
// \multirow's text as its own. Anything else (a \multirow among other text,
// a row count that is no number, one row) stays text as it is, which LaTeX
// typesets the same.
void ReadMultirow(TReadCell& cell) {
  const std::string_view t = cell.Text;
  if (!t.starts_with(kMultirow) || (t.size() > kMultirow.size() && IsLetter(t[kMultirow.size()]))) return;
  size_t p = kMultirow.size();
  // An optional [..] argument: its content, or false when it is not closed.
  const auto optional = [&](std::string& content) {
    size_t q = p;
    while (q < t.size() && IsSpace(t[q])) ++q;
    if (q >= t.size() || t[q] != '[') return true;
    const size_t e = GroupEnd(t, q);
    if (e == std::string_view::npos) return false;
    content.assign(Trim(t.substr(q + 1, e - q - 2)));
    p = e;
    return true;
  };
  const auto argument = [&](std::string_view& content) {
    p = TokenArgument(t, p, content);
    return p != std::string_view::npos;
  };
  TBlockArgs args;
  std::string_view count, width, text;
  if (!optional(args.VPos) || !argument(count) || !optional(args.BigStruts) || !argument(width) ||
      !optional(args.VMove) || !argument(text) || !TrimText(t.substr(p)).empty())
    return;
  count = Trim(count);
  const bool negative = count.starts_with('-');
  if (negative || count.starts_with('+')) count.remove_prefix(1);
  long long n = 0;
  if (count.empty()) return;
  for (const char d : count) {
    if (d < '0' || d > '9') return;
    n = std::min(n * 10 + (d - '0'), kMaxRowSpan);
  }
  if (n <= 1) return;
  // The text is the block's own: written without the \multirow once the
  // block is split, it must still be one cell, as a \multicolumn's must.
  if (HoldsOpenVerb(text) || !CellBreakIn(text).empty()) return;
  args.Width.assign(Trim(width));
  cell.RowSpan = negative ? -n : n;
  cell.BlockArgs = std::move(args);
  cell.Code = std::move(cell.Text);
  cell.Text.assign(TrimText(text));
}

}  // namespace

// A cell from S[begin, end): its text without comments, trimmed; a
// \multicolumn becomes a joined cell, a \multirow the start of a block. In
// a row's first cell, text in front of a \multicolumn goes to the row's
// prefix.
void TReader::AddCell(size_t begin, size_t end, bool comments, TReadRow& row) {
  std::string_view raw = S.substr(begin, end - begin);
  std::string stripped;
  if (comments) {
    stripped = StripComments(raw, true);
    raw = stripped;
  }
  const std::string_view t = TrimText(raw);
  const size_t at = comments ? begin : begin + static_cast<size_t>(t.data() - raw.data());
  TReadCell cell;
  std::string lead;
  const bool first = row.Cells.empty();
  const bool mentionsMulticolumn = t.find(kMulticolumn) != std::string_view::npos;
  if (mentionsMulticolumn && ReadMulticolumn(t, at, cell, first ? &lead : nullptr)) {
    if (!lead.empty()) row.Prefix += lead;
  } else {
    // LaTeX takes a \multicolumn only where it opens the cell ("Misplaced
    // \omit" elsewhere); kept as text, it would make the cell wherever the
    // generator writes the text inside a \multicolumn of its own.
    if (const size_t m = mentionsMulticolumn ? FindMulticolumn(t) : std::string_view::npos;
        m != std::string_view::npos) {
      std::string_view args[3];
      Fail(at, MulticolumnArguments(t, m, args) == std::string_view::npos
                   ? "\\multicolumn needs three arguments: {columns}{format}{text}"
                   : "this \\multicolumn does not open its cell");
    }
    // The generator writes a cell inside \multicolumn when its rules or
    // alignment need it, and there braces and comments count in a \verb
    // too: one that holds an unpaired brace or a "%" would break the code.
    if (HoldsVerb(t)) {
      // Built by appending: g++ 12 takes "{" + string for an overlapping
      // copy in a Release build.
      std::string braced;
      braced.reserve(t.size() + 2);
      braced.append(1, '{').append(t).append(1, '}');
      if (GroupEnd(braced, 0) != braced.size() || StripComments(braced, true) != braced)
        Fail(at, "this cell's \\verb holds a brace or % that would break it inside a \\multicolumn");
    }
    cell.Text.assign(t);
    // An empty first cell: the blank before its "&" or "\\" is the
    // separator's, not the prefix's.
    if (first && t.empty() && !row.Prefix.empty() && row.Prefix.back() == ' ') row.Prefix.pop_back();
  }
  ReadMultirow(cell);
  row.Cells.push_back(std::move(cell));
}

// The cells of one row from p: up to its "\\" (or \tabularnewline, or a
// longtable mark), or to the end of the table, split as TCellScanner says.
// ended: the row had its end; the return value is the offset after it (at a
// mark: the mark's own offset). A "$", "\(" or "\[" that
// its row does not close is no math (LaTeX would stop there): the row is
// then read again without math, so that its "&" separate the cells.
size_t TReader::ReadCells(size_t p, TReadRow& row, bool& ended, bool trackMath) {
  const std::string prefix = row.Prefix;
  TCellScanner scan(S, Text, p, trackMath);
  size_t cellBegin = p;
  for (;;) {
    const TCellStop stop = scan.Next();
    if (stop.Kind != TCellStop::Separator && scan.Math() != 0) {
      row.Cells.clear();
      row.Prefix = prefix;
      return ReadCells(p, row, ended, false);
    }
    AddCell(cellBegin, stop.At, stop.Comments, row);
    if (stop.Kind != TCellStop::Separator) {
      ended = stop.Kind == TCellStop::RowEnd;
      // A longtable mark opens the row's postfix, as it does after "\\".
      return IsRowMark(stop.Name) ? stop.At : stop.After;
    }
    cellBegin = stop.After;
  }
}

void TReader::Read(size_t p) {
  // The first region starts on the line after the \begin line when nothing
  // but blanks or a comment follows the column specification.
  {
    size_t q = p;
    while (q < S.size() && IsBlank(S[q])) ++q;
    if (q < S.size() && S[q] == '%') q = LineEnd(S, q);
    if (q < S.size() && S[q] == '\r') ++q;
    if (q >= S.size() || S[q] == '\n') p = std::min(q + 1, S.size());
  }
  Rules.emplace_back();
  TReadRow row;  // one at a time, reused
  for (int index = 0;; ++index) {
    std::string prefix;
    bool commands = false;
    const size_t cellStart = ReadRegion(p, Rules.back(), prefix, commands, index > 0);
    if (cellStart >= S.size()) {
      // Row commands after the last row (\noalign, \addlinespace) stay with
      // it; comments alone are dropped like all others.
      if (TRow* last = Out.LastRow(); commands && last) {
        last->Postfix += '\n';
        last->Postfix += Trim(prefix);
      }
      break;
    }
    row.Prefix = std::move(prefix);
    row.Postfix.clear();
    row.Cells.clear();
    bool ended = false;
    p = ReadCells(cellStart, row, ended);
    for (const TReadCell& cell : row.Cells)
      if (cell.Simplified) {
        SimplifiedRows.push_back(index);
        break;
      }
    Rules.emplace_back();
    if (ended) p = ReadPostfix(p, row, Rules.back());
    Out.AddRow(row);
    if (!ended) break;
  }
}

}  // namespace LatexRead
