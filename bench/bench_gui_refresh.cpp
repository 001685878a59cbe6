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

#include "document/AppModule.h"
#include "forms/CodeUnit.h"
#include "forms/MainUnit.h"
#include "undo/UndoBuffers.h"

namespace {

// One application, document and window for the whole run; each benchmark
// fills the document with the table it needs.
struct TEditor {
  TEditor() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "bench_gui_refresh";
    static char* argv[] = {name, nullptr};
    App = std::make_unique<QApplication>(argc, argv);
    CreateUndoBuffer();
    StartAppModule();
    Form = std::make_unique<TMainForm>();
    Code = std::make_unique<TCodeForm>(Form.get());
    // The window at the size it opens with; a larger window draws more.
    if (const char* size = getenv("QUILTOR_BENCH_WINDOW")) {
      int w = 0, h = 0;
      if (sscanf(size, "%dx%d", &w, &h) == 2) Form->resize(w, h);
    }
    Form->show();
    QCoreApplication::processEvents();
  }
  ~TEditor() {
    Code.reset();
    Form.reset();
    StopAppModule();
    FreeUndoBuffer();
  }
  std::unique_ptr<QApplication> App;
  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TCodeForm> Code;
};

TEditor& Editor() {
  static TEditor editor;
  return editor;
}

// A table of n x n cells with short texts of varying width, laid out once.
void Fill(int n) {
  TEditor& e = Editor();
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
