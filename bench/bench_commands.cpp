// The table commands on tables of 1000 rows (and 100 rows) by 100 columns,
// each with its undo step recorded in a real history: insert a row, delete a
// column, join the cells of a row, set all rules on the whole table, align a
// whole column. Between iterations, outside the timing, the step is undone
// so that every iteration works on the same table.
//
//   bench_commands --benchmark_repetitions=10 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <string>

#include "commands/CommandStates.h"
#include "commands/TableCommands.h"
#include "document/SLists.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace {

constexpr int kCols = 100;

void Fill(TTable& t, int rows, int cols = kCols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) {
    TRow* row = t.AddRow();
    for (int c = 0; c < cols; ++c) {
      char text[32];
      std::snprintf(text, sizeof text, "r%dc%d", r, c);
      (*row)[c]->SetText(text);
    }
  }
}

// Runs command on a filled table with the selection select made, records its
// step, and undoes it untimed.
void RunCommand(benchmark::State& state, const std::function<void(TTable&)>& select,
                const std::function<TCommandResult(TTable&)>& command) {
  const int rows = static_cast<int>(state.range(0));
  TTable table;
  Fill(table, rows);
  select(table);
  TUndoBuffer history;
  history.AddState(table, "Initial State");
  for (auto _ : state) {
    const TCommandResult r = command(table);
    if (!r.Caption) {
      state.SkipWithError("the command changed nothing");
      break;
    }
    history.AddState(table, *r.Caption);
    state.PauseTiming();
    history.Undo(table, 1);
    state.ResumeTiming();
  }
}

void BM_InsertRow(benchmark::State& state) {
  RunCommand(
      state, [](TTable& t) { t.SelectCell(t.GetCell(t.RowCount() / 2, 3)); },
      [](TTable& t) { return InsertRowCol(t, ikRowBelow); });
}

void BM_DeleteColumn(benchmark::State& state) {
  RunCommand(
      state, [](TTable& t) { t.SelectColumn(kCols / 2); },
      [](TTable& t) { return DeleteSelection(t, dmDeleteColumns, false); });
}

void BM_JoinRow(benchmark::State& state) {
  RunCommand(
      state,
      [](TTable& t) {
        for (TCell* c : *t.Rows[t.RowCount() / 2]) t.SelectCell(c);
      },
      [](TTable& t) { return JoinOrSplit(t); });
}

void BM_AllRulesWholeTable(benchmark::State& state) {
  RunCommand(
      state,
      [](TTable& t) {
        for (TRow* row : t.Rows)
          for (TCell* c : *row) t.SelectCell(c);
      },
      [](TTable& t) { return ApplyRulePattern(t, rbAll); });
}

void BM_AlignColumn(benchmark::State& state) {
  TSList recent(8);
  RunCommand(
      state, [](TTable& t) { t.SelectColumn(3); },
      [&recent](TTable& t) { return SetColumnFormat(t, "r", recent); });
}

// All rules on every cell of an n x n table, and the undo of it, each with
// the idle pass that follows (the selection read and the command states).
// The whole table is selected as a drag over it leaves it.
void IdlePass(TTable& t) { benchmark::DoNotOptimize(CommandStatesFor(t, ReadSelection(t), fsGrid, rbAll)); }

void FillAllSelected(TTable& t, int n) {
  Fill(t, n, n);
  for (TRow* row : t.Rows)
    for (TCell* c : *row) c->Selected = true;
  t.SelectionMode = smCells;
  IdlePass(t);
}

void BM_AllRulesSquare(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TTable t;
  FillAllSelected(t, n);
  TUndoBuffer history;
  history.AddState(t, "Initial State");
  for (auto _ : state) {
    history.AddState(t, *ApplyRulePattern(t, rbAll).Caption);
    IdlePass(t);
    state.PauseTiming();
    history.Undo(t, 1);
    IdlePass(t);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AllRulesSquare)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_UndoAllRulesSquare(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TTable t;
  FillAllSelected(t, n);
  TUndoBuffer history;
  history.AddState(t, "Initial State");
  for (auto _ : state) {
    state.PauseTiming();
    history.AddState(t, *ApplyRulePattern(t, rbAll).Caption);
    IdlePass(t);
    state.ResumeTiming();
    history.Undo(t, 1);
    IdlePass(t);
  }
}
BENCHMARK(BM_UndoAllRulesSquare)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond); }

}  // namespace

BENCHMARK(BM_InsertRow)->Apply(Sizes);
BENCHMARK(BM_DeleteColumn)->Apply(Sizes);
BENCHMARK(BM_JoinRow)->Apply(Sizes);
BENCHMARK(BM_AllRulesWholeTable)->Apply(Sizes);
BENCHMARK(BM_AlignColumn)->Apply(Sizes);
