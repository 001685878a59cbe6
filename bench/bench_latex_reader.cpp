// Reading a large hand-written tabular: the reader must stay linear in the
// input, so that a 5 MB table (100,000 rows) opens in well under a second,
// and its peak memory must stay within twice the table it builds.
//
//   build/release/bench/bench_latex_reader --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "latex/LatexReader.h"
#include "model/Tables.h"

namespace {

// Rows the way papers write them: five cells of short text with some markup
// and math, a \rowcolor now and then, a joined cell in every twentieth row,
// a rule after every tenth, a spacing postfix and a comment here and there.
std::string BuildSource(int rows) {
  std::string text = "\\begin{tabular}{|l|c|r|p{3cm}|S[table-format=2.3]|}\n\\hline\n";
  char line[256];
  for (int r = 0; r < rows; ++r) {
    if (r % 20 == 7) {
      snprintf(line, sizeof line, "\\multicolumn{3}{|c|}{\\textbf{Group %d}} & note %d & %d.%03d \\\\\n", r, r, r % 97,
               r % 1000);
    } else {
      snprintf(line, sizeof line, "%sItem %d & $x_{%d}$ & %d & text with \\& and \\%% %d & %d.%03d \\\\%s\n",
               r % 15 == 0 ? "\\rowcolor{gray!10} " : "", r, r % 100, r * 7, r, r % 97, r % 1000,
               r % 9 == 0 ? "[2pt] % spaced" : "");
    }
    text += line;
    if (r % 10 == 9) text += "\\hline\n";
  }
  text += "\\end{tabular}\n";
  return text;
}

void BM_ReadLatexTable(benchmark::State& state) {
  const std::string source = BuildSource(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TTable table;
    ReadLatexTable(source, table);
    benchmark::DoNotOptimize(table.RowCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
  state.counters["MB"] = static_cast<double>(source.size()) / 1e6;
}
BENCHMARK(BM_ReadLatexTable)->Arg(100000)->Unit(benchmark::kMillisecond);

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM").
long long StatusBytes(const char* key) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long long kib = 0;
  const size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, n) == 0 && line[n] == ':') {
      kib = std::atoll(line + n + 1);
      break;
    }
  std::fclose(f);
  return kib * 1024;
}

// Peak memory of reading, per cell, beside what the table it builds holds
// per cell once the reading is over; the input text is not counted. The
// peak is the process's high-water mark, reset before each reading.
void BM_ReadLatexTablePeakMemory(benchmark::State& state) {
  const std::string source = BuildSource(static_cast<int>(state.range(0)));
  double peak = 0, kept = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const long long base = StatusBytes("VmRSS");
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // the high-water mark starts again from here
      std::fclose(f);
    }
    TTable table;
    ReadLatexTable(source, table);
    const long long high = StatusBytes("VmHWM");
    malloc_trim(0);
    const long long held = StatusBytes("VmRSS");
    long long cells = 0;
    for (const TRow* row : table.Rows) cells += row->Count();
    peak = static_cast<double>(high - base) / static_cast<double>(cells);
    kept = static_cast<double>(held - base) / static_cast<double>(cells);
  }
  state.counters["peak_B_per_cell"] = peak;
  state.counters["table_B_per_cell"] = kept;
}
BENCHMARK(BM_ReadLatexTablePeakMemory)->Arg(400000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
