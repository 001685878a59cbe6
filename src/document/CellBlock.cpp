#include "document/CellBlock.h"

#include "model/Errors.h"
#include "model/LatexEscape.h"
#include "model/TableEdit.h"

std::string StyledText(std::string_view text, bool bold, bool italic, const TBlockOptions& options) {
  std::string result = options.Escape ? EscapeLatexSpecials(text) : std::string(text);
  if (!options.KeepEmphasis || result.empty()) return result;
  if (italic) result = "\\textit{" + result + "}";
  if (bold) result = "\\textbf{" + result + "}";
  return result;
}

TBlockBuilder::TBlockBuilder(int rows, int columns)
    : FRows(rows), FColumns(columns), FSlots(static_cast<size_t>(rows) * static_cast<size_t>(columns)) {}

void TBlockBuilder::SetText(int row, int column, std::string text) {
  if (row < 0 || row >= FRows || column < 0 || column >= FColumns) return;
  FSlots[static_cast<size_t>(row) * FColumns + column].Text = std::move(text);
}

void TBlockBuilder::Merge(int top, int left, int bottom, int right) {
  top = std::max(top, 0);
  left = std::max(left, 0);
  bottom = std::min(bottom, FRows - 1);
  right = std::min(right, FColumns - 1);
  if (top > bottom || left > right || (top == bottom && left == right)) return;
  const auto slot = [&](int r, int c) -> TSlot& { return FSlots[static_cast<size_t>(r) * FColumns + c]; };
  // Overlapping areas cannot all be joined: the first one holds.
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c)
      if (slot(r, c).InArea) {
        ++FOverlaps;
        return;
      }
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) {
      TSlot& s = slot(r, c);
      s.InArea = true;
      if (c > left) {
        s.Covered = true;
      } else {
        // Below the top row the area keeps a cell of its width in each row,
        // empty, which the table's block covers.
        s.Span = right - left + 1;
        if (r > top) s.Text.clear();
      }
    }
  slot(top, left).RowSpan = bottom - top + 1;
}

TCellBlock TBlockBuilder::Finish() {
  TCellBlock block;
  block.Columns = FColumns;
  block.Rows.resize(static_cast<size_t>(FRows));
  for (int r = 0; r < FRows; ++r) {
    std::vector<TBlockCell>& row = block.Rows[static_cast<size_t>(r)];
    for (int c = 0; c < FColumns; ++c) {
      TSlot& slot = FSlots[static_cast<size_t>(r) * FColumns + c];
      if (slot.Covered) continue;
      row.push_back({std::move(slot.Text), slot.Span, slot.RowSpan});
    }
  }
  if (FOverlaps > 0)
    block.Warnings.push_back(FormatStr("%d merged area%s overlapping another %s left as single cells.", FOverlaps,
                                       FOverlaps == 1 ? "" : "s", FOverlaps == 1 ? "was" : "were"));
  FSlots.clear();
  return block;
}

namespace {

// Joins the cells that the block joins over rows, the block's top-left
// corner being at (left, top) in the table; the rows below each such cell
// hold a cell of its width there, so the rectangle is of whole cells.
void JoinBlockRows(TTable& table, int left, int top, const TCellBlock& block) {
  for (size_t r = 0; r < block.Rows.size(); ++r) {
    int column = left;
    for (const TBlockCell& bc : block.Rows[r]) {
      if (bc.RowSpan > 1)
        JoinCells(table, {column, top + static_cast<int>(r), column + bc.Span - 1, top + static_cast<int>(r) + bc.RowSpan - 1});
      column += bc.Span;
    }
  }
}

// Gives every block that reaches into rect back as single cells.
void SplitBlocksIn(TTable& table, const TCellRect& rect) {
  for (int r = rect.Top; r <= std::min(rect.Bottom, table.RowCount() - 1); ++r) {
    for (bool again = true; again;) {
      again = false;
      int column = 0;
      for (TCell* cell : *table.Rows[r]) {
        if (column <= rect.Right && column + cell->Span - 1 >= rect.Left && (cell->RowSpan > 1 || cell->Covered())) {
          SplitBlock(*cell);
          again = true;  // the row's cells changed
          break;
        }
        column += cell->Span;
      }
    }
  }
}

}  // namespace

void BlockToTable(const TCellBlock& block, TTable& table) {
  table.Clear();
  table.Columns.Reserve(block.Columns);
  for (int i = 0; i < block.Columns; ++i) new TColumn(table);
  table.Rows.Reserve(static_cast<int>(block.Rows.size()));
  for (const std::vector<TBlockCell>& cells : block.Rows) {
    auto* row = new TRow(table);
    row->Reserve(static_cast<int>(cells.size()));
    for (const TBlockCell& bc : cells) {
      auto* cell = new TCell(*row);
      cell->Span = bc.Span;
      if (!bc.Text.empty()) cell->SetText(bc.Text);
    }
  }
  JoinBlockRows(table, 0, 0, block);
}

TCellRect PasteBlock(TTable& table, int left, int top, const TCellBlock& block) {
  if (block.Empty()) return {left, top, left - 1, top - 1};
  // A skeleton of one field per block cell lets the plain paste do the
  // growing, splitting and selecting; the texts and joins follow.
  std::string skeleton;
  for (size_t r = 0; r < block.Rows.size(); ++r) {
    for (int c = 0; c < block.Columns; ++c) skeleton += c ? "\t " : " ";
    skeleton += '\n';
  }
  SplitBlocksIn(table, {left, top, left + block.Columns - 1, top + static_cast<int>(block.Rows.size()) - 1});
  const TCellRect rect = PasteText(table, left, top, skeleton);
  for (size_t r = 0; r < block.Rows.size(); ++r) {
    TRow& row = *table.Rows[top + static_cast<int>(r)];
    // Every cell of the block has span 1 now.
    int j = 0;
    for (int start = 0; j < row.Count() && start < left; ++j) start += row[j]->Span;
    for (const TBlockCell& bc : block.Rows[r]) {
      TCell& cell = *row[j];
      cell.SetText(bc.Text);
      if (bc.Span > 1) {
        // The joined cell takes the right rule of the last column it covers.
        cell.RuleRight = row[j + bc.Span - 1]->RuleRight;
        for (int k = 1; k < bc.Span; ++k) row.Delete(j + 1);
        cell.Span = bc.Span;
      }
      ++j;
    }
  }
  JoinBlockRows(table, left, top, block);
  return rect;
}
