// Events other than typed characters, each with the idle pass the event
// loop runs after it (RunUntilIdle), on tables of 10 x 10 to 1000 x 1000
// cells: the pointer moving over the grid, a wake of the loop with nothing
// to do (a caret blink costs one), an edit committed with Enter, and the
// undo of such an edit. Offscreen; run from a Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include "GuiBenchEditor.h"
#include "forms/grid/GridView.h"
#include "model/Tables.h"

namespace {

constexpr int kAt = 5;

void Prepare(int n) {
  Editor().Code->hide();
  PrepareTyping(Editor(), n, n, kAt);
  RunUntilIdle();
}

// The pointer moves between two points inside cells of the grid, no button
// down.
void BM_PointerMotion(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  Editor().Form->FocusGrid();
  QWidget* view = Editor().Form->ScrollBox->viewport();
  const QPointF points[2] = {QPointF(40, 40), QPointF(60, 45)};
  int k = 0;
  for (auto _ : state) {
    const QPointF p = points[++k % 2];
    QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    RunUntilIdle();
  }
}
BENCHMARK(BM_PointerMotion)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// One wake of the loop with nothing else to do, the editor holding the
// focus: what a caret blink costs beyond drawing the caret.
void BM_IdleWake(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) RunUntilIdle();
  Editor().Form->FocusGrid();
}
BENCHMARK(BM_IdleWake)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(to, &release);
}

// A character typed into the cell, or one taken away, in turn, so that the
// text stays short; the loop idle again afterwards.
void TypeCharacter() {
  static bool letter = false;
  letter = !letter;
  PrepareTyping(Editor(), CurrentTable->RowCount(), CurrentTable->ColCount(), kAt);
  SendKeystroke(Editor().Form->Editor, letter);
  QCoreApplication::processEvents();
  RunUntilIdle();
}

// Enter in the editor ends the edit (one undo step), moves to the cell
// below and selects it; then the idle pass. False when the key did not
// reach the window, which would leave nothing measured.
bool PressEnter() {
  const TCell* before = CurrentTable->CurrentCell;
  SendKey(Editor().Form->Editor, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  QCoreApplication::processEvents();
  RunUntilIdle();
  return CurrentTable->CurrentCell != before;
}

void BM_EnterCommittedEdit(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TypeCharacter();
    state.ResumeTiming();
    if (!PressEnter()) {
      state.SkipWithError("Enter did not reach the editor");
      break;
    }
  }
  Editor().Form->FocusGrid();
}
BENCHMARK(BM_EnterCommittedEdit)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The undo of an edit committed with Enter, as Ctrl+Z on the grid runs it
// (the menu entry that carries the key), then the idle pass.
void BM_UndoEnterCommittedEdit(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TypeCharacter();
    if (!PressEnter()) {
      state.SkipWithError("Enter did not reach the editor");
      break;
    }
    state.ResumeTiming();
    Editor().Form->mnUndo->trigger();
    QCoreApplication::processEvents();
    RunUntilIdle();
  }
}
BENCHMARK(BM_UndoEnterCommittedEdit)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
