// Measuring and painting of the table on a canvas.
//
// Sizes are 32-bit floats and every sum is rounded to float after each
// addition, so that the drawing comes out the same pixel for pixel whatever
// the compiler keeps in registers. Pixel coordinates are those floats rounded
// to the nearest integer, halves to the even neighbour.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "model/Canvas.h"
#include "model/ColumnFormat.h"
#include "model/Tables.h"

namespace {

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

TRect Inflated(const TRect& r, int d) { return {r.Left - d, r.Top - d, r.Right + d, r.Bottom + d}; }

// Does the area (l, t, r, b) meet the clip rectangle? No clip meets everything.
inline bool Meets(const TRect* clip, int l, int t, int r, int b) {
  return !clip || (l < clip->Right && r > clip->Left && t < clip->Bottom && b > clip->Top);
}

// The cells' cached extents belong to one font; when the table's font is
// another one, every extent is stale.
void SyncExtentFont(TTable& table) {
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
char AlignOf(const TCell& c, const TColumnLook* column) {
  if (c.Align != 0) return c.Align;
  return column ? column->Align : 'l';
}

// Breaks text into lines no wider than width at blanks; its own line breaks
// stay, and a word wider than width has a line of its own.
std::string WrapText(TCanvas& canvas, const std::string& text, float width) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string para = text.substr(start, end - start);
    std::string line;
    size_t i = 0;
    while (i < para.size()) {
      size_t j = para.find(' ', i);
      if (j == std::string::npos) j = para.size();
      const std::string word = para.substr(i, j - i);
      i = j + 1;
      if (line.empty()) {
        line = word;
        continue;
      }
      const std::string longer = line + " " + word;
      if (canvas.TextExtent(longer).Width <= width) {
        line = longer;
      } else {
        out += line;
        out += '\n';
        line = word;
      }
    }
    out += line;
    if (end >= text.size()) break;
    // CR LF is one break.
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    out += '\n';
  }
  return out;
}

// A cell whose text wraps in its paragraph column: left-aligned by the
// column, its text wider than the column's text width.
bool Wraps(const TCell& c, const TColumnLook* look) { return look && look->Wrap && c.Align == 0; }

// The size a cell takes in a paragraph column: its text wrapped at the
// column's width, as wide as its widest line.
void WrappedSize(const TCell& c, TCanvas& canvas, const TLooks& looks, const TColumnLook& look, float& width,
                 float& height) {
  const float padding = static_cast<float>(2 * c.Table()->CellPadding);
  const float text = looks.TextWidth(look);
  if (c.MeasuredWidth - padding <= text) return;
  const TTextSize extent = canvas.TextExtent(WrapText(canvas, c.Text(), text));
  width = padding + std::max(extent.Width, kMinTextSize);
  height = padding + std::max(extent.Height, kMinTextSize);
}

// A hash of the column formats, to tell whether they changed.
uint64_t FormatsKey(const TTable& table) {
  uint64_t h = 1469598103934665603ull;
  for (const TColumn* col : table.Columns) {
    for (unsigned char ch : col->Format) h = (h ^ ch) * 1099511628211ull;
    h = (h ^ 0xFFu) * 1099511628211ull;
  }
  return h;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// Each rule covers its whole edge including both corners; a rule shared
// with a neighbour falls on the same pixels from either side.
void PaintVerticalRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  if (c.RuleLeft) {
    canvas.MoveTo(b.Left, b.Top);
    canvas.LineTo(b.Left, b.Bottom + 1);
  }
  if (c.RuleRight) {
    canvas.MoveTo(b.Right, b.Top);
    canvas.LineTo(b.Right, b.Bottom + 1);
  }
}

void PaintClassicRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  canvas.SetPenColor(clWindowText);
  if (c.RuleTop) {
    canvas.MoveTo(b.Left, b.Top);
    canvas.LineTo(b.Right + 1, b.Top);
  }
  if (c.RuleBottom) {
    canvas.MoveTo(b.Left, b.Bottom);
    canvas.LineTo(b.Right + 1, b.Bottom);
  }
  PaintVerticalRules(c, canvas);
}

// How far booktabs trims a partial rule's end, in pixels.
constexpr int kBooktabsTrim = 3;

// Booktabs rules as they typeset: the table's top and bottom rules heavier
// than the others; a rule's end trimmed where it does not run on into the
// same rule of the neighbouring cell, and inside the table also between
// two joined cells (the code makes the rules under group headings
// \cmidrule of their own); vertical rules greyed, since the code leaves
// them out.
void PaintBooktabsRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  const TTable& table = *c.Table();
  const TRow& row = *c.Row();
  const int index = c.Index();
  const TCell* left = index > 0 ? row[index - 1] : nullptr;
  const TCell* right = index + 1 < row.Count() ? row[index + 1] : nullptr;
  const bool firstRow = &row == table.Rows.First();
  const bool lastRow = &row == table.Rows.Last();
  auto horizontal = [&](TRuleFlag TCell::*rule, int y, bool edgeRow, int inward) {
    if (!(c.*rule)) return;
    // \toprule and \bottomrule only where the rule runs over the whole
    // table; a partial one there is a \cmidrule.
    const bool frame = edgeRow && std::all_of(row.begin(), row.end(), [rule](const TCell* n) { return n->*rule != 0; });
    auto trimmed = [&](const TCell* n) { return n && (!(n->*rule) || (!edgeRow && c.Span > 1 && n->Span > 1)); };
    const int x1 = b.Left + (trimmed(left) ? kBooktabsTrim : 0);
    const int x2 = b.Right + 1 - (trimmed(right) ? kBooktabsTrim : 0);
    canvas.MoveTo(x1, y);
    canvas.LineTo(x2, y);
    if (frame) {
      canvas.MoveTo(x1, y + inward);
      canvas.LineTo(x2, y + inward);
    }
  };
  canvas.SetPenColor(clBtnShadow);
  PaintVerticalRules(c, canvas);
  canvas.SetPenColor(clWindowText);
  horizontal(&TCell::RuleTop, b.Top, firstRow, 1);
  horizontal(&TCell::RuleBottom, b.Bottom, lastRow, -1);
}

// The rules of a cell that a block covers, on its own row's band.
void PaintCoveredRules(const TCell& c, TCanvas& canvas, TRuleStyle style) {
  if (style == rsBooktabs) PaintBooktabsRules(c, canvas);
  else PaintClassicRules(c, canvas);
}

void PaintCell(TCell& c, TCanvas& canvas, char align, const TColumnLook* look, const TLooks& looks) {
  const TTable& table = *c.Table();
  canvas.SetFont(table.FontName, table.FontSize);

  // The selection sits 2 pixels inside the cell's edges so that rules and
  // grid lines stay visible; it reaches one pixel further right and down
  // to cover the pixels the next cell's edge would otherwise leave bare.
  TRect r = Inflated(c.BoundsRect, -2);
  ++r.Right;
  ++r.Bottom;

  if (&c == table.CurrentCell) {
    canvas.SetBrushColor(clWindow);
    canvas.DrawFocusRect(Inflated(r, 1));
  }

  if (c.Selected) {
    canvas.SetBrushColor(clHighlight);
    if (table.HasFocus) {
      canvas.FillRect(r);
      canvas.SetFontColor(clHighlightText);
    } else {
      canvas.FrameRect(r);
      canvas.SetFontColor(clWindowText);
    }
  } else {
    canvas.SetFontColor(clWindowText);
  }

  const TRect& b = c.BoundsRect;
  if (table.Style.Rules == rsBooktabs) {
    PaintBooktabsRules(c, canvas);
  } else {
    PaintClassicRules(c, canvas);
  }

  // The vertical rules of the column's format, drawn as a cell's own: "||"
  // is two lines, the second two pixels inside the first.
  if (look) {
    for (int i = 0; i < look->RulesLeft; ++i) {
      canvas.MoveTo(b.Left + 2 * i, b.Top);
      canvas.LineTo(b.Left + 2 * i, b.Bottom + 1);
    }
    for (int i = 0; i < look->RulesRight; ++i) {
      canvas.MoveTo(b.Right - 2 * i, b.Top);
      canvas.LineTo(b.Right - 2 * i, b.Bottom + 1);
    }
  }

  if (!c.Text().empty()) {
    TRect textRect = Inflated(b, -table.CellPadding);
    const float padding = static_cast<float>(2 * table.CellPadding);
    const bool wrapped = align != 'c' && align != 'r' && Wraps(c, look) &&
                         c.MeasuredWidth - padding > looks.TextWidth(*look);
    std::string wrappedText;
    if (wrapped) wrappedText = WrapText(canvas, c.Text(), looks.TextWidth(*look));
    const std::string& text = wrapped ? wrappedText : c.Text();
    // A block's text stands in the middle of its rows, as \multirow sets it.
    if (c.RowSpan > 1) {
      const float height = wrapped ? canvas.TextExtent(text).Height : c.MeasuredHeight - padding;
      const int room = textRect.Bottom - textRect.Top - R(height);
      if (room > 1) textRect.Top += room / 2;
    }
    canvas.SetBrushStyle(TBrushStyle::Clear);
    switch (align) {
      case 'c': canvas.TextRect(textRect, text, TTextAlign::Center, false); break;
      case 'r': canvas.TextRect(textRect, text, TTextAlign::Right, false); break;
      default: canvas.TextRect(textRect, text, TTextAlign::Left, true); break;
    }
  }

  canvas.SetBrushStyle(TBrushStyle::Solid);
  canvas.SetBrushColor(clWindow);
  canvas.SetFontColor(clWindowText);
}

// A selected row or column shows as a band framed in button shadow and
// filled with button face.
void PaintBand(TCanvas& canvas, TRect r) {
  canvas.SetBrushColor(clBtnShadow);
  canvas.FrameRect(r);
  canvas.SetBrushColor(clBtnFace);
  canvas.FillRect(Inflated(r, -1));
}

// A block's own cell, found while measuring: the rows it covers, first
// and last, must together be as tall as its text.
struct TBlockNeed {
  int Top;
  int Last;
  float Height;
};

// What the rows top .. last - 1 leave to a block's last row of the height
// it needs. The sum runs top to bottom wherever it is taken, so that it
// rounds alike.
float LastRowNeed(const TTable& table, int top, int last, float height) {
  float sum = 0;
  for (int i = top; i < last; ++i) sum += table.Rows[i]->Height;
  return height - sum;
}

}  // namespace

// ---------------------------------------------------------------- measuring

void TCell::Measure(TCanvas& canvas) {
  const TTable& table = *Table();
  canvas.SetFont(table.FontName, table.FontSize);
  const float padding = static_cast<float>(2 * table.CellPadding);
  if (FText.empty()) {
    MeasuredWidth = padding + kMinTextSize;
    MeasuredHeight = padding + kMinTextSize;
  } else {
    const TTextSize extent = canvas.TextExtent(FText);
    MeasuredWidth = padding + std::max(extent.Width, kMinTextSize);
    MeasuredHeight = padding + std::max(extent.Height, kMinTextSize);
  }
  ExtentValid = true;
}

void TRow::Measure(TCanvas& canvas) {
  SyncExtentFont(*FTable);
  Height = 0;
  for (TCell* c : *this) {
    MeasureCached(c, canvas);
    Height = std::max(Height, c->MeasuredHeight);
  }
}

// A typed character changes one text. Measuring then needs only that
// cell's row and column, provided the table's shape is the one the last
// Measure laid out and the changed cells span one column each; joined cells
// then share out their widths again from the kept single-cell widths. The
// results are the same as from measuring everything.
void TTable::NoteTextChange(TCell* cell) {
  // Enough for the texts one command changes in a few cells; more is the
  // work of a command that measures everything anyway.
  constexpr size_t kMaxNoted = 64;
  if (!FLayoutValid || FChangedOverflow) return;
  if (FChanged.size() >= kMaxNoted) {
    FChangedOverflow = true;
    FChanged.clear();
    return;
  }
  FChanged.push_back(cell);
}

void TTable::Measure(TCanvas& canvas) {
  const uint64_t formats = FormatsKey(*this);
  bool incremental = FLayoutFormatsKey == formats && FLayoutValid && (FLayoutSimple || FLayoutJoinable) &&
                     !FChangedOverflow &&
                     FLayoutEpoch == gTableShapeEpoch && FLayoutSpans == gCellSpanEpoch &&
                     FLayoutPadding == CellPadding && FLayoutFontSize == FontSize && FLayoutFontName == FontName &&
                     ExtentFontSize == FontSize && ExtentFontName == FontName;
  // A cell that took another's span in place (TCell::Assign) changed the
  // shape without touching a list.
  if (incremental)
    for (const TCell* c : FChanged)
      if (c->Span != 1) incremental = false;
  if (incremental) MeasureChanged(canvas);
  else MeasureAll(canvas);
  FChanged.clear();
  FChangedOverflow = false;
  FLayoutValid = true;
  FLayoutEpoch = gTableShapeEpoch;
  FLayoutSpans = gCellSpanEpoch;
  FLayoutPadding = CellPadding;
  FLayoutFontName = FontName;
  FLayoutFontSize = FontSize;
  FLayoutFormatsKey = formats;
}

void TTable::MeasureChanged(TCanvas& canvas) {
  canvas.SetFont(FontName, FontSize);
  // Rows to measure again, settled top to bottom: a row that changes its
  // height changes what the blocks across it leave to their last rows.
  std::set<int> rows;
  std::vector<int> cols;
  for (TCell* c : FChanged) {
    MeasureCached(c, canvas);
    const int r = c->Row()->Index();
    rows.insert(r);
    if (c->RowSpan > 1) rows.insert(std::min(r + c->RowSpan - 1, RowCount() - 1));
    // The cell's column: its index plus what the joined cells before it add.
    int col = c->Index();
    if (!FLayoutSimple)
      for (const auto& [first, span] : FRowJoined[static_cast<size_t>(r)]) {
        if (first >= col) break;
        col += span - 1;
      }
    cols.push_back(col);
  }
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());

  // The same maxima the full walk takes, from the same cached extents.
  std::vector<int> later;
  while (!rows.empty()) {
    const int r = *rows.begin();
    rows.erase(rows.begin());
    TRow* row = Rows[r];
    float height = 0;
    later.clear();
    int col = 0;
    for (TCell* c : *row) {
      MeasureCached(c, canvas);
      if (c->RowSpan > 1) {
        later.push_back(r + c->RowSpan - 1);
      } else {
        height = std::max(height, c->MeasuredHeight);
        const int top = r - c->RowsToTop;
        if (top < r && top >= 0) {
          const TCell* own = (*Rows[top])[IndexAtColumn(top, col)];
          const int last = top + own->RowSpan - 1;
          if (last == r) height = std::max(height, LastRowNeed(*this, top, r, own->MeasuredHeight));
          else if (last > r) later.push_back(last);
        }
      }
      col += c->Span;
    }
    if (row->Height == height) continue;
    row->Height = height;
    for (int last : later) rows.insert(std::min(last, RowCount() - 1));
  }
  if (FLayoutSimple) MeasureSimpleColumns(canvas, cols);
  else MeasureJoinedColumns(canvas, cols);

  // The sums in the full walk's order, so that they round alike.
  ContentHeight = 0;
  for (TRow* row : Rows) ContentHeight += row->Height;
  ContentWidth = 0;
  for (TColumn* col : Columns) ContentWidth += col->Width;
  PixelWidth = R(ContentWidth) + 2 * Margin;
  PixelHeight = R(ContentHeight) + 2 * Margin;
}

// Every row holds one cell per column: a cell's index is its column.
void TTable::MeasureSimpleColumns(TCanvas& canvas, const std::vector<int>& cols) {
  for (int col : cols) {
    const size_t i = static_cast<size_t>(col);
    float w = 0;
    for (TRow* row : Rows) {
      TCell* c = *(row->begin() + static_cast<std::ptrdiff_t>(i));
      MeasureCached(c, canvas);
      w = std::max(w, c->MeasuredWidth);
    }
    if (Columns[col]->Width != w) NewCellRectsStamp();
    Columns[col]->Width = w;
    for (TRow* row : Rows) {
      TCell* c = *(row->begin() + static_cast<std::ptrdiff_t>(i));
      if (c->Width != w) c->Width = w;
    }
  }
}

// Cells joined across columns: the changed columns' single cells give their
// widths anew, then the joined cells share out their excess over all the
// single-cell widths again, as the full walk does.
void TTable::MeasureJoinedColumns(TCanvas& canvas, const std::vector<int>& cols) {
  const int rowCount = RowCount();
  for (int col : cols) {
    float w = 0;
    for (int r = 0; r < rowCount; ++r) {
      TCell* c = (*Rows[r])[IndexAtColumn(r, col)];
      if (c->Span != 1) continue;
      MeasureCached(c, canvas);
      w = std::max(w, c->MeasuredWidth);
    }
    FSingleWidths[static_cast<size_t>(col)] = w;
  }
  std::vector<float> widths = FSingleWidths;
  ShareOutJoined(widths);

  const int colCount = ColCount();
  std::vector<int> moved;
  for (int i = 0; i < colCount; ++i) {
    const float w = widths[static_cast<size_t>(i)];
    if (Columns[i]->Width == w) continue;
    Columns[i]->Width = w;
    moved.push_back(i);
  }
  if (moved.empty()) return;
  NewCellRectsStamp();
  // Each cell over a moved column sums its columns as the full walk does; a
  // joined cell over several of them is summed once per column, alike.
  for (int r = 0; r < rowCount; ++r) {
    for (int col : moved) {
      int first = col;
      TCell* c = (*Rows[r])[IndexAtColumn(r, col, &first)];
      float w = 0;
      const int last = std::min(first + c->Span, colCount);
      for (int i = first; i < last; ++i) w += widths[static_cast<size_t>(i)];
      if (c->Width != w) c->Width = w;
    }
  }
}

int TTable::IndexAtColumn(int r, int col, int* start) const {
  int index = col;
  int first = col;
  if (!FLayoutSimple)
    for (const auto& [c, span] : FRowJoined[static_cast<size_t>(r)]) {
      if (c + span <= col) {
        index -= span - 1;
      } else {
        if (c <= col) {
          index -= col - c;
          first = c;
        }
        break;
      }
    }
  if (start) *start = first;
  return index;
}

// Narrow joined cells come first (FJoined is sorted so), so that a wide one
// sees what the narrow ones produced.
void TTable::ShareOutJoined(std::vector<float>& widths) const {
  const int colCount = static_cast<int>(widths.size());
  for (const TJoinedCell& j : FJoined) {
    // A cell reaching past the last column (a damaged file) shares its
    // excess among the columns that exist.
    const int first = std::max(j.Col, 0);
    const int last = std::min(j.Col + j.Span, colCount);
    if (first >= last) continue;
    float sum = 0;
    for (int i = first; i < last; ++i) sum += widths[static_cast<size_t>(i)];
    const float excess = j.Cell->MeasuredWidth - sum;
    if (excess > 0) {
      const float share = excess / static_cast<float>(last - first);
      for (int i = first; i < last; ++i) widths[static_cast<size_t>(i)] += share;
    }
  }
}

void TTable::MeasureAll(TCanvas& canvas) {
  NewCellRectsStamp();
  SyncExtentFont(*this);
  canvas.SetFont(FontName, FontSize);
  // Whether every row holds one cell per column, for the next Measure; or,
  // failing that, whether its spans are sound and its columns plain, so that
  // only the joined cells reach across columns.
  bool simple = true;
  bool joinable = true;

  const int colCount = ColCount();
  const int rowCount = RowCount();
  std::vector<float> widths(static_cast<size_t>(colCount), 0.0f);
  FJoined.clear();
  FRowJoined.clear();
  std::vector<TBlockNeed> blocks;
  // Paragraph columns wrap their texts: every cell of theirs is measured
  // again when anything changes.
  const TLooks looks(*this, canvas);
  if (!looks.AllPlain) joinable = false;

  // Row heights and the widths single cells need, in one walk; joined cells
  // are set aside, since they can only share out what the single cells
  // leave them.
  int rowIndex = 0;
  for (TRow* row : Rows) {
    float height = 0;
    int col = 0;
    for (TCell* c : *row) {
      MeasureCached(c, canvas);
      float cellWidth = c->MeasuredWidth;
      float cellHeight = c->MeasuredHeight;
      const TColumnLook* look = looks.Of(col, c->Span);
      if (Wraps(*c, look)) WrappedSize(*c, canvas, looks, *look, cellWidth, cellHeight);
      // A block's text is shared out over its rows once their own heights
      // are known; one reaching past the last row (a damaged file) ends there.
      const int last = std::min(rowIndex + c->RowSpan - 1, rowCount - 1);
      if (last > rowIndex) blocks.push_back({rowIndex, last, cellHeight});
      else height = std::max(height, cellHeight);
      if (c->Span != 1) simple = false;
      if (c->Span < 1) joinable = false;
      if (c->Span == 1) {
        if (col >= 0 && col < colCount) {
          float& w = widths[static_cast<size_t>(col)];
          w = std::max(w, cellWidth);
        }
      } else if (c->Span > 1) {
        FJoined.push_back({c->Span, col, c});
        if (FRowJoined.empty()) FRowJoined.resize(static_cast<size_t>(rowCount));
        FRowJoined[static_cast<size_t>(rowIndex)].emplace_back(col, c->Span);
      }
      col += c->Span;
    }
    row->Height = height;
    if (col != colCount) joinable = false;
    ++rowIndex;
  }
  FLayoutSimple = simple && joinable;
  FLayoutJoinable = joinable && !simple;

  // A block whose text is taller than its rows makes its last row taller.
  // Blocks ending higher up come first, so that each sees the final heights
  // of the rows above its last one, which is what MeasureChanged sees too.
  std::stable_sort(blocks.begin(), blocks.end(),
                   [](const TBlockNeed& a, const TBlockNeed& b) { return a.Last < b.Last; });
  FBlockRows.clear();
  for (const TBlockNeed& b : blocks) {
    float& height = Rows[b.Last]->Height;
    height = std::max(height, LastRowNeed(*this, b.Top, b.Last, b.Height));
    FBlockRows.emplace_back(b.Top, b.Last);
  }

  // Plain columns have no given width: these are the widths the quick
  // re-measure starts from.
  if (FLayoutJoinable) FSingleWidths = widths;
  else FSingleWidths.clear();

  // A column of a given width is at least that wide, at the grid's scale.
  for (int i = 0; i < colCount; ++i) {
    const TColumnLook& look = looks.Columns[static_cast<size_t>(i)];
    if (look.WidthPt <= 0) continue;
    float& w = widths[static_cast<size_t>(i)];
    w = std::max(w, static_cast<float>(R(looks.TextWidth(look))) + static_cast<float>(2 * CellPadding));
  }

  // Narrow joined cells first, so that a wide one sees what the narrow ones
  // produced; among equal spans, rows top to bottom and cells left to right.
  // Sorting the joined cells visits only the spans that occur, however many
  // columns the table has.
  std::stable_sort(FJoined.begin(), FJoined.end(),
                   [](const TJoinedCell& a, const TJoinedCell& b) { return a.Span < b.Span; });
  ShareOutJoined(widths);

  ContentHeight = 0;
  for (TRow* row : Rows) {
    ContentHeight += row->Height;
    int col = 0;
    for (TCell* c : *row) {
      float w = 0;
      const int last = std::min(col + c->Span, colCount);
      for (int i = std::max(col, 0); i < last; ++i) w += widths[static_cast<size_t>(i)];
      // Written only when changed: after a small edit almost nothing moves,
      // and untouched cells then cost no memory writes.
      if (c->Width != w) c->Width = w;
      col += c->Span;
    }
  }

  ContentWidth = 0;
  for (int i = 0; i < colCount; ++i) {
    Columns[i]->Width = widths[static_cast<size_t>(i)];
    ContentWidth += widths[static_cast<size_t>(i)];
  }

  PixelWidth = R(ContentWidth) + 2 * Margin;
  PixelHeight = R(ContentHeight) + 2 * Margin;
}

// ---------------------------------------------------------------- painting

void TRow::PaintMarks(TCanvas& canvas) {
  // The marks and the band work on the row's band pulled in to the content,
  // one pixel wider and higher to take in the rules on its far edges.
  const int margin = FTable->Margin;
  TRect r = BoundsRect;
  r.Left += margin;
  r.Right -= margin - 1;
  r.Bottom += 1;

  // Red bars in the side margins say that the row carries LaTeX text of
  // its own before or after its cells.
  if (!Prefix.empty()) {
    canvas.SetBrushColor(clRed);
    canvas.FillRect({r.Left - 4, r.Top + 4, r.Left - 2, r.Bottom - 4});
  }
  if (!Postfix.empty()) {
    canvas.SetBrushColor(clRed);
    canvas.FillRect({r.Right + 2, r.Top + 4, r.Right + 4, r.Bottom - 4});
  }
  if (Selected) PaintBand(canvas, r);
  canvas.SetBrushColor(clWindow);
}

void TColumn::Paint(TCanvas& canvas) {
  if (Selected) {
    const int margin = FTable->Margin;
    TRect r = BoundsRect;
    r.Top += margin;
    r.Bottom -= margin - 1;
    r.Right += 1;
    PaintBand(canvas, r);
  }
  canvas.SetBrushColor(clWindow);
}

void TCell::Paint(TCanvas& canvas) {
  // A covered cell shows nothing of its own: its block's cell draws it.
  if (Covered()) {
    PaintCoveredRules(*this, canvas, Table()->Style.Rules);
    return;
  }
  const TLooks looks(*Table(), canvas);
  const int col = ColIndex();
  PaintCell(*this, canvas, AlignOf(*this, looks.At(col)), looks.Of(col, Span), looks);
}

namespace {
// Stamps are unique across all tables, so that a row moved to another table
// (TakeContent) never carries a stamp that is current there.
uint64_t gLastCellRectsStamp = 0;
}  // namespace

void TTable::NewCellRectsStamp() { FCellRectsStamp = ++gLastCellRectsStamp; }

void TTable::UpdateCellRects(const TRow& row) const { UpdateCellRects(row, -1); }

void TTable::UpdateCellRects(const TRow& row, int index) const {
  // Before the first Paint there is no layout to bring up to date.
  if (row.FCellRectsStamp == FCellRectsStamp || FCellRectsStamp == 0) return;
  // The same sums as a complete layout makes: the cells' widths added up
  // from the margin, each edge rounded on its own.
  const int top = row.BoundsRect.Top;
  const int bottom = row.BoundsRect.Bottom;
  float x = static_cast<float>(Margin);
  int left = R(x);
  for (TCell* c : row) {
    x += c->Width;
    const int right = R(x);
    TRect bounds{left, top, right, bottom};
    // A block's own cell reaches down to the bottom of its last row, so
    // that it is drawn, framed and hit as one cell; its covered cells keep
    // their own row's band.
    if (c->RowSpan > 1) {
      if (index < 0) index = row.Index();
      bounds.Bottom = Rows[std::min(index + c->RowSpan - 1, RowCount() - 1)]->BoundsRect.Bottom;
    }
    if (!(c->BoundsRect == bounds)) c->BoundsRect = bounds;
    left = right;
  }
  row.FCellRectsStamp = FCellRectsStamp;
}

void TTable::UpdateCellRects() const {
  int index = 0;
  for (const TRow* row : Rows) UpdateCellRects(*row, index++);
}

void TTable::Paint(TCanvas& canvas, const TRect* clip) {
  const float x0 = static_cast<float>(Margin);
  const float y0 = static_cast<float>(Margin);
  // A table without rows or columns has no grid to draw; its lines would
  // shrink to a stray dot in the corner.
  const bool grid = ShowGrid && RowCount() > 0 && ColCount() > 0;
  const int gridLeft = R(x0);
  const int gridRight = R(x0 + ContentWidth) + 1;
  canvas.SetBrushStyle(TBrushStyle::Solid);
  if (grid) canvas.SetPenColor(clBtnFace);

  if (FCellRectsEpoch != gTableShapeEpoch || FCellRectsMargin != Margin || FCellRectsStamp == 0) {
    NewCellRectsStamp();
    FCellRectsEpoch = gTableShapeEpoch;
    FCellRectsMargin = Margin;
  }

  // Every row's band is laid out, since the hit tests find rows by them;
  // the cells only of the rows that meet the clip rectangle, and only what
  // meets it is drawn. Everything a row draws lies between its top and its
  // bottom edge inclusive, but for a block's own cell, which reaches down
  // over the rows it covers.
  const int rowCount = RowCount();
  const bool blocks = !FBlockRows.empty();
  // Which rows' bands moved, kept only when blocks need to know: a block's
  // own cell is laid out again when the bottom of its last row moved.
  std::vector<uint8_t> moved;
  if (blocks) moved.assign(static_cast<size_t>(rowCount), 0);
  float y = y0;
  int rowIndex = 0;
  for (TRow* row : Rows) {
    const int top = R(y);
    const int bottom = R(y + row->Height);
    y += row->Height;
    const TRect band{0, top, PixelWidth, bottom};
    if (!(row->BoundsRect == band)) {
      row->BoundsRect = band;
      row->FCellRectsStamp = 0;
      if (blocks) moved[static_cast<size_t>(rowIndex)] = 1;
    }
    ++rowIndex;
  }
  for (const auto& [first, last] : FBlockRows)
    if (last < rowCount && moved[static_cast<size_t>(last)]) Rows[first]->FCellRectsStamp = 0;

  rowIndex = -1;
  for (TRow* row : Rows) {
    ++rowIndex;
    const int top = row->BoundsRect.Top;
    const int bottom = row->BoundsRect.Bottom;
    if (!Meets(clip, 0, top, PixelWidth, bottom + 1)) continue;
    UpdateCellRects(*row, rowIndex);
    if (!grid) continue;
    if (!blocks) {
      canvas.MoveTo(gridLeft, top);
      canvas.LineTo(gridRight, top);
    } else {
      // No grid line runs through a block: the line over a row breaks off
      // over the cells that a block above covers.
      int from = gridLeft;
      for (const TCell* c : *row) {
        if (!c->Covered()) continue;
        if (c->BoundsRect.Left > from) {
          canvas.MoveTo(from, top);
          canvas.LineTo(c->BoundsRect.Left, top);
        }
        from = c->BoundsRect.Right;
      }
      if (gridRight > from) {
        canvas.MoveTo(from, top);
        canvas.LineTo(gridRight, top);
      }
    }
    int left = gridLeft;
    for (const TCell* c : *row) {
      left = c->BoundsRect.Left;
      if (Meets(clip, left, top, left + 1, bottom + 1)) {
        canvas.MoveTo(left, top);
        canvas.LineTo(left, bottom + 1);
      }
      left = c->BoundsRect.Right;
    }
    // The closing line spans the same pixels as the cells' left lines.
    if (Meets(clip, left, top, left + 1, bottom + 1)) {
      canvas.MoveTo(left, top);
      canvas.LineTo(left, bottom + 1);
    }
  }
  if (grid && Meets(clip, gridLeft, R(y), gridRight, R(y) + 1)) {
    canvas.MoveTo(gridLeft, R(y));
    canvas.LineTo(gridRight, R(y));
  }

  float x = x0;
  for (TColumn* col : Columns) {
    const int left = R(x);
    x += col->Width;
    col->BoundsRect = {left, 0, R(x), PixelHeight};
  }

  const TLooks looks(*this, canvas);

  // Row and column bands first, so that they show through the cells that
  // draw no background of their own.
  for (TRow* row : Rows) {
    const TRect& b = row->BoundsRect;
    if (Meets(clip, b.Left, b.Top, b.Right, b.Bottom + 1)) row->PaintMarks(canvas);
  }
  // Adjacent selected columns make one band. Framed one by one, each
  // band's edge would cross the joined cells that span the two columns,
  // where no grid line runs, as a line that is neither rule nor grid.
  const int colCount = ColCount();
  for (int i = 0; i < colCount;) {
    if (!Columns[i]->Selected) {
      ++i;
      continue;
    }
    int last = i;
    while (last + 1 < colCount && Columns[last + 1]->Selected) ++last;
    if (last == i) {
      const TRect& b = Columns[i]->BoundsRect;
      if (Meets(clip, b.Left, b.Top, b.Right + 1, b.Bottom)) Columns[i]->Paint(canvas);
    } else {
      TRect r{Columns[i]->BoundsRect.Left, Margin, Columns[last]->BoundsRect.Right + 1, PixelHeight - Margin + 1};
      if (Meets(clip, r.Left, r.Top, r.Right, r.Bottom)) {
        PaintBand(canvas, r);
        canvas.SetBrushColor(clWindow);
      }
    }
    i = last + 1;
  }
  // A block is drawn with its own row; one whose own row lies above the
  // clip but that reaches into it, with the first row that shows.
  bool firstShown = true;
  rowIndex = -1;
  for (TRow* row : Rows) {
    ++rowIndex;
    const TRect& rb = row->BoundsRect;
    if (!Meets(clip, rb.Left, rb.Top, rb.Right, rb.Bottom + 1)) continue;
    const bool first = firstShown;
    firstShown = false;
    int col = 0;
    for (TCell* c : *row) {
      const TRect& b = c->BoundsRect;
      const int start = col;
      col += c->Span;
      const bool meets = Meets(clip, b.Left, b.Top, b.Right + 1, b.Bottom + 1);
      if (c->Covered()) {
        if (!meets) continue;
        const int topRow = rowIndex - c->RowsToTop;
        if (first && topRow >= 0) {
          TRow& above = *Rows[topRow];
          UpdateCellRects(above, topRow);
          TCell* own = above.CellAtCol(start);
          if (own && own->RowSpan > 1)
            PaintCell(*own, canvas, AlignOf(*own, looks.At(start)), looks.Of(start, own->Span), looks);
        }
        // Its left and right rules are its block's; only the last covered
        // cell's bottom rule, the block's own, adds anything.
        PaintCoveredRules(*c, canvas, Style.Rules);
        continue;
      }
      // Centred and right-aligned text is drawn on one line, so text with
      // line breaks can stick out of its cell; such a cell is drawn
      // whenever its row is.
      if (!meets && !HasLineBreak(c->Text())) continue;
      const TColumnLook* look = looks.Of(start, c->Span);
      const char align = AlignOf(*c, looks.At(start));
      if (meets || align != 'l') PaintCell(*c, canvas, align, look, looks);
    }
  }
}
