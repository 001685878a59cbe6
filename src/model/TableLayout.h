#pragma once
// What measuring and painting a table share (TableMeasure.cpp,
// TablePaint.cpp): pixel rounding, the columns' looks, wrapping in
// paragraph columns and the cached text extents. Internal to the model.
//
// Sizes are 32-bit floats and every sum is rounded to float after each
// addition, so that the drawing comes out the same pixel for pixel whatever
// the compiler keeps in registers. Pixel coordinates are those floats rounded
// to the nearest integer, halves to the even neighbour.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "model/Canvas.h"
#include "model/ColumnFormat.h"
#include "model/Tables.h"

namespace TableLayout {

// Rounds in the current mode, which the program never changes from
// round-to-nearest-even. On x86 one instruction does it; lrintf is a library
// call there unless errno handling is switched off, and a layout rounds
// millions of coordinates.
inline int R(float v) {
#if defined(__SSE__) || defined(__x86_64__)
  return _mm_cvtss_si32(_mm_set_ss(v));
#else
  return static_cast<int>(std::lrintf(v));
#endif
}

// Smallest text size a cell reserves, so that an empty or tiny cell stays
// large enough to hit with the mouse.
constexpr float kMinTextSize = 8;

// The cells' cached extents belong to one font; when the table's font is
// another one, every extent is stale.
inline void SyncExtentFont(TTable& table) {
  if (table.ExtentFontSize == table.FontSize && table.ExtentFontName == table.FontName) return;
  for (TRow* row : table.Rows)
    for (TCell* c : *row) c->ExtentValid = false;
  table.ExtentFontName = table.FontName;
  table.ExtentFontSize = table.FontSize;
}

inline void MeasureCached(TCell* c, TCanvas& canvas) {
  if (!c->ExtentValid) c->Measure(canvas);
}

// The grid's font stands for the typeset font of this size, so that a
// paragraph column holds about the words it holds when typeset.
constexpr float kTypesetFontPt = 10;

// What each column's format draws, for one measuring or painting.
struct TLooks {
  std::vector<TColumnLook> Columns;
  // Grid pixels to a TeX point.
  float PixelsPerPt = 1;
  bool AllPlain = true;

  TLooks(const TTable& table, const TCanvas& canvas)
      : PixelsPerPt(canvas.PixelsPerPoint() * static_cast<float>(table.FontSize) / kTypesetFontPt) {
    Columns.reserve(static_cast<size_t>(table.ColCount()));
    for (const TColumn* col : table.Columns) {
      const std::string& f = col->Format;
      // The formats of almost every column, read without parsing.
      TColumnLook look;
      if (f == "l" || f == "c" || f == "r") look.Align = f[0];
      else look = ParseColumnFormat(f, kTypesetFontPt);
      AllPlain = AllPlain && look.Plain();
      Columns.push_back(look);
    }
  }
  // The look of column col; none outside the table.
  const TColumnLook* At(int col) const {
    if (col < 0 || col >= static_cast<int>(Columns.size())) return nullptr;
    return &Columns[static_cast<size_t>(col)];
  }
  // The look whose rules and width a cell that starts in column col and
  // covers span columns takes: a joined cell is a \multicolumn of its own,
  // which no column's format reaches.
  const TColumnLook* Of(int col, int span) const { return span == 1 ? At(col) : nullptr; }
  // The text width of a column, in grid pixels.
  float TextWidth(const TColumnLook& look) const { return look.WidthPt * PixelsPerPt; }
};

// The alignment a cell shows: its own, else that of the column it starts in.
inline char AlignOf(const TCell& c, const TColumnLook* column) {
  if (c.Align != 0) return c.Align;
  return column ? column->Align : 'l';
}

// Breaks text into lines no wider than width at blanks; its own line breaks
// stay, and a word wider than width has a line of its own.
std::string WrapText(TCanvas& canvas, const std::string& text, float width);

// A cell whose text wraps in its paragraph column: left-aligned by the
// column, its text wider than the column's text width.
inline bool Wraps(const TCell& c, const TColumnLook* look) { return look && look->Wrap && c.Align == 0; }

// The size a cell takes in a paragraph column: its text wrapped at the
// column's width, as wide as its widest line.
void WrappedSize(const TCell& c, TCanvas& canvas, const TLooks& looks, const TColumnLook& look, float& width,
                 float& height);

inline bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// What the rows top .. last - 1 leave to a block's last row of the height
// it needs. The sum runs top to bottom wherever it is taken, so that it
// rounds alike.
inline float LastRowNeed(const TTable& table, int top, int last, float height) {
  float sum = 0;
  for (int i = top; i < last; ++i) sum += table.Rows[i]->Height;
  return height - sum;
}

}  // namespace TableLayout
