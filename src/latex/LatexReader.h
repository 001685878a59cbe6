#pragma once
// Reading LaTeX tables back into the model: the inverse of TableToLatex.
//
// Code that TableToLatex wrote reads back to a table that generates the very
// same lines, with one exception: a row postfix that starts with a rule
// command (\hline, \cline, the booktabs rules) becomes that rule. Hand-written
// tables are read as LaTeX would typeset them as far as the model can say it;
// docs/latex-import.md lists what is read exactly, what is approximated and
// what is refused.
//
// Failures raise EQuiltorError with a message that names the line and column
// (both 1-based, columns in bytes) of the offending place in the text.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TTable;

// One table environment found in a LaTeX text.
struct TLatexTableSource {
  std::string Environment;  // "tabular", "longtable", ...
  size_t Begin = 0;         // offset of its "\begin"
  size_t BodyEnd = 0;       // offset of its matching "\end" (or the text's end when there is none)
  bool Ended = false;       // the matching "\end" was found
  int Line = 0;             // 1-based line of "\begin"
  // The first lines of its source from the "\begin" line on, for a choice
  // among several tables; each cut to a readable length.
  std::vector<std::string> FirstLines;
};

// Lines shown per table in FirstLines.
constexpr int kLatexPreviewLines = 4;

// The outermost table environments of text, in order. A table inside a cell
// of another belongs to that one. Comments and \verb are skipped. Known
// table environments (tabular, tabular*, tabularx, tabulary, array,
// longtable, supertabular, xtabular, NiceTabular, ...) are found anywhere;
// another environment counts when it is not one of LaTeX's well-known
// non-table environments and its last argument on the \begin line reads as a
// column specification ("\begin{mytab}[t]{lcr}").
std::vector<TLatexTableSource> FindLatexTables(std::string_view text);

// Reads the table source (one of FindLatexTables(text)) into table, which is
// cleared first; on failure it may be left half filled, so callers read into
// a scratch table. Returns the warnings about what was changed to make the
// code fit the model (rows filled or widened, formats simplified), each
// naming the rows concerned; empty when the table was read as written.
std::vector<std::string> ReadLatexTable(std::string_view text, const TLatexTableSource& source, TTable& table);

// The index-th (0-based) table of text, read as above. Raises "No LaTeX
// table found" when text has none and names the count when index is beyond.
std::vector<std::string> ReadLatexTable(std::string_view text, TTable& table, size_t index = 0);

// Where the table float (table or table*) directly around source is, when
// ReadLatexTable keeps that float with the table (its placement, caption,
// label, \centering or other text): Begin at its "\begin", EndAt at its
// "\end". Both npos otherwise. The table's code holds that float, so code
// put back in place of the table replaces the float too.
struct TLatexFloatPlace {
  size_t Begin = std::string_view::npos;
  size_t EndAt = std::string_view::npos;
};
TLatexFloatPlace FindLatexFloat(std::string_view text, const TLatexTableSource& source);

// The message for a text without any table.
extern const char* const kNoLatexTable;
