// The grid view lays out only the cells of the rows it shows; whatever reads
// the rectangle of a cell outside them must see it where a complete layout
// puts it.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <random>
#include <string>
#include <vector>

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

namespace {

// Typing in a cell draws again only what the measure changed: the cell
// alone, or the columns that grew or shrank, with the picture right of them
// moved. After every key the picture must be, pixel for pixel, the one a
// whole drawing gives, and in a table of single cells the whole view must
// never have been drawn for it.
TEST_F(GridLayoutTest, TypingDrawsWhatAWholeDrawingShows) {
  struct TCase {
    const char* Name;
    bool Rules;         // every rule on every cell
    int ScrollColumn;   // scrolled to a few pixels into this column's left
    bool Joined;        // cells across the typed column joined: drawn whole
  } cases[] = {
      {"plain", false, 0, false},
      {"rules", true, 0, false},
      {"scrolled", true, 3, false},
      {"joined cells in view", false, 0, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // A fresh window for each: the last one's typing left it changed.
    Stop();
    Start();
    NewTable(60, 30);
    for (int r = 0; r < 60; ++r)
      for (int col = 0; col < 30; ++col) Cell(r, col)->SetText(std::to_string(r * 7 + col * 13));
    if (c.Rules) {
      Form->FocusGrid();
      ASSERT_TRUE(Run(Form->mnSelectAll));
      ASSERT_TRUE(Run(Form->bRules));
    }
    if (c.Joined) JoinCells(8, 4, 2);
    Form->RefreshGrid();
    TCell* typed = Cell(5, 5);
    Form->SetCurrentCell(typed);
    if (c.ScrollColumn) {
      Table().UpdateCellRects();
      Form->ScrollBox->SetHorzPosition(Cell(0, c.ScrollColumn)->BoundsRect.Left + 5);
    }
    FocusEditor();
    Form->Editor->end(false);
    // Wider, narrower, then shorter than the column's other texts.
    const std::vector<int> keys{'x', 'W', 'x', Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace,
                                Qt::Key_Backspace, Qt::Key_Backspace, 'i'};
    (void)Form->Bitmap();
    for (size_t k = 0; k < keys.size(); ++k) {
      SCOPED_TRACE(k);
      const int whole = Form->ScrollBox->WholePictures();
      if (keys[k] < 128) QTest::keyClicks(Form->Editor, QString(QChar(keys[k])));
      else QTest::keyClick(Form->Editor, static_cast<Qt::Key>(keys[k]));
      const QImage typedPicture = Form->Bitmap().copy();
      if (!c.Joined) {
        EXPECT_EQ(Form->ScrollBox->WholePictures(), whole);
      }
      Form->ScrollBox->RepaintWhole();
      EXPECT_TRUE(typedPicture == Form->Bitmap());
    }
    EXPECT_EQ(typed->Text(), "1i");
  }
}

// Whatever the user does, the picture drawn where it changed must be the
// one a whole drawing gives: random clicks, Shift+clicks, keys on the grid
// and in the editor, the focus moving, undo and redo, rules, alignment,
// joins and scrolling.
TEST_F(GridLayoutTest, EveryChangeDrawsWhatAWholeDrawingShows) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    Stop();
    Start();
    NewTable(40, 25);
    for (int r = 0; r < 40; ++r)
      for (int col = 0; col < 25; ++col) Cell(r, col)->SetText(std::to_string((r * 37 + col * 11) % 1000));
    // Recorded, so that undo comes back to this table, not the one before.
    RecordUndo("Prepared");
    Form->RefreshGrid();
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto clickSomeCell = [&](Qt::KeyboardModifiers modifiers) {
      const TRect v = Form->VisibleRect();
      Click(View(v.Left + 1 + pick(v.Right - v.Left - 2), v.Top + 1 + pick(v.Bottom - v.Top - 2)), modifiers);
    };
    const auto command = [&](QAction* action) {
      Form->UpdateCommandStates();
      if (action->isEnabled()) {
        EXPECT_TRUE(Run(action));
      }
    };
    int partial = 0;
    for (int step = 0; step < 80; ++step) {
      SCOPED_TRACE(step);
      const int whole = Form->ScrollBox->WholePictures();
      switch (pick(13)) {
        case 0: clickSomeCell({}); break;
        case 1: clickSomeCell(Qt::ShiftModifier); break;
        case 2:
          if (Table().CurrentCell) {
            FocusEditor();
            QTest::keyClicks(Form->Editor, pick(2) ? "wW" : "1");
          }
          break;
        case 3: QTest::keyClick(Form->Editor, Qt::Key_Backspace); break;
        case 4: QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); break;
        case 5: QTest::keyClick(Form->ScrollBox, pick(2) ? Qt::Key_Down : Qt::Key_Right); break;
        case 6: command(Form->bUndo); break;
        case 7: command(Form->bRedo); break;
        case 8: command(Form->bRules); break;
        case 9: command(pick(2) ? Form->bAlignRight : Form->bAlignCenter); break;
        case 10: command(Form->bJoin); break;
        case 11:
          if (pick(2)) FocusEditor();
          else Form->FocusGrid();
          break;
        default: Form->ScrollBox->SetHorzPosition(Form->ScrollBox->HorzPosition() + 40 * (pick(3) - 1)); break;
      }
      const QImage drawn = Form->Bitmap().copy();
      if (Form->ScrollBox->WholePictures() == whole) ++partial;
      Form->ScrollBox->RepaintWhole();
      ASSERT_TRUE(drawn == Form->Bitmap());
    }
    // Most changes were drawn in part, or this would prove little.
    EXPECT_GT(partial, 30);
  }
}

}  // namespace
