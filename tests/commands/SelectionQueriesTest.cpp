// The selection queries behind the commands' states, asked of plain tables:
// the rule kinds present on a rectangle, joinability, common alignment and
// format, the Delete hints and the selection bounds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "commands/CommandStates.h"
#include "commands/TableCommands.h"
#include "common/TableFixture.h"
#include "model/Tables.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

// Joins span cells of row, from cell index on, with the real command, and
// leaves nothing selected.
TCell* Join(TTable& t, int row, int index, int span) {
  t.ClearSelection();
  for (int k = 0; k < span; ++k) t.SelectCell((*t.Rows[row])[index + k]);
  const TCommandResult r = JoinOrSplit(t);
  t.ClearSelection();
  return r.Cell;
}

void RuleAll(TCell* c) { c->RuleLeft = c->RuleTop = c->RuleRight = c->RuleBottom = 255; }

TEST(SelectionQueries, SelectionRuleFlags) {
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

TEST(SelectionQueries, CellsJoinable) {
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
      {"a column over two rows", {r0[1], r1[1]}, false, true},
      {"a square over two rows", {r0[1], r0[2], r1[1], r1[2]}, false, true},
      {"rows of unequal widths", {r0[1], r0[2], r1[1]}, false, false},
      {"rows shifted", {r0[1], r0[2], r1[2], r1[3]}, false, false},
      {"rows out of order", {r1[1], r0[1]}, false, false},
      {"out of order", {r0[2], r0[1]}, true, false},
      {"at the row's end", {r0[2], r0[3]}, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellsInOneRow(c.Cells), c.InOneRow) << c.Name;
    EXPECT_EQ(CellsJoinable(c.Cells), c.Joinable) << c.Name;
  }
}

// Joining must never cut a block: one that reaches out of the rows given
// makes them unjoinable, and one block alone is no join.
TEST(SelectionQueries, CellsJoinableWithBlocks) {
  TTable t;
  LoadTableFixtureText("column l\ncolumn l\n"
                       "row\ncell | a\ncell rows=2 | B\n"
                       "row\ncell | c\ncell covered=1 |\n"
                       "row\ncell | e\ncell | f\n",
                       t);
  auto at = [&t](int r, int c) { return t.GetCell(r, c); };
  struct Case {
    const char* Name;
    TArrayOfCells Cells;
    bool Joinable;
  };
  const std::vector<Case> cases = {
      {"the block alone", {at(0, 1), at(1, 1)}, false},
      {"the block and the cells beside it", {at(0, 0), at(0, 1), at(1, 0), at(1, 1)}, true},
      {"the block and the cell below", {at(0, 1), at(1, 1), at(2, 1)}, true},
      {"the block's top row only", {at(0, 0), at(0, 1)}, false},
      {"the block's lower row only", {at(1, 0), at(1, 1)}, false},
      {"the lower row and the next", {at(1, 0), at(1, 1), at(2, 0), at(2, 1)}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(CellsJoinable(c.Cells), c.Joinable) << c.Name;
  EXPECT_EQ(SelectedBlock({at(0, 1), at(1, 1)}), at(0, 1));
  EXPECT_EQ(SelectedBlock({at(0, 0)}), at(0, 0));
  EXPECT_EQ(SelectedBlock({at(0, 1)}), nullptr) << "the block's top without the cell it covers";
  EXPECT_EQ(SelectedBlock({at(0, 0), at(1, 0)}), nullptr);
}

TEST(SelectionQueries, CommonAlignmentAndFormat) {
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

// The hint of each mode is what the Table menu shows as Delete's caption.
TEST(SelectionQueries, DeleteHints) {
  TTable t;
  Build(t, 3, 3);
  t.GetCell(0, 0)->SetText("x");
  EXPECT_STREQ(DeleteStateFor(t, fsGrid, {}, {}, {0, 2}).Hint, "Delete Rows");
  EXPECT_STREQ(DeleteStateFor(t, fsGrid, {}, {1}, {}).Hint, "Delete Columns");
  EXPECT_STREQ(DeleteStateFor(t, fsGrid, {t.GetCell(0, 0)}, {}, {}).Hint, "Delete Cell Contents");
  EXPECT_STREQ(DeleteStateFor(t, fsGrid, {}, {0, 1, 2}, {}).Hint, "");
}

TEST(SelectionQueries, SelectionBounds) {
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

}  // namespace
