// The table's own operations on tables with cells joined across rows: each
// case states a table in the fixture notation, applies one operation and
// compares the result as text; every result must be consistent.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TableFixture.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

using TRows = std::vector<std::vector<std::string>>;

// The canonical fixture text of a table of "l" columns and the given rows,
// each cell written as the attributes and text after "cell "; the first
// row's spans give the number of columns.
std::string Grid(const TRows& rows) {
  std::string out;
  for (const std::string& cell : rows.at(0)) {
    const size_t span = cell.find("span=");
    const int cols = span == std::string::npos ? 1 : std::stoi(cell.substr(span + 5));
    for (int i = 0; i < cols; ++i) out += "column l\n";
  }
  for (const auto& row : rows) {
    out += "\nrow\n";
    for (const std::string& cell : row) out += "cell " + cell + "\n";
  }
  return out;
}

struct TBlockCase {
  const char* Name;
  TRows Before;
  std::function<void(TTable&)> Op;
  TRows After;
};

class BlockBookkeeping : public testing::TestWithParam<TBlockCase> {};

TEST_P(BlockBookkeeping, KeepsTheTableConsistent) {
  const TBlockCase& c = GetParam();
  TTable table;
  LoadTableFixtureText(Grid(c.Before), table);
  ASSERT_EQ(TableDefect(table), "") << "the case's own table";
  c.Op(table);
  EXPECT_EQ(TableDefect(table), "");
  EXPECT_EQ(WriteTableFixture(table, false), Grid(c.After));
}

// A 3 x 2 table whose first column holds a block over its first two rows.
const TRows kLabel = {{"rows=2 align=c rules=LT | A", "| b"}, {"covered=1 rules=LB |", "| d"}, {"| e", "| f"}};
// A block two columns wide over rows 1 and 2 of four.
const TRows kWide = {{"| a", "| b"}, {"span=2 rows=2 align=c | W"}, {"span=2 covered=1 rules=B |"}, {"| g", "| h"}};

const TBlockCase kBlockCases[] = {
    // If a row inserted between a block's rows did not join it, the block
    // would stop covering a row and the table would be damaged.
    {"InsertRowInsideGrows", kLabel, [](TTable& t) { t.InsertRow(0, true); },
     {{"rows=3 align=c rules=LT | A", "| b"},
      {"covered=1 rules=L |", "|"},
      {"covered=2 rules=LB |", "| d"},
      {"| e", "| f"}}},
    // A row above the top or below the last row stays outside the block.
    {"InsertRowAboveStaysOutside", kLabel, [](TTable& t) { t.InsertRow(0, false); },
     {{"align=c rules=LTB |", "|"},
      {"rows=2 align=c rules=LT | A", "| b"},
      {"covered=1 rules=LB |", "| d"},
      {"| e", "| f"}}},
    {"InsertRowBelowStaysOutside", kLabel, [](TTable& t) { t.InsertRow(1, true); },
     {{"rows=2 align=c rules=LT | A", "| b"},
      {"covered=1 rules=LB |", "| d"},
      {"align=c rules=LTB |", "|"},
      {"| e", "| f"}}},
    // Deleting the top row must not lose the block's text or leave a
    // covered cell without its top.
    {"DeleteTopRowMovesTheText", kWide, [](TTable& t) { t.DeleteRow(1); },
     {{"| a", "| b"}, {"span=2 align=c rules=B | W"}, {"| g", "| h"}}},
    {"DeleteLastRowKeepsTheBottomRule", kWide, [](TTable& t) { t.DeleteRow(2); },
     {{"| a", "| b"}, {"span=2 align=c rules=B | W"}, {"| g", "| h"}}},
    {"DeleteRowInsideShrinks",
     {{"rows=3 | A", "| b"}, {"covered=1 |", "| c"}, {"covered=2 |", "| d"}},
     [](TTable& t) { t.DeleteRow(1); },
     {{"rows=2 | A", "| b"}, {"covered=1 |", "| d"}}},
    {"DeleteTopRowKeepsTheArguments",
     {{"rows=3 vpos=t width=2cm | A"}, {"covered=1 |"}, {"covered=2 |"}},
     [](TTable& t) { t.DeleteRow(0); },
     {{"rows=2 vpos=t width=2cm | A"}, {"covered=1 |"}}},
    // Columns inside a wide block widen or narrow every row's part.
    {"InsertColumnInsideWidens", kWide, [](TTable& t) { t.InsertColumn(0, true); },
     {{"| a", "|", "| b"}, {"span=3 rows=2 align=c | W"}, {"span=3 covered=1 rules=B |"}, {"| g", "|", "| h"}}},
    // Beside a block the new cells are plain, however the block's cell was.
    {"InsertColumnBesideIsPlain", kLabel, [](TTable& t) { t.InsertColumn(0, false); },
     {{"align=c rules=LTR |", "rows=2 align=c rules=LT | A", "| b"},
      {"rules=LRB |", "covered=1 rules=LB |", "| d"},
      {"|", "| e", "| f"}}},
    {"DeleteColumnNarrows", kWide, [](TTable& t) { t.DeleteColumn(1); },
     {{"| a"}, {"rows=2 align=c | W"}, {"covered=1 rules=B |"}, {"| g"}}},
    {"DeleteColumnOfTheBlock", kLabel, [](TTable& t) { t.DeleteColumn(0); },
     {{"| b"}, {"| d"}, {"| f"}}},
    {"AppendColumnsArePlain", {{"rows=2 | A"}, {"covered=1 |"}}, [](TTable& t) { AppendColumns(t, 1); },
     {{"rows=2 | A", "|"}, {"covered=1 |", "|"}}},
    // A paste over part of a block splits the whole block first: the text
    // it had stays in its top cell, and no covered cell receives text.
    {"PasteOverPartOfABlockSplitsIt", kLabel, [](TTable& t) { PasteText(t, 0, 1, "x"); },
     {{"align=c rules=LT selected | A", "| b"}, {"rules=LB selected | x", "| d"}, {"| e", "| f"}}},
    // Rules: a side rule covers the block's whole side even when the rows
    // given are only some of the block's; no rule lands inside a block.
    {"LeftRuleCoversTheWholeSide", {{"| a", "rows=2 | B"}, {"| c", "covered=1 |"}},
     [](TTable& t) { t.SetRules({1, 0, 1, 0}, rbLeft, 255); },
     {{"rules=R | a", "rows=2 rules=L | B"}, {"rules=R | c", "covered=1 rules=L |"}}},
    {"AllRulesNoneInside", {{"rows=2 | A", "| b"}, {"covered=1 |", "| d"}},
     [](TTable& t) { t.SetRules({0, 0, 1, 1}, rbAll, 255); },
     {{"rows=2 rules=LTR | A", "rules=LTRB | b"}, {"covered=1 rules=LRB |", "rules=LTRB | d"}}},
    {"BottomRuleCuttingABlockIsLeftOut", {{"rows=2 | A", "| b"}, {"covered=1 |", "| d"}},
     [](TTable& t) { t.SetRules({0, 0, 1, 0}, rbBottom, 255); },
     {{"rows=2 | A", "rules=B | b"}, {"covered=1 |", "rules=T | d"}}},
    {"TopRuleBelowABlockGoesOnItsLastCell", {{"rows=2 | A"}, {"covered=1 |"}, {"| c"}},
     [](TTable& t) { t.SetRules({0, 2, 0, 2}, rbTop, 255); },
     {{"rows=2 | A"}, {"covered=1 rules=B |"}, {"rules=T | c"}}},
    // Selecting any part of a block selects the whole block.
    {"SelectCoveredCellSelectsTheBlock", kLabel,
     [](TTable& t) {
       t.SelectCell(t.GetCell(1, 0));
       t.Selection();
     },
     {{"rows=2 align=c rules=LT selected | A", "| b"}, {"covered=1 rules=LB selected |", "| d"}, {"| e", "| f"}}},
    // A selection that reaches into a block grows over the block's rows and
    // then over the columns of the rows it gained.
    {"SelectionGrowsOverRows",
     {{"| a", "rows=2 | B", "| c"}, {"rows=2 | D", "covered=1 |", "| e"}, {"covered=1 |", "| f", "| g"}},
     [](TTable& t) {
       t.GetCell(0, 0)->Selected = true;
       t.GetCell(0, 1)->Selected = true;
       t.SelectionMode = smCells;
       EXPECT_EQ(t.GetSelectionRect(), (TCellRect{0, 0, 1, 2}));
     },
     {{"selected | a", "rows=2 selected | B", "| c"},
      {"rows=2 selected | D", "covered=1 selected |", "| e"},
      {"covered=1 selected |", "selected | f", "| g"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, BlockBookkeeping, testing::ValuesIn(kBlockCases),
                         [](const testing::TestParamInfo<TBlockCase>& p) { return std::string(p.param.Name); });

// If the fixture notation lost a block field, golden cases with blocks
// would compare tables that differ.
TEST(BlockFixture, NotationRoundTrips) {
  const std::string text = Grid({{"span=2 rows=3 align=c vpos=b struts=2 width== vmove=-1ex rules=LT selected | X"},
                                    {"span=2 covered=1 rules=L |"},
                                    {"span=2 covered=2 rules=LB |"}});
  TTable table;
  LoadTableFixtureText(text, table);
  EXPECT_EQ(TableDefect(table), "");
  EXPECT_EQ(table.Rows[0]->First()->BlockArgs().Width, "=");
  EXPECT_EQ(WriteTableFixture(table, false), text);
  // The copies that undo and the clipboard make keep the block.
  TTable copy;
  copy.Assign(table);
  EXPECT_EQ(WriteTableFixture(copy, false), text);
  TTable moved;
  moved.TakeContent(copy);
  EXPECT_EQ(WriteTableFixture(moved, false), text);
}

}  // namespace
