#pragma once
// Turns the rows the row reader hands over into the table: cells with
// their rules and alignments, the columns once the widest row is known,
// the vertical rules settled with the generator's vote, the horizontal
// rules given to the cells under them, and the \multirow blocks.
//
// It guarantees a table of whole rows (shorter ones filled) that the
// generator writes back as the code was read, as far as the model can
// hold it; where it changes anything it returns a warning naming the rows.
// It raises EQuiltorError only past kMaxColumns columns. It reads no text.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "latex/ColumnList.h"
#include "latex/RowReader.h"
#include "latex/TableFinder.h"
#include "model/Tables.h"

namespace LatexRead {

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
  void AddRow(const TReadRow& read);

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

}  // namespace LatexRead
