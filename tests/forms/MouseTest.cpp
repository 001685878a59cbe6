// Selecting with the mouse: presses on cells and in the margins, Shift
// ranges, drags with their frame, auto-scroll and the margin pointers.
#include <QBitmap>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QTimer>

#include "common/gui/WindowFixture.h"
#include "forms/grid/Cursors.h"
#include "model/TableEdit.h"

namespace {

using Cells = std::vector<std::pair<int, int>>;

class MouseTest : public WindowFixture {
 protected:
  // A point in the left margin on row r, and one in the top margin over
  // column k.
  QPoint RowHeader(int r) {
    const TRect& b = Table().Rows[r]->BoundsRect;
    return View(Table().Margin / 2, (b.Top + b.Bottom) / 2);
  }
  QPoint ColumnHeader(int k) {
    const TRect& b = Table().Columns[k]->BoundsRect;
    return View((b.Left + b.Right) / 2, Table().Margin / 2);
  }
};

TEST_F(MouseTest, PressOnACellSelectsItAndMakesItCurrent) {
  Cell(1, 2)->SetText("here");
  Form->RefreshGrid();
  Press(Centre(Cell(1, 2)));
  EXPECT_EQ(SelectedCells(), (Cells{{1, 2}}));
  EXPECT_EQ(Table().SelectionMode, smCells);
  EXPECT_EQ(Table().CurrentCell, Cell(1, 2));
  EXPECT_EQ(Form->Editor->text(), "here");
  EXPECT_EQ(Form->DragMode(), dmCells);
  Release(Centre(Cell(1, 2)));
  EXPECT_EQ(Form->DragMode(), dmNone);
  EXPECT_EQ(Table().CurrentCell, Cell(1, 2));
  EXPECT_EQ(FocusState, fsGrid);
}

// A block of column 1 over rows 1 to 3: a press anywhere in it gives its
// own cell, never a covered one, and a drag that reaches into it takes it
// whole.
TEST_F(MouseTest, BlocksAreHitAndDraggedWhole) {
  NewTable(5, 4);
  TCell* block = ::JoinCells(Table(), {1, 1, 1, 3});
  block->SetText("label");
  Form->RefreshGrid();
  for (int row = 1; row <= 3; ++row) {
    SCOPED_TRACE(row);
    const TRect& band = Table().Rows[row]->BoundsRect;
    const TRect& b = block->BoundsRect;
    Click(View((b.Left + b.Right) / 2, (band.Top + band.Bottom) / 2));
    EXPECT_EQ(Table().CurrentCell, block);
    EXPECT_EQ(Form->Editor->text(), "label");
    EXPECT_EQ(SelectedCells(), Block(1, 1, 3, 1));
  }
  struct Case {
    const char* Name;
    TCell* From;
    TCell* To;  // the pointer ends in this cell's centre
    Cells Selected;
  };
  const Case cases[] = {
      {"from above into its middle", Cell(0, 0), Cell(2, 1), Block(0, 0, 3, 1)},
      {"from below into its last row", Cell(4, 2), Cell(3, 1), Block(1, 1, 4, 2)},
      {"from beside it into its middle row", Cell(2, 3), Cell(2, 1), Block(1, 1, 3, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Press(Centre(c.From));
    Drag(Centre(c.To));
    Release(Centre(c.To));
    EXPECT_EQ(SelectedCells(), c.Selected);
    EXPECT_FALSE(Table().CurrentCell && Table().CurrentCell->Covered());
  }
}

TEST_F(MouseTest, CornerSquareClearsEverythingAndStartsNoDrag) {
  Click(Centre(Cell(1, 1)));
  ASSERT_EQ(Table().CurrentCell, Cell(1, 1));
  Press(View(2, 2));
  EXPECT_TRUE(SelectedCells().empty());
  EXPECT_EQ(Table().CurrentCell, nullptr);
  EXPECT_FALSE(Form->Editor->isEnabled());
  EXPECT_EQ(Form->DragMode(), dmNone);
  Drag(Centre(Cell(2, 2)));
  EXPECT_TRUE(SelectedCells().empty()) << "no drag runs";
  Release(Centre(Cell(2, 2)));
}

TEST_F(MouseTest, RowHeadersSelectRangesFromTheAnchor) {
  NewTable(6, 4);
  Click(Centre(Cell(0, 0)));
  Click(RowHeader(2));
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{2}));
  EXPECT_EQ(Table().CurrentCell, nullptr);
  EXPECT_FALSE(Form->Editor->isEnabled());
  Click(RowHeader(5), Qt::ShiftModifier);
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{2, 3, 4, 5}));
  EXPECT_EQ(Table().CurrentCell, nullptr);
  Form->UpdateCommandStates();
  EXPECT_EQ(Form->bDelete->statusTip(), "Delete Rows");
  // The anchor survives the Shift-click.
  Click(RowHeader(0), Qt::ShiftModifier);
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{0, 1, 2}));
  // The right margin selects rows as well.
  const TRect& b = Table().Rows[4]->BoundsRect;
  Click(View(Table().PixelWidth - 2, (b.Top + b.Bottom) / 2));
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{4}));
}

// A paste grows the table, a header click sets the anchor in the grown part,
// and undo shrinks the table again: the anchor now lies outside it and
// counts as none.
TEST_F(MouseTest, ShiftClickAfterAnUndoShrankTheTable) {
  for (const bool rows : {true, false}) {
    NewTable(4, 4);
    Table().ClearSelection();
    Table().SelectCell(Cell(3, 3));
    QGuiApplication::clipboard()->setText("1\t2\r\n3\t4\r\n5\t6");
    Form->bPasteClick();
    ASSERT_EQ(Table().RowCount(), 6);
    ASSERT_EQ(Table().ColCount(), 5);
    Click(rows ? RowHeader(5) : ColumnHeader(4));
    Form->bUndoClick();
    ASSERT_EQ(Table().RowCount(), 4);
    Click(rows ? RowHeader(1) : ColumnHeader(1), Qt::ShiftModifier);
    EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();
    Script.Errors.clear();
    EXPECT_EQ(rows ? Table().GetSelectedRows() : Table().GetSelectedColumns(), (TArrayOfInteger{1}));
    // The click set a new anchor that ranges work from.
    Click(rows ? RowHeader(3) : ColumnHeader(3), Qt::ShiftModifier);
    EXPECT_EQ(rows ? Table().GetSelectedRows() : Table().GetSelectedColumns(), (TArrayOfInteger{1, 2, 3}));
  }
}

TEST_F(MouseTest, HeaderDragsChangeOnlyWhatTheEdgeCrosses) {
  NewTable(6, 6);
  // Rows 0 to 2 by Shift-click, then a drag from row 2 down to 4 and back
  // to 3: rows 0 and 1 lie outside the dragged rectangle and stay.
  Click(RowHeader(0));
  Press(RowHeader(2), Qt::ShiftModifier);
  EXPECT_EQ(Form->DragMode(), dmRows);
  Drag(RowHeader(4));
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{0, 1, 2, 3, 4}));
  Drag(RowHeader(3));
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{0, 1, 2, 3}));
  Release(RowHeader(3));

  // Columns from the top margin, dragged along the bottom margin: the point
  // is pulled into the table, the columns' bands span its height.
  Press(ColumnHeader(1));
  EXPECT_EQ(Form->DragMode(), dmColumns);
  EXPECT_EQ(Table().SelectionMode, smColumns);
  EXPECT_TRUE(Table().GetSelectedRows().empty());
  const TRect& b = Table().Columns[3]->BoundsRect;
  Drag(View((b.Left + b.Right) / 2, Table().PixelHeight - 2));
  EXPECT_EQ(Table().GetSelectedColumns(), (TArrayOfInteger{1, 2, 3}));
  Release(View((b.Left + b.Right) / 2, Table().PixelHeight - 2));
  EXPECT_EQ(Table().CurrentCell, nullptr);
}

TEST_F(MouseTest, ShiftClickSelectsTheRectangleFromTheCurrentCell) {
  Click(Centre(Cell(0, 0)));
  Click(Centre(Cell(1, 2)), Qt::ShiftModifier);
  EXPECT_EQ(SelectedCells(), Block(0, 0, 1, 2));
  EXPECT_EQ(SelectedCells().size(), 6u);
  EXPECT_EQ(Table().CurrentCell, Cell(0, 0));
  EXPECT_EQ(Form->DragMode(), dmNone) << "a Shift-click starts no drag";

  // A joined cell reaching out of the rectangle widens it.
  JoinCells(1, 2, 2);
  Click(Centre(Cell(0, 0)));
  Click(Centre(Cell(1, 2)), Qt::ShiftModifier);
  EXPECT_EQ(SelectedCells(), Block(0, 0, 1, 3));
  EXPECT_EQ(SelectedCells().size(), 7u);
  EXPECT_EQ(Table().CurrentCell, Cell(0, 0));

  // Without a current cell a Shift-click is a plain click.
  Click(View(2, 2));
  Click(Centre(Cell(2, 1)), Qt::ShiftModifier);
  EXPECT_EQ(SelectedCells(), (Cells{{2, 1}}));
  EXPECT_EQ(Table().CurrentCell, Cell(2, 1));
}

// The dragged rectangle covers the press pixel and the mouse pixel; a cell
// is in when they share one pixel.
TEST_F(MouseTest, DragSelectsEveryCellTheRectangleTouches) {
  struct Case {
    const char* Name;
    int Dx, Dy;  // from the top-left pixel of cell (2, 2)
    Cells Expected;
  };
  const Case cases[] = {
      {"its first pixel", 0, 0, Block(0, 1, 2, 2)},
      {"the pixel before it in x", -1, 0, Block(0, 1, 2, 1)},
      {"the pixel above it", 0, -1, Block(0, 1, 1, 2)},
  };
  for (const Case& c : cases) {
    const QPoint from = Centre(Cell(0, 1));
    Press(from);
    const TRect& b = Cell(2, 2)->BoundsRect;
    Drag(View(b.Left + c.Dx, b.Top + c.Dy));
    EXPECT_EQ(SelectedCells(), c.Expected) << c.Name;
    EXPECT_EQ(Table().CurrentCell, Cell(0, 1)) << c.Name;
    Release(View(b.Left + c.Dx, b.Top + c.Dy));
    EXPECT_EQ(SelectedCells(), c.Expected) << c.Name << ": the release keeps it";
  }
  // Back over the pressed cell alone: the others drop out.
  Press(Centre(Cell(0, 1)));
  Drag(Centre(Cell(3, 3)));
  EXPECT_EQ(SelectedCells(), Block(0, 1, 3, 3));
  Drag(Centre(Cell(0, 1)));
  EXPECT_EQ(SelectedCells(), (Cells{{0, 1}}));
  Release(Centre(Cell(0, 1)));
}

TEST_F(MouseTest, DragPastTheTableStopsAtItsLastCell) {
  Press(Centre(Cell(1, 1)));
  Drag(View(Table().PixelWidth + 300, Table().PixelHeight + 300));
  EXPECT_EQ(SelectedCells(), Block(1, 1, 3, 3));
  Release(View(Table().PixelWidth + 300, Table().PixelHeight + 300));
  EXPECT_FALSE(Form->ScrollTimer->isActive());
}

// The frame appears only past 5 pixels, is drawn by inverting pixels, and
// leaves nothing behind.
TEST_F(MouseTest, DragFrame) {
  const TRect& right = Cell(1, 2)->BoundsRect;
  const int y = (right.Top + right.Bottom) / 2;
  const QPoint from = View(right.Left - 2, y);
  Press(from);
  Drag(from + QPoint(5, 5));
  EXPECT_FALSE(Form->DragFrameShown()) << "5 pixels: no frame";
  EXPECT_EQ(SelectedCells(), Block(1, 1, 1, 2)) << "but the cells it touches are selected";
  Drag(from + QPoint(-5, 0));
  EXPECT_FALSE(Form->DragFrameShown());
  Drag(from + QPoint(6, 0));
  EXPECT_TRUE(Form->DragFrameShown()) << "6 pixels: a frame";

  // The frame is the picture with the frame's dots inverted.
  const QImage framed = Form->Bitmap().copy();
  Release(from + QPoint(6, 0));
  EXPECT_FALSE(Form->DragFrameShown());
  const QImage plain = Form->Bitmap().copy();
  int inverted = 0;
  for (int py = 0; py < plain.height(); ++py) {
    for (int px = 0; px < plain.width(); ++px) {
      const QRgb a = framed.pixel(px, py);
      const QRgb b = plain.pixel(px, py);
      if (a == b) continue;
      ++inverted;
      EXPECT_EQ(a & 0xFFFFFF, ~b & 0xFFFFFF) << px << "," << py;
    }
  }
  EXPECT_GT(inverted, 4);
  // Nothing of the frame is left: the picture is what a repaint draws.
  Form->RepaintGrid();
  EXPECT_TRUE(Form->Bitmap() == plain);
}

TEST_F(MouseTest, RightButtonOnlySetsThePointer) {
  Click(Centre(Cell(1, 1)));
  Press(RowHeader(2), {}, Qt::RightButton);
  EXPECT_EQ(SelectedCells(), (Cells{{1, 1}}));
  EXPECT_EQ(Table().CurrentCell, Cell(1, 1));
  EXPECT_EQ(Form->DragMode(), dmNone);
  EXPECT_EQ(Form->GridPointer(), crRow);
  Release(RowHeader(2), Qt::RightButton);
}

TEST_F(MouseTest, MarginPointers) {
  const int w = Table().PixelWidth;
  const int h = Table().PixelHeight;
  const TRect& b = Cell(1, 1)->BoundsRect;
  const int x = (b.Left + b.Right) / 2;
  const int y = (b.Top + b.Bottom) / 2;
  struct Case {
    const char* Name;
    QPoint At;
    TGridPointer Pointer;
  };
  const Case cases[] = {
      {"left margin", View(2, y), crRow},     {"right margin", View(w - 2, y), crRow2},
      {"top margin", View(x, 2), crCol},      {"bottom margin", View(x, h - 2), crCol2},
      {"a cell", View(x, y), crGridDefault},  {"a corner", View(w - 2, 2), crGridDefault},
  };
  for (const Case& c : cases) {
    Hover(c.At);
    EXPECT_EQ(Form->GridPointer(), c.Pointer) << c.Name;
    if (c.Pointer == crGridDefault) {
      EXPECT_EQ(PaintBox()->cursor().shape(), Qt::ArrowCursor) << c.Name;
    } else {
      EXPECT_EQ(PaintBox()->cursor().shape(), Qt::BitmapCursor) << c.Name;
      EXPECT_EQ(PaintBox()->cursor().hotSpot(), Form->GridCursor(c.Pointer).hotSpot()) << c.Name;
    }
  }
}

// Each pointer is a 32 x 32 arrow whose tip is its hot spot.
TEST(GridCursors, ArrowsPointWithTheirHotSpot) {
  struct Case {
    TGridPointer Pointer;
    QPoint HotSpot;
    QPoint Back;  // one step from the tip toward the tail
  };
  const Case cases[] = {
      {crRow, {15, 14}, {-1, 0}},
      {crCol, {12, 17}, {0, -1}},
      {crRow2, {0, 14}, {1, 0}},
      {crCol2, {12, 1}, {0, 1}},
  };
  for (const Case& c : cases) {
    const QCursor cursor = CreateGridCursor(c.Pointer);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), c.HotSpot) << c.Pointer;
    const QImage body = cursor.bitmap().toImage();
    const QImage mask = cursor.mask().toImage();
    ASSERT_EQ(body.size(), QSize(32, 32));
    auto black = [&](QPoint p) { return body.pixelIndex(p) == 1 && mask.pixelIndex(p) == 1; };
    auto clear = [&](QPoint p) { return mask.pixelIndex(p) == 0; };
    EXPECT_TRUE(black(c.HotSpot)) << "the tip is the hot spot, " << c.Pointer;
    EXPECT_TRUE(black(c.HotSpot + 5 * c.Back)) << c.Pointer;
    // The head widens behind the tip, and nothing lies ahead of it.
    const QPoint across(c.Back.y(), c.Back.x());
    EXPECT_TRUE(black(c.HotSpot + 4 * c.Back + 3 * across)) << c.Pointer;
    const QPoint ahead = c.HotSpot - 2 * c.Back;
    if (QRect(0, 0, 32, 32).contains(ahead)) {
      EXPECT_TRUE(clear(ahead)) << c.Pointer;
    }
  }
  EXPECT_EQ(CreateGridCursor(crGridDefault).shape(), Qt::ArrowCursor);
}

// Rows below the view were never drawn, so their cells were never laid out;
// a drag that ends down there still selects every row it crosses.
TEST_F(MouseTest, DragReleasedBelowTheViewSelectsRowsNeverShown) {
  NewTable(60, 3);
  const int far = 40;
  ASSERT_GT(Table().Rows[far]->BoundsRect.Top, Form->VisibleRect().Bottom);
  Press(Centre(Cell(1, 1)));
  const TRect& row = Table().Rows[far]->BoundsRect;
  const TRect& pressed = Cell(1, 1)->BoundsRect;
  const QPoint below = View((pressed.Left + pressed.Right) / 2, (row.Top + row.Bottom) / 2);
  Drag(below);
  Release(below);
  EXPECT_EQ(SelectedCells(), Block(1, 1, far, 1));
}

// A Delete of the rows the anchor was in leaves the anchor behind the
// table; the next Shift-click on a row header starts afresh.
TEST_F(MouseTest, ShiftClickAfterDeletingTheAnchorRow) {
  NewTable(6, 3);
  Click(RowHeader(3));
  Click(RowHeader(5), Qt::ShiftModifier);
  ASSERT_TRUE(Run(Form->bDelete));
  ASSERT_EQ(Table().RowCount(), 3);
  Click(RowHeader(1), Qt::ShiftModifier);
  EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();
  Script.Errors.clear();
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{1}));
  Click(RowHeader(2), Qt::ShiftModifier);
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{1, 2}));
}

// Dragging past the table's right edge ends the frame at the table: no dot
// of it lands right of the last column.
TEST_F(MouseTest, DragPastTheRightEdgeKeepsTheFrameInTheTable) {
  const int inner = Table().PixelWidth - Table().Margin;
  ASSERT_LT(Table().PixelWidth + 60, PaintBox()->width());
  const QImage before = Form->Bitmap().copy();
  Press(Centre(Cell(1, 1)));
  const int y = Centre(Cell(2, 1)).y();
  Drag(QPoint(View(Table().PixelWidth + 50, 0).x(), y));
  ASSERT_TRUE(Form->DragFrameShown());
  EXPECT_LE(Form->DragRect().Right, inner);
  const QImage framed = Form->Bitmap();
  for (int py = 0; py < framed.height(); ++py)
    for (int px = inner + 1; px < framed.width(); ++px)
      ASSERT_EQ(framed.pixel(px, py), before.pixel(px, py)) << px << "," << py;
  Release(QPoint(View(Table().PixelWidth + 50, 0).x(), y));
}

class AutoScrollTest : public MouseTest {
 protected:
  void SetUp() override {
    MouseTest::SetUp();
    NewTable(80, 80);
    Press(Centre(Cell(2, 2)));
  }
  void TearDown() override {
    Release(Centre(Cell(2, 2)));
    EXPECT_FALSE(Form->ScrollTimer->isActive());
    MouseTest::TearDown();
  }
  int Width() { return PaintBox()->width(); }
  int Height() { return PaintBox()->height(); }
  int X() { return Form->ScrollBox->HorzPosition(); }
  int Y() { return Form->ScrollBox->VertPosition(); }
};

TEST_F(AutoScrollTest, StepsFollowTheOvershoot) {
  struct Case {
    const char* Name;
    QPoint Mouse;  // in the paint box
    int Dx, Dy;    // expected step per tick
  };
  const int midY = Height() / 2;
  const Case cases[] = {
      {"10 px right: the minimum step", {Width() + 10, midY}, 16, 0},
      {"100 px right: half of it", {Width() + 100, midY}, 50, 0},
      {"1 px below: no vertical minimum", {100, Height() + 1}, 0, 0},
      {"40 px below", {100, Height() + 40}, 0, 20},
      {"10 px left", {-10, midY}, -16, 0},
  };
  for (const Case& c : cases) {
    Drag(c.Mouse);
    EXPECT_TRUE(Form->ScrollTimer->isActive()) << c.Name;
    const int x = X(), y = Y();
    Form->ScrollTimerTimer();
    EXPECT_EQ(X() - x, c.Dx) << c.Name;
    EXPECT_EQ(Y() - y, c.Dy) << c.Name;
  }
  // Back inside the view, the timer stops.
  Drag(QPoint(Width() / 2, midY));
  EXPECT_FALSE(Form->ScrollTimer->isActive());
}

TEST_F(AutoScrollTest, TheSelectionFollowsTheScrolledView) {
  Drag(QPoint(Width() + 100, Height() / 2));
  const int before = static_cast<int>(SelectedCells().size());
  // The timer itself, through the event loop.
  QTest::qWait(250);
  EXPECT_GE(X(), 100);
  EXPECT_GT(static_cast<int>(SelectedCells().size()), before);
  // The selection reaches the column under the standing mouse.
  const TCell* last = Table().CellAt(X() + Width() - 1, Cell(2, 2)->BoundsRect.Top);
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(last->Selected);
  EXPECT_TRUE(Form->DragFrameShown());
  // The frame is redrawn with the view, not left where it was.
  const QImage shown = Form->Bitmap().copy();
  Form->RepaintGrid();
  EXPECT_TRUE(Form->Bitmap() == shown);
}

}  // namespace
