#pragma once
// What a measure after typing in one cell changed in the table's picture,
// so that the view draws again only that. The view keeps the layout its
// picture shows (TShownLayout) and compares it with the table's after the
// measure. When only columns changed width, the new picture is made of runs
// of the old one moved sideways (every column whose edges both moved by the
// same number of pixels, and the parts left and right of the columns) and
// runs drawn afresh (the columns that changed width, or whose edges rounded
// apart); anything else (a row's height, the margin, the lists) is drawn
// afresh whole.
#include <vector>

#include "model/Tables.h"

// Table pixels [Left, Right) of the new picture, a full-height band: taken
// from the old picture Shift pixels to the left of where it is now, or
// drawn afresh.
struct TPictureRun {
  int Left = 0;
  int Right = 0;
  bool Draw = false;
  int Shift = 0;
  bool operator==(const TPictureRun&) const = default;
};

class TShownLayout {
 public:
  // Remembers the layout the table's picture now shows: its margin, the
  // columns' widths and the rows' heights.
  void Take(const TTable& table);
  // The runs that make the table's new picture from the old, left to
  // right, neighbours alike merged, the last one reaching on without end.
  // False when the rows, the margin or the number of columns changed: the
  // picture must be drawn whole.
  bool Compare(const TTable& table, std::vector<TPictureRun>& runs) const;

 private:
  std::vector<float> FWidths;
  std::vector<float> FHeights;
  int FMargin = -1;
  float FContentWidth = 0;
  int FPixelWidth = 0;
  int FPixelHeight = 0;
};

// True when rows first to last (inclusive) hold one cell per column, no
// block and no text with a line break, which centred and right-aligned
// cells draw past their edges: then every cell's edges are the columns'
// edges and each cell draws inside them, so that each column's pixels move
// with it and a change of a cell shows within its rectangle.
bool RowsDrawWithinColumns(const TTable& table, int first, int last);

// What the picture of the visible cells shows besides the layout: per cell
// its text, selection, alignment, rules and spans, per row its text version
// and side marks, the current cell, the focus and the looks of the table and
// of the visible columns. Kept for rows and columns that draw within their
// columns (RowsDrawWithinColumns) and show no selected row or column band.
class TShownCells {
 public:
  // Remembers rows firstRow..lastRow, columns firstCol..lastCol as drawn.
  // False when they cannot be kept so (the picture is then drawn whole
  // until the next Take).
  bool Take(const TTable& table, int firstRow, int lastRow, int firstCol, int lastCol);
  // Adds to damage (table pixels, the cells' rectangles as laid out now)
  // what changed since Take. False when the picture must be drawn whole:
  // nothing kept, another table, a row or column band, a look of the table
  // or of a column, or a changed row that no longer draws within its
  // columns.
  bool Compare(const TTable& table, std::vector<TRect>& damage) const;

 private:
  struct TRowShown {
    const TRow* Row;
    uint64_t TextVersion;
    bool Prefix;
    bool Postfix;
    // No text of the row holds a line break.
    bool Unbroken;
    // Every text of the row is as narrow as its cell: a change of one shows
    // only there.
    bool Fits;
  };
  // The row as it is now, its texts' shape from the last Take while they
  // stay as they were then: a row is read again only after a change.
  TRowShown Shown(const TRow& row, int index) const;
  bool FKept = false;
  const TTable* FTable = nullptr;
  int FFirstRow = 0;
  int FFirstCol = 0;
  int FColCount = 0;
  std::vector<TRowShown> FRows;
  std::vector<TRowShown> FLastRows;
  int FLastFirstRow = 0;
  std::vector<uint64_t> FCells;  // row by row
  std::vector<size_t> FTexts;    // the cells' texts hashed, row by row
  std::vector<std::string> FFormats;
  // The current cell and where it stood, so that the frame drawn around it
  // is found again after the columns moved.
  const TCell* FCurrent = nullptr;
  int FCurrentRow = -1;
  int FCurrentCol = -1;
  bool FHasFocus = false;
  TRuleStyle FRules = rsClassic;
  bool FShowGrid = true;
  std::string FFontName;
  int FFontSize = 0;
  int FPadding = 0;
};
