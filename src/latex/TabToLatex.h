#pragma once
// LaTeX source for a table: the one place that turns the model into code.
#include <string>
#include <vector>

class TTable;

// Clears lines and fills it with the table as one LaTeX environment: the
// \begin line with the preamble (the column formats and the vertical rules),
// a line per row, a \hline or \cline line for every row boundary that
// carries horizontal rules, and the \end line; the generator adds no line
// terminators. Cell texts, formats, prefixes, postfixes and options are LaTeX
// written by the user and go out exactly as typed; only the options lose
// surrounding blanks and control characters. The table is only read.
void TableToLatex(const TTable& table, std::vector<std::string>& lines);
