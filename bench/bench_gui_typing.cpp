// One keystroke in the cell editor, from the key event to the repainted
// view, on tables of 100 x 100 and 1000 x 1000 cells, with the code preview
// hidden and shown. The key goes to the editor as the platform sends it; the
// write into the cell, RefreshGrid and the paint of the view follow as they
// do for the user. The parts of one keystroke are timed on their own too,
// to tell where the time goes. Offscreen; run from a Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "latex/TabToLatex.h"
#include "platform/QtCanvas.h"
#include "undo/UndoBuffers.h"

namespace {

// An n x n table, a visible cell current and its text in the editor, the
// preview as asked.
void Prepare(int n, bool preview) {
  Editor().Code->setVisible(preview);
  PrepareTyping(Editor(), n, n, 5);
}

// A letter and a Backspace in turn, so that the text stays short; each is
// one keystroke.
void BM_TypeOneCharacter(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool preview = state.range(1) != 0;
  Prepare(n, preview);
  TypeWhileTimed(state, Editor());
  state.SetLabel(preview ? "preview shown" : "preview hidden");
}
BENCHMARK(BM_TypeOneCharacter)
    ->ArgsProduct({{100, 1000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The same with the idle pass that follows every key in real use: the loop
// goes idle after each keystroke before the next one comes.
void BM_TypeOneCharacterUntilIdle(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool preview = state.range(1) != 0;
  Prepare(n, preview);
  TypeWhileTimed(state, Editor(), true);
  state.SetLabel(preview ? "preview shown" : "preview hidden");
}
BENCHMARK(BM_TypeOneCharacterUntilIdle)
    ->ArgsProduct({{10, 100, 1000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The parts of one keystroke.

void BM_PartMeasure(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Prepare(n, false);
  TQtCanvas canvas(Editor().Form->PaintBox);
  TCell* cell = CurrentTable->GetCell(5, 5);
  int k = 0;
  for (auto _ : state) {
    cell->SetText(++k % 2 ? "5x" : "5");
    CurrentTable->Measure(canvas);
  }
}
BENCHMARK(BM_PartMeasure)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_PartRepaintView(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), false);
  for (auto _ : state) {
    Editor().Form->RepaintGrid();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_PartRepaintView)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_PartGenerateLatex(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), false);
  std::vector<std::string> lines;
  for (auto _ : state) {
    lines.clear();
    TableToLatex(*CurrentTable, lines);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(BM_PartGenerateLatex)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// What the preview's generator does after a typed character: the check that
// nothing but texts changed, and the one row written again.
void BM_PartGenerateAfterKey(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), false);
  TLatexGenerator generator;
  generator.Generate(*CurrentTable);
  TCell* cell = CurrentTable->GetCell(5, 5);
  int k = 0;
  for (auto _ : state) {
    cell->SetText(++k % 2 ? "5x" : "5");
    benchmark::DoNotOptimize(generator.Generate(*CurrentTable).data());
  }
}
BENCHMARK(BM_PartGenerateAfterKey)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The preview box taking the new text, and painting it.
void BM_PartPreviewText(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), true);
  std::vector<std::string> lines;
  TableToLatex(*CurrentTable, lines);
  for (auto _ : state) {
    Editor().Code->SetLines(lines);
    QCoreApplication::processEvents();
  }
  Editor().Code->hide();
}
BENCHMARK(BM_PartPreviewText)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The preview box taking the code after a typed character: one row's line
// differs, and is replaced and painted.
void BM_PartPreviewLineChange(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), true);
  std::vector<std::string> lines[2];
  TableToLatex(*CurrentTable, lines[0]);
  lines[1] = lines[0];
  lines[1][7] += "x";
  int k = 0;
  for (auto _ : state) {
    Editor().Code->SetLines(lines[++k % 2]);
    QCoreApplication::processEvents();
  }
  Editor().Code->hide();
}
BENCHMARK(BM_PartPreviewLineChange)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Not part of the keystroke: the command states the window recomputes once
// the event loop has gone idle after it.
void BM_IdleCommandUpdate(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), false);
  for (auto _ : state) Editor().Form->UpdateCommandStates();
}
BENCHMARK(BM_IdleCommandUpdate)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
