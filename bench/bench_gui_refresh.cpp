// The cost of the main window's refresh after one keystroke: RefreshGrid on
// tables of 100 x 100 and 1000 x 1000 cells with one cell's text changed, a
// repaint of the visible part alone, and the code preview's regeneration,
// which RefreshGrid adds while the preview is shown. Offscreen; run from a
// Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "undo/UndoBuffers.h"

namespace {

// A table of n x n cells with short texts of varying width, laid out once.
void Fill(int n) {
  TBenchEditor& e = Editor();
  if (CurrentTable->RowCount() != n || CurrentTable->ColCount() != n) {
    NewDocument(n, n);
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) CurrentTable->GetCell(r, c)->SetText(std::to_string(r * c % 9973));
  }
  e.Form->RefreshGrid();
}

void BM_RefreshGridAfterOneCell(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fill(n);
  Editor().Code->hide();
  TCell* cell = CurrentTable->GetCell(n / 2, n / 2);
  int k = 0;
  for (auto _ : state) {
    cell->SetText("edit " + std::to_string(++k));
    Editor().Form->RefreshGrid();
  }
}
BENCHMARK(BM_RefreshGridAfterOneCell)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_RepaintVisibleArea(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fill(n);
  for (auto _ : state) Editor().Form->RepaintGrid();
}
BENCHMARK(BM_RepaintVisibleArea)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_CodePreviewRegeneration(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fill(n);
  Editor().Code->show();
  for (auto _ : state) Editor().Form->RefreshCodePreview();
  Editor().Code->hide();
}
BENCHMARK(BM_CodePreviewRegeneration)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
