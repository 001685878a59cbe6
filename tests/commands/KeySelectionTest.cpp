// Keyboard movement and selection on plain tables: where each key leads,
// and which cells, rows or columns Shift and Space select from there.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "commands/KeySelection.h"
#include "model/Tables.h"

namespace {

// rows x cols single cells; joins: (row, first column, span).
void Build(TTable& t, int rows, int cols, std::vector<std::vector<int>> joins = {}) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
  for (const auto& j : joins) {
    TRow& row = *t.Rows[j[0]];
    TCell* first = row[j[1]];
    first->Span = j[2];
    for (int k = 1; k < j[2]; ++k) row.Delete(j[1] + 1);
  }
}

// The selected cells as (row, first column), row by row.
std::vector<std::pair<int, int>> Selected(const TTable& t) {
  std::vector<std::pair<int, int>> out;
  for (const TCell* c : t.GetSelectedCells()) out.emplace_back(c->RowIndex(), c->ColIndex());
  return out;
}

// Every cell of rows top..bottom that starts in columns left..right.
std::vector<std::pair<int, int>> Block(const TTable& t, int top, int left, int bottom, int right) {
  std::vector<std::pair<int, int>> out;
  for (int r = top; r <= bottom; ++r)
    for (const TCell* c : *t.Rows[r])
      if (c->ColIndex() >= left && c->ColIndex() <= right) out.emplace_back(r, c->ColIndex());
  return out;
}

void MakeCurrent(TTable& t, int row, int col) {
  t.ClearSelection();
  TCell* c = t.GetCell(row, col);
  t.SelectCell(c);
  t.CurrentCell = c;
}

TEST(KeySelection, KeyTargets) {
  TTable t;
  Build(t, 10, 4, {{2, 1, 2}});
  struct Case {
    TCellPlace From;
    TGridKey Key;
    int Page;
    TCellPlace To;
  };
  const Case cases[] = {
      {{2, 0}, gkRight, 1, {2, 1}},    {{2, 1}, gkRight, 1, {2, 3}},  // over the joined cell's span
      {{2, 2}, gkRight, 1, {2, 3}},    {{2, 2}, gkLeft, 1, {2, 0}},   // from inside it
      {{0, 0}, gkLeft, 1, {0, -1}},    {{0, 0}, gkUp, 1, {-1, 0}},    // the arrows leave the table
      {{5, 2}, gkHome, 1, {5, 0}},     {{5, 1}, gkEnd, 1, {5, 3}},
      {{5, 2}, gkFirst, 1, {0, 0}},    {{5, 2}, gkLast, 1, {9, 3}},
      {{5, 2}, gkPageDown, 3, {8, 2}}, {{8, 2}, gkPageDown, 3, {9, 2}},  // stops at the last row
      {{1, 2}, gkPageUp, 3, {0, 2}},   {{5, 2}, gkPageUp, 0, {4, 2}},    // a page is at least a row
  };
  for (const Case& c : cases) {
    const TCellPlace to = KeyTarget(t, c.From, c.Key, c.Page);
    EXPECT_EQ(to.Row, c.To.Row) << c.From.Row << "," << c.From.Col << " key " << int(c.Key);
    EXPECT_EQ(to.Col, c.To.Col) << c.From.Row << "," << c.From.Col << " key " << int(c.Key);
  }
  // Without a current cell the arrows start at the first cell, the keys
  // that name a place go there.
  EXPECT_EQ(MoveTarget(t, gkDown, 1), t.GetCell(0, 0));
  EXPECT_EQ(MoveTarget(t, gkLast, 1), t.GetCell(9, 3));
  EXPECT_EQ(MoveTarget(t, gkEnd, 1), t.GetCell(0, 3));
  MakeCurrent(t, 0, 0);
  EXPECT_EQ(MoveTarget(t, gkLeft, 1), nullptr);
}

TEST(KeySelection, ShiftKeysSelectFromTheCurrentCell) {
  struct Case {
    const char* Name;
    std::vector<std::vector<int>> Joins;
    TCellPlace Current;
    std::vector<TGridKey> Keys;
    TCellRect Expected;  // the block of cells selected
  };
  const std::vector<Case> cases = {
      {"down twice", {}, {1, 1}, {gkDown, gkDown}, {1, 1, 1, 3}},
      {"down and back up past the anchor", {}, {2, 1}, {gkDown, gkUp, gkUp}, {1, 1, 1, 2}},
      {"right stops at the last column", {}, {0, 2}, {gkRight, gkRight, gkRight}, {2, 0, 3, 0}},
      {"end and ctrl+end", {}, {1, 1}, {gkEnd, gkLast}, {1, 1, 3, 4}},
      {"home and ctrl+home", {}, {2, 2}, {gkHome, gkFirst}, {0, 0, 2, 2}},
      {"right over a joined cell", {{0, 1, 2}}, {0, 0}, {gkRight}, {0, 0, 2, 0}},
      {"left back off a joined cell", {{0, 1, 2}}, {0, 0}, {gkRight, gkRight, gkLeft, gkLeft}, {0, 0, 0, 0}},
      {"a joined cell above grows the block", {{0, 1, 2}}, {1, 2}, {gkUp}, {1, 0, 2, 1}},
      {"page down", {}, {0, 0}, {gkPageDown}, {0, 0, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    Build(t, 5, 4, c.Joins);
    MakeCurrent(t, c.Current.Row, c.Current.Col);
    TCell* anchor = t.CurrentCell;
    for (TGridKey k : c.Keys) ASSERT_TRUE(ExtendSelection(t, k, 2));
    EXPECT_EQ(Selected(t), Block(t, c.Expected.Top, c.Expected.Left, c.Expected.Bottom, c.Expected.Right));
    EXPECT_EQ(t.SelectionMode, smCells);
    EXPECT_EQ(t.CurrentCell, anchor) << "the anchor stays the current cell";
  }
  // Nothing to extend from.
  TTable t;
  Build(t, 2, 2);
  EXPECT_FALSE(ExtendSelection(t, gkDown, 1));
}

TEST(KeySelection, RowsAndColumns) {
  TTable t;
  Build(t, 6, 5, {{0, 1, 3}});

  // Shift+Space over a block of two rows, anchored at the current cell's
  // row, which is the lower one.
  MakeCurrent(t, 3, 2);
  ASSERT_TRUE(ExtendSelection(t, gkUp, 1));
  ASSERT_TRUE(SelectRowsOfSelection(t));
  EXPECT_EQ(t.SelectionMode, smRows);
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{2, 3}));
  EXPECT_TRUE(t.GetSelectedCells().empty());
  EXPECT_EQ(t.AnchorRow, 3);
  // Shift+Down then shrinks toward the anchor and grows past it; keys across
  // rows change nothing.
  ASSERT_TRUE(ExtendSelection(t, gkDown, 1));
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{3}));
  ASSERT_TRUE(ExtendSelection(t, gkDown, 1));
  ASSERT_TRUE(ExtendSelection(t, gkRight, 1));
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{3, 4}));
  ASSERT_TRUE(ExtendSelection(t, gkLast, 1));
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{3, 4, 5}));

  // Ctrl+Space on a joined cell takes every column it covers.
  MakeCurrent(t, 0, 1);
  ASSERT_TRUE(SelectColumnsOfSelection(t));
  EXPECT_EQ(t.SelectionMode, smColumns);
  EXPECT_EQ(t.GetSelectedColumns(), (TArrayOfInteger{1, 2, 3}));
  EXPECT_EQ(t.AnchorCol, 1);
  ASSERT_TRUE(ExtendSelection(t, gkRight, 1));
  EXPECT_EQ(t.GetSelectedColumns(), (TArrayOfInteger{1, 2, 3, 4}));
  ASSERT_TRUE(ExtendSelection(t, gkHome, 1));
  EXPECT_EQ(t.GetSelectedColumns(), (TArrayOfInteger{0, 1}));

  // Whole columns turned into rows: every row.
  ASSERT_TRUE(SelectRowsOfSelection(t));
  EXPECT_EQ(t.GetSelectedRows().size(), 6u);

  // Nothing selected and no current cell: nothing to take them from.
  t.ClearSelection();
  t.CurrentCell = nullptr;
  EXPECT_FALSE(SelectRowsOfSelection(t));
  EXPECT_FALSE(SelectColumnsOfSelection(t));
}

}  // namespace
