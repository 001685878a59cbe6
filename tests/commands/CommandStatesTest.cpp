// The control states of the table commands, and the guards of the commands
// that the golden cases cannot reach.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "commands/CommandStates.h"
#include "commands/TableCommands.h"
#include "model/Tables.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

// Joins count cells of a row, from the cell at index, with the real command.
void JoinCells(TTable& t, int row, int index, int count) {
  t.ClearSelection();
  for (int k = 0; k < count; ++k) t.SelectCell((*t.Rows[row])[index + k]);
  ASSERT_TRUE(JoinOrSplit(t).Changed());
  t.ClearSelection();
}

void SelectCells(TTable& t, std::initializer_list<std::pair<int, int>> cells) {
  for (auto [r, c] : cells) t.SelectCell(t.GetCell(r, c));
}

TCommandStates StatesOf(TTable& t, TFocusState focus = fsGrid, int pattern = rbAll) {
  return CommandStatesFor(t, ReadSelection(t), focus, pattern);
}

// Rows before columns before cell texts; never every row or every column;
// nothing without the grid's focus.
TEST(CommandStates, DeleteModeOrder) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Select;
    TFocusState Focus;
    TDeleteMode Expected;
  };
  const std::vector<Case> cases = {
      {"rows, editor focused", [](TTable& t) { t.SelectRow(0); }, fsEditor, dmDeleteNone},
      {"two of three rows", [](TTable& t) { t.SelectRowRange(0, 1); }, fsGrid, dmDeleteRows},
      {"every row", [](TTable& t) { t.SelectRowRange(0, 2); }, fsGrid, dmDeleteNone},
      {"every column", [](TTable& t) { t.SelectColumnRange(0, 2); }, fsGrid, dmDeleteNone},
      // Flags of two kinds (a table restored from an older state): rows win
      // unless they are all of them.
      {"every row and one column",
       [](TTable& t) {
         t.SelectRowRange(0, 2);
         t.Columns[1]->Selected = true;
       },
       fsGrid, dmDeleteColumns},
      {"one row and one column",
       [](TTable& t) {
         t.SelectRow(2);
         t.Columns[1]->Selected = true;
       },
       fsGrid, dmDeleteRows},
      {"one empty cell", [](TTable& t) { SelectCells(t, {{0, 0}}); }, fsGrid, dmDeleteNone},
      {"one cell with text",
       [](TTable& t) {
         t.GetCell(0, 0)->SetText("x");
         SelectCells(t, {{0, 0}});
       },
       fsGrid, dmDeleteContents},
      {"two empty cells", [](TTable& t) { SelectCells(t, {{0, 0}, {1, 1}}); }, fsGrid, dmDeleteContents},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 3, 3);
    c.Select(t);
    EXPECT_EQ(StatesOf(t, c.Focus).Delete.Mode, c.Expected) << c.Name;
  }
}

TEST(CommandStates, JoinFaceAndEnabling) {
  struct Case {
    const char* Name;
    std::initializer_list<std::pair<int, int>> Cells;  // row, column
    TFocusState Focus;
    TJoinFace Face;
    bool Enabled;
  };
  // Row 0: a cell joined over columns 0-1, then single cells at 2, 3, 4.
  const Case cases[] = {
      {"one joined cell, editor focused", {{0, 0}}, fsEditor, jfSplit, true},
      {"one single cell", {{0, 2}}, fsGrid, jfJoin, false},
      {"neighbours", {{0, 2}, {0, 3}}, fsGrid, jfJoin, true},
      {"neighbours, editor focused", {{0, 2}, {0, 3}}, fsEditor, jfJoin, false},
      {"joined cell and neighbour", {{0, 0}, {0, 2}}, fsGrid, jfJoin, true},
      {"a gap between", {{0, 2}, {0, 4}}, fsGrid, jfJoin, false},
      {"a column over two rows", {{0, 3}, {1, 3}}, fsGrid, jfJoin, true},
      {"two rows of unequal widths", {{0, 2}, {0, 3}, {1, 3}}, fsGrid, jfJoin, false},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 2, 5);
    JoinCells(t, 0, 0, 2);
    // Not through SelectionBounds: a gap or a second row would be filled in.
    for (auto [r, col] : c.Cells) t.SelectCell(t.GetCell(r, col));
    TSelection s;
    s.Cells = t.GetSelectedCells();
    s.Bounds = {0, 0, 0, 0};
    const TCommandStates states = CommandStatesFor(t, s, c.Focus, rbAll);
    EXPECT_EQ(states.JoinFace, c.Face) << c.Name;
    EXPECT_EQ(states.JoinEnabled, c.Enabled) << c.Name;
  }
}

// The checked state reads each cell's own flags over the rectangle: a cell
// joined past the selected columns overlaps them, so its missing top rule
// keeps "top" unchecked although the command has just applied it.
TEST(CommandStates, RulesCheckedWithJoinedCellOverlapping) {
  for (const bool joined : {false, true}) {
    TTable t;
    Build(t, 2, 4);
    if (joined) JoinCells(t, 0, 2, 2);
    t.SelectColumnRange(1, 2);
    ASSERT_TRUE(ApplyRulePattern(t, rbTop).Changed());
    EXPECT_EQ(StatesOf(t, fsGrid, rbTop).RulesChecked, !joined) << (joined ? "joined" : "single cells");
  }
}

// After the outer border of a fully ruled cell goes off, no pattern of the
// palette is checked, and "no rules" never is.
TEST(CommandStates, NoPatternCheckedAfterBorderOff) {
  TTable t;
  Build(t, 3, 3);
  t.SelectCell(t.GetCell(1, 1));
  ApplyRulePattern(t, rbAll);
  EXPECT_TRUE(StatesOf(t, fsGrid, rbOuter).RulesChecked);
  EXPECT_FALSE(StatesOf(t, fsGrid, rbAll).RulesChecked);
  ApplyRulePattern(t, rbOuter);
  const int flags = SelectionRuleFlags(t, ReadSelection(t).Bounds);
  for (int pattern : {63, 27, 1, 8, 4, 0, 36, 2, 16, 32}) EXPECT_FALSE(RulePatternPresent(flags, pattern)) << pattern;
}

TEST(CommandStates, AlignmentFace) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Setup;
    TAlignButton Checked;
    const char* Caption;
    bool Letters;
    bool Custom;
  };
  const std::vector<Case> cases = {
      {"columns l and l", [](TTable& t) { t.SelectColumnRange(0, 1); }, abLeft, "", true, true},
      {"columns l and c",
       [](TTable& t) {
         t.Columns[1]->Format = "c";
         t.SelectColumnRange(0, 1);
       },
       abNone, "", true, true},
      {"one custom column",
       [](TTable& t) {
         t.Columns[1]->Format = "p{20pt}";
         t.SelectColumn(1);
       },
       abCustom, "p{20pt}", true, true},
      {"cells centred",
       [](TTable& t) {
         t.GetCell(0, 0)->Align = t.GetCell(0, 1)->Align = 'c';
         SelectCells(t, {{0, 0}, {0, 1}});
       },
       abCenter, "", true, false},
      // A cell following its column checks nothing, whatever the column says.
      {"cell following a right column",
       [](TTable& t) {
         t.Columns[0]->Format = "r";
         SelectCells(t, {{0, 0}});
       },
       abNone, "", true, false},
      {"rows", [](TTable& t) { t.SelectRow(0); }, abNone, "", false, false},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 2, 2);
    c.Setup(t);
    const TCommandStates s = StatesOf(t);
    EXPECT_EQ(s.Align.Checked, c.Checked) << c.Name;
    EXPECT_EQ(s.Align.CustomCaption, c.Caption) << c.Name;
    EXPECT_EQ(s.AlignLetters, c.Letters) << c.Name;
    EXPECT_EQ(s.AlignCustom, c.Custom) << c.Name;
  }
}

// The states are worked out again only when the selection or the cells'
// rules and alignments changed; after each change below they must be what
// a table that never had its states read gives. A change that does not
// reach what is kept leaves a stale state.
TEST(CommandStates, KeptStatesFollowEveryChange) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Change;
  };
  const std::vector<Case> cases = {
      {"rules applied", [](TTable& t) { ApplyRulePattern(t, rbAll); }},
      {"one rule flag written directly", [](TTable& t) { t.GetCell(1, 1)->RuleTop = 255; }},
      {"cells aligned", [](TTable& t) { AlignCells(t, 'c'); }},
      {"one alignment written directly", [](TTable& t) { t.GetCell(1, 2)->Align = 'r'; }},
      {"the lone cell's text typed", [](TTable& t) {
         t.ClearSelection();
         t.SelectCell(t.GetCell(0, 0));
         StatesOf(t);
         t.GetCell(0, 0)->SetText("typed");
       }},
      {"cells joined", [](TTable& t) { JoinOrSplit(t); }},
      {"a span written directly", [](TTable& t) {
         t.ClearSelection();
         t.SelectCell(t.GetCell(2, 0));
         StatesOf(t);
         t.GetCell(2, 0)->Span = 2;
       }},
      {"a third cell selected", [](TTable& t) { t.SelectCell(t.GetCell(1, 3)); }},
      {"a cell deselected directly", [](TTable& t) { t.GetCell(1, 2)->Selected = false; }},
      {"columns selected and formatted", [](TTable& t) {
         t.SelectColumnRange(1, 2);
         StatesOf(t);
         t.Columns[1]->Format = "p{1cm}";
         t.Columns[2]->Format = "p{1cm}";
       }},
  };
  for (int pattern : {rbAll, rbOuter, rbTop}) {
    for (const Case& c : cases) {
      TTable t;
      Build(t, 3, 4);
      SelectCells(t, {{1, 1}, {1, 2}});
      StatesOf(t, fsGrid, pattern);
      c.Change(t);
      const TCommandStates kept = StatesOf(t, fsGrid, pattern);
      TTable fresh;
      fresh.Assign(t);
      const TCommandStates read = StatesOf(fresh, fsGrid, pattern);
      EXPECT_EQ(kept.Delete.Mode, read.Delete.Mode) << c.Name;
      EXPECT_EQ(kept.JoinFace, read.JoinFace) << c.Name;
      EXPECT_EQ(kept.JoinEnabled, read.JoinEnabled) << c.Name;
      EXPECT_EQ(kept.RulesChecked, read.RulesChecked) << c.Name << " pattern " << pattern;
      EXPECT_EQ(kept.AlignLetters, read.AlignLetters) << c.Name;
      EXPECT_EQ(kept.AlignCustom, read.AlignCustom) << c.Name;
      EXPECT_EQ(kept.Align.Checked, read.Align.Checked) << c.Name;
      EXPECT_EQ(kept.Align.CustomCaption, read.Align.CustomCaption) << c.Name;
    }
  }
}

// A Delete mode from an earlier idle pass must not empty the table of rows
// or columns.
TEST(TableCommands, StaleDeleteModeKeepsLastRowAndColumn) {
  TTable t;
  Build(t, 2, 2);
  t.SelectRowRange(0, 1);
  EXPECT_FALSE(DeleteSelection(t, dmDeleteRows, false).Changed());
  t.SelectColumnRange(0, 1);
  EXPECT_FALSE(DeleteSelection(t, dmDeleteColumns, true).Changed());
  EXPECT_EQ(t.RowCount(), 2);
  EXPECT_EQ(t.ColCount(), 2);
}

// A table read from a file can lack rows or columns; inserting gives it its
// first one instead of failing an assertion.
TEST(TableCommands, InsertIntoTableWithoutRowsOrColumns) {
  for (int kind : {ikRowAbove, ikRowBelow}) {
    TTable t;
    Build(t, 0, 3);
    EXPECT_EQ(*InsertRowCol(t, kind).Caption, "Insert Row");
    ASSERT_EQ(t.RowCount(), 1);
    EXPECT_EQ(t.Rows[0]->Count(), 3);
  }
  for (int kind : {ikColumnBefore, ikColumnAfter}) {
    TTable t;
    Build(t, 2, 0);
    EXPECT_EQ(*InsertRowCol(t, kind).Caption, "Insert Column");
    ASSERT_EQ(t.ColCount(), 1);
    for (const TRow* row : t.Rows) EXPECT_EQ(row->Count(), 1);
  }
}

}  // namespace
