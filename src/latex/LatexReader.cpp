#include "latex/LatexReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "latex/TabToLatex.h"
#include "model/Errors.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

const char* const kNoLatexTable = "No LaTeX table found (tabular, array, longtable or another table environment)";

namespace {

// The model has no practical use for more; a damaged \multicolumn or
// *{n}{..} must not make the reader build millions of cells.
constexpr long long kMaxColumns = 1000;
// Preview lines are cut to this many bytes.
constexpr size_t kPreviewLineBytes = 200;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// c is one of the characters of set (never the terminating NUL).
bool IsOneOf(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A cell's text trimmed; a control space ("\\ ") at its end keeps its
// blank, since a bare backslash there would escape what follows it.
std::string_view TrimText(std::string_view s) {
  const std::string_view t = Trim(s);
  size_t slashes = 0;
  while (slashes < t.size() && t[t.size() - 1 - slashes] == '\\') ++slashes;
  if (slashes % 2 == 1 && t.data() + t.size() < s.data() + s.size()) return {t.data(), t.size() + 1};
  return t;
}

// ---------------------------------------------------------------- positions

// Line and column of an offset, counted only when a message needs them.
struct TPlace {
  int Line;
  int Column;
};

TPlace PlaceOf(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  return {line, static_cast<int>(offset - lineStart) + 1};
}

[[noreturn]] void Fail(std::string_view text, size_t at, const char* what) {
  const TPlace p = PlaceOf(text, at);
  throw EQuiltorError(FormatStr("Line %d, column %d: %s", p.Line, p.Column, what));
}

// ---------------------------------------------------------------- scanning

// Control sequence at s[p] ('\'): its name (letters, or the one symbol after
// the backslash) and the offset after it.
struct TControl {
  std::string_view Name;
  size_t End;
};

TControl ReadControl(std::string_view s, size_t p) {
  size_t q = p + 1;
  if (q >= s.size()) return {{}, q};
  if (!IsLetter(s[q])) return {s.substr(q, 1), q + 1};
  while (q < s.size() && IsLetter(s[q])) ++q;
  return {s.substr(p + 1, q - p - 1), q};
}

size_t LineEnd(std::string_view s, size_t p) {
  const size_t nl = s.find('\n', p);
  return nl == std::string_view::npos ? s.size() : nl;
}

// After a comment: past its line break and the blanks that open the next
// line, which TeX skips as well.
size_t SkipComment(std::string_view s, size_t p) {
  p = LineEnd(s, p);
  if (p < s.size()) ++p;
  while (p < s.size() && IsBlank(s[p])) ++p;
  return p;
}

// \verb<c>...<c> (or \verb*): the offset after it.
size_t SkipVerb(std::string_view s, size_t afterName) {
  size_t p = afterName;
  if (p < s.size() && s[p] == '*') ++p;
  if (p >= s.size()) return p;
  const char delimiter = s[p];
  const size_t close = s.find(delimiter, p + 1);
  // Unclosed on its line it is no \verb (LaTeX refuses it): what follows is
  // read as usual, so that it cannot hide the row's end.
  return close == std::string_view::npos || close > LineEnd(s, p + 1) ? afterName : close + 1;
}

// Whether s ends with a control word ("\\foo"), which a letter put right
// after it would lengthen.
bool EndsWithControlWord(std::string_view s) {
  size_t i = s.size();
  while (i > 0 && IsLetter(s[i - 1])) --i;
  if (i == s.size() || i == 0 || s[i - 1] != '\\') return false;
  size_t slashes = 0;
  while (i > 0 && s[i - 1] == '\\') {
    --i;
    ++slashes;
  }
  return slashes % 2 == 1;
}

// text without its comments: each runs to the end of its line and takes the
// blanks that open the next line with it, as TeX reads it; "\%" is no
// comment.
std::string StripComments(std::string_view text, bool verb) {
  std::string out;
  out.reserve(text.size());
  int depth = 0;
  for (size_t q = 0; q < text.size();) {
    if (text[q] == '{') ++depth;
    if (text[q] == '}') --depth;
    if (text[q] == '\\' && q + 1 < text.size()) {
      // A "%" inside \verb outside braces is text, as the row scanner reads
      // it too.
      const TControl control = ReadControl(text, q);
      const size_t end = verb && depth <= 0 && control.Name == "verb" ? SkipVerb(text, control.End) : control.End;
      out.append(text.substr(q, end - q));
      q = end;
    } else if (text[q] == '%') {
      q = SkipComment(text, q);
      // "\\foo%" ends the control word; joined to a letter it would not.
      if (q < text.size() && IsLetter(text[q]) && EndsWithControlWord(out)) out += ' ';
    } else {
      out += text[q++];
    }
  }
  return out;
}

// A group at s[p] ('{' or '['): the offset after its closing bracket, or npos
// when it is not closed. Braces nest inside either; a square group ends at
// the first ']' outside braces. Comments are skipped; \verb is no verbatim
// inside a group (LaTeX refuses it in an argument), as the row scanner
// agrees.
size_t GroupEnd(std::string_view s, size_t p) {
  const char open = s[p];
  int depth = 0;
  for (size_t q = p; q < s.size(); ++q) {
    const char c = s[q];
    if (c == '\\') {
      q = std::min(ReadControl(s, q).End, s.size()) - 1;
      continue;
    }
    if (c == '%') {
      q = LineEnd(s, q);
      continue;
    }
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0 && open == '{') return q + 1;
      if (depth < 0) return std::string_view::npos;
    } else if (c == ']' && open == '[' && depth == 0) {
      return q + 1;
    }
  }
  return std::string_view::npos;
}

// The name in "{name}" after \begin or \end, starting at p; empty when there
// is none. Blanks and comments may stand before the brace, and comments
// inside it, as TeX reads them: "\begin{tab%\nular}" is a tabular. The cell
// texts lose their comments; read any other way, a name split by one would
// be no environment here and a whole one in the text written back.
struct TEnvName {
  std::string Name;
  size_t End;
};

TEnvName ReadEnvName(std::string_view s, size_t p) {
  while (p < s.size() && (IsBlank(s[p]) || s[p] == '%')) p = s[p] == '%' ? SkipComment(s, p) : p + 1;
  if (p >= s.size() || s[p] != '{') return {{}, p};
  // Environment names are letters, with digits and a few marks in
  // packages' own names ("tabular*", "my@env"); anything else is a brace
  // group after a \begin that is no environment at all.
  std::string name;
  size_t q = p + 1;
  while (q < s.size()) {
    const char c = s[q];
    if (c == '%') {
      q = SkipComment(s, q);
    } else if (IsLetter(c) || (c >= '0' && c <= '9') || IsOneOf(c, "*@:_- ")) {
      name += c;
      ++q;
    } else {
      break;
    }
  }
  if (q >= s.size() || s[q] != '}') return {{}, p};
  return {std::string(Trim(name)), q + 1};
}

// ---------------------------------------------------------------- environments

struct TKnownEnvironment {
  const char* Name;
  int Arguments;  // mandatory arguments, the column specification the last
};

constexpr std::array kTableEnvironments = {
    TKnownEnvironment{"tabular", 1},       TKnownEnvironment{"tabular*", 2},    TKnownEnvironment{"tabularx", 2},
    TKnownEnvironment{"tabulary", 2},      TKnownEnvironment{"array", 1},       TKnownEnvironment{"longtable", 1},
    TKnownEnvironment{"longtable*", 1},    TKnownEnvironment{"supertabular", 1}, TKnownEnvironment{"supertabular*", 2},
    TKnownEnvironment{"mpsupertabular", 1}, TKnownEnvironment{"xtabular", 1},   TKnownEnvironment{"xtabular*", 2},
    TKnownEnvironment{"mpxtabular", 1},    TKnownEnvironment{"NiceTabular", 1}, TKnownEnvironment{"NiceTabular*", 2},
    TKnownEnvironment{"NiceTabularX", 2},  TKnownEnvironment{"NiceArray", 1},   TKnownEnvironment{"longtabu", 1},
};

// Environments that surround or sit beside tables in papers and never are one.
constexpr std::array<const char*, 52> kOtherEnvironments = {
    "document",    "table",      "table*",       "figure",       "figure*",      "center",     "flushleft",
    "flushright",  "minipage",   "itemize",      "enumerate",    "description",  "equation",   "equation*",
    "align",       "align*",     "aligned",      "alignedat",    "gather",       "gather*",    "gathered",
    "multline",    "multline*",  "split",        "cases",        "matrix",       "pmatrix",    "bmatrix",
    "Bmatrix",     "vmatrix",    "Vmatrix",      "smallmatrix",  "subequations", "abstract",   "quote",
    "quotation",   "verbatim",   "lstlisting",   "minted",       "thebibliography", "proof",   "frame",
    "columns",     "column",     "tikzpicture",  "scope",        "axis",         "landscape",  "sidewaystable",
    "threeparttable", "tablenotes", "adjustbox"};

const TKnownEnvironment* KnownTable(std::string_view name) {
  for (const TKnownEnvironment& e : kTableEnvironments)
    if (name == e.Name) return &e;
  return nullptr;
}

bool IsOtherEnvironment(std::string_view name) {
  for (const char* e : kOtherEnvironments)
    if (name == e) return true;
  return false;
}

// ---------------------------------------------------------------- column specification

// A parsed column specification: the formats of the columns, as the
// generator writes them back, and the "|" rules at the column boundaries.
struct TSpec {
  std::vector<std::string> Formats;
  std::vector<bool> Rules;  // Formats.size() + 1 entries
};

// One undelimited argument at p, as TeX reads it: blanks are skipped, then a
// brace group (content without its braces), a control sequence or a single
// character ("*3{c}", "\\multicolumn2c{x}"). Returns the offset after it, or
// npos when there is none (the end, or a "}" that closes an outer group).
size_t TokenArgument(std::string_view s, size_t p, std::string_view& content) {
  while (p < s.size() && IsSpace(s[p])) ++p;
  if (p >= s.size() || s[p] == '}') return std::string_view::npos;
  size_t e;
  if (s[p] == '{') {
    e = GroupEnd(s, p);
    if (e == std::string_view::npos) return e;
    content = s.substr(p + 1, e - p - 2);
    return e;
  }
  e = s[p] == '\\' ? std::min(ReadControl(s, p).End, s.size()) : p + 1;
  content = s.substr(p, e - p);
  return e;
}

// Expands *{n}{..} (nested too, and with single-token arguments: *3c) into
// plain text; raises when the result would hold more than kMaxColumns worth
// of text. where names the text in messages.
std::string ExpandRepeats(std::string_view text, std::string_view spec, size_t at, const char* where,
                          int depth = 0) {
  std::string out;
  size_t p = 0;
  while (p < spec.size()) {
    const char c = spec[p];
    if (c == '{' || c == '[') {
      const size_t e = GroupEnd(spec, p);
      const size_t end = e == std::string_view::npos ? spec.size() : e;
      out.append(spec.substr(p, end - p));
      p = end;
      continue;
    }
    if (c == '\\') {
      const size_t end = std::min(ReadControl(spec, p).End, spec.size());
      out.append(spec.substr(p, end - p));
      p = end;
      continue;
    }
    if (c != '*') {
      out += c;
      ++p;
      continue;
    }
    // *{n}{columns}
    std::string_view countText, body;
    const size_t countEnd = TokenArgument(spec, p + 1, countText);
    const size_t bodyEnd =
        countEnd == std::string_view::npos ? countEnd : TokenArgument(spec, countEnd, body);
    if (bodyEnd == std::string_view::npos)
      Fail(text, at, FormatStr("*{n}{columns} in %s needs two arguments", where).c_str());
    countText = Trim(countText);
    long long n = 0;
    bool number = !countText.empty();
    for (char d : countText) {
      if (d < '0' || d > '9' || n > kMaxColumns) {
        number = false;
        break;
      }
      n = n * 10 + (d - '0');
    }
    if (!number) Fail(text, at, FormatStr("*{n}{columns} in %s needs a number of repetitions", where).c_str());
    if (n > kMaxColumns || depth > 8 || static_cast<long long>(body.size()) * n > 64 * kMaxColumns)
      Fail(text, at, FormatStr("%s gives more than %lld columns", where, kMaxColumns).c_str());
    const std::string inner = ExpandRepeats(text, body, at, where, depth + 1);
    if (static_cast<long long>(inner.size()) * n > 64 * kMaxColumns)
      Fail(text, at, FormatStr("%s gives more than %lld columns", where, kMaxColumns).c_str());
    for (long long i = 0; i < n; ++i) out += inner;
    p = bodyEnd;
  }
  return out;
}

bool EndsWithRule(std::string_view format) { return !FormatSideRules(format, false).empty(); }

// Splits a column specification. Each letter is a column, with the groups
// that follow it (p{3cm}, S[..], D{.}{.}{2}); ">{..}" goes with the column
// after it, "<{..}" with the one before. "@{..}" and "!{..}" go with the
// column they follow, except before the first column or after a "|", where
// they go with the column they precede; so does a brace group that follows
// no letter. A "|" between columns is a boundary rule; a second "|" at the
// same boundary adds nothing (the model has single rules). A "|" inside the
// text that opens a column's format (with the rule before that text, if
// any), or trailing text after the last rule, stays in the format so that
// nothing is lost; commands and a stray "*" outside braces, which LaTeX
// refuses there, are dropped.
//
// The formats written back one after the other, with the boundary rules the
// generator decides between them, split again into the same formats: what
// goes with a column never depends on a rule that might not be written.
TSpec ParseSpec(std::string_view text, std::string_view rawSpec, size_t at) {
  const std::string spec = ExpandRepeats(text, StripComments(rawSpec, false), at, "the column specification");
  // An environment has no place in a column specification; its \begin and
  // \end would count in the search for the table's end.
  if (spec.find("\\begin") != std::string::npos || spec.find("\\end") != std::string::npos)
    Fail(text, at, "the column specification holds a \\begin or \\end");
  TSpec out;
  out.Rules.push_back(false);
  std::string pending;     // goes with the next column
  bool afterRule = true;   // no column since the last "|" (or the start)
  size_t p = 0;
  auto group = [&](size_t q, bool square) {
    // One closed group right after q (blanks allowed); returns its end or q.
    size_t r = q;
    while (r < spec.size() && IsSpace(spec[r])) ++r;
    if (r < spec.size() && (spec[r] == '{' || (square && spec[r] == '['))) {
      const size_t e = GroupEnd(spec, r);
      return e == std::string_view::npos ? q : e;
    }
    return q;
  };
  while (p < spec.size()) {
    const char c = spec[p];
    if (IsSpace(c)) {
      ++p;
      continue;
    }
    if (c == '|') {
      std::string run;  // "||" and "| |" are a double rule
      for (; p < spec.size() && (spec[p] == '|' || IsSpace(spec[p])); ++p)
        if (spec[p] == '|') run += '|';
      if (!pending.empty()) {
        // Text between two rules: the first rule goes into the text with
        // the second. Left at the boundary, it might not be written back
        // (the generator decides the boundary rules from the cells), and
        // without it the text before this "|" would join the previous
        // column and this "|" become a boundary rule in turn.
        if (!out.Formats.empty() && out.Rules.back() && !EndsWithRule(out.Formats.back())) {
          pending.insert(pending.begin(), '|');
          out.Rules.back() = false;
        }
        pending += run;
      } else {
        out.Rules.back() = true;
        // A double rule is more than a cell's rule flags say: the run stays
        // in the format beside it, which writes it back in every row (the
        // generator keeps a format's own side rules, in \multicolumn cells
        // too); the flags still show the rule.
        if (run.size() > 1) (out.Formats.empty() ? pending : out.Formats.back()) += run;
      }
      afterRule = true;
      continue;
    }
    if (IsLetter(c)) {
      size_t e = p + 1;
      // l, c and r never take arguments; a brace after them belongs to
      // nothing and is kept with the column.
      for (size_t next; (next = group(e, true)) != e;) e = next;
      if (static_cast<long long>(out.Formats.size()) >= kMaxColumns)
        Fail(text, at, FormatStr("the column specification gives more than %lld columns", kMaxColumns).c_str());
      out.Formats.push_back(pending + std::string(spec.substr(p, e - p)));
      out.Rules.push_back(false);
      pending.clear();
      afterRule = false;
      p = e;
      continue;
    }
    // A command outside braces is no part of a column specification
    // (LaTeX stops at it): it is dropped, so that neither its backslash nor
    // its name can swallow what the generator writes after it. A "*" left
    // after the repetitions were expanded repeats nothing; kept, it would
    // ask for a repetition in the code written back.
    if (c == '\\') {
      p = std::min(ReadControl(spec, p).End, spec.size());
      continue;
    }
    if (c == '*') {
      ++p;
      continue;
    }
    // A group that follows no column letter (a command in front of it was
    // dropped, or it stands alone) is one token, as it is after a letter:
    // its letters are no columns and its braces stay paired. Written back
    // right after the previous column's letter it would be that column's
    // argument, so it goes with that column in the first place.
    const bool braced = (c == '{' || c == '[') && group(p, true) != p;
    const size_t e = braced ? group(p, true)
                     : c == '>' || c == '<' || c == '@' || c == '!' ? group(p + 1, false)
                                                                    : p + 1;
    const std::string_view token = std::string_view(spec).substr(p, e - p);
    const bool withPrevious = !out.Formats.empty() && pending.empty() &&
                              (c == '<' || ((braced || c == '@' || c == '!') && !afterRule));
    if (withPrevious) {
      out.Formats.back() += token;
    } else {
      pending += token;
    }
    p = e;
  }
  if (!pending.empty()) {
    // Without a single column there is nothing the text could go with.
    if (!out.Formats.empty()) {
      // Text after the last column and its rule: kept, rule and all, as the
      // end of the last format.
      if (out.Rules.back() && !EndsWithRule(out.Formats.back())) pending.insert(pending.begin(), '|');
      out.Rules.back() = false;
      out.Formats.back() += pending;
    }
  }
  return out;
}

// Whether a group of an unknown environment's \begin line reads as a column
// specification: column letters, rules and the preamble's own tokens only.
bool LooksLikeSpec(std::string_view spec) {
  bool column = false;
  for (size_t p = 0; p < spec.size();) {
    const char c = spec[p];
    if (c == '{' || c == '[') {
      const size_t e = GroupEnd(spec, p);
      if (e == std::string_view::npos) return false;
      p = e;
      continue;
    }
    if (c == '*') {
      // *{n}{columns}, or with single tokens as TeX reads them (*3{cl}, *3c):
      // its columns are those of its second argument.
      std::string_view count, body;
      const size_t countEnd = TokenArgument(spec, p + 1, count);
      const size_t bodyEnd = countEnd == std::string_view::npos ? countEnd : TokenArgument(spec, countEnd, body);
      if (bodyEnd == std::string_view::npos || !LooksLikeSpec(body)) return false;
      column = true;
      p = bodyEnd;
      continue;
    }
    if (IsLetter(c)) column = true;
    else if (!IsSpace(c) && !IsOneOf(c, "|><@!")) return false;
    ++p;
  }
  return column;
}

// ---------------------------------------------------------------- the \begin line

struct THeader {
  std::string Environment;
  std::string Options;
  size_t SpecBegin = 0;  // the column list's '{'
  size_t SpecEnd = 0;    // after its '}'
};

// Reads the arguments after "\begin{name}" at p. A known environment takes
// its number of mandatory arguments, across lines if need be; another takes
// the groups on the \begin line. The last mandatory one is the column
// specification, everything between the name and it the options.
bool ReadHeader(std::string_view s, std::string_view name, size_t p, THeader& header, size_t* unclosed) {
  const TKnownEnvironment* known = KnownTable(name);
  const size_t optionsBegin = p;
  int mandatory = 0;
  size_t lastBegin = std::string_view::npos, lastEnd = 0, q = p;
  for (;;) {
    size_t r = q;
    const bool needMore = known && mandatory < known->Arguments;
    while (r < s.size() && (IsBlank(s[r]) || (needMore && (IsSpace(s[r]) || s[r] == '%')))) {
      if (s[r] == '%') r = LineEnd(s, r);
      else ++r;
    }
    if (r >= s.size() || (s[r] != '{' && s[r] != '[')) break;
    if (known && !needMore) break;
    const size_t e = GroupEnd(s, r);
    if (e == std::string_view::npos) {
      if (unclosed) *unclosed = r;
      return false;
    }
    if (s[r] == '{') {
      ++mandatory;
      lastBegin = r;
      lastEnd = e;
    }
    q = e;
  }
  if (lastBegin == std::string_view::npos || (known && mandatory < known->Arguments)) return false;
  header.Environment = std::string(name);
  header.Options = std::string(Trim(StripComments(s.substr(optionsBegin, lastBegin - optionsBegin), false)));
  header.SpecBegin = lastBegin;
  header.SpecEnd = lastEnd;
  return true;
}

// ---------------------------------------------------------------- rows

// The rules of one row boundary: a full rule or column ranges (1-based,
// inclusive, as \cline writes them).
struct TBoundaryRules {
  bool Full = false;
  std::vector<std::pair<long long, long long>> Ranges;
  bool Any() const { return Full || !Ranges.empty(); }
};

struct TReadCell {
  std::string Text;
  long long Span = 1;
  bool Multi = false;
  char Align = 0;
  bool Left = false;
  bool Right = false;
  bool Simplified = false;  // its \multicolumn format said more than the model holds
  // A \multirow that makes the whole cell: the rows it joins (negative:
  // counted upward from this row), its arguments, and the cell's text as
  // written, for when no block can be made of it after all.
  long long RowSpan = 1;
  TBlockArgs BlockArgs;
  std::string Code;
};

struct TReadRow {
  std::string Prefix;
  std::string Postfix;
  std::vector<TReadCell> Cells;
};

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

// The longtable marks. Each ends the row it closes, "\\" before it or not
// (longtable does \crcr there), and stays with that row.
bool IsRowMark(std::string_view name) {
  return name == "endhead" || name == "endfirsthead" || name == "endfoot" || name == "endlastfoot" ||
         name == "kill";
}

// What ends a row: "\\", \tabularnewline or a longtable mark.
bool IsRowEnd(std::string_view name) { return name == "\\" || name == "tabularnewline" || IsRowMark(name); }

// What a row command takes after its name: '[' an optional [..], '{' a
// {..} argument.
const char* RowCommandArguments(std::string_view name) {
  if (name == "rowcolor" || name == "arrayrulecolor" || name == "rowfont") return "[{";
  if (name == "rowcolors") return "[{{{";
  if (name == "noalign" || name == "rowstyle") return "{";
  if (name == "addlinespace" || name == "pagebreak" || name == "nopagebreak") return "[";
  return "";
}

class TTableBuilder;

// Reads the rows one by one and hands each to the builder.
class TReader {
 public:
  // text is cut at the \end of the table: nothing is ever read beyond it.
  TReader(std::string_view text, size_t bodyEnd, TTableBuilder& out) : S(text.substr(0, bodyEnd)), Text(text), Out(out) {}

  void Read(size_t p);

  std::vector<TBoundaryRules> Rules;  // one per row boundary, rows + 1
  std::vector<int> SimplifiedRows;    // 0-based, \multicolumn formats the model cannot hold
  // The horizontal rule commands read, by style, and the \cmidrule trims
  // with their ranges.
  mutable int BooktabsRules = 0;
  mutable int ClassicRules = 0;
  mutable std::vector<std::pair<std::pair<long long, long long>, std::string>> CmidruleTrims;

 private:
  size_t Argument(size_t p, char open) const;
  size_t Arguments(size_t p, const char* pattern) const;
  size_t ReadRule(TControl control, TBoundaryRules& rules) const;
  size_t ReadRegion(size_t p, TBoundaryRules& rules, std::string& prefix, bool& commands, bool lone) const;
  bool IsLoneCommand(TControl control) const;
  size_t ReadCells(size_t p, TReadRow& row, bool& ended, bool math = true);
  size_t ReadPostfix(size_t p, TReadRow& row, TBoundaryRules& below) const;
  void AddCell(size_t begin, size_t end, bool comments, TReadRow& row);
  bool ReadMulticolumn(std::string_view t, size_t at, TReadCell& cell, std::string* lead);
  bool HasRowBreak(size_t from, size_t to) const;
  [[noreturn]] void Fail(size_t at, const char* what) const { ::Fail(Text, at, what); }

  std::string_view S;
  std::string_view Text;
  TTableBuilder& Out;
};

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

// Where a scan of a row's cells stopped: at an "&" or the row's end ("\\",
// \tabularnewline) outside braces, math and nested environments, or at the
// end of the text.
struct TCellStop {
  enum TKind { Separator, RowEnd, End } Kind;
  size_t At;             // the "&", the row end's backslash, or the text's end
  size_t After;          // the offset after it
  std::string_view Name; // what stopped it: "&", "\\", "tabularnewline", a longtable mark or empty
  bool Comments;         // a comment stood between the previous stop and this one
};

// Scans cells the way LaTeX would split them: an "&" or a row end inside
// braces, math or a nested environment is the cell's own, and a \verb
// outside braces is skipped. Math is tracked only when asked: a row that
// ends with its math open is no math at all, and is scanned again without.
// Raises at an unbalanced brace or environment and at an unclosed \verb;
// text names the places (s is a prefix of it).
class TCellScanner {
 public:
  TCellScanner(std::string_view s, std::string_view text, size_t p, bool trackMath)
      : S(s), Text(text), Q(p), TrackMath(trackMath) {}

  TCellStop Next();
  // Math opened and not closed so far ('$', 'D' for $$, '(' or '['; 0 when none).
  char Math() const { return MathOpen; }

 private:
  [[noreturn]] void Fail(size_t at, const char* what) const { ::Fail(Text, at, what); }

  std::string_view S;
  std::string_view Text;
  size_t Q;
  bool TrackMath;
  std::vector<size_t> Braces;
  std::vector<std::pair<std::string, size_t>> Environments;
  char MathOpen = 0;
};

TCellStop TCellScanner::Next() {
  bool comments = false;
  while (Q < S.size()) {
    const char c = S[Q];
    switch (c) {
      case '%':
        comments = true;
        Q = LineEnd(S, Q);
        continue;
      case '{':
        Braces.push_back(Q);
        break;
      case '}':
        if (Braces.empty()) Fail(Q, "this } closes no {");
        Braces.pop_back();
        break;
      case '$':
        if (!TrackMath) break;
        if (Q + 1 < S.size() && S[Q + 1] == '$') {
          MathOpen = MathOpen == 'D' ? 0 : MathOpen == 0 ? 'D' : MathOpen;
          ++Q;
        } else {
          MathOpen = MathOpen == '$' ? 0 : MathOpen == 0 ? '$' : MathOpen;
        }
        break;
      case '&':
        if (Braces.empty() && Environments.empty() && MathOpen == 0) {
          const size_t at = Q++;
          return {TCellStop::Separator, at, Q, S.substr(at, 1), comments};
        }
        break;
      case '\\': {
        const TControl control = ReadControl(S, Q);
        const std::string_view name = control.Name;
        // A row end in math stops the scan too: the caller decides whether
        // the math was any.
        if (IsRowEnd(name) && Braces.empty() && Environments.empty()) {
          const size_t at = Q;
          Q = control.End;
          return {TCellStop::RowEnd, at, Q, name, comments};
        }
        if (name == "begin" || name == "end") {
          const TEnvName env = ReadEnvName(S, control.End);
          if (!env.Name.empty()) {
            if (name == "begin") {
              Environments.emplace_back(env.Name, Q);
            } else {
              if (Environments.empty()) Fail(Q, "this \\end closes no \\begin");
              if (Environments.back().first != env.Name) {
                const TPlace open = PlaceOf(Text, Environments.back().second);
                Fail(Q, FormatStr("\\end{%.*s} does not match the \\begin{%.*s} at line %d, column %d",
                                  static_cast<int>(env.Name.size()), env.Name.data(),
                                  static_cast<int>(Environments.back().first.size()), Environments.back().first.data(),
                                  open.Line, open.Column)
                            .c_str());
              }
              Environments.pop_back();
            }
            Q = env.End;
            continue;
          }
        } else if (name == "verb" && Braces.empty()) {
          Q = SkipVerb(S, control.End);
          // Unclosed, the code written back would close it with what follows.
          if (Q == control.End) Fail(control.End, "this \\verb is not closed on its line");
          continue;
        } else if ((name == "(" || name == "[") && MathOpen == 0 && TrackMath) {
          MathOpen = name[0];
        } else if ((name == ")" && MathOpen == '(') || (name == "]" && MathOpen == '[')) {
          MathOpen = 0;
        }
        Q = control.End;
        continue;
      }
      default:
        break;
    }
    ++Q;
  }
  if (!Braces.empty()) Fail(Braces.back(), "this { is never closed");
  if (!Environments.empty()) {
    const std::string_view name = Environments.back().first;
    Fail(Environments.back().second,
         FormatStr("this \\begin{%.*s} has no \\end{%.*s}", static_cast<int>(name.size()), name.data(),
                   static_cast<int>(name.size()), name.data())
             .c_str());
  }
  return {TCellStop::End, Q, Q, {}, comments};
}

constexpr std::string_view kMulticolumn = "\\multicolumn";

// The offset of the first \multicolumn in t outside braces; npos when none.
size_t FindMulticolumn(std::string_view t) {
  int depth = 0;
  for (size_t q = 0; q < t.size(); ++q) {
    const char c = t[q];
    if (c == '{') ++depth;
    else if (c == '}') --depth;
    else if (c == '\\') {
      if (depth == 0 && t.substr(q).starts_with(kMulticolumn) &&
          (q + kMulticolumn.size() >= t.size() || !IsLetter(t[q + kMulticolumn.size()])))
        return q;
      ++q;
    }
  }
  return std::string_view::npos;
}

// Whether t holds the command \verb (not \verbatim and the like).
bool HoldsVerb(std::string_view t) {
  for (size_t q = t.find('\\'); q != std::string_view::npos; q = t.find('\\', q)) {
    const TControl control = ReadControl(t, q);
    if (control.Name == "verb") return true;
    q = control.End;
  }
  return false;
}

// Whether t holds a \verb outside braces that t does not close on its line.
bool HoldsOpenVerb(std::string_view t) {
  int depth = 0;
  for (size_t q = 0; q < t.size(); ++q) {
    const char c = t[q];
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      --depth;
    } else if (c == '\\') {
      const TControl control = ReadControl(t, q);
      q = std::min(control.End, t.size()) - 1;
      if (control.Name != "verb" || depth != 0) continue;
      const size_t delimiter = control.End < t.size() && t[control.End] == '*' ? control.End + 1 : control.End;
      const size_t end = SkipVerb(t, control.End);
      if (delimiter >= t.size() || end == control.End) return true;
      q = end - 1;
    }
  }
  return false;
}

// The three arguments after the \multicolumn at t[m], as TeX reads them
// (brace groups or single tokens: "\multicolumn2c{x}"), their contents into
// args: the offset after the last, or npos when one is missing.
size_t MulticolumnArguments(std::string_view t, size_t m, std::string_view (&args)[3]) {
  size_t p = m + kMulticolumn.size();
  for (std::string_view& arg : args) {
    p = TokenArgument(t, p, arg);
    if (p == std::string_view::npos) return p;
  }
  return p;
}

// Whether the cell text t would be read as a \multicolumn cell: one that
// opens t, or, in a row's first cell, the first outside braces when nothing
// but its arguments follows it (see TReader::ReadMulticolumn).
bool ReadsAsMulticolumn(std::string_view t) {
  t = TrimText(t);
  if (t.starts_with(kMulticolumn) && (t.size() == kMulticolumn.size() || !IsLetter(t[kMulticolumn.size()])))
    return true;
  const size_t m = FindMulticolumn(t);
  if (m == std::string_view::npos) return false;
  std::string_view args[3];
  const size_t p = MulticolumnArguments(t, m, args);
  return p != std::string_view::npos && TrimText(t.substr(p)).empty();
}

// What in t, written as a cell of its own, would not stay that one plain
// cell, said as what "this \multicolumn holds": a bare "&" or row end (outside braces, math and nested environments,
// as TReader::ReadCells splits a row), or a \multicolumn that would make the
// cell; empty when nothing. Text that does not read as a cell at all counts
// too.
std::string CellBreakIn(std::string_view t) {
  for (const bool math : {true, false}) {
    TCellStop stop{TCellStop::End, 0, 0, {}, false};
    bool mathOpen = false;
    try {
      TCellScanner scan(t, t, 0, math);
      stop = scan.Next();
      mathOpen = scan.Math() != 0;
    } catch (const EQuiltorError&) {
      return "text that does not read as a cell of its own";
    }
    if (stop.Kind == TCellStop::Separator) return "a bare & in its text";
    if (mathOpen) continue;  // no math after all: scanned again without
    if (stop.Kind == TCellStop::RowEnd) return "a bare \\" + std::string(stop.Name) + " in its text";
    break;
  }
  return ReadsAsMulticolumn(t) ? "another \\multicolumn in its text" : "";
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
      const std::string braced = "{" + std::string(t) + "}";
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


// "1, 3-5, 9" for 0-based rows 0, 2, 3, 4, 8.
std::string RowList(const std::vector<int>& rows) {
  std::string out;
  int ranges = 0;
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (++ranges > 12) {
      out += ", ...";
      break;
    }
    if (!out.empty()) out += ", ";
    out += std::to_string(rows[i] + 1);
    if (j > i) out += "-" + std::to_string(rows[j] + 1);
    i = j + 1;
  }
  return out;
}

// "Row 3 has" or "Rows 1, 3-5 have".
std::string RowsHave(const std::vector<int>& rows) {
  const bool one = rows.size() == 1;
  return (one ? "Row " : "Rows ") + RowList(rows) + (one ? " has" : " have");
}

// Turns each row as read into a row of the table at once, so that the rows
// as read are never all held beside the table they make. The columns come
// last, when the widest row is known.
class TTableBuilder {
 public:
  TTableBuilder(std::string_view text, size_t begin, const TSpec& spec, TTable& table)
      : Text(text), Begin(begin), Spec(spec), Table(table), Columns(static_cast<long long>(spec.Formats.size())) {
    table.Clear();
  }

  // A plain cell has the rules of the preamble at its sides; a \multicolumn
  // its own. The left rule of a cell past the first column draws nothing in
  // LaTeX (its neighbour's right rule does); it is set to what is drawn
  // there, and in Finish corrected where the generator's vote on the
  // preamble's rules would otherwise come out differently.
  void AddRow(const TReadRow& read) {
    auto* row = new TRow(Table);
    row->Reserve(static_cast<int>(read.Cells.size()));
    row->Prefix = read.Prefix;
    row->Postfix = read.Postfix;
    long long k = 0;
    bool drawn = Rule(0);  // the rule drawn at the cell's left edge
    for (const TReadCell& rc : read.Cells) {
      if (k + rc.Span > kMaxColumns)
        Fail(Text, Begin, FormatStr("the table would have more than %lld columns", kMaxColumns).c_str());
      auto* cell = new TCell(*row);
      cell->Span = static_cast<int>(rc.Span);
      const bool left = rc.Multi && k == 0 ? rc.Left : drawn;
      const bool right = rc.Multi ? rc.Right : Rule(k + rc.Span);
      cell->RuleLeft = left;
      cell->RuleRight = right;
      if (rc.Multi) {
        // As the generator decides: a single-column cell with its column's
        // letter needs no \multicolumn for its alignment, and a wrapped cell
        // without an alignment of its own gets that letter, or l.
        const char letter = k < static_cast<long long>(Spec.Formats.size())
                                ? ColumnAlignLetter(Spec.Formats[static_cast<size_t>(k)])
                                : 'l';
        const bool same = rc.Align == (rc.Span == 1 || letter != 0 ? letter : 'l');
        cell->Align = same ? 0 : rc.Align;
      }
      if (!rc.Text.empty()) cell->SetText(rc.Text);
      if (rc.RowSpan != 1) Blocks.push_back({Table.RowCount() - 1, k, rc.Span, rc.RowSpan, rc.BlockArgs, rc.Code});
      drawn = right;
      k += rc.Span;
    }
    Columns = std::max(Columns, k);
  }

  TRow* LastRow() const { return Table.RowCount() > 0 ? Table.Rows.Last() : nullptr; }

  std::vector<std::string> Finish(const THeader& header, const std::vector<TBoundaryRules>& rules,
                                  const std::vector<int>& simplified);

 private:
  bool Rule(long long boundary) const {
    return boundary < static_cast<long long>(Spec.Rules.size()) && Spec.Rules[static_cast<size_t>(boundary)];
  }
  void MakeBlocks();
  void LeaveRulesOutOfBlocks();
  void BlockWarnings(std::vector<std::string>& warnings) const;

  // A cell read as a \multirow: its row and columns, the rows it asks for
  // (negative: upward), its arguments and its code as written.
  struct TBlockStart {
    int Row;
    long long Col;
    long long Span;
    long long Rows;
    TBlockArgs Args;
    std::string Code;
  };
  std::vector<TBlockStart> Blocks;
  // The rows (0-based) to name in the warnings about blocks: a \multirow
  // cut at the table's edge, cut short by cells joined otherwise, counted
  // upward, a block with rules across it, a covered cell that held text.
  std::vector<int> Beyond, Cut, Upward, Ruled, CoveredText;

  std::string_view Text;
  size_t Begin;
  const TSpec& Spec;
  TTable& Table;
  long long Columns;  // of the widest row so far, and at least the column list's
};

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

// Gives the table its columns, fills the shorter rows, settles the vertical
// rules with the generator's vote, sets the horizontal rules and returns
// the warnings.
std::vector<std::string> TTableBuilder::Finish(const THeader& header, const std::vector<TBoundaryRules>& ruleRows,
                                               const std::vector<int>& simplified) {
  std::vector<std::string> warnings;
  TTable& table = Table;
  table.Environment = header.Environment;
  table.EnvOptions = header.Options;
  const long long specColumns = static_cast<long long>(Spec.Formats.size());
  const int c = static_cast<int>(Columns);
  table.Columns.Reserve(c);
  for (int i = 0; i < c; ++i) {
    auto* column = new TColumn(table);
    if (i < specColumns) column->Format = Spec.Formats[static_cast<size_t>(i)];
  }
  if (c > specColumns && specColumns > 0) {
    // Text after the column list's last column went with that column;
    // with columns added after it, reading the code written back would give
    // it to the next one. Split as it will be split then.
    std::string preamble;
    for (int i = 0; i < c; ++i) {
      if (i <= specColumns && Spec.Rules[static_cast<size_t>(i)]) preamble += '|';
      preamble += table.Columns[i]->Format;
    }
    const TSpec again = ParseSpec(Text, preamble, Begin);
    std::vector<bool> rules = Spec.Rules;
    rules.resize(static_cast<size_t>(c) + 1, false);
    if (static_cast<int>(again.Formats.size()) == c && again.Rules == rules)
      for (int i = 0; i < c; ++i) table.Columns[i]->Format = again.Formats[static_cast<size_t>(i)];
  }
  std::vector<bool> boundary = Spec.Rules;
  boundary.resize(static_cast<size_t>(c) + 1, false);

  std::vector<int> widened, filled;
  int index = 0;
  for (TRow* row : table.Rows) {
    long long k = 0;
    bool drawn = boundary[0];
    for (const TCell* cell : *row) {
      drawn = cell->RuleRight;
      k += cell->Span;
    }
    if (k > specColumns) widened.push_back(index);
    if (k < c) filled.push_back(index);
    for (; k < c; ++k) {
      auto* cell = new TCell(*row);
      cell->RuleLeft = drawn;
      cell->RuleRight = boundary[static_cast<size_t>(k) + 1];
      drawn = cell->RuleRight;
    }
    ++index;
  }
  // The blocks before the vote: the cells a block covers take its side
  // rules, and vote with them.
  MakeBlocks();
  std::vector<int> votes(static_cast<size_t>(c) + 1, 0);
  for (const TRow* row : table.Rows) {
    long long k = 0;
    for (const TCell* cell : *row) {
      if (cell->Span == 1 && cell->RuleLeft) ++votes[static_cast<size_t>(k)];
      k += cell->Span;
    }
  }
  const int needed = table.RowCount() / 2;
  std::vector<char> revote(static_cast<size_t>(c) + 1, 0);
  bool anyRevote = false;
  for (int k = 1; k < c; ++k) {
    revote[static_cast<size_t>(k)] = (votes[static_cast<size_t>(k)] > needed) != boundary[static_cast<size_t>(k)];
    anyRevote = anyRevote || revote[static_cast<size_t>(k)];
  }
  if (anyRevote) {
    for (TRow* row : table.Rows) {
      long long k = 0;
      for (TCell* cell : *row) {
        if (cell->Span == 1 && revote[static_cast<size_t>(k)]) cell->RuleLeft = boundary[static_cast<size_t>(k)];
        k += cell->Span;
      }
    }
  }

  // A "|" of the column list that the generator's vote would not write
  // back (too few single-column cells vote for it, or there is no row)
  // becomes a rule of the format beside it, which the generator writes in
  // every row; so only where every row that has a cell edge there draws it.
  std::vector<bool> voted = VoteBoundaryRules(table);
  // Booktabs style writes no "|" of the vote: every one of the
  // specification stays with the formats.
  if (table.Style.Rules == rsBooktabs) voted.assign(voted.size(), false);
  for (int b = 0; b <= c && c > 0; ++b) {
    if (!boundary[static_cast<size_t>(b)] || voted[static_cast<size_t>(b)]) continue;
    std::string& before = table.Columns[std::max(b - 1, 0)]->Format;
    if ((b > 0 && EndsWithRule(before)) ||
        (b < c && !FormatSideRules(table.Columns[b]->Format, true).empty()))
      continue;
    bool everywhere = true;
    for (const TRow* row : table.Rows) {
      long long k = 0;
      for (const TCell* cell : *row) {
        if (b == 0 && k == 0) everywhere = everywhere && cell->RuleLeft;
        k += cell->Span;
        if (b > 0 && k == b) everywhere = everywhere && cell->RuleRight;
      }
    }
    if (!everywhere) continue;
    if (b == 0) before.insert(before.begin(), '|');
    else before += '|';
  }

  // Horizontal rules: a column under a rule gives the rule to the cells on
  // both sides that lie wholly under it; a column that no such cell covers
  // gives it to the cell below (above, at the bottom) that covers it partly.
  const int r = table.RowCount();
  std::vector<char> marks(static_cast<size_t>(c));
  // Without a row there is no cell to hold a horizontal rule.
  const bool rulesLost = r == 0 && ruleRows.front().Any();
  // Set by the caller from the rules read.
  const bool booktabs = table.Style.Rules == rsBooktabs;
  for (int b = 0; b <= r && r > 0 && c > 0; ++b) {
    const TBoundaryRules& rules = ruleRows[static_cast<size_t>(b)];
    if (!rules.Any()) continue;
    std::fill(marks.begin(), marks.end(), rules.Full);
    for (auto [from, to] : rules.Ranges)
      for (long long i = from - 1; i < std::min<long long>(to, c); ++i) marks[static_cast<size_t>(i)] = 1;
    std::vector<char> covered(static_cast<size_t>(c), 0);
    // Marks the cells of row that lie wholly under the rule; with
    // uncoveredOnly only those that hold a column no cell holds the rule
    // for yet.
    auto mark = [&](TRow* row, bool top, bool uncoveredOnly) {
      long long k = 0;
      for (TCell* cell : *row) {
        bool all = true;
        bool adds = !uncoveredOnly;
        for (long long i = k; i < k + cell->Span; ++i) {
          all = all && marks[static_cast<size_t>(i)];
          adds = adds || !covered[static_cast<size_t>(i)];
        }
        if (all && adds) {
          (top ? cell->RuleTop : cell->RuleBottom) = 1;
          for (long long i = k; i < k + cell->Span; ++i) covered[static_cast<size_t>(i)] = 1;
        }
        k += cell->Span;
      }
    };
    // In booktabs style, partial rules that meet are the rules under the
    // headings of the row above, each its own; any other rule inside the
    // table goes on the row below first, so that headings above it that
    // happen to be joined do not split it when it is written again.
    bool meet = false;
    for (size_t i = 1; i < rules.Ranges.size(); ++i) meet = meet || rules.Ranges[i].first == rules.Ranges[i - 1].second + 1;
    const bool inner = booktabs && b > 0 && b < r;
    const bool below = b < r && !(inner && meet);
    if (below) mark(table.Rows[b], true, false);
    if (b > 0) mark(table.Rows[b - 1], false, inner && !meet);
    if (inner && meet) mark(table.Rows[b], true, true);
    TRow* partial = below ? table.Rows[b] : table.Rows[b - 1];
    long long k = 0;
    for (TCell* cell : *partial) {
      for (long long i = k; i < k + cell->Span; ++i)
        if (marks[static_cast<size_t>(i)] && !covered[static_cast<size_t>(i)]) (below ? cell->RuleTop : cell->RuleBottom) = 1;
      k += cell->Span;
    }
  }

  if (!widened.empty()) {
    if (specColumns == 0)
      warnings.push_back(FormatStr("The column specification has no columns: the table got %d columns of format \"l\" "
                                   "for its cells.",
                                   c));
    else
      warnings.push_back(FormatStr("%s more cells than the column specification has columns: the table was "
                                   "widened to %d columns.",
                                   RowsHave(widened).c_str(), c));
  }
  if (!filled.empty())
    warnings.push_back(FormatStr("%s fewer cells than the table has columns: the rest was filled with empty "
                                 "cells.",
                                 RowsHave(filled).c_str()));
  if (rulesLost)
    warnings.push_back("The table has no rows: its horizontal rules were left out, since only cells can hold them.");
  if (!simplified.empty())
    warnings.push_back(FormatStr("%s \\multicolumn formats that say more than an alignment and side rules: "
                                 "only those were kept.",
                                 RowsHave(simplified).c_str()));
  LeaveRulesOutOfBlocks();
  BlockWarnings(warnings);
  return warnings;
}

// Adds row to a list of rows for a warning; the blocks come row by row.
void Note(std::vector<int>& rows, int row) {
  if (rows.empty() || rows.back() != row) rows.push_back(row);
}

// The cells of row that make up exactly columns col..col+span-1, none of
// them part of a block; empty when a cell reaches out of those columns.
std::vector<TCell*> WholeCells(const TRow& row, long long col, long long span) {
  std::vector<TCell*> cells;
  long long k = 0;
  for (TCell* cell : row) {
    const long long next = k + cell->Span;
    if (next > col && k < col + span) {
      if (k < col || next > col + span || cell->RowSpan > 1 || cell->Covered()) return {};
      cells.push_back(cell);
    }
    k = next;
  }
  if (k < col + span) return {};
  return cells;
}

// Joins the cells of every \multirow into its block once the rows are
// complete. LaTeX typesets a \multirow's text over the rows it names and
// every other cell of those rows as well; the model holds one text per
// block. So the text of a cell the block covers is added to the block's text
// (nothing typed is lost, and the block shows it), and a block that would
// leave the table, or cut a cell joined differently or another block, is
// cut there.
void TTableBuilder::MakeBlocks() {
  const int r = Table.RowCount();
  for (TBlockStart& b : Blocks) {
    TCell* source = Table.Rows[b.Row]->CellAtCol(static_cast<int>(b.Col));
    // Another block took the cell already, and its text with it.
    if (!source || source->Covered() || source->RowSpan > 1) {
      Note(Cut, b.Row);
      continue;
    }
    const bool down = b.Rows > 0;
    const long long want = down ? b.Rows : -b.Rows;
    const long long room = down ? r - b.Row : b.Row + 1;
    // The rows joined: from the \multirow's row on, in its direction, while
    // the cells there are whole.
    int first = b.Row;
    int last = b.Row;
    bool shortened = false;
    for (long long n = 1; n < std::min(want, room) && !shortened; ++n) {
      const int i = down ? b.Row + static_cast<int>(n) : b.Row - static_cast<int>(n);
      shortened = WholeCells(*Table.Rows[i], b.Col, b.Span).empty();
      if (!shortened) (down ? last : first) = i;
    }
    // Not even two rows: the \multirow stays the cell's text, which LaTeX
    // typesets as before.
    if (first == last) {
      source->SetText(b.Code);
      continue;
    }
    if (shortened) Note(Cut, b.Row);
    else if (want > room) Note(Beyond, b.Row);
    if (!down) Note(Upward, b.Row);
    // The block's text first, then what the cells it covers hold, top down.
    std::string text = source->Text();
    for (int i = first; i <= last; ++i) {
      for (TCell* cell : WholeCells(*Table.Rows[i], b.Col, b.Span)) {
        if (cell == source || cell->Text().empty()) continue;
        CoveredText.push_back(i);
        if (!text.empty()) text += ' ';
        text += cell->Text();
        cell->SetText(std::string());
      }
    }
    TCell& top = *WholeCells(*Table.Rows[first], b.Col, b.Span).front();
    if (&top != source) {
      // Counted upward, the \multirow stood in the bottom row: its cell's
      // alignment goes to the block's own cell.
      top.Align = source->Align;
      source->Align = 0;
      source->SetText(std::string());
    }
    TCell* block =
        JoinCells(Table, TCellRect{static_cast<int>(b.Col), first, static_cast<int>(b.Col + b.Span - 1), last});
    block->SetText(std::move(text));
    block->SetBlockArgs(b.Args);
  }
}

// A rule read across a block (an \hline through a \multirow) cannot stay:
// a block has none inside. Its bottom rule is its last row's.
void TTableBuilder::LeaveRulesOutOfBlocks() {
  int i = 0;
  for (const TRow* row : Table.Rows) {
    for (TCell* cell : *row) {
      if (cell->RowSpan <= 1) continue;
      bool ruled = cell->RuleBottom != 0;
      cell->RuleBottom = 0;
      const int col = cell->ColIndex();
      for (int below = 1; below < cell->RowSpan; ++below) {
        TCell* covered = Table.Rows[i + below]->CellAtCol(col);
        const bool inside = below + 1 < cell->RowSpan;
        ruled = ruled || covered->RuleTop || (inside && covered->RuleBottom);
        covered->RuleTop = 0;
        if (inside) covered->RuleBottom = 0;
      }
      if (ruled) Note(Ruled, i);
    }
    ++i;
  }
}

void TTableBuilder::BlockWarnings(std::vector<std::string>& warnings) const {
  std::vector<int> covered = CoveredText;
  std::sort(covered.begin(), covered.end());
  covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
  const auto warn = [&warnings](const std::vector<int>& rows, const char* what) {
    if (!rows.empty()) warnings.push_back(RowsHave(rows) + what);
  };
  warn(Beyond, " a \\multirow over more rows than the table has there: it was cut at the table's edge.");
  warn(Cut,
       " a \\multirow whose rows are joined differently or already taken by another \\multirow: it joins only the "
       "rows up to there.");
  warn(covered, " text in cells that a \\multirow covers: it was added to the \\multirow's text.");
  warn(Ruled, " a \\multirow with rules across it: they were left out, since a block has no rules inside.");
  warn(Upward, " a \\multirow that counts rows upward: it is written in the block's top row.");
}

}  // namespace

namespace {

// Moves p to the next control sequence that TeX would read, past comments
// and \verb texts, and returns it; at the end of s its name is empty.
TControl NextControl(std::string_view s, size_t& p) {
  while (p < s.size()) {
    if (s[p] == '%') {
      p = LineEnd(s, p);
      continue;
    }
    if (s[p] != '\\') {
      ++p;
      continue;
    }
    const TControl control = ReadControl(s, p);
    if (control.Name != "verb") return control;
    p = SkipVerb(s, control.End);
  }
  return {{}, p};
}

// The offset of the "\end" that closes the environment whose body starts at
// p, counting every \begin and \end in between; npos when there is none.
size_t FindEnd(std::string_view s, size_t p) {
  int depth = 1;
  while (p < s.size()) {
    const TControl control = NextControl(s, p);
    if (control.Name == "begin" || control.Name == "end") {
      const TEnvName env = ReadEnvName(s, control.End);
      if (!env.Name.empty()) {
        depth += control.Name == "begin" ? 1 : -1;
        if (depth == 0) return p;
        p = env.End;
        continue;
      }
    }
    p = control.End;
  }
  return std::string_view::npos;
}

// Text of a float with its \centering, \caption{..} and \label{..} taken
// out (those at the float's own level, not inside a group or a comment;
// a \caption with a short form in [..] stays text, since the model holds
// one caption). What is left loses its blank lines and the blanks at the
// ends of its lines.
struct TFloatText {
  bool Centering = false;
  bool HasCaption = false;
  std::string Caption;
  bool HasLabel = false;
  std::string Label;
  std::string Rest;
};

TFloatText SplitFloatText(std::string_view s) {
  TFloatText out;
  std::string rest;
  int depth = 0;
  size_t p = 0;
  while (p < s.size()) {
    const char c = s[p];
    if (c == '%') {
      const size_t e = LineEnd(s, p);
      rest.append(s.substr(p, e - p));
      p = e;
      continue;
    }
    if (c == '{' || c == '}') depth += c == '{' ? 1 : -1;
    if (c != '\\') {
      rest += c;
      ++p;
      continue;
    }
    const TControl control = ReadControl(s, p);
    const size_t end = std::min(control.End, s.size());
    if (depth <= 0 && control.Name == "centering") {
      out.Centering = true;
      p = end;
      continue;
    }
    if (depth <= 0 && ((control.Name == "caption" && !out.HasCaption) || (control.Name == "label" && !out.HasLabel))) {
      size_t q = end;
      while (q < s.size() && IsSpace(s[q])) ++q;
      const size_t close = q < s.size() && s[q] == '{' ? GroupEnd(s, q) : std::string_view::npos;
      if (close != std::string_view::npos) {
        const std::string argument(s.substr(q + 1, close - q - 2));
        if (control.Name == "caption") {
          out.HasCaption = true;
          out.Caption = argument;
        } else {
          out.HasLabel = true;
          out.Label = argument;
        }
        p = close;
        continue;
      }
    }
    rest.append(s.substr(p, end - p));
    p = end;
  }
  // The lines that hold anything, without blanks at their ends.
  for (size_t b = 0; b < rest.size();) {
    size_t e = rest.find('\n', b);
    if (e == std::string::npos) e = rest.size();
    const std::string_view line = Trim(std::string_view(rest).substr(b, e - b));
    if (!line.empty()) {
      if (!out.Rest.empty()) out.Rest += '\n';
      out.Rest += line;
    }
    b = e + 1;
  }
  return out;
}

// Where the table float (table or table*) directly around the environment
// that starts at begin and ends before afterEnd is: its "\begin", its body
// after the placement, its "\end". Start is npos when the environment is not
// directly in a float.
struct TFloatPlace {
  size_t Start = std::string_view::npos;
  size_t Body = 0;
  size_t End = 0;
  bool Wide = false;
  std::string Placement;
};

TFloatPlace FindFloat(std::string_view s, size_t begin, size_t afterEnd) {
  struct TOpen {
    std::string Name;
    size_t Start;  // its "\begin"
    size_t After;  // after the name's braces
  };
  std::vector<TOpen> open;
  for (size_t p = 0; p < begin;) {
    const TControl control = NextControl(s, p);
    if (p >= begin) break;
    if (control.Name == "begin" || control.Name == "end") {
      const TEnvName env = ReadEnvName(s, control.End);
      if (!env.Name.empty()) {
        if (control.Name == "begin") open.push_back({env.Name, p, env.End});
        else if (!open.empty()) open.pop_back();
        p = env.End;
        continue;
      }
    }
    p = control.End;
  }
  TFloatPlace place;
  if (open.empty() || (open.back().Name != "table" && open.back().Name != "table*")) return place;
  size_t body = open.back().After;
  size_t q = body;
  while (q < s.size() && IsBlank(s[q])) ++q;
  if (q < s.size() && s[q] == '[') {
    const size_t close = s.find(']', q);
    if (close == std::string_view::npos || close > begin) return place;
    place.Placement = std::string(Trim(s.substr(q + 1, close - q - 1)));
    body = close + 1;
  }
  const size_t floatEnd = FindEnd(s, body);
  if (floatEnd == std::string_view::npos || floatEnd < afterEnd) return place;
  place.Start = open.back().Start;
  place.Body = body;
  place.End = floatEnd;
  place.Wide = open.back().Name == "table*";
  return place;
}

// The table float directly around the environment that starts at begin and
// ends before afterEnd: its placement, \centering, caption, label and the
// rest of its text before and after the environment. Nothing when the
// environment is not directly in a float.
void ReadFloat(std::string_view s, size_t begin, size_t afterEnd, TTableFloat& tableFloat) {
  const TFloatPlace place = FindFloat(s, begin, afterEnd);
  if (place.Start == std::string_view::npos) return;
  const size_t body = place.Body, floatEnd = place.End;
  const std::string placement = place.Placement;
  const TFloatText before = SplitFloatText(s.substr(body, begin - body));
  const TFloatText after = SplitFloatText(s.substr(afterEnd, floatEnd - afterEnd));
  tableFloat.Wide = place.Wide;
  tableFloat.Placement = placement;
  tableFloat.Centering = before.Centering || after.Centering;
  // Below when the caption is after the tabular, or without a caption the
  // label (the generator writes the label with the caption).
  tableFloat.CaptionBelow = !before.HasCaption && (after.HasCaption || (!before.HasLabel && after.HasLabel));
  tableFloat.Caption = before.HasCaption ? before.Caption : after.Caption;
  tableFloat.Label = before.HasLabel ? before.Label : after.Label;
  tableFloat.TextBefore = before.Rest;
  tableFloat.TextAfter = after.Rest;
  // A second caption or label stays where it was, as text.
  if (before.HasCaption && after.HasCaption) tableFloat.TextAfter = "\\caption{" + after.Caption + "}\n" + after.Rest;
  if (before.HasLabel && after.HasLabel) tableFloat.TextAfter += "\n\\label{" + after.Label + "}";
}

std::vector<std::string> PreviewLines(std::string_view s, size_t from, size_t to) {
  std::vector<std::string> lines;
  size_t p = from;
  while (p < to && static_cast<int>(lines.size()) < kLatexPreviewLines) {
    const size_t e = std::min(LineEnd(s, p), to);
    std::string_view line = s.substr(p, e - p);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kPreviewLineBytes) line = line.substr(0, kPreviewLineBytes);
    lines.emplace_back(line);
    p = e + 1;
  }
  return lines;
}

}  // namespace

std::vector<TLatexTableSource> FindLatexTables(std::string_view s) {
  std::vector<TLatexTableSource> found;
  size_t p = 0;
  size_t counted = 0;  // lines are counted up to here
  int line = 1;
  while (p < s.size()) {
    const TControl control = NextControl(s, p);
    if (control.Name != "begin") {
      p = control.End;
      continue;
    }
    const TEnvName env = ReadEnvName(s, control.End);
    bool table = !env.Name.empty() && KnownTable(env.Name) != nullptr;
    if (!table && !env.Name.empty() && !IsOtherEnvironment(env.Name)) {
      THeader header;
      table = ReadHeader(s.substr(0, LineEnd(s, env.End)), env.Name, env.End, header, nullptr) &&
              LooksLikeSpec(s.substr(header.SpecBegin + 1, header.SpecEnd - header.SpecBegin - 2));
    }
    if (!table) {
      p = env.Name.empty() ? control.End : env.End;
      continue;
    }
    TLatexTableSource source;
    source.Environment = env.Name;
    source.Begin = p;
    const size_t end = FindEnd(s, env.End);
    source.Ended = end != std::string_view::npos;
    source.BodyEnd = source.Ended ? end : s.size();
    line += static_cast<int>(std::count(s.begin() + static_cast<std::ptrdiff_t>(counted),
                                        s.begin() + static_cast<std::ptrdiff_t>(p), '\n'));
    counted = p;
    source.Line = line;
    const size_t after = source.Ended ? ReadEnvName(s, ReadControl(s, end).End).End : s.size();
    source.FirstLines = PreviewLines(s, p, after);
    found.push_back(std::move(source));
    p = after;
  }
  return found;
}

namespace {

// The rule style is the one most of the table's rules are written in (a
// tie keeps classic); a table that mixes the two is told so, as is a
// \cmidrule trimmed otherwise than booktabs style writes it: trimmed at
// every end but the table's edges.
void ReadRuleStyle(const TReader& reader, int columns, TTable& table, std::vector<std::string>& warnings) {
  const bool booktabs = reader.BooktabsRules > reader.ClassicRules;
  table.Style.Rules = booktabs ? rsBooktabs : rsClassic;
  if (reader.BooktabsRules > 0 && reader.ClassicRules > 0)
    warnings.push_back(FormatStr("The table mixes %d booktabs rules and %d classic rules (\\hline, \\cline, ...): it "
                                 "keeps the %s style, in which all its rules are written.",
                                 reader.BooktabsRules, reader.ClassicRules, booktabs ? "booktabs" : "classic"));
  if (!booktabs) return;
  int differ = 0;
  for (const auto& [range, trim] : reader.CmidruleTrims) {
    const bool left = range.first > 1;
    const bool right = range.second < columns;
    const char* usual = left && right ? "(lr)" : left ? "(l)" : right ? "(r)" : "";
    // Trimming both ends is the habit of many authors; at the table's edge
    // it makes no difference worth a word.
    if (trim != usual && trim != "(lr)" && trim != "(rl)") ++differ;
  }
  if (differ > 0)
    warnings.push_back(FormatStr("%d \\cmidrule trims differ from the usual ones (trimmed at every end but the "
                                 "table's edges): they are written in the usual way.",
                                 differ));
}

}  // namespace

std::vector<std::string> ReadLatexTable(std::string_view text, const TLatexTableSource& source, TTable& table) {
  const std::string& name = source.Environment;
  if (!source.Ended)
    Fail(text, source.Begin,
         FormatStr("this \\begin{%s} has no \\end{%s}", name.c_str(), name.c_str()).c_str());
  const std::string_view body = text.substr(0, source.BodyEnd);
  const TEnvName env = ReadEnvName(body, ReadControl(body, source.Begin).End);
  THeader header;
  size_t unclosed = std::string_view::npos;
  if (!ReadHeader(body, name, env.End, header, &unclosed)) {
    if (unclosed != std::string_view::npos) Fail(text, unclosed, "this { is never closed");
    Fail(text, source.Begin, FormatStr("\\begin{%s} has no column specification", name.c_str()).c_str());
  }
  const TSpec spec =
      ParseSpec(text, body.substr(header.SpecBegin + 1, header.SpecEnd - header.SpecBegin - 2), header.SpecBegin);
  TTableBuilder builder(text, source.Begin, spec, table);
  TReader reader(text, source.BodyEnd, builder);
  reader.Read(header.SpecEnd);
  // The style decides where the rules go, so it comes before them.
  table.Style.Rules = reader.BooktabsRules > reader.ClassicRules ? rsBooktabs : rsClassic;
  std::vector<std::string> built = builder.Finish(header, reader.Rules, reader.SimplifiedRows);
  ReadRuleStyle(reader, table.ColCount(), table, built);
  ReadFloat(text, source.Begin, ReadEnvName(text, ReadControl(text, source.BodyEnd).End).End, table.Style.Float);
  return built;
}

TLatexFloatPlace FindLatexFloat(std::string_view text, const TLatexTableSource& source) {
  TLatexFloatPlace out;
  if (!source.Ended) return out;
  const size_t afterEnd = ReadEnvName(text, ReadControl(text, source.BodyEnd).End).End;
  const TFloatPlace place = FindFloat(text, source.Begin, afterEnd);
  if (place.Start == std::string_view::npos) return out;
  // Only a float the reader keeps with the table is written back with it.
  TTableFloat tableFloat;
  ReadFloat(text, source.Begin, afterEnd, tableFloat);
  if (!tableFloat.Active()) return out;
  out.Begin = place.Start;
  out.EndAt = place.End;
  return out;
}

std::vector<std::string> ReadLatexTable(std::string_view text, TTable& table, size_t index) {
  const std::vector<TLatexTableSource> tables = FindLatexTables(text);
  if (tables.empty()) throw EQuiltorError(kNoLatexTable);
  if (index >= tables.size())
    throw EQuiltorError(FormatStr("There is no table %zu: the text holds %zu table%s", index + 1, tables.size(),
                                  tables.size() == 1 ? "" : "s"));
  return ReadLatexTable(text, tables[index], table);
}
