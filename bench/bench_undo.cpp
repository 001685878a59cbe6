// The undo history on a table of 1000 rows and 100 (or 1000) columns whose
// steps each change one cell: the time to record a step, to undo one step,
// and the memory a history of 100 such steps holds compared with one copy of
// the table.
//
//   bench_undo --benchmark_repetitions=10 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "model/CellPool.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace {

constexpr int kRows = 1000;
constexpr int kSteps = 100;

void Fill(TTable& t, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < kRows; ++r) {
    TRow* row = t.AddRow();
    for (int c = 0; c < cols; ++c) {
      char text[32];
      std::snprintf(text, sizeof text, "r%dc%d", r, c);
      (*row)[c]->SetText(text);
    }
  }
}

// Bytes in use: every block from operator new at its usable size, and the
// slabs the cells are carved from. Counted here rather than read from the
// allocator's statistics, which shift with its mmap threshold.
size_t gNewBytes = 0;

size_t HeapInUse() { return gNewBytes + CellPool::BytesReserved(); }

// Step k changes one cell, spread over the table.
void ChangeOneCell(TTable& t, int k) {
  char text[32];
  std::snprintf(text, sizeof text, "step %d", k);
  t.GetCell((k * 37) % kRows, (k * 13) % t.ColCount())->SetText(text);
}

// A table of the given width whose history already holds kSteps edits.
void FillWithHistory(TTable& t, TUndoBuffer& history, int cols) {
  Fill(t, cols);
  history.AddState(t, "Initial State");
  for (int k = 0; k < kSteps; ++k) {
    ChangeOneCell(t, k);
    history.AddState(t, "Typing");
  }
}

// Recording one typed cell, and undoing it. AfterIdle: as the editor meets
// them, its idle pass having read the selection since the table last
// changed (untimed), so that the history knows which rows may have changed
// and looks at those only.
template <bool AfterIdle>
void BM_RecordStep(benchmark::State& state) {
  TTable t;
  TUndoBuffer history;
  FillWithHistory(t, history, static_cast<int>(state.range(0)));
  int k = kSteps;
  for (auto _ : state) {
    state.PauseTiming();
    ChangeOneCell(t, k++);
    if (AfterIdle) t.Selection();
    state.ResumeTiming();
    history.AddState(t, "Typing");
  }
}
BENCHMARK(BM_RecordStep<false>)->Name("BM_RecordStep")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordStep<true>)->Name("BM_RecordStepAfterIdle")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

template <bool AfterIdle>
void BM_UndoOneStep(benchmark::State& state) {
  TTable t;
  TUndoBuffer history;
  FillWithHistory(t, history, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (AfterIdle) {
      state.PauseTiming();
      t.Selection();
      state.ResumeTiming();
    }
    history.Undo(t, 1);
    state.PauseTiming();
    if (AfterIdle) t.Selection();
    history.Redo(t, 1);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UndoOneStep<false>)->Name("BM_UndoOneStep")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoOneStep<true>)->Name("BM_UndoOneStepAfterIdle")->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// What one step costs when every step is a full copy: the reference.
void BM_FullCopy(benchmark::State& state) {
  TTable t;
  Fill(t, static_cast<int>(state.range(0)));
  TTable copy;
  for (auto _ : state) copy.Assign(t);
}
BENCHMARK(BM_FullCopy)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Memory of the whole history (the initial state and 100 steps) against one
// copy of the table made by Assign.
void BM_HistoryMemory(benchmark::State& state) {
  TTable t;
  Fill(t, static_cast<int>(state.range(0)));
  size_t tableBytes = 0;
  size_t historyBytes = 0;
  size_t firstBytes = 0;
  for (auto _ : state) {
    {
      const size_t before = HeapInUse();
      auto copy = std::make_unique<TTable>();
      copy->Assign(t);
      tableBytes = HeapInUse() - before;
    }
    const size_t before = HeapInUse();
    auto history = std::make_unique<TUndoBuffer>();
    history->AddState(t, "Initial State");
    firstBytes = HeapInUse() - before;
    for (int k = 0; k < kSteps; ++k) {
      ChangeOneCell(t, k);
      history->AddState(t, "Typing");
    }
    historyBytes = HeapInUse() - before;
    state.PauseTiming();
    history.reset();
    t.CurrentCell = nullptr;
    t.Clear();
    Fill(t, static_cast<int>(state.range(0)));
    state.ResumeTiming();
  }
  state.counters["table_MB"] = static_cast<double>(tableBytes) / 1e6;
  state.counters["history_MB"] = static_cast<double>(historyBytes) / 1e6;
  state.counters["first_state_MB"] = static_cast<double>(firstBytes) / 1e6;
  state.counters["step_KB"] = static_cast<double>(historyBytes - firstBytes) / kSteps / 1e3;
  state.counters["ratio"] = static_cast<double>(historyBytes) / static_cast<double>(tableBytes);
}
BENCHMARK(BM_HistoryMemory)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  gNewBytes += malloc_usable_size(p);
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (!p) return;
  gNewBytes -= malloc_usable_size(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
