#include "model/LayoutShift.h"

#include <climits>
#include <functional>
#include <string_view>

#include "model/TableLayout.h"

using TableLayout::R;

void TShownLayout::Take(const TTable& table) {
  FWidths.resize(static_cast<size_t>(table.ColCount()));
  FHeights.resize(static_cast<size_t>(table.RowCount()));
  size_t i = 0;
  for (const TColumn* col : table.Columns) FWidths[i++] = col->Width;
  i = 0;
  for (const TRow* row : table.Rows) FHeights[i++] = row->Height;
  FMargin = table.Margin;
  FContentWidth = table.ContentWidth;
  FPixelWidth = table.PixelWidth;
  FPixelHeight = table.PixelHeight;
}

bool TShownLayout::Compare(const TTable& table, std::vector<TPictureRun>& runs) const {
  runs.clear();
  if (table.Margin != FMargin || table.PixelHeight != FPixelHeight ||
      static_cast<size_t>(table.ColCount()) != FWidths.size() ||
      static_cast<size_t>(table.RowCount()) != FHeights.size())
    return false;
  size_t i = 0;
  for (const TRow* row : table.Rows)
    if (row->Height != FHeights[i++]) return false;

  const auto add = [&runs](TPictureRun run) {
    if (run.Left >= run.Right) return;
    if (!runs.empty() && runs.back().Draw == run.Draw && runs.back().Shift == run.Shift &&
        runs.back().Right == run.Left)
      runs.back().Right = run.Right;
    else
      runs.push_back(run);
  };
  // The edges as the layout sums them: from the margin, one width at a time.
  const float margin = static_cast<float>(FMargin);
  float before = margin;
  float after = margin;
  int oldLeft = R(margin);
  int left = oldLeft;
  add({0, left, false, 0});
  i = 0;
  for (const TColumn* col : table.Columns) {
    const float width = FWidths[i++];
    before += width;
    after += col->Width;
    const int oldRight = R(before);
    const int right = R(after);
    const int shift = left - oldLeft;
    if (col->Width == width && right - oldRight == shift) add({left, right, false, shift});
    else add({left, right, true, 0});
    oldLeft = oldRight;
    left = right;
  }
  // Past the last column: the grid lines' ends and the rows' bands.
  const int shift = left - oldLeft;
  const bool moves = table.PixelWidth - FPixelWidth == shift &&
                     R(margin + table.ContentWidth) - R(margin + FContentWidth) == shift;
  add({left, INT_MAX, !moves, moves ? shift : 0});
  return true;
}

bool RowsDrawWithinColumns(const TTable& table, int first, int last) {
  const int cols = table.ColCount();
  for (int r = first; r <= last; ++r) {
    const TRow& row = *table.Rows[r];
    if (row.Count() != cols) return false;
    for (const TCell* c : row)
      if (c->RowSpan != 1 || c->Covered() || TableLayout::HasLineBreak(c->Text())) return false;
  }
  return true;
}

namespace {

// What a cell shows besides its text, in one word.
uint64_t CellKey(const TCell& c) {
  return static_cast<uint64_t>(static_cast<unsigned char>(c.Align)) | static_cast<uint64_t>(c.Selected) << 8 |
         static_cast<uint64_t>(c.RuleLeft != 0) << 9 | static_cast<uint64_t>(c.RuleTop != 0) << 10 |
         static_cast<uint64_t>(c.RuleRight != 0) << 11 | static_cast<uint64_t>(c.RuleBottom != 0) << 12 |
         static_cast<uint64_t>(c.RowSpan != 1 || c.Covered()) << 13 |
         static_cast<uint64_t>(static_cast<uint32_t>(c.Span)) << 16;
}

size_t TextKey(const TCell& c) { return std::hash<std::string_view>{}(c.Text()); }

// A text measured no wider than its cell is drawn inside it (a column is as
// wide as its widest text). Of a wider one, such as a paragraph column's
// text, measured wrapped, the view cannot tell where it draws: its row is
// drawn whole.
bool TextsFit(const TRow& row) {
  for (const TCell* c : row)
    if (c->MeasuredWidth > c->Width) return false;
  return true;
}

bool RowUnbroken(const TRow& row) {
  for (const TCell* c : row)
    if (TableLayout::HasLineBreak(c->Text())) return false;
  return true;
}

}  // namespace

TShownCells::TRowShown TShownCells::Shown(const TRow& row, int index) const {
  TRowShown shown{&row, row.TextVersion, !row.Prefix.empty(), !row.Postfix.empty(), true, true};
  const size_t i = static_cast<size_t>(index - FLastFirstRow);
  if (index >= FLastFirstRow && i < FLastRows.size() && FLastRows[i].Row == &row &&
      FLastRows[i].TextVersion == row.TextVersion) {
    shown.Unbroken = FLastRows[i].Unbroken;
    shown.Fits = FLastRows[i].Fits;
  } else {
    shown.Unbroken = RowUnbroken(row);
    shown.Fits = TextsFit(row);
  }
  return shown;
}

bool TShownCells::Take(const TTable& table, int firstRow, int lastRow, int firstCol, int lastCol) {
  FKept = false;
  // The rows' line breaks are kept across Takes of the same table.
  if (FTable == &table) {
    FLastRows.swap(FRows);
    FLastFirstRow = FFirstRow;
  } else {
    FLastRows.clear();
  }
  FTable = &table;
  FRows.clear();
  FCells.clear();
  FTexts.clear();
  FFormats.clear();
  if (firstRow > lastRow || firstCol > lastCol) return false;
  FFirstRow = firstRow;
  FFirstCol = firstCol;
  FColCount = lastCol - firstCol + 1;
  for (int c = firstCol; c <= lastCol; ++c) {
    if (table.Columns[c]->Selected) return false;
    FFormats.push_back(table.Columns[c]->Format);
  }
  const int cols = table.ColCount();
  // Out of view, the current cell's frame is not in the picture.
  FCurrent = table.CurrentCell;
  FCurrentRow = -1;
  for (int r = firstRow; r <= lastRow; ++r) {
    const TRow& row = *table.Rows[r];
    if (row.Selected || row.Count() != cols) return false;
    if (FCurrent && FCurrent->Row() == &row) {
      FCurrentRow = r;
      FCurrentCol = FCurrent->ColIndex();
    }
    FRows.push_back(Shown(row, r));
    if (!FRows.back().Unbroken) return false;
    for (int c = firstCol; c <= lastCol; ++c) {
      const TCell& cell = *row[c];
      if (cell.RowSpan != 1 || cell.Covered()) return false;
      FCells.push_back(CellKey(cell));
      FTexts.push_back(TextKey(cell));
    }
  }
  FHasFocus = table.HasFocus;
  FRules = table.Style.Rules;
  FShowGrid = table.ShowGrid;
  FFontName = table.FontName;
  FFontSize = table.FontSize;
  FPadding = table.CellPadding;
  FKept = true;
  return true;
}

bool TShownCells::Compare(const TTable& table, std::vector<TRect>& damage) const {
  if (!FKept || &table != FTable || table.Style.Rules != FRules || table.ShowGrid != FShowGrid ||
      table.FontName != FFontName || table.FontSize != FFontSize || table.CellPadding != FPadding ||
      FFirstRow + static_cast<int>(FRows.size()) > table.RowCount() || FFirstCol + FColCount > table.ColCount())
    return false;
  for (int i = 0; i < FColCount; ++i) {
    const TColumn& col = *table.Columns[FFirstCol + i];
    if (col.Selected || col.Format != FFormats[static_cast<size_t>(i)]) return false;
  }
  const bool focus = table.HasFocus != FHasFocus;
  size_t key = 0;
  for (size_t i = 0; i < FRows.size(); ++i) {
    const int r = FFirstRow + static_cast<int>(i);
    const TRow& row = *table.Rows[r];
    const TRowShown& was = FRows[i];
    if (&row != was.Row || row.Selected || row.Count() != table.ColCount()) return false;
    table.UpdateCellRects(row);
    const bool texts = row.TextVersion != was.TextVersion;
    if (texts && !RowsDrawWithinColumns(table, r, r)) return false;
    // The side marks, or a text that reached or now reaches past its cell,
    // out of view too: the row is drawn again.
    if (row.Prefix.empty() == was.Prefix || row.Postfix.empty() == was.Postfix ||
        (texts && !(was.Fits && TextsFit(row)))) {
      damage.push_back(row.BoundsRect);
      key += static_cast<size_t>(FColCount);
      continue;
    }
    for (int c = 0; c < FColCount; ++c, ++key) {
      const TCell& cell = *row[FFirstCol + c];
      if (CellKey(cell) == FCells[key] && !(focus && cell.Selected) && !(texts && TextKey(cell) != FTexts[key]))
        continue;
      if (cell.RowSpan != 1 || cell.Covered()) return false;
      damage.push_back(cell.BoundsRect);
    }
  }
  if (table.CurrentCell != FCurrent) {
    // Where the frame was drawn: the cell there now, laid out as it is now,
    // covers the frame's pixels wherever the columns moved them.
    if (const TCell* was = FCurrentRow >= 0 ? table.GetCell(FCurrentRow, FCurrentCol) : nullptr) {
      table.UpdateCellRects(*was->Row());
      damage.push_back(was->BoundsRect);
    }
    if (const TCell* now = table.CurrentCell) {
      table.UpdateCellRects(*now->Row());
      damage.push_back(now->BoundsRect);
    }
  }
  return true;
}
