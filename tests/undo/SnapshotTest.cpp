#include "undo/Snapshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TableDump.h"
#include "model/TableEdit.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

using Snapshots::TSnapshot;
using Snapshots::TSnapshotPtr;

namespace {

// A table with every kind of content a copy carries: joined cells, rule
// bytes, alignments, selections, prefixes, texts longer than a short-string
// buffer, bytes that are not UTF-8, and the table's texts.
void BuildRich(TTable& t) {
  BuildGrid(t, 4, 5);
  t.Columns[1]->Format = "p{20pt}";
  t.Columns[3]->Format = "";
  t.Columns[4]->Selected = true;
  TRow& r1 = *t.Rows[1];
  r1[0]->Span = 3;
  r1.Delete(1);
  r1.Delete(1);
  r1[0]->SetText("a joined cell with a rather long text in it");
  r1[1]->Align = 'r';
  r1.Selected = true;
  r1.Prefix = "\\rowcolor{gray}";
  r1.Postfix = " % end";
  t.Rows[3]->Postfix = std::string("\xff\xfe\0x", 4);
  t.GetCell(2, 2)->SetText(std::string("\xe9t\xe9\0", 4));
  t.GetCell(0, 4)->SetText("");
  t.SetRules(TCellRect{1, 0, 3, 2}, rbAll, 255);
  t.GetCell(3, 0)->RuleLeft = 7;
  t.GetCell(2, 4)->Selected = true;
  t.Environment = "array";
  t.EnvOptions = "[t]";
  t.Extra1 = "one";
  t.Extra2 = std::string(100, 'x');
  t.Extra3 = "three";
}

TEST(Snapshot, RestoresWhatAssignCopies) {
  TTable source;
  BuildRich(source);
  TTable copied;
  copied.Assign(source);
  const TSnapshotPtr snap = TSnapshot::Capture(source, nullptr);

  // Into a table that held something else, and into a new one.
  TTable target;
  BuildGrid(target, 7, 2);
  target.Extra1 = "old";
  snap->RestoreTo(target);
  EXPECT_EQ(DumpContent(target), DumpContent(copied));
  EXPECT_EQ(DumpContent(target), DumpContent(source));
  TTable fresh;
  snap->RestoreTo(fresh);
  EXPECT_EQ(DumpContent(fresh), DumpContent(source));

  // A picture taken over a different base is the same picture.
  TTable other;
  BuildGrid(other, 4, 5);
  const TSnapshotPtr overOther = TSnapshot::Capture(source, TSnapshot::Capture(other, nullptr).get());
  TTable viaOther;
  overOther->RestoreTo(viaOther);
  EXPECT_EQ(DumpContent(viaOther), DumpContent(source));
}

// Every part of the content tells states apart: a state that differs from its
// predecessor in one field only is pictured with that field, and restoring
// either state over the other gives it back exactly.
TEST(Snapshot, EachFieldIsPartOfTheState) {
  struct Case {
    const char* name;
    std::function<void(TTable&)> change;
  };
  const Case cases[] = {
      {"text", [](TTable& t) { t.GetCell(2, 1)->SetText("r2c1 "); }},
      {"text emptied", [](TTable& t) { t.GetCell(2, 1)->SetText(""); }},
      {"span", [](TTable& t) {
         t.GetCell(2, 1)->Span = 2;
         t.Rows[2]->Delete(2);
       }},
      {"align", [](TTable& t) { t.GetCell(2, 1)->Align = 'c'; }},
      {"cell selected", [](TTable& t) { t.GetCell(2, 1)->Selected = true; }},
      {"rule left", [](TTable& t) { t.GetCell(2, 1)->RuleLeft = 1; }},
      {"rule top", [](TTable& t) { t.GetCell(2, 1)->RuleTop = 255; }},
      {"rule right", [](TTable& t) { t.GetCell(2, 1)->RuleRight = 2; }},
      {"rule bottom", [](TTable& t) { t.GetCell(2, 1)->RuleBottom = 255; }},
      {"rule byte value", [](TTable& t) { t.GetCell(1, 1)->RuleLeft = 254; }},
      {"row selected", [](TTable& t) { t.Rows[2]->Selected = true; }},
      {"prefix", [](TTable& t) { t.Rows[2]->Prefix = "p"; }},
      {"postfix", [](TTable& t) { t.Rows[2]->Postfix = "q"; }},
      {"text moved into prefix", [](TTable& t) {
         t.GetCell(2, 3)->SetText("r2c");
         t.Rows[2]->Prefix = "3";
       }},
      {"column format", [](TTable& t) { t.Columns[1]->Format = "r"; }},
      {"column selected", [](TTable& t) { t.Columns[1]->Selected = true; }},
      {"environment", [](TTable& t) { t.Environment = "array"; }},
      {"options", [](TTable& t) { t.EnvOptions = "[b]"; }},
      {"extra 1", [](TTable& t) { t.Extra1 = "e"; }},
      {"extra 2", [](TTable& t) { t.Extra2 = "e"; }},
      {"extra 3", [](TTable& t) { t.Extra3 = "e"; }},
      {"rule style", [](TTable& t) { t.Style.Rules = rsBooktabs; }},
      {"float caption", [](TTable& t) { t.Style.Float.Caption = "c"; }},
      {"float flag", [](TTable& t) { t.Style.Float.CaptionBelow = true; }},
      {"float kept text", [](TTable& t) { t.Style.Float.TextAfter = "\\par"; }},
      {"row added", [](TTable& t) { t.AddRow(); }},
      {"row removed", [](TTable& t) { t.DeleteRow(3); }},
      {"block", [](TTable& t) { JoinCells(t, {1, 1, 1, 2}); }},
      {"block arguments", [](TTable& t) { t.GetCell(1, 0)->SetBlockArgs({"", "", "=", ""}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTable t;
    BuildGrid(t, 4, 4);
    t.GetCell(1, 1)->RuleLeft = 255;
    JoinCells(t, {0, 1, 0, 3});
    const std::string before = DumpContent(t);
    const TSnapshotPtr s1 = TSnapshot::Capture(t, nullptr);
    c.change(t);
    const std::string after = DumpContent(t);
    ASSERT_NE(before, after);
    const TSnapshotPtr s2 = TSnapshot::Capture(t, s1.get());
    s1->RestoreTo(t);
    EXPECT_EQ(DumpContent(t), before);
    s2->RestoreTo(t);
    EXPECT_EQ(DumpContent(t), after);
  }
}

TEST(Snapshot, EmptyTablesRestoreEmpty) {
  TTable empty;
  empty.Environment = "tabular*";
  TTable rowsWithoutColumns;
  rowsWithoutColumns.AddRow();
  rowsWithoutColumns.AddRow();
  for (const TTable* source : {&empty, &rowsWithoutColumns}) {
    TTable target;
    BuildGrid(target, 2, 2);
    TSnapshot::Capture(*source, nullptr)->RestoreTo(target);
    EXPECT_EQ(DumpContent(target), DumpContent(*source));
    EXPECT_EQ(target.RowCount(), source->RowCount());
  }
}

// Consecutive pictures share what did not change; the part that changed is
// pictured anew.
TEST(Snapshot, SharesUnchangedParts) {
  TTable t;
  BuildGrid(t, 200, 6);
  const TSnapshotPtr s1 = TSnapshot::Capture(t, nullptr);

  t.GetCell(130, 2)->SetText("changed");
  const TSnapshotPtr s2 = TSnapshot::Capture(t, s1.get());
  for (int i = 0; i < 200; ++i) {
    if (i == 130) EXPECT_NE(&s2->Row(i), &s1->Row(i));
    else ASSERT_EQ(&s2->Row(i), &s1->Row(i)) << "row " << i;
  }
  EXPECT_EQ(&s2->Columns(), &s1->Columns());
  EXPECT_EQ(&s2->Texts(), &s1->Texts());

  // Rows that moved together after an insertion or deletion are found again.
  t.InsertRow(3, false);
  const TSnapshotPtr s3 = TSnapshot::Capture(t, s2.get());
  EXPECT_EQ(&s3->Row(2), &s2->Row(2));
  for (int i = 4; i < 201; ++i) ASSERT_EQ(&s3->Row(i), &s2->Row(i - 1)) << "row " << i;
  t.DeleteRow(0);
  t.DeleteRow(0);
  const TSnapshotPtr s4 = TSnapshot::Capture(t, s3.get());
  for (int i = 0; i < 199; ++i) ASSERT_EQ(&s4->Row(i), &s3->Row(i + 2)) << "row " << i;

  // A column format change pictures the columns, not the rows.
  t.Columns[0]->Format = "c";
  t.Environment = "array";
  const TSnapshotPtr s5 = TSnapshot::Capture(t, s4.get());
  EXPECT_NE(&s5->Columns(), &s4->Columns());
  EXPECT_NE(&s5->Texts(), &s4->Texts());
  EXPECT_EQ(&s5->Row(100), &s4->Row(100));
}

TEST(Snapshot, EqualRowsShareOneImage) {
  TTable t;
  BuildGrid(t, 3, 3);
  for (int i = 0; i < 100; ++i) t.AddRow();
  const TSnapshotPtr s = TSnapshot::Capture(t, nullptr);
  EXPECT_NE(&s->Row(0), &s->Row(3));
  for (int i = 4; i < 103; ++i) ASSERT_EQ(&s->Row(i), &s->Row(3));
}

// Pictures share rows with their predecessors, so a later edit of a row must
// never reach an earlier picture of it.
TEST(Snapshot, LaterEditsOfTheSameRowStayOutOfEarlierStates) {
  TUndoBuffer buffer;
  TTable t;
  BuildGrid(t, 70, 4);  // more than one block of rows
  buffer.AddState(t, "Initial State");
  const std::string s0 = DumpContent(t);
  t.GetCell(66, 1)->SetText("first");
  buffer.AddState(t, "Typing first");
  const std::string s1 = DumpContent(t);
  t.GetCell(66, 2)->SetText("second");
  t.GetCell(66, 1)->RuleTop = 255;
  buffer.AddState(t, "Typing second");
  const std::string s2 = DumpContent(t);

  buffer.Undo(t, 1);
  EXPECT_EQ(DumpContent(t), s1);
  buffer.Undo(t, 1);
  EXPECT_EQ(DumpContent(t), s0);
  buffer.Redo(t, 2);
  EXPECT_EQ(DumpContent(t), s2);
}

// ---------------------------------------------------------------- random edits

// One random edit of the kinds the commands make, keeping the span invariant.
// With shapeKept, only edits that keep the lists and spans as they are.
void RandomEdit(TTable& t, std::mt19937& rng, bool shapeKept = false) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const int row = pick(t.RowCount());
  const int col = pick(t.ColCount());
  // Edits go to a block's own cell, as the commands' do.
  TCell* cell = t.GetCell(row, col)->BlockCell();
  static const char* const kTexts[] = {"", "x", "r0c0", "a text longer than sixteen bytes", "\xc3\xa9", "\xff"};
  static const int kShapeKept[] = {0, 1, 2, 3, 4, 5, 6, 12, 13, 14};
  switch (shapeKept ? kShapeKept[pick(10)] : pick(17)) {
    case 0:
    case 1:
    case 2:
      cell->SetText(kTexts[pick(6)]);
      break;
    case 3:
      t.SelectCell(cell);
      break;
    case 4:
      t.ClearSelection();
      t.SelectRowRange(pick(t.RowCount()), row);
      break;
    case 5:
      t.SelectColumn(col);
      break;
    case 6: {
      const int bottom = std::min(t.RowCount() - 1, row + pick(3));
      t.SetRules(TCellRect{0, row, t.ColCount() - 1, bottom}, pick(64), pick(2) ? 255 : 0);
      break;
    }
    case 7:
      t.InsertRow(row, pick(2) == 1);
      break;
    case 8:
      t.InsertColumn(col, pick(2) == 1);
      break;
    case 9:
      if (t.RowCount() > 2) t.DeleteRow(row);
      break;
    case 10:
      if (t.ColCount() > 2) t.DeleteColumn(col);
      break;
    case 11: {  // join with the next cell of the row
      TRow& r = *cell->Row();
      const int i = cell->Index();
      if (i + 1 < r.Count() && cell->RowSpan == 1 && r[i + 1]->RowSpan == 1 && !r[i + 1]->Covered()) {
        cell->Span += r[i + 1]->Span;
        r.Delete(i + 1);
      }
      break;
    }
    case 12:
      t.Rows[row]->Prefix = kTexts[pick(6)];
      t.Rows[row]->Postfix = kTexts[pick(6)];
      cell->Align = "\0lcr"[pick(4)];
      break;
    case 13:
      t.Columns[col]->Format = pick(2) ? "r" : "p{1cm}";
      if (pick(2)) t.Environment = pick(2) ? "tabular" : "array";
      t.Extra2 = kTexts[pick(6)];
      break;
    case 14:  // a flag written directly, past the select operations
      cell->Selected = pick(2) == 1;
      if (pick(2)) t.Rows[row]->Selected = pick(2) == 1;
      break;
    case 15: {  // a block over a few rows, if they are whole cells there
      const int c0 = cell->ColIndex();
      const TCellRect r{c0, row, c0 + cell->Span - 1 + pick(2), std::min(t.RowCount() - 1, row + 1 + pick(2))};
      try {
        if (r.Right < t.ColCount()) JoinCells(t, r)->SetBlockArgs({pick(2) ? "t" : "", "", pick(2) ? "*" : "2cm", ""});
      } catch (const EQuiltorError&) {
      }
      break;
    }
    case 16:
      SplitBlock(*cell);
      break;
  }
}

// Random edits, undos, redos and branches, each state checked against the
// content the table had when it was recorded. With idleReads the selection
// is read after each step as the window's idle pass reads it, which lets
// the history compare and restore only the rows that may have changed.
void RunRandomHistory(unsigned seed, bool shapeKept, bool idleReads) {
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  TUndoBuffer buffer;
  buffer.MaxLevels = 10000;
  TTable t;
  BuildGrid(t, 70, 5);
  std::vector<std::string> expected;  // parallel to the buffer's entries
  buffer.AddState(t, "Initial State");
  expected.push_back(DumpContent(t));
  // Whether the table holds the state at the history's position: reading
  // the selection can complete it to whole cells, a change of its own.
  bool holdsState = true;
  for (int step = 0; step < 300; ++step) {
    const unsigned action = rng() % 10;
    if (action < 6 || buffer.Count() == 1) {
      RandomEdit(t, rng, shapeKept);
      if (idleReads && rng() % 2) t.Selection();
      buffer.AddState(t, "edit");
      expected.resize(static_cast<size_t>(buffer.Position()));
      expected.push_back(DumpContent(t));
      holdsState = true;
    } else if (action < 8 && buffer.UndoCount() > 0) {
      // Now and then the table was changed without a recorded step (an
      // edit in progress): the undo must still give the recorded state.
      if (rng() % 4 == 0) RandomEdit(t, rng, shapeKept);
      if (idleReads && rng() % 2) t.Selection();
      buffer.Undo(t, 1 + static_cast<int>(rng() % static_cast<unsigned>(buffer.UndoCount())));
      holdsState = true;
    } else if (buffer.RedoCount() > 0) {
      buffer.Redo(t, 1 + static_cast<int>(rng() % static_cast<unsigned>(buffer.RedoCount())));
      holdsState = true;
    }
    ASSERT_EQ(buffer.Count(), static_cast<int>(expected.size()));
    if (holdsState) {
      ASSERT_EQ(DumpContent(t), expected[static_cast<size_t>(buffer.Position())]) << "step " << step;
    }
    if (idleReads) {
      // Read as the idle pass reads it, after the state was recorded. The
      // selection kept, after a restore too, is the one the flags hold. (No
      // other table is made here: that would change the shape count and
      // keep the history from its shortcuts.)
      const TSelection& kept = t.Selection();
      if (t.TakeSelectionGrowth()) holdsState = false;
      TArrayOfCells cells;
      TArrayOfInteger rows;
      for (int i = 0; i < t.RowCount(); ++i) {
        if (t.Rows[i]->Selected) rows.push_back(i);
        for (TCell* c : *t.Rows[i])
          if (c->Selected) cells.push_back(c);
      }
      ASSERT_EQ(kept.Cells, cells) << "step " << step;
      ASSERT_EQ(kept.Rows, rows) << "step " << step;
    }
  }
  // Every state the history still holds, from the oldest on.
  if (buffer.UndoCount() > 0) buffer.Undo(t, buffer.UndoCount());
  for (int i = 0;; ++i) {
    ASSERT_EQ(DumpContent(t), expected[static_cast<size_t>(i)]) << "entry " << i;
    if (buffer.RedoCount() == 0) break;
    buffer.Redo(t, 1);
  }
}

TEST(Snapshot, RandomHistoryRestoresEveryState) {
  for (unsigned seed : {1u, 2u}) RunRandomHistory(seed, false, false);
}

TEST(Snapshot, RandomHistoryWithIdleReadsRestoresEveryState) {
  for (unsigned seed : {3u, 4u}) {
    RunRandomHistory(seed, false, true);
    RunRandomHistory(seed, true, true);
  }
}

}  // namespace
