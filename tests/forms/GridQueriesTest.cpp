// The window's questions to the table, asked of plain tables without a
// window: rule flags, joinability, delete modes, status text, scrolling.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/GridQueries.h"
#include "model/Tables.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

// Joins span cells of row starting at cell index into one.
TCell* Join(TTable& t, int row, int index, int span) {
  TRow& r = *t.Rows[row];
  TCell* c = r[index];
  for (int k = 1; k < span; ++k) r.Delete(index + 1);
  c->Span = span;
  return c;
}

void RuleAll(TCell* c) { c->RuleLeft = c->RuleTop = c->RuleRight = c->RuleBottom = 255; }

TEST(GridQueries, SelectionRuleFlags) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Setup;
    TCellRect R;
    int Expected;
  };
  const std::vector<Case> cases = {
      {"single cell with all four rules", [](TTable& t) { RuleAll(t.GetCell(1, 1)); }, {1, 1, 1, 1}, 27},
      {"single cell without rules", [](TTable&) {}, {1, 1, 1, 1}, 0},
      {"two by two fully ruled",
       [](TTable& t) {
         for (int r = 0; r < 2; ++r)
           for (int c = 0; c < 2; ++c) RuleAll(t.GetCell(r, c));
       },
       {0, 0, 1, 1},
       63},
      {"inner vertical needs every inner edge",
       [](TTable& t) {
         for (int r = 0; r < 2; ++r)
           for (int c = 0; c < 2; ++c) RuleAll(t.GetCell(r, c));
         t.GetCell(1, 0)->RuleRight = 0;
         t.GetCell(1, 1)->RuleLeft = 0;
       },
       {0, 0, 1, 1},
       63 - rbInnerVert},
      // Each cell's own flags are read: an inner edge ruled from one side
      // only does not count as ruled.
      {"both sides of an inner edge",
       [](TTable& t) {
         for (int r = 0; r < 2; ++r) {
           t.GetCell(r, 0)->RuleRight = 1;
           t.GetCell(r, 1)->RuleLeft = 1;
         }
       },
       {0, 0, 1, 1},
       rbInnerVert},
      {"one side of an inner edge",
       [](TTable& t) {
         t.GetCell(0, 0)->RuleRight = 1;
         t.GetCell(1, 0)->RuleRight = 1;
       },
       {0, 0, 1, 1},
       0},
      {"one column has no inner vertical, one row no inner horizontal",
       [](TTable& t) { RuleAll(t.GetCell(0, 0)); },
       {0, 0, 0, 0},
       27},
      {"top edge needs every cell of the first row",
       [](TTable& t) {
         t.GetCell(0, 0)->RuleTop = 1;
         t.GetCell(0, 1)->RuleTop = 1;
         t.GetCell(0, 2)->RuleTop = 1;
       },
       {0, 0, 1, 2},
       rbTop},
      // Columns 0..1 while row 0 joins columns 1 and 2: the joined cell
      // overlaps, so its missing top rule counts; no cell ends at column 1,
      // so nothing speaks against the right edge.
      {"a joined cell reaching out of the rectangle",
       [](TTable& t) {
         Join(t, 0, 1, 2);
         t.GetCell(0, 0)->RuleTop = 1;
       },
       {0, 0, 1, 0},
       rbRight},
      {"a joined cell's left rule is inner when it starts inside",
       [](TTable& t) {
         TCell* j = Join(t, 0, 1, 2);  // columns 1 and 2
         j->RuleLeft = 1;
         t.GetCell(0, 0)->RuleRight = 1;
       },
       {0, 0, 2, 0},
       rbInnerVert},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 3, 3);
    c.Setup(t);
    EXPECT_EQ(SelectionRuleFlags(t, c.R), c.Expected) << c.Name;
  }
}

TEST(GridQueries, CellsJoinable) {
  TTable t;
  Build(t, 2, 4);
  TRow& r0 = *t.Rows[0];
  TRow& r1 = *t.Rows[1];
  struct Case {
    const char* Name;
    TArrayOfCells Cells;
    bool InOneRow;
    bool Joinable;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, false, false},
      {"one cell", {r0[1]}, true, false},
      {"two neighbours", {r0[1], r0[2]}, true, true},
      {"three neighbours", {r0[0], r0[1], r0[2]}, true, true},
      {"a gap", {r0[0], r0[2]}, true, false},
      {"two rows", {r0[1], r1[1]}, false, false},
      {"out of order", {r0[2], r0[1]}, true, false},
      {"at the row's end", {r0[2], r0[3]}, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellsInOneRow(c.Cells), c.InOneRow) << c.Name;
    EXPECT_EQ(CellsJoinable(c.Cells), c.Joinable) << c.Name;
  }
}

TEST(GridQueries, CommonAlignmentAndFormat) {
  TTable t;
  Build(t, 1, 3);
  TRow& r = *t.Rows[0];
  EXPECT_EQ(CommonAlignment({}), 0);
  r[0]->Align = 'c';
  r[1]->Align = 'c';
  EXPECT_EQ(CommonAlignment({r[0], r[1]}), 'c');
  EXPECT_EQ(CommonAlignment({r[0], r[1], r[2]}), 0);

  EXPECT_EQ(CommonColumnFormat(t, {}), "");
  EXPECT_EQ(CommonColumnFormat(t, {0, 2}), "l");
  t.Columns[2]->Format = "L";
  EXPECT_EQ(CommonColumnFormat(t, {0, 2}), "") << "formats compare with their letter case";
  t.Columns[0]->Format = "p{20pt}";
  EXPECT_EQ(CommonColumnFormat(t, {0}), "p{20pt}");
}

TEST(GridQueries, DeleteStates) {
  TTable t;
  Build(t, 3, 3);
  t.GetCell(0, 0)->SetText("x");
  TCell* empty = t.GetCell(1, 1);
  struct Case {
    const char* Name;
    TFocusState Focus;
    TArrayOfCells Cells;
    TArrayOfInteger Columns;
    TArrayOfInteger Rows;
    TDeleteMode Mode;
    std::string Hint;
  };
  const std::vector<Case> cases = {
      {"some rows", fsGrid, {}, {}, {0, 2}, dmDeleteRows, "Delete Rows"},
      {"every row", fsGrid, {}, {}, {0, 1, 2}, dmDeleteNone, ""},
      {"some columns", fsGrid, {}, {1}, {}, dmDeleteColumns, "Delete Columns"},
      {"every column", fsGrid, {}, {0, 1, 2}, {}, dmDeleteNone, ""},
      {"one cell with text", fsGrid, {t.GetCell(0, 0)}, {}, {}, dmDeleteContents, "Delete Cell Contents"},
      {"one empty cell", fsGrid, {empty}, {}, {}, dmDeleteNone, ""},
      {"two empty cells", fsGrid, {empty, t.GetCell(1, 2)}, {}, {}, dmDeleteContents, "Delete Cell Contents"},
      {"editor focused", fsEditor, {t.GetCell(0, 0)}, {}, {0}, dmDeleteNone, ""},
      {"nothing focused", fsNone, {}, {}, {0}, dmDeleteNone, ""},
  };
  for (const Case& c : cases) {
    const TDeleteState s = DeleteStateFor(t, c.Focus, c.Cells, c.Columns, c.Rows);
    EXPECT_EQ(s.Mode, c.Mode) << c.Name;
    EXPECT_EQ(std::string(s.Hint), c.Hint) << c.Name;
  }
}

TEST(GridQueries, SelectionBounds) {
  TTable t;
  Build(t, 4, 5);
  EXPECT_EQ(SelectionBounds(t, {}, {}, {}), (TCellRect{-1, -1, -1, -1}));
  EXPECT_EQ(SelectionBounds(t, {}, {1, 3}, {}), (TCellRect{1, 0, 3, 3})) << "columns with a gap";
  EXPECT_EQ(SelectionBounds(t, {}, {}, {2}), (TCellRect{0, 2, 4, 2}));

  // A cell selection grows to cover the joined cell it touches, and selects
  // what it takes in.
  TCell* joined = Join(t, 2, 1, 3);  // columns 1..3 of row 2
  t.GetCell(1, 2)->Selected = true;
  t.GetCell(2, 1)->Selected = false;
  joined->Selected = true;
  const TCellRect r = SelectionBounds(t, t.GetSelectedCells(), {}, {});
  EXPECT_EQ(r, (TCellRect{1, 1, 3, 2}));
  EXPECT_TRUE(t.GetCell(1, 1)->Selected);
  EXPECT_TRUE(t.GetCell(1, 3)->Selected);
}

TEST(GridQueries, StatusText) {
  TTable t;
  Build(t, 3, 5);
  EXPECT_EQ(StatusText(t), "");
  t.CurrentCell = t.GetCell(0, 0);
  EXPECT_EQ(StatusText(t), " Col: 1   Row: 1");
  // Starts in the second column of the third row, spans three columns.
  t.CurrentCell = Join(t, 2, 1, 3);
  EXPECT_EQ(StatusText(t), " Col: 2-4   Row: 3");
}

TEST(GridQueries, TypingCaption) {
  struct Case {
    std::string Text, Caption;
  };
  const Case cases[] = {
      {"", "Typing"},
      {"a", "Typing a"},
      {"0123456789", "Typing 0123456789"},
      {"0123456789a", "Typing 0123456789..."},
      {"0123456789ab", "Typing 0123456789..."},
      // Ten characters of two, three and four bytes are kept whole.
      {"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
       "Typing \xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
      {"123456789\xE2\x82\xAC!", "Typing 123456789\xE2\x82\xAC..."},
      {"12345678\xF0\x9F\x98\x80\xF0\x9F\x98\x80x", "Typing 12345678\xF0\x9F\x98\x80\xF0\x9F\x98\x80..."},
      // Damaged text: stray continuation bytes go at most four to a character.
      {std::string(12, '\x80'), "Typing " + std::string(12, '\x80')},
      {std::string(44, '\x80'), "Typing " + std::string(40, '\x80') + "..."},
  };
  for (const Case& c : cases) EXPECT_EQ(TypingCaption(c.Text), c.Caption) << c.Text;
}

// Control characters of a caption show as blanks, one each; every other
// character, multi-byte ones included, stays.
TEST(GridQueries, ShownCaption) {
  struct Case {
    std::string Caption, Shown;
  };
  const Case cases[] = {
      {"Typing a\tb", "Typing a b"},
      {"Typing \r\n\x01\x7F", "Typing     "},
      {"Typing \xC2\x85x\xC2\x9F", "Typing  x "},                    // C1 controls in UTF-8
      {"Typing \xC2\xA0\xC3\xA4\xE2\x82\xAC", "Typing \xC2\xA0\xC3\xA4\xE2\x82\xAC"},  // not controls
      {"Typing \xC2", "Typing \xC2"},                                    // a cut character
  };
  for (const Case& c : cases) EXPECT_EQ(ShownCaption(c.Caption), c.Shown) << c.Caption;
}

TEST(GridQueries, DragRectangles) {
  struct Case {
    TRect Drag, Normalized;
    bool Frame;
  };
  const Case cases[] = {
      {{10, 10, 10, 10}, {10, 10, 12, 12}, false},  // a press: both corner pixels, 2 x 2
      {{10, 10, 15, 15}, {10, 10, 16, 16}, false},  // 5 pixels away: 6 wide, no frame
      {{10, 10, 16, 10}, {10, 10, 17, 12}, true},   // 6 pixels away: 7 wide
      {{20, 30, 14, 30}, {14, 30, 21, 32}, true},   // dragged left
      {{20, 30, 20, 24}, {20, 24, 22, 31}, true},   // dragged up
      {{20, 30, 15, 25}, {15, 25, 21, 31}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeDragRect(c.Drag), c.Normalized) << c.Drag.Left << "," << c.Drag.Top;
    EXPECT_EQ(DragFrameVisible(NormalizeDragRect(c.Drag)), c.Frame) << c.Drag.Left << "," << c.Drag.Top;
  }
}

TEST(GridQueries, AutoScrollSteps) {
  struct Case {
    int Pos, Size, Minimum, Step;
  };
  const Case cases[] = {
      {510, 500, 16, 16},   {600, 500, 16, 50},  {501, 500, 16, 0},   {500, 500, 16, 0},
      {0, 500, 16, 0},      {-10, 500, 16, -16}, {-100, 500, 16, -50}, {-1, 500, 16, 0},
      {301, 300, 0, 0},     {303, 300, 0, 1},    {-3, 300, 0, -1},    {340, 300, 0, 20},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AutoScrollStep(Overshoot(c.Pos, c.Size), c.Minimum), c.Step) << c.Pos << " in " << c.Size;
}

TEST(GridQueries, MarginPointers) {
  TTable t;
  t.PixelWidth = 100;
  t.PixelHeight = 60;  // margin 8: inner area x 8..91, y 8..51
  struct Case {
    int X, Y;
    TGridPointer Pointer;
  };
  const Case cases[] = {
      {50, 30, crGridDefault}, {7, 30, crRow},         {8, 30, crGridDefault}, {92, 30, crRow2},
      {50, 7, crCol},          {50, 52, crCol2},       {91, 51, crGridDefault}, {3, 3, crGridDefault},
      {95, 55, crGridDefault}, {7, 8, crRow},          {8, 7, crCol},
  };
  for (const Case& c : cases) EXPECT_EQ(PointerAt(t, c.X, c.Y), c.Pointer) << c.X << "," << c.Y;
}

TEST(GridQueries, ScrollToShow) {
  struct Case {
    int Pos, View, Lo, Hi, Expected;
  };
  const Case cases[] = {
      {0, 100, 10, 50, 0},      // already visible
      {50, 100, 10, 40, 10},    // left of the view: near edge to the border
      {0, 100, 90, 130, 30},    // beyond the right: far edge to the border
      {0, 100, 90, 250, 90},    // wider than the view: its start
      {40, 100, 40, 140, 40},   // exactly filling the view
      {200, 100, 0, 16, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ScrollToShow(c.Pos, c.View, c.Lo, c.Hi), c.Expected) << c.Pos << " " << c.Lo << "-" << c.Hi;
}

}  // namespace
