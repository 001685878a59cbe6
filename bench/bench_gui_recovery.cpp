// What recovery data costs the user while typing: one keystroke in the cell
// editor with recovery off and on (every second, so that several recovery
// writes fall into each measurement), on tables of 100 x 100 and 1000 x 1000
// cells; and the two halves of one recovery write on their own: the picture
// taken on the UI thread, and the bytes made and written on the writer's
// thread. Offscreen, recovery data in a temporary folder; run from a
// Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "document/Recovery.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/mainwindow/RecoveryController.h"
#include "undo/Snapshot.h"
#include "undo/UndoBuffers.h"

namespace {

// The recovery folder goes to a temporary state folder before the window
// (and with it the recovery controller) is made.
TBenchEditor& RecoveryEditor() {
  static const std::string state = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "quiltor-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    setenv("XDG_STATE_HOME", pattern.c_str(), 1);
    return pattern;
  }();
  return Editor();
}

void Prepare(int n) { PrepareTyping(RecoveryEditor(), n, n, 5); }

// range(1): the recovery interval in seconds, 0 for off.
void BM_TypeWithRecovery(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  RecoveryInterval = static_cast<int>(state.range(1));
  Prepare(n);
  TRecoveryWriter& writer = RecoveryEditor().Form->Recovery().Writer();
  const int writesBefore = writer.WriteCount();
  TypeWhileTimed(state, RecoveryEditor());
  writer.Flush();
  state.counters["recovery writes"] = writer.WriteCount() - writesBefore;
  state.SetLabel(RecoveryInterval ? "recovery every 1 s" : "recovery off");
  RecoveryInterval = kDefaultRecoveryInterval;
}
BENCHMARK(BM_TypeWithRecovery)
    ->ArgsProduct({{100, 1000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(5.0);

// The UI thread's half: picturing the table after one changed cell.
void BM_RecoveryPicture(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  const Snapshots::TSnapshot& base = UndoBuffer->EntryAt(UndoBuffer->Position())->Snapshot();
  int k = 0;
  for (auto _ : state) {
    CurrentTable->GetCell(5, 5)->SetText(++k % 2 ? "5x" : "5");
    benchmark::DoNotOptimize(Snapshots::TSnapshot::Capture(*CurrentTable, &base));
  }
}
BENCHMARK(BM_RecoveryPicture)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The writer's half: the native bytes of the picture, then both files
// through the safe save.
void BM_RecoveryWrite(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  const Snapshots::TSnapshotPtr picture = Snapshots::TSnapshot::Capture(*CurrentTable, nullptr);
  TRecoveryWriter writer(RecoveryEditor().Form->Recovery().Writer().Folder());
  for (auto _ : state) {
    writer.Submit(picture, TRecoveryInfo{"/tmp/bench.qtor", "bench", 0, 0});
    writer.Flush();
  }
  writer.Discard();
}
BENCHMARK(BM_RecoveryWrite)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
