// Layout and painting checked on a canvas that records every drawing call
// with the state it was made in, so that rectangles, lines and colours can be
// compared pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model/Canvas.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

enum class TOpKind { Line, Fill, Frame, Focus, Text };

struct TOp {
  TOpKind Kind = TOpKind::Line;
  TRect Rect;  // for a line: (x1, y1) to (x2, y2) in Left, Top, Right, Bottom
  TColor Color = clWindowText;  // pen, brush or font colour as the kind uses
  std::string Text;
  TTextAlign Align = TTextAlign::Left;
  bool MultiLine = false;
  bool operator==(const TOp&) const = default;
};

TOp Shape(TOpKind kind, TRect r, TColor c) {
  TOp op;
  op.Kind = kind;
  op.Rect = r;
  op.Color = c;
  return op;
}
TOp Line(int x1, int y1, int x2, int y2, TColor c) { return Shape(TOpKind::Line, {x1, y1, x2, y2}, c); }
TOp Fill(TRect r, TColor c) { return Shape(TOpKind::Fill, r, c); }
TOp Frame(TRect r, TColor c) { return Shape(TOpKind::Frame, r, c); }
TOp Focus(TRect r) { return Shape(TOpKind::Focus, r, clWindow); }
TOp Text(TRect r, std::string s, TTextAlign a, bool multi, TColor c = clWindowText) {
  TOp op = Shape(TOpKind::Text, r, c);
  op.Text = std::move(s);
  op.Align = a;
  op.MultiLine = multi;
  return op;
}

std::ostream& operator<<(std::ostream& os, const TOp& op) {
  static const char* kinds[] = {"Line", "Fill", "Frame", "Focus", "Text"};
  os << kinds[static_cast<int>(op.Kind)] << "(" << op.Rect.Left << "," << op.Rect.Top << "," << op.Rect.Right << ","
     << op.Rect.Bottom << ")";
  if (op.Color.IsSystem()) os << " sys" << static_cast<int>(op.Color.System());
  else os << " rgb" << int(op.Color.Red()) << "," << int(op.Color.Green()) << "," << int(op.Color.Blue());
  if (op.Kind == TOpKind::Text) os << " '" << op.Text << "' a" << static_cast<int>(op.Align) << " m" << op.MultiLine;
  return os;
}

// Text extents come from a table of known texts; any other text is 6 pixels
// a character on its longest line and 12 pixels a line.
class TRecordingCanvas : public TCanvas {
 public:
  std::map<std::string, TTextSize> Extents;
  std::vector<TOp> Ops;
  int ExtentCalls = 0;
  std::string LastMeasuredFont;
  bool TextOnClearBrush = true;
  bool TextInTableFont = true;
  std::string TableFont = "Times New Roman";

  TTextSize TextExtent(const std::string& text) override {
    ++ExtentCalls;
    LastMeasuredFont = FontName() + " " + std::to_string(FontSize());
    auto it = Extents.find(text);
    if (it != Extents.end()) return it->second;
    size_t longest = 0, current = 0, lines = 1;
    for (char ch : text) {
      if (ch == '\n') {
        ++lines;
        current = 0;
      } else {
        longest = std::max(longest, ++current);
      }
    }
    return {6.0f * static_cast<float>(longest), 12.0f * static_cast<float>(lines)};
  }
  void TextRect(const TRect& r, const std::string& text, TTextAlign align, bool multiLine) override {
    if (BrushStyle() != TBrushStyle::Clear) TextOnClearBrush = false;
    if (FontName() != TableFont) TextInTableFont = false;
    Ops.push_back(Text(r, text, align, multiLine, FontColor()));
  }
  void FillRect(const TRect& r) override { Ops.push_back(Fill(r, BrushColor())); }
  void FrameRect(const TRect& r) override { Ops.push_back(Frame(r, BrushColor())); }
  void DrawFocusRect(const TRect& r) override { Ops.push_back(Shape(TOpKind::Focus, r, BrushColor())); }

  std::vector<TOp> OfKind(TOpKind kind) const {
    std::vector<TOp> result;
    for (const TOp& op : Ops)
      if (op.Kind == kind) result.push_back(op);
    return result;
  }
  std::vector<TOp> Shapes() const {
    std::vector<TOp> result;
    for (const TOp& op : Ops)
      if (op.Kind == TOpKind::Fill || op.Kind == TOpKind::Frame || op.Kind == TOpKind::Focus) result.push_back(op);
    return result;
  }

 protected:
  void DrawLine(int x1, int y1, int x2, int y2) override { Ops.push_back(Line(x1, y1, x2, y2, PenColor())); }
};

// A table whose rows are given as lists of (text, span).
struct TCellSpec {
  std::string Text;
  int Span = 1;
};
void Build(TTable& t, int cols, const std::vector<std::vector<TCellSpec>>& rows) {
  for (int i = 0; i < cols; ++i) new TColumn(t);
  for (const auto& specs : rows) {
    TRow* row = new TRow(t);
    for (const TCellSpec& s : specs) {
      TCell* c = new TCell(*row);
      c->SetText(s.Text);
      c->Span = s.Span;
    }
  }
}

// The table of one row, 20 high, with columns 40 and 60 wide.
struct TWorkedTable {
  TTable Table;
  TRecordingCanvas Canvas;
  TWorkedTable() {
    Canvas.Extents = {{"a", {32, 12}}, {"b", {52, 12}}};
    Build(Table, 2, {{{"a"}, {"b"}}});
  }
  TCell* Cell(int i) { return (*Table.Rows[0])[i]; }
  void Draw() {
    Table.Measure(Canvas);
    Canvas.Ops.clear();
    Table.Paint(Canvas);
  }
};

TEST(TablePaint, WorkedTableLayout) {
  TWorkedTable w;
  w.Draw();
  const TTable& t = w.Table;
  EXPECT_EQ(t.PixelWidth, 116);
  EXPECT_EQ(t.PixelHeight, 36);
  EXPECT_EQ(w.Cell(0)->BoundsRect, (TRect{8, 8, 48, 28}));
  EXPECT_EQ(w.Cell(1)->BoundsRect, (TRect{48, 8, 108, 28}));
  EXPECT_EQ(t.Rows[0]->BoundsRect, (TRect{0, 8, 116, 28}));
  EXPECT_EQ(t.Columns[0]->BoundsRect, (TRect{8, 0, 48, 36}));
  EXPECT_EQ(t.Columns[1]->BoundsRect, (TRect{48, 0, 108, 36}));

  // Grid lines cover x 8..108 and y 8..28; the end point is not drawn.
  const std::vector<TOp> lines{Line(8, 8, 109, 8, clBtnFace), Line(8, 8, 8, 29, clBtnFace),
                               Line(48, 8, 48, 29, clBtnFace), Line(108, 8, 108, 29, clBtnFace),
                               Line(8, 28, 109, 28, clBtnFace)};
  EXPECT_EQ(w.Canvas.OfKind(TOpKind::Line), lines);
  const std::vector<TOp> texts{Text({12, 12, 44, 24}, "a", TTextAlign::Left, true),
                               Text({52, 12, 104, 24}, "b", TTextAlign::Left, true)};
  EXPECT_EQ(w.Canvas.OfKind(TOpKind::Text), texts);
  EXPECT_TRUE(w.Canvas.TextOnClearBrush);
  EXPECT_TRUE(w.Canvas.TextInTableFont);
  EXPECT_TRUE(w.Canvas.Shapes().empty());

  // The margins belong to rows and columns but to no cell.
  EXPECT_EQ(t.RowAt(5, 15), t.Rows[0]);
  EXPECT_EQ(t.CellAt(5, 15), nullptr);
  EXPECT_EQ(t.ColumnAt(20, 3), t.Columns[0]);
  EXPECT_EQ(t.CellAt(20, 3), nullptr);
  EXPECT_EQ(t.CellAt(47, 27), w.Cell(0));
  EXPECT_EQ(t.CellAt(48, 27), w.Cell(1));
}

TEST(TablePaint, MarksBandsAndSelection) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Setup;
    std::vector<TOp> Shapes;
    TColor FirstTextColor = clWindowText;
  };
  const Case cases[] = {
      {"prefix", [](TTable& t) { t.Rows[0]->Prefix = "\\hline"; }, {Fill({4, 12, 6, 25}, clRed)}},
      {"postfix only", [](TTable& t) { t.Rows[0]->Postfix = "x"; }, {Fill({111, 12, 113, 25}, clRed)}},
      {"selected row",
       [](TTable& t) { t.SelectRow(0); },
       {Frame({8, 8, 109, 29}, clBtnShadow), Fill({9, 9, 108, 28}, clBtnFace)}},
      {"selected column",
       [](TTable& t) { t.SelectColumn(0); },
       {Frame({8, 8, 49, 29}, clBtnShadow), Fill({9, 9, 48, 28}, clBtnFace)}},
      {"selected cell, focused",
       [](TTable& t) {
         t.HasFocus = true;
         t.SelectCell(t.GetCell(0, 0));
       },
       {Fill({10, 10, 47, 27}, clHighlight)},
       clHighlightText},
      {"selected cell, unfocused",
       [](TTable& t) { t.SelectCell(t.GetCell(0, 0)); },
       {Frame({10, 10, 47, 27}, clHighlight)}},
      {"current cell", [](TTable& t) { t.CurrentCell = t.GetCell(0, 0); }, {Focus({9, 9, 48, 28})}},
      {"current and selected",
       [](TTable& t) {
         t.HasFocus = true;
         t.CurrentCell = t.GetCell(0, 0);
         t.SelectCell(t.GetCell(0, 0));
       },
       {Focus({9, 9, 48, 28}), Fill({10, 10, 47, 27}, clHighlight)},
       clHighlightText},
      // Row marks, then column bands, then cells: the bands lie underneath.
      {"drawing order",
       [](TTable& t) {
         t.Rows[0]->Prefix = "p";
         t.Columns[1]->Selected = true;
         t.HasFocus = true;
         (*t.Rows[0])[1]->Selected = true;
       },
       {Fill({4, 12, 6, 25}, clRed), Frame({48, 8, 109, 29}, clBtnShadow), Fill({49, 9, 108, 28}, clBtnFace),
        Fill({50, 10, 107, 27}, clHighlight)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TWorkedTable w;
    c.Setup(w.Table);
    w.Draw();
    EXPECT_EQ(w.Canvas.Shapes(), c.Shapes);
    const std::vector<TOp> texts = w.Canvas.OfKind(TOpKind::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Color, c.FirstTextColor);
    EXPECT_EQ(w.Canvas.BrushColor(), clWindow);
    EXPECT_EQ(w.Canvas.FontColor(), clWindowText);
    EXPECT_EQ(w.Canvas.BrushStyle(), TBrushStyle::Solid);
  }
}

// Two selected columns under a cell joined across them: the band must not
// draw the edge between the columns, which would show as a line through
// the joined cell where the table has neither rule nor grid line.
TEST(TablePaint, AdjacentSelectedColumnsMakeOneBand) {
  TTable t;
  TRecordingCanvas canvas;
  Build(t, 3, {{{"joined", 2}, {"c"}}, {{"a"}, {"b"}, {"c"}}});
  t.SelectColumnRange(0, 1);
  t.Measure(canvas);
  t.Paint(canvas);
  const TRect& first = t.Columns[0]->BoundsRect;
  const TRect& second = t.Columns[1]->BoundsRect;
  const TRect band{first.Left, 8, second.Right + 1, t.PixelHeight - 7};
  EXPECT_EQ(canvas.Shapes(), (std::vector<TOp>{Frame(band, clBtnShadow), Fill({band.Left + 1, band.Top + 1,
                                                                                band.Right - 1, band.Bottom - 1},
                                                                               clBtnFace)}));
}

TEST(TablePaint, RulesCoverWholeEdgesWithOrWithoutGrid) {
  for (bool grid : {true, false}) {
    SCOPED_TRACE(grid ? "grid" : "no grid");
    TWorkedTable w;
    w.Table.ShowGrid = grid;
    w.Table.SetRules({0, 0, 0, 0}, rbAll, 255);
    w.Draw();
    std::vector<TOp> rules, gridLines;
    for (const TOp& op : w.Canvas.OfKind(TOpKind::Line))
      (op.Color == clBtnFace ? gridLines : rules).push_back(op);
    EXPECT_EQ(gridLines.size(), grid ? 5u : 0u);
    // The second cell's left rule (set by SetRules as the neighbour's edge)
    // falls on the first cell's right rule.
    const std::vector<TOp> expected{Line(8, 8, 49, 8, clWindowText), Line(8, 28, 49, 28, clWindowText),
                                    Line(8, 8, 8, 29, clWindowText), Line(48, 8, 48, 29, clWindowText),
                                    Line(48, 8, 48, 29, clWindowText)};
    EXPECT_EQ(rules, expected);
  }
}

TEST(TablePaint, TextLayoutFollowsAlignment) {
  struct Case {
    const char* Format;
    char Align;
    TTextAlign Expected;
    bool MultiLine;
  };
  const Case cases[] = {
      {"l", 0, TTextAlign::Left, true},      {"c", 0, TTextAlign::Center, false},
      {"r", 0, TTextAlign::Right, false},    {"R", 0, TTextAlign::Left, true},
      {"p{20pt}", 0, TTextAlign::Left, true}, {"r", 'c', TTextAlign::Center, false},
      {"c", 'l', TTextAlign::Left, true},    {"l", 'r', TTextAlign::Right, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Format) + " " + (c.Align ? c.Align : '0'));
    // The cell under test starts in the third column, after a joined cell,
    // so its alignment must come from its own column.
    TTable t;
    TRecordingCanvas canvas;
    Build(t, 4, {{{"j", 2}, {"x"}, {"y"}}});
    t.Columns[2]->Format = c.Format;
    TCell* cell = (*t.Rows[0])[1];
    cell->Align = c.Align;
    t.Measure(canvas);
    t.Paint(canvas);
    const TOp expected = Text({cell->BoundsRect.Left + 4, cell->BoundsRect.Top + 4, cell->BoundsRect.Right - 4,
                               cell->BoundsRect.Bottom - 4},
                              "x", c.Expected, c.MultiLine);
    EXPECT_EQ(canvas.OfKind(TOpKind::Text)[1], expected);
    // Painting the cell on its own agrees with the table's paint.
    canvas.Ops.clear();
    cell->Paint(canvas);
    EXPECT_EQ(canvas.OfKind(TOpKind::Text).at(0), expected);
  }
}

TEST(TableMeasure, CellAndTableSizes) {
  struct Case {
    const char* Name;
    int Cols;
    std::vector<std::vector<TCellSpec>> Rows;
    std::map<std::string, TTextSize> Extents;
    std::vector<float> ColumnWidths;
    std::vector<float> RowHeights;
    int PixelWidth, PixelHeight;
  };
  const Case cases[] = {
      {"empty table", 0, {}, {}, {}, {}, 16, 16},
      {"one empty cell", 1, {{{""}}}, {}, {16}, {16}, 32, 32},
      {"tiny text", 1, {{{"i"}}}, {{"i", {3, 5}}}, {16}, {16}, 32, 32},
      {"two lines", 1, {{{"ab\nabcd"}}}, {}, {32}, {32}, 48, 48},
      {"widest cell of a column", 2, {{{"aaaa"}, {""}}, {{"aaaaaaaa"}, {""}}}, {}, {56, 16}, {20, 20}, 88, 56},
      {"joined cell widens its columns", 2,
       {{{"a"}, {"b"}}, {{"j", 2}}},
       {{"a", {22, 8}}, {"b", {32, 8}}, {"j", {92, 8}}},
       {45, 55}, {16, 16}, 116, 48},
      {"joined cell that fits", 2,
       {{{"a"}, {"b"}}, {{"j", 2}}},
       {{"a", {22, 8}}, {"b", {32, 8}}, {"j", {52, 8}}},
       {30, 40}, {16, 16}, 86, 48},
      // Span 2 is settled before span 3 even though the span-3 cell comes
      // first: the wider cell then only adds what is still missing.
      {"narrow spans first", 3,
       {{{"w", 3}}, {{"n", 2}, {""}}},
       {{"w", {82, 8}}, {"n", {52, 8}}},
       {30 + 14.0f / 3, 30 + 14.0f / 3, 16 + 14.0f / 3}, {16, 16}, 106, 48},
      // A span-3 cell then a span-2 cell: the second one's excess goes to
      // the two columns after the first three.
      {"spans walked by position", 5, {{{"", 3}, {"t", 2}}}, {{"t", {92, 8}}},
       {16.0f / 3, 16.0f / 3, 16.0f / 3, 50, 50}, {16}, 132, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    TRecordingCanvas canvas;
    canvas.Extents = c.Extents;
    Build(t, c.Cols, c.Rows);
    t.Measure(canvas);
    ASSERT_EQ(t.ColCount(), static_cast<int>(c.ColumnWidths.size()));
    float contentWidth = 0;
    for (int i = 0; i < t.ColCount(); ++i) {
      EXPECT_FLOAT_EQ(t.Columns[i]->Width, c.ColumnWidths[static_cast<size_t>(i)]) << "column " << i;
      contentWidth += t.Columns[i]->Width;
    }
    EXPECT_EQ(t.ContentWidth, contentWidth);
    for (int i = 0; i < t.RowCount(); ++i) {
      EXPECT_FLOAT_EQ(t.Rows[i]->Height, c.RowHeights[static_cast<size_t>(i)]) << "row " << i;
      int col = 0;
      for (const TCell* cell : *t.Rows[i]) {
        float w = 0;
        for (int k = col; k < col + cell->Span; ++k) w += t.Columns[k]->Width;
        EXPECT_EQ(cell->Width, w);
        EXPECT_EQ(cell->Height(), t.Rows[i]->Height);
        col += cell->Span;
      }
    }
    EXPECT_EQ(t.PixelWidth, c.PixelWidth);
    EXPECT_EQ(t.PixelHeight, c.PixelHeight);
  }
}

TEST(TableMeasure, SumsStayInSinglePrecision) {
  // Above 2^24 a float holds only even integers: 2^24 + 16 + 17 + 17 sums to
  // 2^24 + 48 in floats, step by step, but to 2^24 + 50 in wider arithmetic.
  TTable t;
  TRecordingCanvas canvas;
  canvas.Extents = {{"big", {16777216.0f - 8, 8}}, {"s", {9, 8}}, {"all", {8, 8}}};
  Build(t, 4, {{{"big"}, {""}, {"s"}, {"s"}}, {{"all", 4}}});
  t.Measure(canvas);
  EXPECT_EQ(t.ContentWidth, 16777264.0f);
  EXPECT_EQ((*t.Rows[1])[0]->Width, 16777264.0f);
}

TEST(TablePaint, HalvesRoundToEven) {
  struct Case {
    float Extent;  // of the one cell's text, width and height alike
    int Edge;      // its right and bottom edge
    int Pixels;    // width and height of the drawing
  };
  // With a margin of 4 the cell's far edges lie at 4 + 8 + extent.
  const Case cases[] = {{8.5f, 20, 24}, {9.5f, 22, 26}, {8.25f, 20, 24}, {8.75f, 21, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Extent);
    TTable t;
    TRecordingCanvas canvas;
    canvas.Extents = {{"x", {c.Extent, c.Extent}}};
    t.Margin = 4;
    Build(t, 1, {{{"x"}}});
    t.Measure(canvas);
    t.Paint(canvas);
    EXPECT_EQ((*t.Rows[0])[0]->BoundsRect, (TRect{4, 4, c.Edge, c.Edge}));
    EXPECT_EQ(t.PixelWidth, c.Pixels);
    EXPECT_EQ(t.PixelHeight, c.Pixels);
    // Both vertical lines, the closing one included, end on the row's bottom
    // grid line.
    const std::vector<TOp> lines{Line(4, 4, c.Edge + 1, 4, clBtnFace), Line(4, 4, 4, c.Edge + 1, clBtnFace),
                                 Line(c.Edge, 4, c.Edge, c.Edge + 1, clBtnFace),
                                 Line(4, c.Edge, c.Edge + 1, c.Edge, clBtnFace)};
    EXPECT_EQ(canvas.OfKind(TOpKind::Line), lines);
  }
}

TEST(TablePaint, EmptyTableDrawsNothing) {
  TTable t;
  TRecordingCanvas canvas;
  t.Measure(canvas);
  t.Paint(canvas);
  EXPECT_EQ(t.ContentWidth, 0);
  EXPECT_EQ(t.ContentHeight, 0);
  EXPECT_TRUE(canvas.Ops.empty());
}

TEST(TableMeasure, ExtentsAreCachedUntilTextOrFontChanges) {
  TTable t;
  TRecordingCanvas canvas;
  std::vector<std::vector<TCellSpec>> rows(20, std::vector<TCellSpec>(20, TCellSpec{"text"}));
  rows[3][4].Text.clear();  // empty cells never reach the canvas
  Build(t, 20, rows);
  const int nonEmpty = 399;

  t.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty);
  EXPECT_EQ(canvas.LastMeasuredFont, "Times New Roman 11");
  t.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty);

  // A longer text widens its column and a shorter one gives the width back.
  TCell* cell = t.GetCell(5, 6);
  cell->SetText("a much longer text");
  t.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty + 1);
  EXPECT_EQ(t.Columns[6]->Width, 8 + 6 * 18);
  cell->SetText("t");
  t.Measure(canvas);
  EXPECT_EQ(t.Columns[6]->Width, 8 + 6 * 4);

  canvas.ExtentCalls = 0;
  t.FontSize = 12;
  t.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty);
  EXPECT_EQ(canvas.LastMeasuredFont, "Times New Roman 12");

  canvas.ExtentCalls = 0;
  t.FontName = "Courier New";
  t.Rows[0]->Measure(canvas);  // a row alone notices the new font too
  EXPECT_EQ(canvas.ExtentCalls, 20);
  t.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty);

  // Copied cells (undo snapshots, files) are measured afresh.
  TTable copy;
  copy.Assign(t);
  canvas.ExtentCalls = 0;
  copy.Measure(canvas);
  EXPECT_EQ(canvas.ExtentCalls, nonEmpty);
}

// Measures t afresh in a copy and expects the same layout to the bit: the
// row heights, the column and cell widths and the cells' rectangles.
void ExpectLaidOutAsFresh(TTable& t, TRecordingCanvas& canvas) {
  TTable fresh;
  for (int i = 0; i < t.ColCount(); ++i) new TColumn(fresh);
  for (const TRow* row : t.Rows) (new TRow(fresh))->Assign(*row);
  fresh.Measure(canvas);
  t.UpdateCellRects();
  fresh.UpdateCellRects();
  ASSERT_EQ(fresh.RowCount(), t.RowCount());
  for (int i = 0; i < t.ColCount(); ++i) EXPECT_EQ(t.Columns[i]->Width, fresh.Columns[i]->Width) << "column " << i;
  for (int r = 0; r < t.RowCount(); ++r) {
    EXPECT_EQ(t.Rows[r]->Height, fresh.Rows[r]->Height) << "row " << r;
    for (int i = 0; i < t.Rows[r]->Count(); ++i) {
      const TCell* c = (*t.Rows[r])[i];
      const TCell* f = (*fresh.Rows[r])[i];
      EXPECT_EQ(c->Width, f->Width) << "row " << r << " cell " << i;
      EXPECT_EQ(c->BoundsRect, f->BoundsRect) << "row " << r << " cell " << i;
    }
  }
  EXPECT_EQ(t.ContentWidth, fresh.ContentWidth);
  EXPECT_EQ(t.ContentHeight, fresh.ContentHeight);
  EXPECT_EQ(t.PixelWidth, fresh.PixelWidth);
  EXPECT_EQ(t.PixelHeight, fresh.PixelHeight);
}

// Measuring after a few texts changed re-measures only their rows and
// columns; whatever changed, the layout must be the one a fresh table with
// the same texts gets.
TEST(TableMeasure, ChangedTextsLayOutAsAFreshTable) {
  struct TCase {
    const char* Name;
    std::function<void(TTable&)> Change;
  };
  const std::vector<TCase> cases = {
      {"wider text widens its column", [](TTable& t) { t.GetCell(1, 2)->SetText("a much longer text"); }},
      {"the widest text shrinks", [](TTable& t) { t.GetCell(0, 0)->SetText(""); }},
      {"a second line heightens the row", [](TTable& t) { t.GetCell(2, 1)->SetText("x\ny\nz"); }},
      {"the tallest text loses its lines", [](TTable& t) { t.GetCell(3, 3)->SetText("q"); }},
      {"several cells", [](TTable& t) {
         t.GetCell(0, 3)->SetText("wide wide wide");
         t.GetCell(3, 0)->SetText("");
         t.GetCell(0, 3)->SetText("w");
       }},
      {"many cells", [](TTable& t) {
         for (int k = 0; k < 100; ++k) t.GetCell(k % 4, k / 25)->SetText(std::string(static_cast<size_t>(k % 7), 'm'));
       }},
      {"a column goes, then a text changes", [](TTable& t) {
         t.DeleteColumn(0);
         t.GetCell(1, 1)->SetText("longer than before");
       }},
      {"a cell takes a joined cell's span in place", [](TTable& t) {
         TTable other;
         Build(other, 2, {{{"joined joined joined", 2}}});
         (*t.Rows[0])[2]->Assign(*(*other.Rows[0])[0]);
       }},
  };
  auto texts = [] {
    std::vector<std::vector<TCellSpec>> rows(4, std::vector<TCellSpec>(4, TCellSpec{"ab"}));
    rows[0][0].Text = "the widest";
    rows[3][3].Text = "1\n2\n3";
    return rows;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordingCanvas canvas;
    TTable t;
    Build(t, 4, texts());
    t.Measure(canvas);
    c.Change(t);
    t.Measure(canvas);
    ExpectLaidOutAsFresh(t, canvas);
  }
}

// Pixels an operation can touch: lines include their start, rectangles and
// texts their own area (text in a measured cell stays inside it).
TRect Reach(const TOp& op) {
  if (op.Kind != TOpKind::Line) return op.Rect;
  return {std::min(op.Rect.Left, op.Rect.Right), std::min(op.Rect.Top, op.Rect.Bottom),
          std::max(op.Rect.Left, op.Rect.Right) + 1, std::max(op.Rect.Top, op.Rect.Bottom) + 1};
}
bool Meets(const TRect& a, const TRect& b) {
  return a.Left < b.Right && a.Right > b.Left && a.Top < b.Bottom && a.Bottom > b.Top;
}

TEST(TablePaint, ClipDrawsOnlyWhatMeetsIt) {
  TTable t;
  TRecordingCanvas canvas;
  std::vector<std::vector<TCellSpec>> rows(120, std::vector<TCellSpec>(90, TCellSpec{"cell"}));
  rows[50][2] = {"wide\nline break"};  // centred on one line it spills out of its cell
  Build(t, 90, rows);
  t.Columns[2]->Format = "c";
  t.SetRules({0, 0, 89, 119}, rbAll, 255);
  t.SelectColumn(30);
  t.Rows[60]->Prefix = "p";
  t.CurrentCell = t.GetCell(55, 31);
  t.Measure(canvas);
  t.Paint(canvas);
  const std::vector<TOp> full = canvas.Ops;
  std::vector<TRect> rects;
  for (const TRow* r : t.Rows)
    for (const TCell* c : *r) rects.push_back(c->BoundsRect);

  const TRect clip{t.Columns[28]->BoundsRect.Left + 3, t.Rows[48]->BoundsRect.Top + 5,
                   t.Columns[33]->BoundsRect.Left, t.Rows[62]->BoundsRect.Top + 1};
  // A text far outside the clip widens the first column and back again,
  // with clipped paints between: the cells' rectangles outside the clip are
  // the ones laid out lazily, and hit tests must not depend on what was
  // drawn last.
  TCell* far = t.GetCell(0, 0);
  for (const char* text : {"a much wider text than before", "cell"}) {
    far->SetText(text);
    t.Measure(canvas);
    canvas.Ops.clear();
    t.Paint(canvas, &clip);
  }

  // The hit tests find every cell where the complete layout put it, and
  // the rectangles left stale come out the same once laid out.
  size_t k = 0;
  for (const TRow* r : t.Rows) {
    for (const TCell* c : *r) {
      const TRect& b = rects[k++];
      ASSERT_EQ(t.CellAt(b.Left, b.Top), c);
      ASSERT_EQ(t.CellAt(b.Right - 1, b.Bottom - 1), c);
    }
  }
  t.UpdateCellRects();
  k = 0;
  for (const TRow* r : t.Rows) {
    for (const TCell* c : *r) ASSERT_EQ(c->BoundsRect, rects[k++]);
  }
  for (const TOp& op : full) {
    if (Meets(Reach(op), clip)) {
      EXPECT_NE(std::find(canvas.Ops.begin(), canvas.Ops.end(), op), canvas.Ops.end()) << op;
    }
  }
  // The spilling text is drawn although its cell lies outside the clip.
  EXPECT_NE(std::find_if(canvas.Ops.begin(), canvas.Ops.end(),
                         [](const TOp& op) { return op.Text == "wide\nline break"; }),
            canvas.Ops.end());
  // About 6 columns by 15 rows are visible; each cell draws a text and four
  // rules and its row two grid lines.
  EXPECT_LT(canvas.Ops.size(), 7u * 16u * 7u);
  EXPECT_GT(full.size(), 90u * 120u * 5u);
}

// ---- what a column's format draws beyond l, c and r

// Any format's first column letter decides the alignment; the bits around
// it (rules, @{}, >{...}) do not hide it.
TEST(TablePaint, AlignmentLetterOfAnyFormat) {
  struct Case {
    const char* Format;
    TTextAlign Expected;
    bool MultiLine;
  };
  const Case cases[] = {
      {"r|", TTextAlign::Right, false},           {"@{}c@{}", TTextAlign::Center, false},
      {">{\\bfseries}r", TTextAlign::Right, false}, {"S", TTextAlign::Center, false},
      {"X", TTextAlign::Left, true},              {"|c||", TTextAlign::Center, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Format);
    TTable t;
    TRecordingCanvas canvas;
    Build(t, 2, {{{"x"}, {"y"}}});
    t.Columns[1]->Format = c.Format;
    t.Measure(canvas);
    t.Paint(canvas);
    const TRect& b = (*t.Rows[0])[1]->BoundsRect;
    EXPECT_EQ(canvas.OfKind(TOpKind::Text).at(1),
              Text({b.Left + 4, b.Top + 4, b.Right - 4, b.Bottom - 4}, "y", c.Expected, c.MultiLine));
  }
  // A joined cell without an alignment of its own (as an old file may hold
  // it) takes its first column's letter, but none of its rules.
  TTable t;
  TRecordingCanvas canvas;
  Build(t, 2, {{{"j", 2}}});
  t.ShowGrid = false;
  t.Columns[0]->Format = "|r|";
  t.Measure(canvas);
  t.Paint(canvas);
  const TRect& b = (*t.Rows[0])[0]->BoundsRect;
  EXPECT_EQ(canvas.OfKind(TOpKind::Text).at(0),
            Text({b.Left + 4, b.Top + 4, b.Right - 4, b.Bottom - 4}, "j", TTextAlign::Right, false));
  EXPECT_TRUE(canvas.OfKind(TOpKind::Line).empty());
}

// The format's vertical rules are drawn as a cell's rules are, on every
// single cell of the column: "||" as two lines two pixels apart; a joined
// cell is a \multicolumn of its own and draws none.
TEST(TablePaint, VerticalRulesOfAFormat) {
  TTable t;
  TRecordingCanvas canvas;
  canvas.Extents = {{"a", {32, 12}}, {"b", {52, 12}}};
  Build(t, 2, {{{"a"}, {"b"}}, {{"joined", 2}}});
  t.ShowGrid = false;
  t.Columns[0]->Format = "|l";
  t.Columns[1]->Format = "r||";
  t.Measure(canvas);
  t.Paint(canvas);
  // Columns 40 and 60 wide, rows 20 high, from (8, 8).
  const std::vector<TOp> rules{Line(8, 8, 8, 29, clWindowText), Line(108, 8, 108, 29, clWindowText),
                               Line(106, 8, 106, 29, clWindowText)};
  EXPECT_EQ(canvas.OfKind(TOpKind::Line), rules);

  // Exactly "l": nothing is drawn besides the text.
  t.Columns[0]->Format = "l";
  t.Columns[1]->Format = "r";
  canvas.Ops.clear();
  t.Measure(canvas);
  t.Paint(canvas);
  EXPECT_TRUE(canvas.OfKind(TOpKind::Line).empty());
}

// A paragraph column is at least its width wide at the grid's scale (the
// grid's 11-point font standing for 10 points typeset, at 96 pixels an
// inch), and its text wraps at that width.
TEST(TablePaint, ParagraphColumnWidthAndWrapping) {
  TTable t;
  TRecordingCanvas canvas;
  std::string words;
  for (int i = 0; i < 10; ++i) words += (i ? " w" : "w") + std::to_string(100 + i);
  Build(t, 2, {{{"short"}, {words}}, {{""}, {""}}});
  t.Columns[0]->Format = "p{3cm}";
  t.Columns[1]->Format = "p{21mm}";
  t.Measure(canvas);
  // 3 cm = 85.36 pt, times 1.1 times 4/3 pixels: 125, with the padding 133.
  EXPECT_FLOAT_EQ(t.Columns[0]->Width, 133);
  // 21 mm: 87.6 pixels of text. Words of four characters (24 pixels) and
  // a blank: three a line (84 pixels), four lines.
  EXPECT_FLOAT_EQ(t.Columns[1]->Width, 96);
  EXPECT_FLOAT_EQ(t.Rows[0]->Height, 8 + 4 * 12);
  t.Paint(canvas);
  const TRect& b = (*t.Rows[0])[1]->BoundsRect;
  EXPECT_EQ(canvas.OfKind(TOpKind::Text).at(1),
            Text({b.Left + 4, b.Top + 4, b.Right - 4, b.Bottom - 4},
                 "w100 w101 w102\nw103 w104 w105\nw106 w107 w108\nw109", TTextAlign::Left, true));

  // Typing in a cell measures it wrapped as well, and a format taken back
  // to "l" gives the column its text's width again.
  (*t.Rows[1])[1]->SetText("w200 w201 w202 w203 w204");
  t.Measure(canvas);
  EXPECT_FLOAT_EQ(t.Rows[1]->Height, 8 + 2 * 12);
  t.Columns[0]->Format = "l";
  t.Measure(canvas);
  EXPECT_FLOAT_EQ(t.Columns[0]->Width, 8 + 5 * 6);

  // A cell aligned on its own is a \multicolumn: it does not wrap.
  (*t.Rows[0])[1]->Align = 'c';
  t.Measure(canvas);
  EXPECT_FLOAT_EQ(t.Rows[0]->Height, 8 + 12);
}

}  // namespace

namespace {

// Booktabs rules as they typeset: a rule over the whole table at its top
// or bottom is drawn twice as heavy, a partial one is trimmed where it
// stops short of a neighbour, and vertical rules are greyed.
TEST(TablePaint, BooktabsRulesHeavyFrameTrimmedPartsGreyVerticals) {
  struct Case {
    const char* name;
    void (*rules)(TTable&);
    std::vector<TOp> expected;
  } cases[] = {
      {"all rules",
       [](TTable& t) { t.SetRules({0, 0, 1, 0}, rbAll, 255); },
       {Line(8, 8, 8, 29, clBtnShadow), Line(48, 8, 48, 29, clBtnShadow), Line(8, 8, 49, 8, clWindowText),
        Line(8, 9, 49, 9, clWindowText), Line(8, 28, 49, 28, clWindowText), Line(8, 27, 49, 27, clWindowText),
        Line(48, 8, 48, 29, clBtnShadow), Line(108, 8, 108, 29, clBtnShadow), Line(48, 8, 109, 8, clWindowText),
        Line(48, 9, 109, 9, clWindowText), Line(48, 28, 109, 28, clWindowText),
        Line(48, 27, 109, 27, clWindowText)}},
      {"a partial top rule: trimmed next to the bare cell, not heavy",
       [](TTable& t) { t.GetCell(0, 1)->RuleTop = 255; },
       {Line(51, 8, 109, 8, clWindowText)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWorkedTable w;
    w.Table.ShowGrid = false;
    w.Table.Style.Rules = rsBooktabs;
    c.rules(w.Table);
    w.Draw();
    EXPECT_EQ(w.Canvas.OfKind(TOpKind::Line), c.expected);
  }
}

}  // namespace

// ---- blocks: cells joined across rows

// A table of rows x cols cells "t", the block rect joined with text "B" and
// rules on every edge, laid out and drawn.
struct TBlockTable {
  TTable Table;
  TRecordingCanvas Canvas;
  TCell* Block = nullptr;
  TBlockTable(int rows, int cols, const TCellRect& block, const std::string& text = "B") {
    Build(Table, cols, std::vector<std::vector<TCellSpec>>(static_cast<size_t>(rows),
                                                           std::vector<TCellSpec>(static_cast<size_t>(cols), {"t"})));
    Table.SetRules({0, 0, cols - 1, rows - 1}, rbAll, 1);
    Block = JoinCells(Table, block);
    Block->SetText(text);
    EXPECT_EQ(TableDefect(Table), "");
  }
  void Draw(const TRect* clip = nullptr) {
    Table.Measure(Canvas);
    Canvas.Ops.clear();
    Table.Paint(Canvas, clip);
  }
  // The block's own rectangle as the rows and columns it covers make it.
  TRect Expected(const TCellRect& block) const {
    return {Table.Columns[block.Left]->BoundsRect.Left, Table.Rows[block.Top]->BoundsRect.Top,
            Table.Columns[block.Right]->BoundsRect.Right, Table.Rows[block.Bottom]->BoundsRect.Bottom};
  }
};

// Whether a line drawn on the canvas runs through the inside of r, away
// from its edges, where booktabs draws its heavy rules' second line.
bool CrossesInside(const TOp& line, const TRect& r) {
  const TRect a = Reach(line);
  return a.Left < r.Right - 2 && a.Right > r.Left + 2 && a.Top < r.Bottom - 2 && a.Bottom > r.Top + 2;
}

TEST(TablePaint, BlockDrawsAsOneCell) {
  struct TCase {
    const char* Name;
    TCellRect Block;
    TRuleStyle Style;
  };
  const TCase cases[] = {
      {"three rows of one column", {0, 1, 0, 3}, rsClassic},
      {"two rows of two columns", {1, 0, 2, 1}, rsClassic},
      {"booktabs, last rows", {2, 2, 2, 4}, rsBooktabs},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlockTable w(5, 3, c.Block);
    w.Table.Style.Rules = c.Style;
    w.Table.HasFocus = true;
    w.Table.SelectCell(w.Block);
    w.Table.CurrentCell = w.Block;
    w.Draw();
    const TRect want = w.Expected(c.Block);
    ASSERT_EQ(w.Block->BoundsRect, want);

    // No rule and no grid line inside the block.
    for (const TOp& op : w.Canvas.OfKind(TOpKind::Line)) EXPECT_FALSE(CrossesInside(op, want)) << op;
    // Its side rules run along its whole sides, its bottom rule under its
    // last row.
    const auto drawn = [&](const TOp& line) {
      for (const TOp& op : w.Canvas.OfKind(TOpKind::Line))
        if (op.Rect == line.Rect && op.Color == clWindowText) return true;
      return false;
    };
    EXPECT_TRUE(drawn(Line(want.Left, want.Top, want.Right + 1, want.Top, clWindowText)));
    EXPECT_TRUE(drawn(Line(want.Left, want.Bottom, want.Right + 1, want.Bottom, clWindowText)));
    if (c.Style == rsClassic) {
      EXPECT_TRUE(drawn(Line(want.Left, want.Top, want.Left, want.Bottom + 1, clWindowText)));
      EXPECT_TRUE(drawn(Line(want.Right, want.Top, want.Right, want.Bottom + 1, clWindowText)));
    }
    // The selection and the focus frame the block as one cell.
    const TRect inner{want.Left + 2, want.Top + 2, want.Right - 1, want.Bottom - 1};
    EXPECT_EQ(w.Canvas.Shapes(), (std::vector<TOp>{Focus({inner.Left - 1, inner.Top - 1, inner.Right + 1,
                                                           inner.Bottom + 1}),
                                                     Fill(inner, clHighlight)}));
    // Its text once, in the middle of its rows.
    std::vector<TOp> texts;
    for (const TOp& op : w.Canvas.OfKind(TOpKind::Text))
      if (op.Text == "B") texts.push_back(op);
    ASSERT_EQ(texts.size(), 1u);
    const TRect& t = texts[0].Rect;
    const int above = t.Top - (want.Top + w.Table.CellPadding);
    const int below = (want.Bottom - w.Table.CellPadding) - (t.Top + 12);
    EXPECT_GT(above, 0);
    EXPECT_LE(std::abs(above - below), 1);
  }
}

TEST(TableMeasure, BlockTallerThanItsRows) {
  // The block's three lines need 36 + 8 pixels; its two rows give 20 each:
  // the last row takes the 4 missing, the first keeps its own height.
  TBlockTable w(3, 2, {0, 0, 0, 1}, "1\n2\n3");
  w.Draw();
  EXPECT_EQ(w.Table.Rows[0]->Height, 20);
  EXPECT_EQ(w.Table.Rows[1]->Height, 24);
  EXPECT_EQ(w.Table.Rows[2]->Height, 20);
  EXPECT_EQ(w.Block->BoundsRect.Bottom - w.Block->BoundsRect.Top, 44);
}

// The quick re-measure after typing must lay out blocks as a fresh
// measure does: a block's need shifts when the rows above its last move.
TEST(TableMeasure, ChangedTextsBesideBlocksLayOutAsAFreshTable) {
  struct TCase {
    const char* Name;
    std::function<void(TTable&)> Change;
  };
  const std::vector<TCase> cases = {
      {"the block's text grows", [](TTable& t) { t.GetCell(1, 1)->SetText("1\n2\n3\n4\n5\n6\n7\n8"); }},
      {"the block's text shrinks", [](TTable& t) { t.GetCell(1, 1)->SetText("x"); }},
      {"a row inside the block grows", [](TTable& t) { t.GetCell(2, 0)->SetText("a\nb\nc"); }},
      {"the block's first row grows", [](TTable& t) { t.GetCell(1, 3)->SetText("a\nb\nc\nd"); }},
      {"a row of a block that ends lower grows", [](TTable& t) { t.GetCell(3, 3)->SetText("a\nb\nc\nd\ne\nf"); }},
      {"a row below the blocks grows", [](TTable& t) { t.GetCell(5, 0)->SetText("a\nb"); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordingCanvas canvas;
    TTable t;
    Build(t, 4, std::vector<std::vector<TCellSpec>>(6, std::vector<TCellSpec>(4, TCellSpec{"ab"})));
    JoinCells(t, {1, 1, 1, 3})->SetText("1\n2\n3\n4\n5");  // needs more than its rows
    JoinCells(t, {2, 2, 2, 4})->SetText("p\nq\nr\ns\nt\nu\nv");
    ASSERT_EQ(TableDefect(t), "");
    t.Measure(canvas);
    c.Change(t);
    t.Measure(canvas);
    ExpectLaidOutAsFresh(t, canvas);
  }
}

// Six by six cells with a cell joined over two columns, one over three and
// a block of two rows by two columns; their texts are wider than their
// columns, so that each shares out an excess (in thirds: not whole pixels).
void BuildJoined(TTable& t) {
  Build(t, 6, std::vector<std::vector<TCellSpec>>(6, std::vector<TCellSpec>(6, TCellSpec{"ab"})));
  JoinCells(t, {1, 0, 2, 0})->SetText("joined over two columns");
  JoinCells(t, {0, 2, 2, 2})->SetText("joined over three columns, wide");
  JoinCells(t, {3, 3, 4, 4})->SetText("a block of two\nby two, wide");
}

// The quick re-measure beside cells joined across columns must share out
// their widths as a fresh measure does, whatever single cell changed.
TEST(TableMeasure, ChangedTextsBesideJoinedCellsLayOutAsAFreshTable) {
  struct TEdit {
    int Row;
    int Col;
    const char* Text;
  };
  struct TCase {
    const char* Name;
    std::vector<TEdit> Edits;  // each measured on its own
  };
  const std::vector<TCase> cases = {
      {"a cell under a joined cell outgrows its share", {{1, 1, "wider than any share"}}},
      {"the widest cell under a joined cell shrinks", {{1, 2, "wider than any share"}, {1, 2, ""}}},
      {"a cell right of a joined cell, its index not its column", {{0, 4, "wide\nand tall"}, {2, 5, "w"}}},
      {"a cell beside the block in its last row", {{4, 5, "much wider than before"}, {4, 0, "a\nb\nc"}}},
      {"a cell under the three-column cell grows, then the block's column", {{5, 1, "x"}, {5, 3, "wider wider"}}},
      {"the joined cell's own text changes", {{0, 1, "short"}, {2, 0, "now the widest text of all of them"}}},
      {"the block's text changes", {{3, 3, "tiny"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRecordingCanvas canvas;
    TTable t;
    BuildJoined(t);
    ASSERT_EQ(TableDefect(t), "");
    t.Measure(canvas);
    for (const TEdit& e : c.Edits) {
      t.GetCell(e.Row, e.Col)->SetText(e.Text);
      t.Measure(canvas);
      ExpectLaidOutAsFresh(t, canvas);
    }
  }

  // Many edits in a row, each laid out as a fresh table would be: a layout
  // kept wrong by one edit shows in a later one too.
  TRecordingCanvas canvas;
  TTable t;
  BuildJoined(t);
  t.Measure(canvas);
  std::mt19937 random(7);
  for (int k = 0; k < 300 && !::testing::Test::HasFailure(); ++k) {
    TCell* cell = t.GetCell(static_cast<int>(random() % 6), static_cast<int>(random() % 6));
    if (cell->Covered()) continue;
    std::string text(random() % 30, 'm');
    if (random() % 4 == 0) text += "\nline";
    SCOPED_TRACE("edit " + std::to_string(k));
    cell->SetText(text);
    t.Measure(canvas);
    ExpectLaidOutAsFresh(t, canvas);
  }
}

TEST(TablePaint, BlockReachingIntoTheClipIsDrawnAndHit) {
  TBlockTable w(60, 6, {2, 10, 3, 29}, "block");
  w.Table.SelectCell(w.Block);
  w.Table.HasFocus = true;
  w.Draw();
  const TRect whole = w.Block->BoundsRect;
  // A clip over rows 25 to 35 only: the block's own row lies far above it.
  const TRect clip{0, w.Table.Rows[25]->BoundsRect.Top, w.Table.PixelWidth, w.Table.Rows[35]->BoundsRect.Top};
  // A row of the block above the clip grows, so that the block's bottom
  // moves while its own row, outside the clip, is laid out lazily.
  w.Table.GetCell(12, 0)->SetText("x\ny\nz");
  w.Draw(&clip);
  const TRect moved = w.Block->BoundsRect;
  EXPECT_EQ(moved.Top, whole.Top);
  EXPECT_EQ(moved.Bottom, w.Table.Rows[29]->BoundsRect.Bottom);
  EXPECT_GT(moved.Bottom, whole.Bottom);
  int texts = 0;
  for (const TOp& op : w.Canvas.OfKind(TOpKind::Text)) texts += op.Text == "block";
  EXPECT_EQ(texts, 1);
  const TRect inner{moved.Left + 2, moved.Top + 2, moved.Right - 1, moved.Bottom - 1};
  EXPECT_NE(std::find(w.Canvas.Ops.begin(), w.Canvas.Ops.end(), Fill(inner, clHighlight)), w.Canvas.Ops.end());

  // Anywhere in the block, even in rows never drawn since, hits its own cell;
  // beside it, the cells of those rows.
  for (int r = 10; r <= 29; ++r) {
    const TRect& band = w.Table.Rows[r]->BoundsRect;
    for (int y : {band.Top, band.Bottom - 1}) {
      EXPECT_EQ(w.Table.CellAt(moved.Left, y), w.Block) << "row " << r;
      EXPECT_EQ(w.Table.CellAt(moved.Right - 1, y), w.Block) << "row " << r;
      EXPECT_EQ(w.Table.CellAt(moved.Right, y), w.Table.GetCell(r, 4)) << "row " << r;
    }
  }
}
