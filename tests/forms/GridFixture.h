#pragma once
// A main window shown offscreen over a fresh document, for the tests that
// drive the grid with the mouse and the keyboard. Clicks go to the points
// the window itself reports for a cell (its BoundsRect, mapped into the
// paint box); results are read back from the table and the widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "document/AppModule.h"
#include "forms/CodeUnit.h"
#include "forms/MainUnit.h"
#include "JoinCells.h"
#include "forms/QtDocumentUI.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace gridtest {

// Records what the window would show in message boxes; answers everything
// else with Cancel.
class TRecordingUI : public TDocumentUI {
 public:
  std::vector<std::string> Errors;
  TSaveAnswer AskSaveChanges(const std::string&, const std::string&) override { return TSaveAnswer::Cancel; }
  bool ExecuteOpenDialog(TFileDialog&) override { return false; }
  bool ExecuteSaveDialog(TFileDialog&) override { return false; }
  bool ExecuteImportDialog(const std::vector<std::string>&, const std::string&, std::string&, bool&) override {
    return false;
  }
  void SetCaption(const std::string&) override {}
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void DocumentReplaced() override {
    if (MainForm) MainForm->DocumentUI()->DocumentReplaced();
  }
};

class GridFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateUndoBuffer();
    StartAppModule();
    Form = new TMainForm();
    Code = new TCodeForm(Form);
    SetDocumentUI(&UI);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form));
    // The deferred start-up events: focus the grid, open the argument.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    // A handler that failed was caught by the window's guard; it must not
    // pass unnoticed.
    EXPECT_TRUE(UI.Errors.empty()) << UI.Errors.front();
    delete Code;
    delete Form;
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
  }

  TTable& Table() { return *CurrentTable; }
  TCell* Cell(int row, int col) { return Table().GetCell(row, col); }
  QWidget* PaintBox() { return Form->PaintBox; }

  // A new document of rows x cols, laid out.
  void NewTable(int rows, int cols) {
    Form->SetCurrentCell(nullptr);
    NewDocument(rows, cols);
    Form->RefreshGrid();
  }

  // Joins span cells of row starting at cell index into one.
  TCell* JoinCells(int row, int index, int span) {
    TCell* c = JoinRowCells(Table(), row, index, span);
    Form->RefreshGrid();
    return c;
  }

  // A table pixel as a point of the paint box.
  QPoint View(int x, int y) { return {x - Form->ScrollBox->HorzPosition(), y - Form->ScrollBox->VertPosition()}; }
  QPoint Centre(const TCell* c) {
    const TRect& b = c->BoundsRect;
    return View((b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2);
  }

  void Press(QPoint p, Qt::KeyboardModifiers modifiers = {}, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(PaintBox(), button, modifiers, p);
  }
  void Release(QPoint p, Qt::MouseButton button = Qt::LeftButton) { QTest::mouseRelease(PaintBox(), button, {}, p); }
  void Click(QPoint p, Qt::KeyboardModifiers modifiers = {}) {
    Press(p, modifiers);
    Release(p);
  }
  // A move with the button pressed before it held down.
  void Drag(QPoint p) { QTest::mouseMove(PaintBox(), p); }
  // A move with no button down, as the pointer passes over the grid.
  void Hover(QPoint p) {
    QMouseEvent move(QEvent::MouseMove, p, PaintBox()->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(PaintBox(), &move);
  }

  // Lets the event loop deliver what was posted (a re-sent key, a deferred
  // edit) and go idle.
  static void RunUntilIdle() {
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
  }

  std::vector<std::pair<int, int>> SelectedCells() {
    std::vector<std::pair<int, int>> out;
    for (const TCell* c : Table().GetSelectedCells()) out.emplace_back(c->RowIndex(), c->ColIndex());
    return out;
  }
  // Every cell of rows top..bottom that covers one of columns left..right.
  std::vector<std::pair<int, int>> Block(int top, int left, int bottom, int right) {
    std::vector<std::pair<int, int>> out;
    for (int r = top; r <= bottom; ++r)
      for (const TCell* c : *Table().Rows[r])
        if (c->ColIndex() + c->Span - 1 >= left && c->ColIndex() <= right) out.emplace_back(r, c->ColIndex());
    return out;
  }

  TRecordingUI UI;
  TMainForm* Form = nullptr;
  TCodeForm* Code = nullptr;
};

}  // namespace gridtest
