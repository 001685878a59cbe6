#pragma once
// LaTeX source for a table: the one place that turns the model into code.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TTable;
class TRow;
class TStream;
struct TTextShape;
struct TTextImportOptions;

// Choices of the user's about the code's layout, not stored in the table.
struct TLatexOptions {
  // Cells padded with blanks so that the "&" of all rows line up, counted
  // in display columns of the UTF-8 text. Off, nothing is padded.
  bool AlignColumns = false;
  // The environment alone, without the table's float: code put back into a
  // paper whose own float around the table is kept as it is.
  bool WithoutFloat = false;
};

// Clears lines and fills it with the table as one LaTeX environment: the
// \begin line with the preamble (the column formats and the vertical rules),
// a line per row, a \hline or \cline line for every row boundary that
// carries horizontal rules (\toprule, \midrule, \bottomrule, \cmidrule
// in booktabs style, which leaves the vertical rules out), and the \end
// line. A table with a float is wrapped in it: \begin{table}[placement],
// \centering, \caption and \label (above or below), the float's other
// text just before and after the environment, \end{table}. The generator adds no line
// terminators. Cell texts, formats, prefixes, postfixes and options are LaTeX
// written by the user and go out exactly as typed; only the options lose
// surrounding blanks and control characters. The table is only read.
void TableToLatex(const TTable& table, std::vector<std::string>& lines, const TLatexOptions& options = {});

// The letter of a column format's own alignment, the one a cell without its
// own follows in LaTeX: its one letter outside groups and commands, when
// that is l, c or r ("r|", "@{}l", ">{\bfseries}c", "c<{\,\%}"); 0 for any
// other format (p{..}, X, S[..], "ll").
// The generator writes a cell aligned with this letter without
// \multicolumn, and the reader takes such a cell as following its column.
char ColumnAlignLetter(std::string_view format);

// The run of "|" that opens (leading) or closes a format: rules that the
// format itself writes at its column's side ("|l", "r|", "c||").
std::string_view FormatSideRules(std::string_view format, bool leading);

// The vertical rules the generator puts into the preamble by its vote over
// the rows, one per column boundary: where more than half of the rows have
// a single-column cell with a rule there (its left one; the last cell's
// right one at the right edge). Where a format writes a rule of its own at
// a boundary, the vote's is not written.
std::vector<bool> VoteBoundaryRules(const TTable& table);

// The same lines, each followed by a line feed, appended to out; whenever
// out holds pieceSize bytes or more, and once at the end if it holds any,
// flush is called, which must empty it (or throw). Nothing is held per
// line, so a table of any size is written in out's space alone.
void TableToLatex(const TTable& table, std::string& out, const std::function<void(std::string&)>& flush,
                  size_t pieceSize, const TLatexOptions& options = {});

// The code of the table that TTable::ImportText makes of the text in stream,
// byte for byte as the overload above writes it for that table, but written
// while the text is read, record by record, without building the table.
// shape is MeasureText's for the same stream and options; this reads the
// stream again from its start. A table imported from text has the default
// environment and column formats and only plain cells: no rules, spans,
// alignments, prefixes or postfixes. Returns the offset of the NUL that
// ended the text, or -1; throws as ForEachTextRecord does.
int64_t TextToLatex(TStream& stream, const TTextShape& shape, const TTextImportOptions& options, std::string& out,
                    const std::function<void(std::string&)>& flush, size_t pieceSize);

// Generates one table's code again and again as it is edited, for a view
// that shows it after every change. When the table differs from the last
// call only in cell texts, only the lines of the rows whose texts changed
// are written again; otherwise everything is. Either way the lines are
// exactly those TableToLatex gives.
class TLatexGenerator {
 public:
  const std::vector<std::string>& Generate(const TTable& table, const TLatexOptions& options = {});
  // What the last Generate changed: every line (AllChanged), or only the
  // lines listed in Changed, ascending (none when nothing did). A view that
  // holds the previous lines takes over only those.
  bool AllChanged() const { return FAllChanged; }
  const std::vector<size_t>& Changed() const { return FChanged; }

 private:
  // A row as last generated: the row, its text version, fingerprints of
  // everything but its texts that its line depends on (its cells' spans,
  // alignments and rules; its prefix and postfix), and its line.
  struct TRowState {
    const TRow* Row;
    uint64_t TextVersion;
    uint64_t Cells;
    uint64_t Ends;
    size_t Line;
  };
  bool Unchanged(const TTable& table) const;
  void NoteCellEpochs();

  const TTable* FTable = nullptr;
  bool FAligned = false;  // the lines were generated aligned
  uint64_t FEpoch = 0;
  uint64_t FSpanEpoch = 0;
  uint64_t FFormatEpoch = 0;
  uint64_t FTableShape = 0;
  std::vector<TRowState> FRows;
  std::vector<bool> FBoundaryRules;
  std::vector<std::string> FLines;
  bool FAllChanged = true;
  std::vector<size_t> FChanged;
};
