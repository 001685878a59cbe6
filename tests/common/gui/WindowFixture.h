#pragma once
// The main window shown offscreen over a fresh document, with the code
// preview beside it and a scripted user answering the document's questions.
// Tests drive it as a user would: clicks at the points the window itself
// reports for a cell (its BoundsRect, mapped into the paint box), keys, and
// commands through Run; results are read back from the table and widgets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPoint>
#include <QTest>
#include <QTimer>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// What every window test works with.
#include "common/ScriptedUI.h"
#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

class WindowFixture : public ::testing::Test {
 protected:
  // The next modal dialog of type TForm is answered by act once it is up.
  template <class TForm>
  void Answer(std::function<void(TForm&)> act) {
    QTimer::singleShot(0, [act] {
      auto* form = qobject_cast<TForm*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr) << "the dialog did not open";
      act(*form);
    });
  }

  void SetUp() override { Start(); }
  void TearDown() override { Stop(); }

  // A window over a new 4 x 4 document, up and idle once its deferred
  // start-up events (focus the grid, open the argument) have run.
  // commandLineFile: the program's argument; empty for none.
  void Start(const std::string& commandLineFile = {});
  // Closes down the window and the document; a second call does nothing.
  // An error box nobody expected fails the test: a failing handler is
  // caught by the window's guard and would pass unnoticed.
  void Stop();

  // Runs a command as the user does: the command states are brought up to
  // date (as the idle moment before any click does), and the command runs
  // only if it is enabled then - by a click on its toolbar button where it
  // has a visible one, else as its menu entry. A disabled command is not
  // run and gives a failure naming it.
  [[nodiscard]] ::testing::AssertionResult Run(QAction* action);

  TTable& Table() { return *CurrentTable; }
  TCell* Cell(int row, int col) { return Table().GetCell(row, col); }
  QWidget* PaintBox();

  // A new document of rows x cols, laid out.
  void NewTable(int rows, int cols);
  // Joins span cells of row, starting at cell index, into one with the Join
  // command (one undo step "Join"); the joined cell is then the selected and
  // the current cell, centred.
  TCell* JoinCells(int row, int index, int span);
  // Selects exactly these cells (cell selection) and updates the commands.
  void SelectCells(std::initializer_list<TCell*> cells);
  // Gives the cell editor the keyboard focus.
  void FocusEditor();

  // ---- the mouse on the grid
  // A table pixel as a point of the paint box.
  QPoint View(int x, int y);
  QPoint Centre(const TCell* c);
  void Press(QPoint p, Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton);
  void Release(QPoint p, Qt::MouseButton button = Qt::LeftButton);
  void Click(QPoint p, Qt::KeyboardModifiers modifiers = {});
  // A move with the button pressed before it held down.
  void Drag(QPoint p);
  // A move with no button down, as the pointer passes over the grid.
  void Hover(QPoint p);

  // Spins the real event loop until it has gone idle, so that posted events
  // (a re-sent key, a deferred edit) arrive and the idle update runs as it
  // does for the user.
  static void RunUntilIdle();

  // (row, column) of every selected cell, row by row.
  std::vector<std::pair<int, int>> SelectedCells();
  // Every cell of rows top..bottom that covers one of columns left..right.
  std::vector<std::pair<int, int>> Block(int top, int left, int bottom, int right);

  TScriptedUI Script;
  TMainForm* Form = nullptr;
  TCodeForm* Code = nullptr;
};
