// Memory and build time of a 1000 x 1000 table of short texts, the largest
// table the New dialog allows.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>

#include "model/CellPool.h"
#include "model/Tables.h"

namespace {

constexpr int kSize = 1000;
constexpr double kCells = static_cast<double>(kSize) * kSize;

void BuildTable(TTable& table) {
  for (int c = 0; c < kSize; ++c) new TColumn(table);
  for (int r = 0; r < kSize; ++r) {
    TRow* row = table.AddRow();
    int c = 0;
    for (TCell* cell : *row) {
      // At most 15 bytes for the sizes measured: held inside the string,
      // without a heap block.
      char text[32];
      snprintf(text, sizeof text, "r%dc%d", r, c++);
      cell->SetText(text);
    }
  }
}

struct THeap {
  size_t InUse;  // bytes in allocated blocks, including the malloc headers
  size_t Held;   // bytes taken from the system, including free fragments
};

THeap HeapNow() {
  const struct mallinfo2 m = mallinfo2();
  return {m.uordblks + m.hblkhd, m.arena + m.hblkhd};
}

// Runs once, first, in a fresh heap, so that the held bytes show what the
// table really costs the process, fragments of the slab alignment included.
// pool_per_cell is the cell pool's share (0 in sanitizer builds, where cells
// are plain heap blocks and show in the heap figures).
void BM_TableMemory(benchmark::State& state) {
  for (auto _ : state) {
    const THeap before = HeapNow();
    const size_t poolBefore = CellPool::BytesReserved();
    auto table = std::make_unique<TTable>();
    BuildTable(*table);
    const THeap after = HeapNow();
    const size_t poolAfter = CellPool::BytesReserved();
    // Slabs are mapped outside the heap: the table's cost is both together.
    const double pool = static_cast<double>(poolAfter - poolBefore);
    state.counters["bytes_per_cell"] = (static_cast<double>(after.InUse - before.InUse) + pool) / kCells;
    state.counters["held_per_cell"] = (static_cast<double>(after.Held - before.Held) + pool) / kCells;
    state.counters["pool_per_cell"] = pool / kCells;
    state.counters["sizeof_TCell"] = sizeof(TCell);
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TableMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BuildTable(benchmark::State& state) {
  for (auto _ : state) {
    auto table = std::make_unique<TTable>();
    BuildTable(*table);
    benchmark::DoNotOptimize(table.get());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.counters["time_per_cell"] =
      benchmark::Counter(kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildTable)->Unit(benchmark::kMillisecond);

void BM_DestroyTable(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto table = std::make_unique<TTable>();
    BuildTable(*table);
    state.ResumeTiming();
    table.reset();
  }
  state.counters["time_per_cell"] =
      benchmark::Counter(kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DestroyTable)->Unit(benchmark::kMillisecond);

}  // namespace
