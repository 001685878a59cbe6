// Reading a large hand-written tabular: the reader must stay linear in the
// input, so that a 5 MB table (100,000 rows) opens in well under a second.
//
//   build/release/bench/bench_latex_reader --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <cstdio>
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

}  // namespace
