// The table commands as the window runs them, on tables of 1000 rows (and
// 100 rows) by 100 columns: insert a row, delete a column, join the cells of
// a row, set all rules on the whole table, align a whole column. Each is
// timed with everything the window does for it - focus, the command, its
// undo step, the current cell, RefreshGrid (layout, picture, status text).
// Between iterations, untimed, the step is undone so that every iteration
// works on the same table. Offscreen; run from a Release build:
//
//   bench_gui_commands --benchmark_repetitions=10 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <QAction>
#include <cstdio>
#include <functional>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "forms/mainwindow/MainUnit.h"
#include "undo/UndoBuffers.h"

namespace {

constexpr int kCols = 100;

// A new document of rows x 100 short texts, with the selection select made
// and recorded, so that undoing a command brings the selection back too.
void Prepare(int rows, const std::function<void(TTable&)>& select) {
  TBenchEditor& e = Editor();
  e.Code->hide();
  e.Form->SetCurrentCell(nullptr);
  // The last run's changes are nobody's: no question before the new table.
  MarkSaved();
  NewDocument(rows, kCols);
  TTable& t = *CurrentTable;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      char text[32];
      std::snprintf(text, sizeof text, "r%dc%d", r, c);
      t.GetCell(r, c)->SetText(text);
    }
  }
  select(t);
  RecordUndo("Prepared");
  e.Form->FocusGrid();
  e.Form->RefreshGrid();
  // The idle pass that comes before every click: Delete reads its mode.
  e.Form->UpdateCommandStates();
}

void RunCommand(benchmark::State& state, const std::function<void(TTable&)>& select,
                const std::function<void(TMainForm&)>& click) {
  Prepare(static_cast<int>(state.range(0)), select);
  TMainForm& form = *Editor().Form;
  for (auto _ : state) {
    const int steps = UndoCount();
    click(form);
    if (UndoCount() != steps + 1) {
      state.SkipWithError("the command recorded no step");
      break;
    }
    state.PauseTiming();
    form.RunCommand([&form] { form.bUndoClick(); });
    form.UpdateCommandStates();
    state.ResumeTiming();
  }
}

void BM_InsertRow(benchmark::State& state) {
  RunCommand(
      state, [](TTable& t) { t.SelectCell(t.GetCell(t.RowCount() / 2, 3)); },
      [](TMainForm& f) { f.ClickInsertRowCol(f.InsertItems[1]); });
}

void BM_DeleteColumn(benchmark::State& state) {
  RunCommand(
      state, [](TTable& t) { t.SelectColumn(kCols / 2); }, [](TMainForm& f) { f.bDeleteClick(); });
}

void BM_JoinRow(benchmark::State& state) {
  RunCommand(
      state,
      [](TTable& t) {
        for (TCell* c : *t.Rows[t.RowCount() / 2]) t.SelectCell(c);
      },
      [](TMainForm& f) { f.bJoinClick(); });
}

void BM_AllRulesWholeTable(benchmark::State& state) {
  RunCommand(
      state,
      [](TTable& t) {
        for (TRow* row : t.Rows)
          for (TCell* c : *row) t.SelectCell(c);
      },
      [](TMainForm& f) { f.ClickRule(f.RuleItems[0]); });
}

void BM_AlignColumn(benchmark::State& state) {
  RunCommand(
      state, [](TTable& t) { t.SelectColumn(3); }, [](TMainForm& f) { f.bAlignClick(f.bAlignRight); });
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond); }

}  // namespace

BENCHMARK(BM_InsertRow)->Apply(Sizes);
BENCHMARK(BM_DeleteColumn)->Apply(Sizes);
BENCHMARK(BM_JoinRow)->Apply(Sizes);
BENCHMARK(BM_AllRulesWholeTable)->Apply(Sizes);
BENCHMARK(BM_AlignColumn)->Apply(Sizes);
