#include "undo/UndoBuffers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TableDump.h"
#include "model/Tables.h"

namespace {

// A history over a small table; Edit changes the table and records a step,
// so every state is distinguishable by the text of cell (0, 0).
class UndoHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildGrid(table, 3, 3);
    buffer.AddState(table, "Initial State");
  }

  void Edit(const std::string& caption) {
    table.GetCell(0, 0)->SetText(caption);
    buffer.AddState(table, caption);
  }

  std::string Text00() const { return table.GetCell(0, 0)->Text(); }

  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (int i = 0; i < buffer.Count(); ++i) out.push_back(buffer.EntryAt(i)->Caption);
    return out;
  }

  TTable table;
  TUndoBuffer buffer;
};

using Strings = std::vector<std::string>;

TEST_F(UndoHistory, StartsWithOneUnmodifiedState) {
  TUndoBuffer fresh;
  EXPECT_EQ(fresh.Position(), -1);
  EXPECT_EQ(fresh.ChangeCount(), -1);
  EXPECT_EQ(fresh.MaxLevels, 100);

  EXPECT_EQ(buffer.Count(), 1);
  EXPECT_EQ(buffer.UndoCount(), 0);
  EXPECT_EQ(buffer.RedoCount(), 0);
  EXPECT_EQ(buffer.ChangeCount(), 0);
  EXPECT_FALSE(buffer.Modified());
  EXPECT_EQ(buffer.EntryAt(0)->Caption, "Initial State");
  EXPECT_EQ(buffer.EntryAt(1), nullptr);
  EXPECT_EQ(buffer.EntryAt(-1), nullptr);
}

TEST_F(UndoHistory, CountsAndCaptionsAfterMixedUndoAndRedo) {
  Edit("A");
  Edit("B");
  Edit("C");
  EXPECT_EQ(buffer.UndoCount(), 3);
  EXPECT_EQ(buffer.UndoCaption(0), "C");
  EXPECT_EQ(buffer.UndoCaption(2), "A");
  EXPECT_EQ(buffer.ChangeCount(), 3);

  buffer.Undo(table, 2);
  EXPECT_EQ(Text00(), "A");
  EXPECT_EQ(buffer.UndoCount(), 1);
  EXPECT_EQ(buffer.RedoCount(), 2);
  EXPECT_EQ(buffer.UndoCaption(0), "A");
  EXPECT_EQ(buffer.RedoCaption(0), "B");
  EXPECT_EQ(buffer.RedoCaption(1), "C");
  EXPECT_EQ(buffer.ChangeCount(), 1);

  buffer.Redo(table, 1);
  EXPECT_EQ(Text00(), "B");
  EXPECT_EQ(buffer.UndoCaption(0), "B");
  EXPECT_EQ(buffer.RedoCaption(0), "C");
  EXPECT_EQ(buffer.ChangeCount(), 2);

  buffer.Undo(table, 2);
  EXPECT_EQ(Text00(), "r0c0");
  EXPECT_EQ(buffer.UndoCount(), 0);
  EXPECT_EQ(buffer.RedoCount(), 3);
  EXPECT_EQ(buffer.ChangeCount(), 0);

  // Redo of several steps lands on the last of them in one copy.
  buffer.Redo(table, 3);
  EXPECT_EQ(Text00(), "C");
  EXPECT_EQ(buffer.ChangeCount(), 3);
}

TEST_F(UndoHistory, NewStepDropsRedoSide) {
  Edit("A");
  Edit("B");
  Edit("C");
  buffer.Undo(table, 2);
  Edit("D");
  EXPECT_EQ(Captions(), (Strings{"Initial State", "A", "D"}));
  EXPECT_EQ(buffer.RedoCount(), 0);
  EXPECT_EQ(buffer.UndoCount(), 2);
  EXPECT_EQ(buffer.ChangeCount(), 2);
}

// Trimming: before a step is recorded, the oldest entries go while the list
// (redo side included) holds MaxLevels or more and the current state is not
// the oldest.
TEST_F(UndoHistory, TrimmingKeepsTheLimit) {
  struct Case {
    const char* name;
    int maxLevels;
    int edits;        // A, B, C, ... after the initial state
    int undoBefore;   // steps undone before the last edit "Z"
    Strings expected;
    int position;
  };
  const Case cases[] = {
      // The redo side counts while trimming: [A, B, C] at B, record Z: A goes
      // (three entries are not fewer than 3), then C.
      {"redo side counts", 3, 2, 1, {"A", "Z"}, 1},
      {"limit 0 still keeps one undo", 0, 3, 0, {"C", "Z"}, 1},
      {"limit 1 still keeps one undo", 1, 3, 0, {"C", "Z"}, 1},
      {"limit 2", 2, 3, 0, {"C", "Z"}, 1},
      {"limit 4", 4, 5, 0, {"C", "D", "E", "Z"}, 3},
      // At the oldest state nothing can be trimmed: only the redo side goes.
      {"current state oldest", 2, 1, 1, {"Initial State", "Z"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUndoBuffer b;
    TTable t;
    BuildGrid(t, 2, 2);
    b.MaxLevels = c.maxLevels;
    b.AddState(t, "Initial State");
    for (int i = 0; i < c.edits; ++i) b.AddState(t, std::string(1, static_cast<char>('A' + i)));
    if (c.undoBefore > 0) b.Undo(t, c.undoBefore);
    EXPECT_EQ(b.AddState(t, "Z"), c.position);
    Strings captions;
    for (int i = 0; i < b.Count(); ++i) captions.push_back(b.EntryAt(i)->Caption);
    EXPECT_EQ(captions, c.expected);
    EXPECT_EQ(b.Position(), c.position);
    EXPECT_EQ(b.RedoCount(), 0);
  }
}

TEST_F(UndoHistory, NeverMoreThanMaxLevelsEntries) {
  for (int i = 0; i < 150; ++i) Edit("E" + std::to_string(i));
  EXPECT_EQ(buffer.Count(), 100);
  EXPECT_EQ(buffer.UndoCount(), 99);
  EXPECT_EQ(buffer.EntryAt(0)->Caption, "E50");
  EXPECT_EQ(buffer.ChangeCount(), 150);
}

TEST_F(UndoHistory, LoweredLimitTakesEffectAtNextStep) {
  for (int i = 1; i < 50; ++i) Edit("E" + std::to_string(i));
  ASSERT_EQ(buffer.Count(), 50);
  buffer.MaxLevels = 10;
  EXPECT_EQ(buffer.Count(), 50);
  Edit("last");
  EXPECT_EQ(buffer.Count(), 10);
  EXPECT_EQ(buffer.EntryAt(0)->Caption, "E41");
  // The oldest kept state restores exactly.
  buffer.Undo(table, 9);
  EXPECT_EQ(Text00(), "E41");
}

// Requests beyond the history are programming errors: they name the unit and
// change nothing.
TEST_F(UndoHistory, OutOfRangeRequestsFailWithoutChange) {
  Edit("A");
  Edit("B");
  buffer.Undo(table, 1);
  table.GetCell(1, 1)->SetText("live");
  const std::string before = DumpContent(table);

  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"undo past the oldest", [&] { buffer.Undo(table, 2); }},
      {"undo zero steps", [&] { buffer.Undo(table, 0); }},
      {"redo past the newest", [&] { buffer.Redo(table, 2); }},
      {"redo negative", [&] { buffer.Redo(table, -1); }},
      {"undo caption past the oldest", [&] { buffer.UndoCaption(2); }},
      {"redo caption past the newest", [&] { buffer.RedoCaption(1); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    try {
      call();
      ADD_FAILURE() << "no assertion";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Unit(), "UndoBuffers");
      EXPECT_EQ(std::string(e.what()).rfind("Assertion failure (UndoBuffers, line ", 0), 0u) << e.what();
    }
    EXPECT_EQ(buffer.Position(), 1);
    EXPECT_EQ(buffer.ChangeCount(), 1);
    EXPECT_EQ(DumpContent(table), before);
  }
}

// An undo restores the content only: the view state and the document's
// identity stay with the live table, and no cell is current.
TEST_F(UndoHistory, RestoreKeepsViewStateAndClearsCurrentCell) {
  table.SelectCell(table.GetCell(1, 1));
  table.Columns[2]->Selected = true;
  table.Rows[0]->Selected = true;
  buffer.AddState(table, "selected");
  const std::string selected = DumpContent(table);
  table.ClearSelection();
  table.SelectRow(2);
  table.GetCell(2, 2)->SetText("x");
  buffer.AddState(table, "other");

  table.FileName = "/tmp/t.qtor";
  table.Title = "t";
  table.FontName = "Courier New";
  table.FontSize = 14;
  table.ShowGrid = false;
  table.HasFocus = true;
  table.CurrentCell = table.GetCell(0, 0);

  buffer.Undo(table, 1);
  EXPECT_EQ(DumpContent(table), selected);
  EXPECT_EQ(table.CurrentCell, nullptr);
  EXPECT_EQ(table.FileName, "/tmp/t.qtor");
  EXPECT_EQ(table.Title, "t");
  EXPECT_EQ(table.FontName, "Courier New");
  EXPECT_EQ(table.FontSize, 14);
  EXPECT_FALSE(table.ShowGrid);
  EXPECT_TRUE(table.HasFocus);
  EXPECT_EQ(table.SelectionMode, smRows);
  EXPECT_EQ(table.AnchorRow, 2);
  for (const TRow* r : table.Rows) {
    EXPECT_EQ(r->Table(), &table);
    for (const TCell* c : *r) EXPECT_EQ(c->Row(), r);
  }
}

// ---------------------------------------------------------------- modified state

// Sequences of edits (e), saves (s), undos (u) and redos (r), with the
// modified state after each: M modified, - not.
TEST_F(UndoHistory, ModifiedState) {
  struct Case {
    const char* name;
    const char* actions;
    const char* modified;
  };
  const Case cases[] = {
      // Every state but the saved one differs from the file, on either side.
      {"save, then undo: modified; redo: back at the saved state", "esureu", "M-M-M-"},
      {"undo of two steps past the save, redo of one", "eesuur", "MM-MMM"},
      // Save, undo, edit: the counter is back at 0, but the saved state was on
      // the redo side the edit dropped; nothing brings it back until a save.
      {"edit after undoing past the save", "eesueurs", "MM-MMMM-"},
      {"undo past the save after the loss", "eesueuuru", "MM-MMMMMM"},
      {"dropping redo steps after the save keeps it", "eseueu", "M-M-M-"},
      {"save after the loss clears it", "esuesu", "M-MM-M"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TUndoBuffer b;
    TTable t;
    BuildGrid(t, 2, 2);
    b.AddState(t, "Initial State");
    std::string got;
    int edits = 0;
    for (const char* a = c.actions; *a; ++a) {
      switch (*a) {
        case 'e':
          t.GetCell(0, 0)->SetText(std::to_string(++edits));
          b.AddState(t, "edit");
          break;
        case 's':
          b.ResetChangeCount();
          break;
        case 'u':
          b.Undo(t, 1);
          break;
        case 'r':
          b.Redo(t, 1);
          break;
      }
      got += b.Modified() ? 'M' : '-';
    }
    EXPECT_EQ(got, c.modified);
  }
}

// The counter keeps its arithmetic when the saved state is lost.
TEST_F(UndoHistory, ChangeCountAfterLosingTheSavedState) {
  Edit("A");
  buffer.ResetChangeCount();
  buffer.Undo(table, 1);
  EXPECT_EQ(buffer.ChangeCount(), -1);
  Edit("B");
  EXPECT_EQ(buffer.ChangeCount(), 0);
  EXPECT_TRUE(buffer.SavedStateLost());
  EXPECT_EQ(buffer.UndoCaption(0), "B");
}

// After a paste grew the table and an undo shrank it (or a redo of a delete),
// a Shift-click ranges from the anchor: one outside the table must count as
// none, or the range walks past the last row or column.
TEST_F(UndoHistory, AnchorsOutsideTheRestoredTableCountAsNone) {
  struct Case {
    const char* name;
    bool viaRedo;
  };
  for (const Case c : {Case{"undo of a paste", false}, Case{"redo of a delete", true}}) {
    SCOPED_TRACE(c.name);
    TTable t;
    TUndoBuffer b;
    BuildGrid(t, c.viaRedo ? 6 : 3, c.viaRedo ? 6 : 3);
    b.AddState(t, "Initial State");
    BuildGrid(t, c.viaRedo ? 3 : 6, c.viaRedo ? 3 : 6);
    b.AddState(t, c.viaRedo ? "Delete rows" : "Paste from clipboard");
    if (c.viaRedo) b.Undo(t, 1);
    t.SelectRow(5);
    t.AnchorCol = 4;
    if (c.viaRedo) b.Redo(t, 1);
    else b.Undo(t, 1);
    ASSERT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.AnchorRow, -1);
    EXPECT_EQ(t.AnchorCol, -1);
    EXPECT_NO_THROW(t.SelectRowRange(t.AnchorRow, 2));
    EXPECT_NO_THROW(t.SelectColumnRange(t.AnchorCol, 2));
  }
}

// The states from a New or an Open on carry that document's name; Save As
// renames the run it happens in, not the states of the document before.
TEST_F(UndoHistory, StatesKeepTheNameOfTheirDocument) {
  table.FileName = "/d/a.qtor";
  table.Title = "a";
  Edit("a1");                      // 1: a
  buffer.StartDocument();          // an open
  table.FileName = "/d/b.qtor";
  table.Title = "b";
  Edit("Opening file");            // 2: b
  Edit("b1");                      // 3: b
  table.FileName = "/d/c.csv";     // Save As
  table.Title = "c";
  buffer.TakeDocumentName(table);
  Edit("c1");                      // 4: c

  auto name = [this] { return Text00() + "@" + table.FileName + "|" + table.Title; };
  buffer.Undo(table, 2);
  EXPECT_EQ(name(), "Opening file@/d/c.csv|c");  // an edit before the Save As keeps the new name
  buffer.Undo(table, 1);
  EXPECT_EQ(name(), "a1@/d/a.qtor|a");
  buffer.Undo(table, 1);
  EXPECT_EQ(name(), "r0c0@/d/a.qtor|a");  // the initial state was named with the first edit
  buffer.Redo(table, 2);
  EXPECT_EQ(name(), "Opening file@/d/c.csv|c");

  // A name taken while a new document is pending would rename the old run.
  buffer.Undo(table, 1);
  buffer.StartDocument();
  table.FileName = "";
  table.Title = "Untitled";
  buffer.TakeDocumentName(table);
  Edit("New Table");
  buffer.Undo(table, 1);
  EXPECT_EQ(name(), "a1@/d/a.qtor|a");
  buffer.Redo(table, 1);
  EXPECT_EQ(name(), "New Table@|Untitled");
}

// ---------------------------------------------------------------- document level

class DocumentHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateUndoBuffer();
    BuildGrid(document, 4, 4);
    SetUndoDocument(&document);
    SetUndoCaptionRefresh([this] { ++refreshes; });
    RecordUndo("Initial State");
  }
  void TearDown() override {
    SetUndoCaptionRefresh(nullptr);
    SetUndoDocument(nullptr);
    FreeUndoBuffer();
  }

  TTable document;
  int refreshes = 0;
};

TEST_F(DocumentHistory, StepsActOnTheDocumentAndRefreshTheCaption) {
  EXPECT_FALSE(DocumentModified());
  document.GetCell(3, 3)->SetText("edited");
  RecordUndo("Typing edited");
  EXPECT_TRUE(DocumentModified());
  EXPECT_EQ(ChangeCount(), 1);
  EXPECT_EQ(UndoCount(), 1);
  EXPECT_EQ(UndoCaption(0), "Typing edited");
  EXPECT_EQ(refreshes, 0);

  UndoSteps(1);
  EXPECT_EQ(document.GetCell(3, 3)->Text(), "r3c3");
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(RedoCount(), 1);
  EXPECT_EQ(RedoCaption(0), "Typing edited");
  RedoSteps(1);
  EXPECT_EQ(document.GetCell(3, 3)->Text(), "edited");
  EXPECT_EQ(refreshes, 2);

  MarkSaved();
  EXPECT_EQ(ChangeCount(), 0);
  EXPECT_FALSE(DocumentModified());
  UndoSteps(1);
  EXPECT_TRUE(DocumentModified());
  RedoSteps(1);
  EXPECT_FALSE(DocumentModified());
  UndoSteps(1);
  document.GetCell(0, 0)->SetText("new");
  RecordUndo("Typing new");
  EXPECT_EQ(ChangeCount(), 0);
  EXPECT_TRUE(DocumentModified());
}

TEST_F(DocumentHistory, WithoutDocumentOrHistoryTheCallsFail) {
  SetUndoDocument(nullptr);
  EXPECT_THROW(RecordUndo("x"), EAssertionFailed);
  EXPECT_THROW(UndoSteps(1), EAssertionFailed);
  SetUndoDocument(&document);
  FreeUndoBuffer();
  EXPECT_THROW(ChangeCount(), EAssertionFailed);
  EXPECT_THROW(RecordUndo("x"), EAssertionFailed);
}

}  // namespace
