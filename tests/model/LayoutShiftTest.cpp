// After columns change width, which parts of the table's old picture can be
// moved sideways and which must be drawn again. A part moved wrongly shows
// stale pixels until something else draws over them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "model/LayoutShift.h"
#include "model/Tables.h"

namespace {

void SetWidths(TTable& t, const std::vector<float>& widths) {
  t.ContentWidth = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    t.Columns[static_cast<int>(i)]->Width = widths[i];
    t.ContentWidth += widths[i];
  }
  t.PixelWidth = static_cast<int>(std::lrint(t.ContentWidth)) + 2 * t.Margin;
}

// Three rows of three cells 10 wide and 20 high, each text "a" measured to
// fit, laid out.
void LayOutGrid(TTable& t) {
  for (int i = 0; i < 3; ++i) new TColumn(t);
  for (int r = 0; r < 3; ++r) {
    TRow* row = new TRow(t);
    row->Height = 20;
    for (int c = 0; c < 3; ++c) {
      TCell* cell = new TCell(*row);
      cell->SetText("a");
      cell->Width = 10;
    }
  }
  SetWidths(t, {10, 10, 10});
  t.PixelHeight = 60 + 2 * t.Margin;
  t.LayOut();
}

TEST(ShownLayout, ColumnsMoveOnlyWhereBothEdgesMoveAlike) {
  struct TCase {
    const char* Name;
    std::vector<float> Before, After;
    std::vector<TPictureRun> Runs;
  } cases[] = {
      {"nothing changed", {10, 10, 10}, {10, 10, 10}, {{0, INT_MAX, false, 0}}},
      {"the middle column grew by whole pixels",
       {10, 10, 10},
       {10, 15, 10},
       {{0, 18, false, 0}, {18, 33, true, 0}, {33, INT_MAX, false, 5}}},
      {"the middle column shrank",
       {10, 15, 10},
       {10, 10, 10},
       {{0, 18, false, 0}, {18, 28, true, 0}, {28, INT_MAX, false, -5}}},
      // Edges 8, 18.4, 28.7, 38.7 become 8, 18.6, 28.9, 38.9: the second
      // column's left edge moves a pixel, its right edge none.
      {"a fraction rounds a column's edges apart",
       {10.4F, 10.3F, 10},
       {10.6F, 10.3F, 10},
       {{0, 8, false, 0}, {8, 29, true, 0}, {29, INT_MAX, false, 0}}},
      {"a fraction moves every edge alike",
       {10.4F, 10, 10},
       {10.9F, 10, 10},
       {{0, 8, false, 0}, {8, 19, true, 0}, {19, INT_MAX, false, 1}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    for (size_t i = 0; i < c.Before.size(); ++i) new TColumn(t);
    new TRow(t);
    SetWidths(t, c.Before);
    TShownLayout shown;
    shown.Take(t);
    SetWidths(t, c.After);
    std::vector<TPictureRun> runs;
    ASSERT_TRUE(shown.Compare(t, runs));
    EXPECT_EQ(runs, c.Runs);
  }
}

// A row that changed height moves everything below it up or down, which
// the sideways runs cannot say: the picture is drawn whole.
TEST(ShownLayout, ARowOfAnotherHeightDrawsTheWholePicture) {
  TTable t;
  new TColumn(t);
  TRow* row = new TRow(t);
  row->Height = 20;
  TShownLayout shown;
  shown.Take(t);
  row->Height = 21;
  std::vector<TPictureRun> runs;
  EXPECT_FALSE(shown.Compare(t, runs));
}

// What changed among the cells in view is drawn where it is: a cell newly
// selected, and the current cell's frame both where it was and where it is.
TEST(ShownCells, ChangedCellsAreDrawnWhereTheyAre) {
  TTable t;
  LayOutGrid(t);
  t.CurrentCell = t.GetCell(1, 1);
  TShownCells shown;
  ASSERT_TRUE(shown.Take(t, 0, 2, 0, 2));

  t.CurrentCell = t.GetCell(2, 2);
  t.GetCell(0, 2)->Selected = true;
  std::vector<TRect> damage;
  ASSERT_TRUE(shown.Compare(t, damage));
  const std::vector<TRect> expected{t.GetCell(0, 2)->BoundsRect, t.GetCell(1, 1)->BoundsRect,
                                    t.GetCell(2, 2)->BoundsRect};
  EXPECT_EQ(damage, expected);
}

// A changed text is drawn in its own cell; a row with a text measured wider
// than its cell, in view or out of it, is drawn again whole.
TEST(ShownCells, ATextIsDrawnInItsCellWhileTextsStayInTheirs) {
  struct TCase {
    const char* Name;
    int Col;           // the cell of row 1 whose text changes; view: columns 0 and 1
    float Overwide;    // the measured width of cell (1, 2)
    bool WholeRow;
  } cases[] = {
      {"in view", 0, 0, false},
      {"out of view", 2, 0, false},
      {"out of view, reaching past its cell", 2, 50, true},
      {"in view, another text reaching past its cell", 0, 50, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    LayOutGrid(t);
    t.GetCell(1, 2)->MeasuredWidth = c.Overwide;
    TShownCells shown;
    ASSERT_TRUE(shown.Take(t, 0, 2, 0, 1));

    t.GetCell(1, c.Col)->SetText("b");
    std::vector<TRect> damage;
    ASSERT_TRUE(shown.Compare(t, damage));
    std::vector<TRect> expected;
    if (c.WholeRow) expected.push_back(t.Rows[1]->BoundsRect);
    else if (c.Col < 2) expected.push_back(t.GetCell(1, c.Col)->BoundsRect);
    EXPECT_EQ(damage, expected);
  }
}

}  // namespace
