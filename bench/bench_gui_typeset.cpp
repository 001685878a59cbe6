// The typeset preview: from the last keystroke to the new picture on show
// (the pause after the change, the pdflatex run and the rendering), on a
// 20 x 10 table, one keystroke per repetition so that the median is the
// median of single updates; and the keystroke itself with the panel shown
// and hidden, as bench_gui_typing measures it. Offscreen; run from a
// Release build on a machine with pdflatex.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <string>

#include "GuiBenchEditor.h"
#include "forms/preview/TypesetPanel.h"
#include "typeset/TypesetRunner.h"

namespace {

// Far beyond any real run; a benchmark that reaches it reports an error.
constexpr int kGiveUpMs = 30000;

void Prepare(int rows, int columns, bool panel) {
  Editor().Form->TypesetPanel->setVisible(panel);
  PrepareTyping(Editor(), rows, columns, 3);
}

// Waits until the panel shows the result of a request made after now.
bool WaitForNewPicture(TTypesetPanel& panel, uint64_t after) {
  if (panel.Order().Shown() > after) return panel.Problem().isEmpty();
  QEventLoop loop;
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
  QObject::connect(&panel, &TTypesetPanel::Updated, &loop, [&] {
    if (panel.Order().Shown() > after) loop.quit();
  });
  giveUp.start(kGiveUpMs);
  loop.exec();
  return panel.Order().Shown() > after && panel.Problem().isEmpty();
}

void BM_KeystrokeToPicture(benchmark::State& state) {
  if (FindPdfLatex().isEmpty()) {
    state.SkipWithError("pdflatex is not on PATH");
    return;
  }
  Prepare(20, 10, true);
  TTypesetPanel& panel = *Editor().Form->TypesetPanel;
  QWidget* editor = Editor().Form->Editor;
  // The first picture, so that every measured update replaces one.
  WaitForNewPicture(panel, 0);
  for (auto _ : state) {
    const uint64_t before = panel.Order().Requested();
    QElapsedTimer clock;
    clock.start();
    // Always a letter: each keystroke changes the cell (the text grows by
    // one letter a repetition).
    SendKeystroke(editor, true);
    if (!WaitForNewPicture(panel, before)) {
      state.SkipWithError(("no new picture: " + panel.Problem().toStdString()).c_str());
      break;
    }
    state.SetIterationTime(clock.nsecsElapsed() / 1e9);
  }
  state.SetLabel("20 x 10, pause included");
}
BENCHMARK(BM_KeystrokeToPicture)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(21)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// One keystroke as in bench_gui_typing, the panel shown or hidden. While
// the user types, each keystroke restarts the pause; a run that is under
// way goes on in its own process.
void BM_TypeOneCharacterWithPanel(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool panel = state.range(1) != 0;
  Prepare(n, n, panel);
  TypeWhileTimed(state, Editor());
  state.SetLabel(panel ? "typeset panel shown" : "typeset panel hidden");
}
BENCHMARK(BM_TypeOneCharacterWithPanel)
    ->ArgsProduct({{20, 100}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace
