// The selection a table keeps between reads (TTable::Selection) must be the
// one a fresh read finds after any change: of a flag written directly, a
// span, the lists, or the select operations that keep it up to date
// themselves.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "model/Tables.h"

namespace {

// Four rows over four columns; row 1 holds a cell of span 2 at columns 1-2.
void Build(TTable& t) {
  for (int i = 0; i < 4; ++i) new TColumn(t);
  for (int r = 0; r < 4; ++r) {
    TRow* row = new TRow(t);
    const std::vector<int> spans = r == 1 ? std::vector<int>{1, 2, 1} : std::vector<int>{1, 1, 1, 1};
    for (int s : spans) (new TCell(*row))->Span = s;
  }
}

using TPlace = std::pair<int, int>;  // row, first column

std::vector<TPlace> Places(const TArrayOfCells& cells) {
  std::vector<TPlace> out;
  for (const TCell* c : cells) out.emplace_back(c->RowIndex(), c->ColIndex());
  return out;
}

// What a table that never read its selection finds in the same flags.
void ExpectFreshRead(TTable& t, const char* name) {
  const TSelection& kept = t.Selection();
  TTable fresh;
  fresh.Assign(t);
  const TSelection& read = fresh.Selection();
  EXPECT_EQ(Places(kept.Cells), Places(read.Cells)) << name;
  EXPECT_EQ(kept.Rows, read.Rows) << name;
  EXPECT_EQ(kept.Columns, read.Columns) << name;
  EXPECT_EQ(kept.Bounds, read.Bounds) << name;
}

void ExpectNothingSelected(const TTable& t, const char* name) {
  for (const TRow* row : t.Rows) {
    EXPECT_FALSE(row->Selected) << name;
    for (const TCell* c : *row) EXPECT_FALSE(c->Selected) << name << " row " << row->Index();
  }
  for (const TColumn* c : t.Columns) EXPECT_FALSE(c->Selected) << name;
}

}  // namespace

// Each change comes after the selection was read, so a change that does not
// reach the kept selection leaves it stale; ClearSelection, which clears
// only what the kept selection names, then leaves flags set.
TEST(SelectionState, KeptSelectionFollowsEveryChange) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Change;
  };
  const Case cases[] = {
      {"cell flag set directly", [](TTable& t) { t.GetCell(3, 3)->Selected = true; }},
      {"cell flag cleared directly", [](TTable& t) { t.GetCell(0, 0)->Selected = false; }},
      {"row flag set directly", [](TTable& t) { t.Rows[2]->Selected = true; }},
      {"column flag set directly", [](TTable& t) { t.Columns[3]->Selected = true; }},
      {"span grown without a list change", [](TTable& t) { t.GetCell(0, 0)->Span = 3; }},
      {"row inserted above", [](TTable& t) { t.InsertRow(0, false); }},
      {"column deleted", [](TTable& t) { t.DeleteColumn(0); }},
      {"cell inserted by a column", [](TTable& t) { t.InsertColumn(0, false); }},
      {"another cell selected", [](TTable& t) { t.SelectCell(t.GetCell(2, 1)); }},
      {"cleared and one cell selected", [](TTable& t) {
         t.ClearSelection();
         t.SelectCell(t.GetCell(1, 2));
       }},
      {"cleared, then a cell selected directly", [](TTable& t) {
         t.ClearSelection();
         t.GetCell(3, 0)->Selected = true;
       }},
      {"rows selected", [](TTable& t) { t.SelectRowRange(3, 1); }},
      {"columns selected", [](TTable& t) { t.SelectColumnRange(0, 2); }},
      {"content taken from another table", [](TTable& t) {
         TTable other;
         Build(other);
         other.Rows[3]->Selected = true;
         t.TakeContent(other);
       }},
      {"undo-like copy of the content", [](TTable& t) {
         TTable other;
         Build(other);
         other.Selection();
         other.GetCell(2, 2)->Selected = true;
         t.Assign(other);
       }},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t);
    t.SelectCell(t.GetCell(0, 0));
    t.SelectCell(t.GetCell(0, 1));
    t.Selection();
    c.Change(t);
    ExpectFreshRead(t, c.Name);
    t.ClearSelection();
    ExpectNothingSelected(t, c.Name);
  }
}

TEST(SelectionState, SelectCellKeepsBoundsOfJoinedCell) {
  TTable t;
  Build(t);
  t.ClearSelection();
  t.SelectCell(t.GetCell(1, 1));
  EXPECT_EQ(t.Selection().Bounds, (TCellRect{1, 1, 2, 1}));
  EXPECT_EQ(t.GetSelectionRect(), (TCellRect{1, 1, 2, 1}));
  ExpectFreshRead(t, "joined cell");
}

// Cells of rows 0 and 2 in column 1 pull in the joined cell between them,
// which widens the rectangle to column 2 and so pulls in more: the view is
// told once.
TEST(SelectionState, GrowthIsReportedOnce) {
  TTable t;
  Build(t);
  t.SelectCell(t.GetCell(0, 1));
  t.SelectCell(t.GetCell(2, 1));
  EXPECT_FALSE(t.TakeSelectionGrowth());
  const TSelection& s = t.Selection();
  EXPECT_EQ(s.Bounds, (TCellRect{1, 0, 2, 2}));
  EXPECT_EQ(s.Cells.size(), 5u);
  EXPECT_TRUE(t.TakeSelectionGrowth());
  t.Selection();
  EXPECT_FALSE(t.TakeSelectionGrowth());
  t.ClearSelection();
  ExpectNothingSelected(t, "grown");
}

// A new reading gets a new stamp, so that what callers keep for a stamp is
// never taken for another selection.
TEST(SelectionState, StampNamesTheContent) {
  TTable t;
  Build(t);
  t.SelectCell(t.GetCell(0, 0));
  const uint64_t first = t.Selection().Stamp;
  EXPECT_NE(first, 0u);
  EXPECT_EQ(t.Selection().Stamp, first) << "nothing changed";
  t.GetCell(0, 0)->SetText("typed");
  EXPECT_EQ(t.Selection().Stamp, first) << "a text is no part of the selection";
  t.GetCell(0, 0)->Selected = true;
  EXPECT_EQ(t.Selection().Stamp, first) << "writing the same value changes nothing";
  t.GetCell(2, 0)->Selected = true;
  const uint64_t second = t.Selection().Stamp;
  EXPECT_NE(second, first);
  TTable other;
  Build(other);
  EXPECT_NE(other.Selection().Stamp, second);
}
