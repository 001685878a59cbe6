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
  TSlot& corner = FSlots[static_cast<size_t>(top) * FColumns + left];
  if (corner.Covered) return;  // overlapping areas: the first one holds
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) {
      TSlot& slot = FSlots[static_cast<size_t>(r) * FColumns + c];
      // A cell below the top row of the area keeps its place as an empty
      // cell joined like the top row, so that the columns still line up.
      if (r > top && c == left) {
        slot.Text.clear();
        slot.Span = right - left + 1;
      } else if (!(r == top && c == left)) {
        slot.Covered = true;
      }
    }
  corner.Span = right - left + 1;
  if (bottom > top) ++FRowMerges;
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
      row.push_back({std::move(slot.Text), slot.Span});
    }
  }
  if (FRowMerges > 0)
    block.Warnings.push_back(FormatStr("%d merged area%s over several rows kept %s text in the top row only: "
                                       "cells cannot be joined across rows.",
                                       FRowMerges, FRowMerges == 1 ? "" : "s", FRowMerges == 1 ? "its" : "their"));
  FSlots.clear();
  return block;
}

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
  return rect;
}
