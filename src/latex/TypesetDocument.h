#pragma once
// The small LaTeX document that typesets one table on its own, cropped to
// the table, and the reading of TeX's log back in terms of the table: the
// first error, and the row and cell it comes from.
//
// The document is for pdfTeX (pdflatex): the table is set in a box, the page
// is sized to that box plus a thin margin and the box is shipped out
// directly, so no cropping package is needed. A longtable cannot live in a
// box; it is set on one tall page and taken from there, cropped the same.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TTable;

// A package the table's code may need, with what in the code asks for it.
struct TPackageNeed {
  std::string Name;     // "booktabs"
  std::string Options;  // "table" for xcolor; empty for none
};

// The packages the code uses, in the order they must be loaded, each once:
// amsmath (\text, aligned, ...), amssymb (\checkmark, \mathbb, ...), array
// (m{}, b{}, >{}, <{}, !{} in a column format), xcolor (with colortbl
// through its "table" option when rows, cells or columns are coloured),
// booktabs, multirow, tabularx, tabulary, nicematrix (NiceTabular,
// NiceArray), dcolumn (D columns), makecell, diagbox, longtable, siunitx,
// hhline, graphicx. The code is searched as text: a stray match loads a
// package that does no harm. Whoever lists a table's packages for the user
// asks here, so that the list and the typeset preview agree.
std::vector<TPackageNeed> NeededPackages(const std::vector<std::string>& codeLines);

// What NeededPackages asks of the code.
class TCodeSearch {
 public:
  virtual ~TCodeSearch() = default;
  // The code holds the control word name ("\\toprule") not followed by
  // another letter ("\\numberline" is no "\\num").
  virtual bool HasCommand(std::string_view name) = 0;
  // The code holds text, which has no line break.
  virtual bool Contains(std::string_view text) = 0;
  // One of types is a column type of the preamble or of a \multicolumn.
  virtual bool HasColumnType(std::string_view types) = 0;
  // The name of the environment ("tabular"); empty when there is none.
  virtual std::string Environment() = 0;
};
std::vector<TPackageNeed> NeededPackages(TCodeSearch& code);

// The search of code that changes a few lines at a time, as the code
// preview's does while the user types: what each question found is kept
// per line, so that after an edit only the changed lines are searched
// again. Its answers are those of a search of the whole code.
class TKeptCodeSearch : public TCodeSearch {
 public:
  // The code is now lines. changed lists the lines that differ from the
  // last call's, ascending, when the number of lines is the same; nullptr
  // when any line may differ. lines must stay alive and unchanged until the
  // next call.
  void Update(const std::vector<std::string>& lines, const std::vector<size_t>* changed);

  bool HasCommand(std::string_view name) override;
  bool Contains(std::string_view text) override;
  bool HasColumnType(std::string_view types) override;
  std::string Environment() override;

 private:
  // A question asked before: which lines answer it yes, and how many.
  struct TQuestion {
    bool Command;  // HasCommand, else Contains
    std::string Text;
    std::vector<bool> Holding;
    size_t Count = 0;
  };
  bool Holds(const TQuestion& question, std::string_view line) const;
  bool Ask(bool command, std::string_view text);

  const std::vector<std::string>* FLines = nullptr;
  std::vector<TQuestion> FQuestions;
  // The \multicolumn formats of every line that has any, and all the
  // code's formats as the whole search has them: the preamble's, then
  // those, in order. FFormatsStale when that is out of date.
  std::map<size_t, std::string> FLineFormats;
  std::string FPreamble;
  std::string FFormats;
  bool FFormatsStale = true;
  std::vector<std::pair<std::string, bool>> FTypeAnswers;  // HasColumnType's, for FFormats
};

// The marker the document writes to the log for a package it wanted but the
// TeX installation lacks.
inline constexpr const char* kMissingPackageMark = "Quiltor: missing package ";

struct TTypesetDocument {
  std::string Text;  // the whole .tex file, lines ended by '\n'
  // For every generated code line: the 1-based line of the file it starts
  // on. A code line with line breaks in it (a cell text over several lines)
  // takes several lines of the file.
  std::vector<int> CodeLineStart;
  int CodeEndLine = 0;  // the first file line after the code
  // The user's preamble: from its first line to the first line after it.
  int PreambleStart = 0;
  int PreambleEnd = 0;
  std::vector<std::string> CodeLines;
};

// The document for codeLines (TableToLatex's output). Each needed package
// is loaded only when the TeX installation has it (\IfFileExists), else its
// name is written to the log after kMissingPackageMark. userPreamble, the
// user's own macros, goes after the packages, before \begin{document}.
TTypesetDocument BuildTypesetDocument(const std::vector<std::string>& codeLines, const std::string& userPreamble);

// The first error in a TeX log.
struct TLatexError {
  bool Found = false;
  std::string Message;  // "Undefined control sequence." (without the "! ")
  int Line = 0;         // the file line TeX was reading; 0 when unknown
  // The file line up to the point of the error as TeX showed it ("l.7 a &
  // \foo"): the text after "l.N ", which TeX may have shortened from the
  // left to "..." and a tail.
  std::string Context;
};
TLatexError FirstLatexError(const std::string& log);

// The packages the log reports as missing (see kMissingPackageMark).
std::vector<std::string> MissingPackages(const std::string& log);

// Where in the table an error comes from. Row and Cell count from 0 (Cell
// is the position of the cell in its row, a joined cell counting once);
// -1 when unknown. Column is the cell's first column.
struct TErrorPlace {
  int Row = -1;
  int Cell = -1;
  int Column = -1;
};

// Traces error back to the table that the document was built from: the
// error's line to a row, the error's position in that line to a cell. When
// the line is no row's (an unbalanced brace shows only where the
// environment ends), the first cell whose braces do not balance is named
// instead.
TErrorPlace LocateLatexError(const TTypesetDocument& document, const TTable& table, const TLatexError& error);

// The text the user sees for a failed run: the place ("Row 3, column 2: ",
// "Column format: ", "Preamble: "), the error message, what the file
// refused by the sandbox means, and the packages that were missing.
std::string DescribeLatexFailure(const TTypesetDocument& document, const TTable& table, const std::string& log);

// Newest-wins ordering of typesetting results: every request gets a rising
// number, and a result is shown only when it is newer than the one on show,
// so a run that finishes late never covers a newer picture.
class TResultOrder {
 public:
  uint64_t NextRequest() { return ++FRequested; }
  // True when the result of request may be shown; it is then the one shown.
  bool Accept(uint64_t request) {
    if (request <= FShown || request > FRequested) return false;
    FShown = request;
    return true;
  }
  uint64_t Shown() const { return FShown; }
  uint64_t Requested() const { return FRequested; }

 private:
  uint64_t FRequested = 0;
  uint64_t FShown = 0;
};
