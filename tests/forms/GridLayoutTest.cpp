// The grid view lays out only the cells of the rows it shows; whatever reads
// the rectangle of a cell outside them must see it where a complete layout
// puts it.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <string>

#include "common/gui/WindowFixture.h"
#include "document/AppModule.h"
#include "forms/mainwindow/MainUnit.h"
#include "model/Tables.h"

namespace {

using GridLayoutTest = WindowFixture;

// A cell far below the view was shown and laid out, the view went back to
// the top, and a wide text there moved every column but the first. When the
// far cell becomes current again the view must scroll to where it is now,
// not to its rectangle from the layout before.
TEST_F(GridLayoutTest, CurrentCellOutOfViewIsScrolledToWhereItIsNow) {
  NewDocument(200, 3);
  Form->RefreshGrid();
  TCell* target = Cell(199, 2);
  Form->SetCurrentCell(target);
  Form->SetCurrentCell(Cell(0, 0));
  Cell(0, 0)->SetText(std::string(300, 'W'));
  Form->RefreshGrid();
  ASSERT_GT(Table().Columns[0]->Width, static_cast<float>(Form->VisibleRect().Right));

  Form->SetCurrentCell(target);
  Table().UpdateCellRects();
  const TRect v = Form->VisibleRect();
  const TRect& b = target->BoundsRect;
  EXPECT_GE(b.Left, v.Left);
  EXPECT_LE(b.Right, v.Right);
  EXPECT_GE(b.Top, v.Top);
  EXPECT_LE(b.Bottom, v.Bottom);
}

// A table a little narrower than the view needs the horizontal bar as soon
// as the vertical one takes its room; without it the right edge of the
// table could not be reached.
TEST_F(GridLayoutTest, VerticalBarMakesRoomForTheHorizontalOne) {
  NewDocument(100, 2);
  Form->RefreshGrid();
  TScrollBox* box = Form->ScrollBox;
  const int full = box->contentsRect().width();
  const int bar = box->verticalScrollBar()->sizeHint().width();
  ASSERT_GT(bar, 2);
  // The margins bring the table to half a bar short of the full width. The
  // document's table outlives the test: its margin goes back afterwards.
  struct TMarginBack {
    TTable& Table;
    int Margin;
    ~TMarginBack() { Table.Margin = Margin; }
  } back{Table(), Table().Margin};
  const int content = Table().PixelWidth - 2 * Table().Margin;
  Table().Margin = (full - bar / 2 - content) / 2;
  Form->RefreshGrid();
  ASSERT_GT(Table().PixelWidth, full - bar);
  ASSERT_LT(Table().PixelWidth, full);
  EXPECT_TRUE(box->verticalScrollBar()->isVisible());
  EXPECT_TRUE(box->horizontalScrollBar()->isVisible());
  EXPECT_GE(box->horizontalScrollBar()->maximum() + PaintBox()->width(), Table().PixelWidth);
  // The last cell of a row can be brought into view whole.
  Form->SetCurrentCell(Cell(0, 1));
  Table().UpdateCellRects();
  EXPECT_LE(Cell(0, 1)->BoundsRect.Right, Form->VisibleRect().Right);
}

}  // namespace
