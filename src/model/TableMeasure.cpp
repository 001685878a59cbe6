// Measuring the table: the cells' text extents, the column widths and the
// row heights, and after typing only what the changed cells move.
#include <algorithm>
#include <set>
#include <vector>

#include "model/TableLayout.h"

using namespace TableLayout;

namespace TableLayout {

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

}  // namespace TableLayout

namespace {

// A hash of the column formats, to tell whether they changed.
uint64_t FormatsKey(const TTable& table) {
  uint64_t h = 1469598103934665603ull;
  for (const TColumn* col : table.Columns) {
    for (unsigned char ch : col->Format) h = (h ^ ch) * 1099511628211ull;
    h = (h ^ 0xFFu) * 1099511628211ull;
  }
  return h;
}

// A block's own cell, found while measuring: the rows it covers, first
// and last, must together be as tall as its text.
struct TBlockNeed {
  int Top;
  int Last;
  float Height;
};

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
