// Opening a native file of 1000 x 1000 cells as the user meets it: from the
// open to the first paint of its table - reading, the new document, its undo
// step, the layout and the picture. Each run opens a file of its own whose
// texts the window has not measured before, so that no run profits from
// the one before. Offscreen; run from a Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "forms/mainwindow/MainUnit.h"
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

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long value = -1;
  const size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, n) == 0 && line[n] == ':') value = std::atol(line + n + 1);
  std::fclose(f);
  return value;
}

// The memory the open needs at its peak against what the opened table (with
// its undo step) holds afterwards, both above what the process held before:
// PeakMiB, LoadedMiB and their ratio. Run first and once in its process
// (the benchmark filter), so that no freed table lends it memory.
void BM_OpenPeakMemory(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TBenchEditor& e = Editor();
  TMainForm& form = *e.Form;
  TPaintWatch watch;
  form.PaintBox->installEventFilter(&watch);
  const std::string path = "/tmp/quiltor_bench_open_memory.qtor";
  WriteFile(path, n, 1);
  MarkSaved();
  QCoreApplication::processEvents();
  malloc_trim(0);
  long before = 0;
  long peak = 0;
  long loaded = 0;
  for (auto _ : state) {
    // Writing 5 to clear_refs starts the high-water mark afresh.
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);
      std::fclose(f);
    }
    before = StatusKiB("VmRSS");
    watch.Painted = false;
    bool opened = false;
    form.RunCommand([&] { opened = OpenFile(path); });
    while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!opened || CurrentTable->RowCount() != n) state.SkipWithError("Open did not happen");
    peak = StatusKiB("VmHWM") - before;
    loaded = StatusKiB("VmRSS") - before;
  }
  state.counters["PeakMiB"] = static_cast<double>(peak) / 1024;
  state.counters["LoadedMiB"] = static_cast<double>(loaded) / 1024;
  state.counters["PeakPerLoaded"] = loaded > 0 ? static_cast<double>(peak) / static_cast<double>(loaded) : 0;
  form.PaintBox->removeEventFilter(&watch);
  std::remove(path.c_str());
}
BENCHMARK(BM_OpenPeakMemory)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
