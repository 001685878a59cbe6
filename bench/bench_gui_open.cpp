// Opening a native file of 1000 x 1000 cells as the user meets it: from the
// open to the first paint of its table - reading, the new document, its undo
// step, the layout and the picture. Each run opens a file of its own whose
// texts the window has not measured before, so that no run profits from
// the one before. Offscreen; run from a Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "forms/MainUnit.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace {

using TClock = std::chrono::steady_clock;


// An n x n file of three-letter texts, 1296 distinct ones, each run's
// unlike those of the run before. A native file holds at most 16 MiB of
// table data, about 12 bytes a cell besides its text, so the texts are short.
void WriteFile(const std::string& path, int n, int run) {
  TTable t;
  for (int c = 0; c < n; ++c) new TColumn(t);
  for (int r = 0; r < n; ++r) t.AddRow();
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  const char salt = static_cast<char>('A' + run % 26);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      const int k = r * c % 1296;
      t.GetCell(r, c)->SetText({salt, kDigits[k / 36], kDigits[k % 36]});
    }
  WriteDocumentFile(t, path);
}

void BM_OpenToFirstPaint(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TBenchEditor& e = Editor();
  TMainForm& form = *e.Form;
  TPaintWatch watch;
  form.PaintBox->installEventFilter(&watch);
  const std::string path = "/tmp/quiltor_bench_open.qtor";
  int run = 0;
  for (auto _ : state) {
    WriteFile(path, n, ++run);
    MarkSaved();
    QCoreApplication::processEvents();
    watch.Painted = false;
    const TClock::time_point start = TClock::now();
    bool opened = false;
    form.RunCommand([&] { opened = OpenFile(path); });
    while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    state.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
    if (!opened || CurrentTable->RowCount() != n) state.SkipWithError("Open did not happen");
  }
  form.PaintBox->removeEventFilter(&watch);
  std::remove(path.c_str());
}
BENCHMARK(BM_OpenToFirstPaint)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
