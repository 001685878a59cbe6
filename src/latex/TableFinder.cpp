#include "latex/TableFinder.h"

#include <algorithm>
#include <array>

#include "latex/ColumnList.h"
#include "latex/LatexReader.h"
#include "latex/LatexScanner.h"
#include "model/Tables.h"

namespace LatexRead {

namespace {

// Preview lines are cut to this many bytes.
constexpr size_t kPreviewLineBytes = 200;

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

}  // namespace

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

}  // namespace

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

namespace {

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

}  // namespace LatexRead

using namespace LatexRead;

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
