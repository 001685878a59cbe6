#pragma once
// The rows of a table's body, read one by one: the rules and row commands
// between rows, each row's prefix, cells and postfix, \multicolumn cells
// and the \multirow cells that start a block. Each row goes to the table
// builder as soon as it is read.
//
// It never reads beyond the table's \end, and it raises EQuiltorError,
// naming line and column, at what the model cannot hold or the code written
// back would not read the same (a \multicolumn that does not open its cell,
// a \verb that a \multicolumn would break, an unclosed group). It does not
// decide the columns, the rule style or the blocks: the builder does.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "latex/LatexScanner.h"
#include "model/Tables.h"

namespace LatexRead {

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
  [[noreturn]] void Fail(size_t at, const char* what) const { LatexRead::Fail(Text, at, what); }

  std::string_view S;
  std::string_view Text;
  TTableBuilder& Out;
};

}  // namespace LatexRead
