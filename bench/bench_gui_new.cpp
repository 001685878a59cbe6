// New at 1000 x 1000 cells as the user meets it: from the OK of the New
// dialog to the first paint of the new table - the new document, its undo
// step, the layout and the picture. Each run replaces a table of the same
// size, as a user making a second large table does. Offscreen; run from a
// Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <chrono>

#include "GuiBenchEditor.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/dialogs/NewTableUnit.h"

namespace {

using TClock = std::chrono::steady_clock;


void BM_NewToFirstPaint(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TBenchEditor& e = Editor();
  TMainForm& form = *e.Form;
  TPaintWatch watch;
  form.PaintBox->installEventFilter(&watch);
  for (auto _ : state) {
    TClock::time_point start;
    QTimer::singleShot(0, [&] {
      TNewForm* dialog = form.NewForm;
      dialog->ColCount->setValue(n);
      dialog->RowCount->setValue(n);
      start = TClock::now();
      dialog->bOK->click();
    });
    watch.Painted = false;
    form.RunCommand([&] { form.bNewClick(); });
    while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    state.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
    if (CurrentTable->RowCount() != n || CurrentTable->ColCount() != n) state.SkipWithError("New did not happen");
  }
  form.PaintBox->removeEventFilter(&watch);
}
BENCHMARK(BM_NewToFirstPaint)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
