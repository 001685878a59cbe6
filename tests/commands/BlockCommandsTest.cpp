// The table commands on tables with cells joined across rows: random runs
// of selections, keys and commands, as a user could make them, after each
// of which the table must be consistent, and whose undo history must give
// back every state; and the clipboard text of a block.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "commands/CommandStates.h"
#include "commands/KeySelection.h"
#include "commands/TableCommands.h"
#include "common/TableFixture.h"
#include "document/SLists.h"
#include "model/TableEdit.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace {

// Whatever a command leaves must hold: a consistent table, a current cell
// that is one of its cells and never a covered one, and every block either
// wholly selected or not at all once the selection has been read.
std::string Fault(TTable& t) {
  std::string defect = TableDefect(t);
  if (!defect.empty()) return defect;
  if (TCell* c = t.CurrentCell) {
    bool found = false;
    for (const TRow* r : t.Rows)
      for (const TCell* d : *r) found = found || d == c;
    if (!found) return "the current cell is no cell of the table";
    if (c->Covered()) return "the current cell is a covered cell";
  }
  t.Selection();
  for (int i = 0; i < t.RowCount(); ++i)
    for (const TCell* c : *t.Rows[i])
      if (c->Covered() && c->Selected != c->BlockCell()->Selected)
        return "a block is selected in part at row " + std::to_string(i + 1);
  return {};
}

// A random selection of one of the kinds the mouse and keyboard make.
void RandomSelection(TTable& t, std::mt19937& rng) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  switch (pick(4)) {
    case 0:
    case 1: {
      // A rectangle from a clicked cell to another, as a drag makes it.
      TCell* from = t.GetCell(pick(t.RowCount()), pick(t.ColCount()))->BlockCell();
      t.ClearSelection();
      t.SelectCell(from);
      t.SelectCell(t.GetCell(pick(t.RowCount()), pick(t.ColCount())));
      t.CurrentCell = from;
      break;
    }
    case 2:
      t.SelectRowRange(pick(t.RowCount()), pick(t.RowCount()));
      break;
    case 3:
      t.SelectColumnRange(pick(t.ColCount()), pick(t.ColCount()));
      break;
  }
}

// One command as the window runs it; its undo caption, or none.
std::optional<std::string> RandomCommand(TTable& t, std::mt19937& rng, TSList& recent) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  TCommandResult r;
  switch (pick(10)) {
    case 0:
      r = InsertRowCol(t, pick(4));
      break;
    case 1: {
      const TSelection s = ReadSelection(t);
      r = DeleteSelection(t, DeleteStateFor(t, fsGrid, s.Cells, s.Columns, s.Rows).Mode, pick(2) == 1);
      break;
    }
    case 2:
    case 3:
      ReadSelection(t);
      r = JoinOrSplit(t);
      break;
    case 4:
      r = ApplyRulePattern(t, pick(64));
      break;
    case 5:
      r = ApplyBorders(t, pick(64));
      break;
    case 6:
      if (AlignsColumns(t)) r = SetColumnFormat(t, pick(2) ? "c" : "p{1cm}", recent);
      else r = AlignCells(t, "\0lcr"[pick(4)]);
      break;
    case 7: {
      const TSelection s = ReadSelection(t);
      if (s.Empty()) break;
      static const char* const kClips[] = {"x", "a\tb", "a\r\nb", "a\tb\tc\nd\te\tf\ng", ""};
      PasteText(t, s.Bounds.Left, s.Bounds.Top, kClips[pick(5)]);
      return "Paste";
    }
    case 8: {
      // Keys move the current cell or stretch the selection.
      const TGridKey key = static_cast<TGridKey>(pick(gkPageDown + 1));
      if (pick(2)) {
        if (TCell* c = MoveTarget(t, key, 3)) {
          t.ClearSelection();
          t.SelectCell(c);
          t.CurrentCell = c;
        }
      } else {
        ExtendSelection(t, key, 3);
      }
      return std::nullopt;
    }
    case 9:
      if (TCell* c = t.CurrentCell) c->SetText(pick(2) ? "typed" : "");
      return "Typing";
  }
  if (r.Current == ccNone) t.CurrentCell = nullptr;
  if (r.Current == ccCell) t.CurrentCell = r.Cell;
  return r.Caption;
}

// A table of rows x cols cells with texts and a few blocks.
void BuildWithBlocks(TTable& t, std::mt19937& rng) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const int rows = 3 + pick(5);
  const int cols = 2 + pick(4);
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) {
    TRow* row = t.AddRow();
    for (int c = 0; c < cols; ++c) (*row)[c]->SetText(std::to_string(r) + "." + std::to_string(c));
  }
  for (int n = pick(4); n > 0; --n) {
    const int left = pick(cols);
    const int top = pick(rows - 1);
    const TCellRect rect{left, top, std::min(cols - 1, left + pick(2)), std::min(rows - 1, top + 1 + pick(2))};
    try {
      JoinCells(t, rect);
    } catch (const EQuiltorError&) {
      // The rectangle cut a block made before: no block this time.
    }
  }
}

// If any command broke a block - left a covered cell without its top, a
// rule inside, a covered current cell, a block half selected - or an undo
// step did not give back the table it recorded, this fails, naming the seed
// and step.
TEST(BlockCommands, RandomCommandsKeepTablesConsistentAndUndoable) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    TTable t;
    BuildWithBlocks(t, rng);
    ASSERT_EQ(Fault(t), "");
    TSList recent(8);
    TUndoBuffer history;
    history.MaxLevels = 1000;
    history.AddState(t, "Initial State");
    std::vector<std::string> states{WriteTableFixture(t, false)};
    for (int step = 0; step < 60; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      if (rng() % 3 == 0) RandomSelection(t, rng);
      const std::optional<std::string> caption = RandomCommand(t, rng, recent);
      ASSERT_EQ(Fault(t), "") << WriteTableFixture(t);
      if (caption) {
        history.AddState(t, *caption);
        states.push_back(WriteTableFixture(t, false));
      }
    }
    ASSERT_EQ(history.Count(), static_cast<int>(states.size()));
    for (int i = static_cast<int>(states.size()) - 2; i >= 0; --i) {
      history.Undo(t, 1);
      t.CurrentCell = nullptr;
      ASSERT_EQ(WriteTableFixture(t, false), states[static_cast<size_t>(i)]) << "undo to state " << i;
      ASSERT_EQ(TableDefect(t), "");
    }
  }
}

// Copy gives a block's text once, its covered cells empty fields, so that
// pasting it elsewhere does not repeat the text in every row.
TEST(BlockCommands, CopyGivesTheBlockTextOnce) {
  TTable t;
  LoadTableFixtureText("column l\ncolumn l\ncolumn l\n"
                       "row\ncell span=2 rows=2 | W\ncell | b\n"
                       "row\ncell span=2 covered=1 |\ncell | d\n",
                       t);
  struct Case {
    const char* Name;
    void (*Select)(TTable&);
    const char* Text;
  };
  const Case cases[] = {
      {"the block", [](TTable& u) { u.SelectCell(u.GetCell(1, 0)); }, "W\t\r\n\t"},
      {"the cells", [](TTable& u) { u.SelectCell(u.GetCell(0, 2)), u.SelectCell(u.GetCell(1, 0)); },
       "W\t\tb\r\n\t\td"},
      {"the rows", [](TTable& u) { u.SelectRowRange(0, 1); }, "W\t\tb\r\n\t\td"},
      {"the first column", [](TTable& u) { u.SelectColumn(0); }, "W\r\n"},
  };
  for (const Case& c : cases) {
    t.ClearSelection();
    c.Select(t);
    ReadSelection(t);
    EXPECT_EQ(SelectionAsText(t).value_or("none"), c.Text) << c.Name;
  }
}

// Moving with the keys treats a block as one cell and never makes a
// covered cell current.
TEST(BlockCommands, KeysStepOverBlocks) {
  TTable t;
  LoadTableFixtureText("column l\ncolumn l\n"
                       "row\ncell | a\ncell | b\n"
                       "row\ncell rows=3 | B\ncell | d\n"
                       "row\ncell covered=1 |\ncell | f\n"
                       "row\ncell covered=2 |\ncell | h\n"
                       "row\ncell | i\ncell | j\n",
                       t);
  struct Case {
    int Row, Col;
    TGridKey Key;
    int ToRow, ToCol;
  };
  const Case cases[] = {
      {0, 0, gkDown, 1, 0},   // into the block at its top
      {1, 0, gkDown, 4, 0},   // over the block
      {4, 0, gkUp, 1, 0},     // entering it from below lands on its top
      {3, 1, gkLeft, 1, 0},   // from beside it, too
      {1, 0, gkRight, 1, 1},  // out of it in its top row
      {1, 0, gkUp, 0, 0},
      {0, 0, gkPageDown, 1, 0},  // a page into the block
      {4, 1, gkLast, 4, 1},
  };
  for (const Case& c : cases) {
    t.CurrentCell = t.GetCell(c.Row, c.Col);
    const TCell* to = MoveTarget(t, c.Key, 2);
    ASSERT_NE(to, nullptr);
    EXPECT_EQ(to, t.GetCell(c.ToRow, c.ToCol)) << "from " << c.Row << "," << c.Col << " key " << int{c.Key};
  }
  // Shift+Down from the block's top takes in the whole block and the row
  // below it.
  t.ClearSelection();
  t.CurrentCell = t.GetCell(1, 0);
  t.SelectCell(t.CurrentCell);
  ExtendSelection(t, gkDown, 2);
  EXPECT_EQ(t.GetSelectionRect(), (TCellRect{0, 1, 0, 4}));
}

}  // namespace
