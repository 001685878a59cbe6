// Time of one full regeneration of the LaTeX code. The code preview does this
// after every change, so a 1000 x 1000 table must stay well below a frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "latex/TabToLatex.h"
#include "model/Tables.h"

namespace {

// A large table shaped like a real one: short texts, mixed column formats, a
// ruled frame, a rule under the header row, a joined cell of three columns in
// every seventh row, a half-width rule (a \cline) above every tenth row and a
// cell with its own alignment now and then.
void BuildTable(TTable& table, int rows, int cols) {
  static const char* const kFormats[] = {"l", "c", "r", "p{2cm}"};
  for (int c = 0; c < cols; ++c) (new TColumn(table))->Format = kFormats[c % 4];
  for (int r = 0; r < rows; ++r) {
    TRow* row = table.AddRow();
    if (r % 7 == 3 && cols >= 4) {
      (*row)[1]->Span = 3;
      row->Delete(3);
      row->Delete(2);
    }
    int k = 0;
    for (TCell* cell : *row) {
      char text[16];
      snprintf(text, sizeof text, "r%dc%d", r, k);
      cell->SetText(text);
      if ((r * cols + k) % 13 == 5) cell->Align = 'c';
      k += cell->Span;
    }
  }
  table.SetRules(TCellRect{0, 0, cols - 1, rows - 1}, rbOuter, 255);
  table.SetRules(TCellRect{0, 0, cols - 1, 0}, rbBottom, 255);
  for (int r = 10; r < rows; r += 10) table.SetRules(TCellRect{0, r, cols / 2, r}, rbTop, 255);
}

void BM_TableToLatex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TTable table;
  BuildTable(table, n, n);
  std::vector<std::string> lines;
  for (auto _ : state) {
    TableToLatex(table, lines);
    benchmark::DoNotOptimize(lines.data());
    benchmark::ClobberMemory();
  }
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 2;
  // Printed in seconds per cell: "45.1n" is 45.1 ns.
  state.counters["time_per_cell"] = benchmark::Counter(
      static_cast<double>(n) * n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TableToLatex)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
