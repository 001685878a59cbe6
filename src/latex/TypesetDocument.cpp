#include "latex/TypesetDocument.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "model/Tables.h"

namespace {

constexpr const char* kTableBox = "\\quiltortable";
constexpr const char* kTableWidth = "\\quiltorwidth";
// White space around the cropped table, so that rules on its edges are not
// cut by the page border.
constexpr const char* kMargin = "2pt";

bool IsLetter(char ch) { return std::isalpha(static_cast<unsigned char>(ch)) != 0; }

// True when text holds the control word name ("\\toprule") not followed by
// another letter ("\\numberline" is no "\\num").
bool HasCommand(std::string_view text, std::string_view name) {
  for (size_t at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1)) {
    const size_t end = at + name.size();
    if (end >= text.size() || !IsLetter(text[end])) return true;
  }
  return false;
}

// The argument in braces that starts at text[open] == '{', without the
// braces; empty when the braces do not close.
std::string_view BracedArgument(std::string_view text, size_t open) {
  if (open >= text.size() || text[open] != '{') return {};
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
      continue;
    }
    if (text[i] == '{') ++depth;
    if (text[i] == '}' && --depth == 0) return text.substr(open + 1, i - open - 1);
  }
  return {};
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// The table float the generator may wrap the environment in.
bool IsFloatBegin(std::string_view line) {
  return StartsWith(line, "\\begin{table}") || StartsWith(line, "\\begin{table*}");
}

// The environment's \begin line: the first line, or in a float the first
// \begin line after the float's own.
std::string_view BeginLine(const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  if (!IsFloatBegin(lines.front())) return lines.front();
  for (size_t i = 1; i < lines.size(); ++i)
    if (StartsWith(lines[i], "\\begin{")) return lines[i];
  return {};
}

// The column formats of the environment's preamble: the last argument of
// the \begin line.
std::string PreambleFormats(const std::vector<std::string>& lines) {
  const std::string_view begin = BeginLine(lines);
  // The preamble is the last braced group of the line; find its opening
  // brace by balancing from the end.
  int depth = 0;
  for (size_t i = begin.size(); i-- > 0;) {
    if (begin[i] == '}') ++depth;
    if (begin[i] == '{' && --depth == 0) return std::string(BracedArgument(begin, i));
  }
  return {};
}

// Appends the format of every \multicolumn in line, each after a blank.
void AppendMulticolumnFormats(std::string_view line, std::string& formats) {
  constexpr std::string_view kMulti = "\\multicolumn";
  for (size_t at = line.find(kMulti); at != std::string_view::npos; at = line.find(kMulti, at + 1)) {
    size_t pos = at + kMulti.size();
    const std::string_view span = BracedArgument(line, pos);
    pos += span.size() + 2;
    formats += ' ';
    formats += BracedArgument(line, pos);
  }
}

bool HasColumnType(std::string_view formats, std::string_view types) {
  // A letter that is a column type stands outside every braced argument
  // (p{2cm} has no column "c" in "2cm").
  int depth = 0;
  for (size_t i = 0; i < formats.size(); ++i) {
    const char ch = formats[i];
    if (ch == '{') ++depth;
    else if (ch == '}') --depth;
    else if (depth == 0 && types.find(ch) != std::string_view::npos) return true;
  }
  return false;
}

std::string EnvironmentOf(const std::vector<std::string>& lines) {
  const std::string_view begin = BeginLine(lines);
  constexpr std::string_view kBegin = "\\begin{";
  if (begin.substr(0, kBegin.size()) != kBegin) return {};
  const size_t close = begin.find('}', kBegin.size());
  return close == std::string_view::npos ? std::string() : std::string(begin.substr(kBegin.size(), close - kBegin.size()));
}

// TeX ends an input line at LF, CR or CR LF.
int LineBreaks(std::string_view text) {
  int n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++n;
    else if (text[i] == '\r') {
      ++n;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return n;
}

// The physical lines of one code line, each with its offset in the code line.
struct TPhysicalLine {
  size_t Offset;
  std::string_view Text;
};
std::vector<TPhysicalLine> SplitLines(std::string_view text) {
  std::vector<TPhysicalLine> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back({start, text.substr(start, i - start)});
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back({start, text.substr(start)});
  return lines;
}

// A line the generator writes for horizontal rules: "\hline" or a run of
// "\cline{a-b}". Row lines always hold " \\ ", so they never look like this.
bool IsRuleLine(std::string_view line) {
  if (line == "\\hline") return true;
  constexpr std::string_view kCline = "\\cline{";
  if (line.empty()) return false;
  while (!line.empty()) {
    if (line.substr(0, kCline.size()) != kCline) return false;
    const size_t close = line.find('}');
    if (close == std::string_view::npos) return false;
    for (char ch : line.substr(kCline.size(), close - kCline.size()))
      if (!std::isdigit(static_cast<unsigned char>(ch)) && ch != '-') return false;
    line.remove_prefix(close + 1);
  }
  return true;
}

// Where the error point lies in the physical line: just after the text TeX
// showed before it. npos when the context does not fit the line.
size_t ErrorColumn(std::string_view line, std::string_view shown) {
  // TeX shows a TAB as ^^I.
  std::string context;
  context.reserve(shown.size());
  for (size_t i = 0; i < shown.size();) {
    if (shown.compare(i, 3, "^^I") == 0) {
      context += '\t';
      i += 3;
    } else {
      context += shown[i++];
    }
  }
  if (context.rfind("...", 0) == 0) {
    const std::string tail = context.substr(3);
    const size_t at = line.find(tail);
    return at == std::string_view::npos ? std::string_view::npos : at + tail.size();
  }
  return line.substr(0, context.size()) == context ? context.size() : std::string_view::npos;
}

// The cell of row whose part of the row's line holds offset; -1 when the
// offset is in the prefix or after the last cell. The line is rebuilt from
// what the generator puts around each cell text: nothing, or
// "\multicolumn{N}{format}{" and "}"; cells are separated by " & ".
int CellAtOffset(const TRow& row, std::string_view line, size_t offset) {
  size_t pos = row.Prefix.size();
  if (offset < pos) return -1;
  int index = 0;
  const int count = row.Count();
  for (const TCell* cell : row) {
    if (pos > line.size()) return -1;
    const std::string& text = cell->Text();
    const std::string_view separator = index + 1 < count ? " & " : " \\\\ ";
    size_t end;
    if (line.compare(pos, text.size(), text) == 0 && line.compare(pos + text.size(), separator.size(), separator) == 0) {
      end = pos + text.size();
    } else {
      // \multicolumn{N}{format}{text}: the text starts after the second "}{".
      const size_t first = line.find("}{", pos);
      const size_t second = first == std::string_view::npos ? first : line.find("}{", first + 2);
      if (second == std::string_view::npos) return -1;
      end = second + 2 + text.size() + 1;
    }
    if (offset <= end + (index + 1 < count ? 2 : 0)) return index;
    pos = end + separator.size();
    ++index;
  }
  return -1;
}

// True when the braces of text do not balance; "\{", "\}" and comments do
// not count.
bool UnbalancedBraces(std::string_view text) {
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == '\\') {
      ++i;
    } else if (ch == '%') {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
    } else if (ch == '{') {
      ++depth;
    } else if (ch == '}' && --depth < 0) {
      return true;
    }
  }
  return depth != 0;
}

}  // namespace

namespace {

// The search of code held whole: what NeededPackages always did.
class TWholeCodeSearch : public TCodeSearch {
 public:
  explicit TWholeCodeSearch(const std::vector<std::string>& lines)
      : FFormats(PreambleFormats(lines)), FEnvironment(EnvironmentOf(lines)) {
    for (const std::string& line : lines) {
      FCode += line;
      FCode += '\n';
      AppendMulticolumnFormats(line, FFormats);
    }
  }
  bool HasCommand(std::string_view name) override { return ::HasCommand(FCode, name); }
  bool Contains(std::string_view text) override { return FCode.find(text) != std::string::npos; }
  bool HasColumnType(std::string_view types) override { return ::HasColumnType(FFormats, types); }
  std::string Environment() override { return FEnvironment; }

 private:
  std::string FCode;
  std::string FFormats;
  std::string FEnvironment;
};

}  // namespace

std::vector<TPackageNeed> NeededPackages(const std::vector<std::string>& codeLines) {
  TWholeCodeSearch search(codeLines);
  return NeededPackages(search);
}

std::vector<TPackageNeed> NeededPackages(TCodeSearch& code) {
  const std::string environment = code.Environment();
  std::vector<TPackageNeed> needs;
  auto need = [&needs](const char* name, const char* options = "") { needs.push_back({name, options}); };

  auto hasAny = [&code](std::initializer_list<const char*> commands) {
    for (const char* command : commands)
      if (code.HasCommand(command)) return true;
    return false;
  };
  auto usesEnvironment = [&code](std::initializer_list<const char*> names) {
    for (const char* name : names)
      if (code.Contains(std::string("\\begin{") + name + "}")) return true;
    return false;
  };

  // Maths first: the table packages below may build on it.
  if (hasAny({"\\text", "\\dfrac", "\\tfrac", "\\binom", "\\operatorname", "\\boldsymbol", "\\substack",
              "\\overset", "\\underset", "\\xrightarrow", "\\xleftarrow", "\\eqref"}) ||
      usesEnvironment({"aligned", "gathered", "split", "cases", "matrix", "pmatrix", "bmatrix", "vmatrix", "Bmatrix"}))
    need("amsmath");
  if (hasAny({"\\checkmark", "\\mathbb", "\\mathfrak", "\\blacksquare", "\\square", "\\lesssim", "\\gtrsim",
              "\\leqslant", "\\geqslant", "\\varnothing", "\\blacktriangle", "\\blacktriangledown",
              "\\therefore", "\\because", "\\nmid", "\\smallsetminus"}))
    need("amssymb");
  // !{..} is array's; @{..}, p{..} and the rest are LaTeX's own.
  if (code.HasColumnType("mb><wW!")) need("array");
  const bool tableColours = code.HasCommand("\\rowcolor") || code.HasCommand("\\cellcolor") ||
                            code.HasCommand("\\columncolor") || code.HasCommand("\\rowcolors") ||
                            code.HasCommand("\\arrayrulecolor");
  if (tableColours) need("xcolor", "table");
  else if (code.HasCommand("\\color") || code.HasCommand("\\textcolor") || code.HasCommand("\\colorbox"))
    need("xcolor");
  for (const char* rule : {"\\toprule", "\\midrule", "\\bottomrule", "\\cmidrule", "\\addlinespace", "\\specialrule"}) {
    if (code.HasCommand(rule)) {
      need("booktabs");
      break;
    }
  }
  if (code.HasCommand("\\multirow")) need("multirow");
  if (environment == "tabularx" || environment == "tabularx*") need("tabularx");
  if (environment == "tabulary") need("tabulary");
  if (environment.rfind("NiceTabular", 0) == 0 || environment == "NiceArray") need("nicematrix");
  if (code.HasColumnType("D")) need("dcolumn");
  if (hasAny({"\\makecell", "\\thead", "\\rothead", "\\makegapedcells", "\\Gape", "\\multirowcell",
              "\\multirowthead", "\\diaghead", "\\setcellgapes", "\\theadfont"}))
    need("makecell");
  if (code.HasCommand("\\diagbox")) need("diagbox");
  if (environment == "longtable" || environment == "longtable*") need("longtable");
  bool units = code.HasColumnType("S");
  for (const char* command : {"\\SI", "\\si", "\\num", "\\qty", "\\unit", "\\ang", "\\tablenum"})
    units = units || code.HasCommand(command);
  if (units) need("siunitx");
  if (code.HasCommand("\\hhline")) need("hhline");
  if (hasAny({"\\includegraphics", "\\rotatebox", "\\scalebox", "\\resizebox", "\\reflectbox"})) need("graphicx");
  return needs;
}

void TKeptCodeSearch::Update(const std::vector<std::string>& lines, const std::vector<size_t>* changed) {
  const bool whole = !changed || !FLines || FLines->size() != lines.size();
  FLines = &lines;
  if (whole) {
    // Every question is answered again, as it is asked.
    FQuestions.clear();
    FLineFormats.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string formats;
      AppendMulticolumnFormats(lines[i], formats);
      if (!formats.empty()) FLineFormats.emplace(i, std::move(formats));
    }
    FFormatsStale = true;
    return;
  }
  std::string formats;
  for (const size_t i : *changed) {
    const std::string& line = lines[i];
    for (TQuestion& question : FQuestions) {
      const bool holds = Holds(question, line);
      if (holds == question.Holding[i]) continue;
      question.Holding[i] = holds;
      holds ? ++question.Count : --question.Count;
    }
    formats.clear();
    AppendMulticolumnFormats(line, formats);
    const auto kept = FLineFormats.find(i);
    if (kept == FLineFormats.end() ? formats.empty() : kept->second == formats) continue;
    if (formats.empty()) FLineFormats.erase(kept);
    else FLineFormats[i] = formats;
    FFormatsStale = true;
  }
}

// A line of the whole code is followed by a line break, which is no letter:
// a command at the line's end counts, as it does in the whole code.
bool TKeptCodeSearch::Holds(const TQuestion& question, std::string_view line) const {
  return question.Command ? ::HasCommand(line, question.Text) : line.find(question.Text) != std::string_view::npos;
}

bool TKeptCodeSearch::Ask(bool command, std::string_view text) {
  for (const TQuestion& question : FQuestions)
    if (question.Command == command && question.Text == text) return question.Count > 0;
  TQuestion& question = FQuestions.emplace_back(TQuestion{command, std::string(text), {}, 0});
  const size_t n = FLines ? FLines->size() : 0;
  question.Holding.resize(n);
  for (size_t i = 0; i < n; ++i)
    if (Holds(question, (*FLines)[i])) {
      question.Holding[i] = true;
      ++question.Count;
    }
  return question.Count > 0;
}

bool TKeptCodeSearch::HasCommand(std::string_view name) { return Ask(true, name); }

bool TKeptCodeSearch::Contains(std::string_view text) { return Ask(false, text); }

bool TKeptCodeSearch::HasColumnType(std::string_view types) {
  // The preamble is on the \begin line, which only a whole update changes;
  // it is read again all the same, being one line.
  std::string preamble = FLines ? PreambleFormats(*FLines) : std::string();
  if (FFormatsStale || preamble != FPreamble) {
    FPreamble = std::move(preamble);
    FFormats = FPreamble;
    for (const auto& [line, formats] : FLineFormats) FFormats += formats;
    FFormatsStale = false;
    FTypeAnswers.clear();
  }
  for (const auto& [asked, answer] : FTypeAnswers)
    if (asked == types) return answer;
  const bool answer = ::HasColumnType(FFormats, types);
  FTypeAnswers.emplace_back(std::string(types), answer);
  return answer;
}

std::string TKeptCodeSearch::Environment() { return FLines ? EnvironmentOf(*FLines) : std::string(); }

TTypesetDocument BuildTypesetDocument(const std::vector<std::string>& codeLines, const std::string& userPreamble) {
  TTypesetDocument doc;
  doc.CodeLines = codeLines;
  std::string& t = doc.Text;
  int line = 1;
  auto put = [&t, &line](std::string_view text) {
    t += text;
    t += '\n';
    line += LineBreaks(text) + 1;
  };
  put("\\documentclass{article}");
  put("\\pagestyle{empty}");
  // Objects in the open: what the table's code put into the PDF can be seen
  // (and is, by the tests of the copy that drops it).
  put("\\pdfobjcompresslevel=0");
  std::vector<TPackageNeed> needs = NeededPackages(codeLines);
  // A preamble's own column types need array before it.
  const auto array = [](const TPackageNeed& p) { return p.Name == "array"; };
  if (HasCommand(userPreamble, "\\newcolumntype") && std::none_of(needs.begin(), needs.end(), array))
    needs.insert(needs.begin(), {"array", ""});
  for (const TPackageNeed& p : needs) {
    const std::string options = p.Options.empty() ? "" : "[" + p.Options + "]";
    put("\\IfFileExists{" + p.Name + ".sty}{\\usepackage" + options + "{" + p.Name + "}}{\\typeout{" +
        kMissingPackageMark + p.Name + "}}");
  }
  put(std::string("\\newbox") + kTableBox + "\\newdimen" + kTableWidth);
  // A float cannot stand in the box the table is set in: the preview sets
  // it where it stands, a column wide (a page wide for table*), with its
  // caption as the page would show it.
  if (!codeLines.empty() && IsFloatBegin(codeLines.front())) {
    put("\\makeatletter");
    for (const char* name : {"table", "table*"})
      put(std::string("\\renewenvironment{") + name + "}[1][]{\\def\\@captype{table}\\vbox\\bgroup\\hsize=" +
          (name[5] ? "\\textwidth" : "\\columnwidth") + "\\linewidth=\\hsize\\parindent=0pt}{\\egroup}");
    put("\\makeatother");
  }
  const std::string environment = EnvironmentOf(codeLines);
  const bool paged = environment == "longtable" || environment == "longtable*";
  // A longtable cannot be set in a box. It is set on one page tall enough
  // for it, at the left, with no space around it; the page is then taken
  // apart in the output routine below.
  if (paged)
    put("\\makeatletter\\@ifpackageloaded{longtable}{\\textheight=15000pt \\topskip=0pt \\LTpre=0pt "
        "\\LTpost=0pt \\let\\quiltor@LTarray\\LT@array\\def\\LT@array[#1]{\\quiltor@LTarray[l]}}{}\\makeatother");
  doc.PreambleStart = line;
  if (!userPreamble.empty()) put(userPreamble);
  doc.PreambleEnd = line;
  put("\\begin{document}");

  const bool math = environment == "array" || environment == "NiceArray";
  if (!paged) put(std::string("\\setbox") + kTableBox + "\\hbox{" + (math ? "$" : "") + "%");
  for (const std::string& code : codeLines) {
    doc.CodeLineStart.push_back(line);
    put(code);
  }
  doc.CodeEndLine = line;
  if (paged) {
    // longtable sets its head and its body apart and needs the widths of
    // an earlier run to line them up. The table is set twice: the first,
    // thrown away, leaves its widths for the second as that run would.
    put("\\par\\output={\\setbox0\\box255}\\penalty-10000 \\makeatletter\\global\\expandafter\\let"
        "\\csname LT@\\romannumeral\\numexpr\\c@LT@tables+1\\relax\\endcsname\\LT@save@row\\makeatother"
        "\\setcounter{table}{0}%");
    for (const std::string& code : codeLines) put(code);
    // The page so far, without the glue that fills it, is the table; its
    // width is the sum of the column widths longtable found.
    put(std::string("\\par\\output={\\global\\setbox") + kTableBox +
        "\\vbox{\\unvbox255\\unskip\\unpenalty\\unskip}}\\penalty-10000");
    put("\\makeatletter");
    put(std::string("\\global") + kTableWidth + "=0pt{\\def\\LT@entry#1#2{\\global\\advance" + kTableWidth +
        " #2\\relax}\\LT@save@row}\\makeatother");
  } else {
    put(std::string(math ? "$" : "") + "}%");
    put(std::string(kTableWidth) + "=\\wd" + kTableBox);
  }
  put(std::string("\\pdfpagewidth=\\dimexpr") + kTableWidth + "+2\\dimexpr" + kMargin + "\\relax\\relax");
  put(std::string("\\pdfpageheight=\\dimexpr\\ht") + kTableBox + "+\\dp" + kTableBox + "+2\\dimexpr" + kMargin +
      "\\relax\\relax");
  put(std::string("\\pdfhorigin=") + kMargin + " \\pdfvorigin=" + kMargin + " \\hoffset=0pt \\voffset=0pt");
  put(std::string("\\shipout\\hbox{\\box") + kTableBox + "}%");
  put("\\end{document}");
  return doc;
}

TLatexError FirstLatexError(const std::string& log) {
  TLatexError error;
  const std::vector<TPhysicalLine> lines = SplitLines(log);
  size_t i = 0;
  // "! Undefined control sequence.", and pdfTeX's own "!pdfTeX error: ...".
  auto isError = [](std::string_view text) { return text.substr(0, 2) == "! " || text.substr(0, 14) == "!pdfTeX error:"; };
  while (i < lines.size() && !isError(lines[i].Text)) ++i;
  if (i == lines.size()) return error;
  error.Found = true;
  error.Message = std::string(lines[i].Text.substr(lines[i].Text[1] == ' ' ? 2 : 1));
  // TeX breaks long log lines at 79 characters: a message that long goes on
  // in the next line.
  for (size_t j = i + 1; j < lines.size() && lines[i].Text.size() == 79 && lines[j - 1].Text.size() == 79; ++j)
    error.Message += std::string(lines[j].Text);
  for (size_t j = i + 1; j < lines.size() && j < i + 40; ++j) {
    const std::string_view text = lines[j].Text;
    if (text.substr(0, 2) == "! ") break;
    if (text.substr(0, 2) != "l." || text.size() < 3 || !std::isdigit(static_cast<unsigned char>(text[2]))) continue;
    size_t k = 2;
    int number = 0;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])) && number < 100000000)
      number = number * 10 + (text[k++] - '0');
    error.Line = number;
    if (k < text.size() && text[k] == ' ') ++k;
    error.Context = std::string(text.substr(k));
    break;
  }
  return error;
}

std::vector<std::string> MissingPackages(const std::string& log) {
  std::vector<std::string> names;
  const std::string_view mark = kMissingPackageMark;
  for (const TPhysicalLine& line : SplitLines(log)) {
    if (line.Text.substr(0, mark.size()) != mark) continue;
    std::string name(line.Text.substr(mark.size()));
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

TErrorPlace LocateLatexError(const TTypesetDocument& document, const TTable& table, const TLatexError& error) {
  TErrorPlace place;
  const std::vector<std::string>& lines = document.CodeLines;
  if (error.Line > 0 && !document.CodeLineStart.empty() && error.Line >= document.CodeLineStart.front() &&
      error.Line < document.CodeEndLine) {
    const auto after = std::upper_bound(document.CodeLineStart.begin(), document.CodeLineStart.end(), error.Line);
    const size_t k = static_cast<size_t>(after - document.CodeLineStart.begin()) - 1;
    // The row lines are the lines between \begin and \end that are no rule
    // lines, in the order of the rows.
    int row = -1;
    if (k > 0 && k + 1 < lines.size() && !IsRuleLine(lines[k])) {
      int rows = 0;
      for (size_t i = 1; i + 1 < lines.size(); ++i) {
        if (IsRuleLine(lines[i])) continue;
        if (i == k) row = rows;
        ++rows;
      }
      if (rows != table.RowCount()) row = -1;
    }
    if (row >= 0) {
      place.Row = row;
      const std::vector<TPhysicalLine> parts = SplitLines(lines[k]);
      const size_t part = static_cast<size_t>(error.Line - document.CodeLineStart[k]);
      if (part < parts.size()) {
        const size_t column = ErrorColumn(parts[part].Text, error.Context);
        if (column != std::string_view::npos) {
          const TRow& r = *table.Rows[row];
          place.Cell = CellAtOffset(r, lines[k], parts[part].Offset + column);
        }
      }
    }
  }
  if (place.Row < 0) {
    for (int r = 0; r < table.RowCount() && place.Row < 0; ++r) {
      int index = 0;
      for (const TCell* cell : *table.Rows[r]) {
        if (UnbalancedBraces(cell->Text())) {
          place.Row = r;
          place.Cell = index;
          break;
        }
        ++index;
      }
    }
  }
  if (place.Cell >= 0) {
    int column = 0, index = 0;
    for (const TCell* cell : *table.Rows[place.Row]) {
      if (index++ == place.Cell) break;
      column += cell->Span;
    }
    place.Column = column;
  }
  return place;
}

namespace {

// The line of the environment's \begin, where its column format stands.
bool IsFormatLine(const TTypesetDocument& document, int line) {
  return line > 0 && !document.CodeLineStart.empty() && line >= document.CodeLineStart.front() &&
         (document.CodeLineStart.size() < 2 || line < document.CodeLineStart[1]);
}

bool IsPreambleLine(const TTypesetDocument& document, int line) {
  return line > 0 && line >= document.PreambleStart && line < document.PreambleEnd;
}

}  // namespace

std::string DescribeLatexFailure(const TTypesetDocument& document, const TTable& table, const std::string& log) {
  const TLatexError error = FirstLatexError(log);
  std::string text;
  if (error.Found) {
    const TErrorPlace place = LocateLatexError(document, table, error);
    // The grid's own numbers: the column a joined cell starts in, as the
    // status line counts it.
    char where[64] = "";
    if (place.Column >= 0) std::snprintf(where, sizeof where, "Row %d, column %d: ", place.Row + 1, place.Column + 1);
    else if (place.Row >= 0) std::snprintf(where, sizeof where, "Row %d: ", place.Row + 1);
    else if (IsFormatLine(document, error.Line)) std::snprintf(where, sizeof where, "Column format: ");
    else if (IsPreambleLine(document, error.Line)) std::snprintf(where, sizeof where, "Preamble: ");
    text = where + error.Message;
  } else {
    text = "LaTeX failed without an error message";
  }
  // The sandbox refused a file: TeX's own words, and what they mean here.
  for (const TPhysicalLine& line : SplitLines(log)) {
    if (line.Text.find("Permission denied") == std::string_view::npos) continue;
    text += " (";
    text += line.Text;
    text += ": the file is outside what a table may read or write)";
    break;
  }
  const std::vector<std::string> missing = MissingPackages(log);
  if (!missing.empty()) {
    text += " (not installed: ";
    for (size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + missing[i];
    text += ")";
  }
  return text;
}
