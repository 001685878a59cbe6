// The drop-down list of the Undo and Redo buttons, with the mouse and with
// the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <string>
#include <vector>

#include "commands/HistoryList.h"
#include "forms/mainwindow/UndoListUnit.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace {

std::vector<int> HighlightedRows(const TUndoList& list) {
  std::vector<int> rows;
  for (int i = 0; i < list.List->count(); ++i)
    if (list.List->item(i)->isSelected()) rows.push_back(i);
  return rows;
}

QPoint EntryCentre(const TUndoList& list, int k) {
  return list.List->visualItemRect(list.List->item(k)).center();
}

void PointAt(TUndoList& list, int k) {
  QMouseEvent move(QEvent::MouseMove, EntryCentre(list, k), list.List->viewport()->mapToGlobal(EntryCentre(list, k)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(list.List->viewport(), &move);
}

struct Recorder {
  std::vector<int> Steps;
  void Attach(TUndoList& list) {
    QObject::connect(&list, &TUndoList::Chosen, [this](int steps) { Steps.push_back(steps); });
  }
};

}  // namespace

// Twelve steps: nine listed; pointing at the ninth and clicking takes nine
// steps in one go, and the list then offers the remaining three.
TEST(UndoList, TwelveStepsNineListedNinthUndoesNine) {
  TUndoBuffer history;
  TTable table;
  new TColumn(table);
  table.AddRow();
  history.AddState(table, "Initial State");
  for (int i = 1; i <= 12; ++i) {
    table.GetCell(0, 0)->SetText(std::to_string(i));
    history.AddState(table, "Step " + std::to_string(i));
  }
  TUndoList list(false);
  Recorder chosen;
  chosen.Attach(list);
  list.Fill(HistoryListCaptions(history, false), QApplication::font());
  list.popup(QPoint(0, 0));
  ASSERT_EQ(list.List->count(), 9);
  const int tallHeight = list.height();
  EXPECT_EQ(list.List->item(0)->text(), "Step 12");
  EXPECT_EQ(list.List->item(8)->text(), "Step 4");

  PointAt(list, 8);
  EXPECT_EQ(HighlightedRows(list).size(), 9u);
  EXPECT_EQ(list.Label->text(), "Undo 9 actions");
  QTest::mouseClick(list.List->viewport(), Qt::LeftButton, Qt::NoModifier, EntryCentre(list, 8));
  ASSERT_EQ(chosen.Steps, std::vector<int>{9});
  EXPECT_FALSE(list.isVisible());

  history.Undo(table, chosen.Steps.front());
  EXPECT_EQ(table.GetCell(0, 0)->Text(), "3");
  EXPECT_EQ(HistoryListCaptions(history, true).front(), "Step 4");
  list.Fill(HistoryListCaptions(history, false), QApplication::font());
  list.popup(QPoint(0, 0));
  EXPECT_EQ(list.List->count(), 3);
  EXPECT_LT(list.height(), tallHeight);  // no stale blank space below three entries
  EXPECT_EQ(HighlightedRows(list), std::vector<int>{0});  // rebuilt, not left at entry 8
}

TEST(UndoList, LabelCountsThePointedRange) {
  TUndoList undo(false);
  undo.Fill({"Typing a\tb", "Join", "Rules", "Align"}, QApplication::font());
  undo.popup(QPoint(0, 0));
  EXPECT_EQ(undo.List->item(0)->text(), "Typing a b");  // a TAB never splits the entry
  EXPECT_EQ(undo.Label->text(), "Undo 1 action");
  PointAt(undo, 2);
  EXPECT_EQ(HighlightedRows(undo), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(undo.Label->text(), "Undo 3 actions");
  PointAt(undo, 0);
  EXPECT_EQ(HighlightedRows(undo), std::vector<int>{0});
  EXPECT_EQ(undo.Label->text(), "Undo 1 action");
  undo.close();

  TUndoList redo(true);
  redo.Fill({"Join", "Rules"}, QApplication::font());
  redo.popup(QPoint(0, 0));
  PointAt(redo, 1);
  EXPECT_EQ(redo.Label->text(), "Redo 2 actions");
  // Wide enough for the longest label whatever the captions.
  EXPECT_GE(redo.List->width(), QFontMetrics(QApplication::font()).horizontalAdvance("Undo 999 actions"));
  redo.close();
}

TEST(UndoList, KeyboardExtendsChoosesAndCloses) {
  TUndoList list(false);
  Recorder chosen;
  chosen.Attach(list);
  list.Fill({"a", "b", "c", "d"}, QApplication::font());
  list.popup(QPoint(0, 0));
  for (int i = 0; i < 5; ++i) QTest::keyClick(&list, Qt::Key_Down);  // stops at the last entry
  EXPECT_EQ(list.Label->text(), "Undo 4 actions");
  QTest::keyClick(&list, Qt::Key_Up);
  QTest::keyClick(&list, Qt::Key_Up);
  EXPECT_EQ(HighlightedRows(list), (std::vector<int>{0, 1}));
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(chosen.Steps, std::vector<int>{2});
  EXPECT_FALSE(list.isVisible());

  list.Fill({"a", "b"}, QApplication::font());
  list.popup(QPoint(0, 0));
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Escape);
  EXPECT_FALSE(list.isVisible());
  EXPECT_EQ(chosen.Steps, std::vector<int>{2});  // Escape chose nothing
}
