#include "common/gui/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "undo/UndoBuffers.h"

void WindowFixture::Start(const std::string& commandLineFile) {
  CreateUndoBuffer();
  StartAppModule();
  Form = new TMainForm(commandLineFile);
  Code = new TCodeForm(Form);
  // An opened document is redrawn, as with the window's own interface.
  Script.OnDocumentReplaced = [this] { Form->DocumentUI()->DocumentReplaced(); };
  SetDocumentUI(&Script);
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form));
  // The deferred start-up events: focus the grid, open the argument.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

void WindowFixture::Stop() {
  if (!Form) return;
  EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();
  Script.Errors.clear();
  delete Code;
  Code = nullptr;
  delete Form;
  Form = nullptr;
  Script.OnDocumentReplaced = nullptr;
  SetDocumentUI(nullptr);
  StopAppModule();
  FreeUndoBuffer();
}

::testing::AssertionResult WindowFixture::Run(QAction* action) {
  Form->RunCommand([this] { Form->UpdateCommandStates(); });
  const std::string name = action->text().isEmpty() ? action->toolTip().toStdString() : action->text().toStdString();
  if (!action->isEnabled()) return ::testing::AssertionFailure() << "\"" << name << "\" is disabled";
  // The button a user would click: one that shows this action on a toolbar
  // now. A split button's face is its left part; its arrow opens the list.
  for (QObject* o : action->associatedObjects()) {
    auto* button = qobject_cast<QToolButton*>(o);
    if (!button || button->defaultAction() != action || !button->isVisible()) continue;
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
    return ::testing::AssertionSuccess();
  }
  action->trigger();
  return ::testing::AssertionSuccess();
}

QWidget* WindowFixture::PaintBox() { return Form->PaintBox; }

void WindowFixture::NewTable(int rows, int cols) {
  Form->SetCurrentCell(nullptr);
  NewDocument(rows, cols);
  Form->RefreshGrid();
}

TCell* WindowFixture::JoinCells(int row, int index, int span) {
  // With the window's own Join, as a user does it: select, then click.
  Form->FocusGrid();
  Table().ClearSelection();
  TRow& r = *Table().Rows[row];
  for (int k = 0; k < span; ++k) Table().SelectCell(r[index + k]);
  EXPECT_TRUE(Run(Form->bJoin));
  return r[index];
}

void WindowFixture::SelectCells(std::initializer_list<TCell*> cells) {
  Table().ClearSelection();
  for (TCell* c : cells) Table().SelectCell(c);
  Form->UpdateCommandStates();
}

void WindowFixture::FocusEditor() {
  Form->Editor->setFocus(Qt::OtherFocusReason);
  QCoreApplication::processEvents();
}

QPoint WindowFixture::View(int x, int y) {
  return {x - Form->ScrollBox->HorzPosition(), y - Form->ScrollBox->VertPosition()};
}

QPoint WindowFixture::Centre(const TCell* c) {
  const TRect& b = c->BoundsRect;
  return View((b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2);
}

void WindowFixture::Press(QPoint p, Qt::KeyboardModifiers modifiers, Qt::MouseButton button) {
  QTest::mousePress(PaintBox(), button, modifiers, p);
}

void WindowFixture::Release(QPoint p, Qt::MouseButton button) { QTest::mouseRelease(PaintBox(), button, {}, p); }

void WindowFixture::Click(QPoint p, Qt::KeyboardModifiers modifiers) {
  Press(p, modifiers);
  Release(p);
}

void WindowFixture::Drag(QPoint p) { QTest::mouseMove(PaintBox(), p); }

void WindowFixture::Hover(QPoint p) {
  QMouseEvent move(QEvent::MouseMove, p, PaintBox()->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(PaintBox(), &move);
}

void WindowFixture::RunUntilIdle() {
  QEventLoop loop;
  QTimer::singleShot(30, &loop, &QEventLoop::quit);
  loop.exec();
}

std::vector<std::pair<int, int>> WindowFixture::SelectedCells() {
  std::vector<std::pair<int, int>> out;
  for (const TCell* c : Table().GetSelectedCells()) out.emplace_back(c->RowIndex(), c->ColIndex());
  return out;
}

std::vector<std::pair<int, int>> WindowFixture::Block(int top, int left, int bottom, int right) {
  std::vector<std::pair<int, int>> out;
  for (int r = top; r <= bottom; ++r)
    for (const TCell* c : *Table().Rows[r])
      if (c->ColIndex() + c->Span - 1 >= left && c->ColIndex() <= right) out.emplace_back(r, c->ColIndex());
  return out;
}
