// Measuring and painting large tables with the Qt canvas, offscreen.
//
// A refresh after one keystroke measures the table (re-using every cached
// text extent but the edited cell's) and paints the visible part of the grid
// into a view-sized bitmap. Run from a Release build:
//   QT_QPA_PLATFORM=offscreen ./bench_gui_paint
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "model/Canvas.h"
#include "model/Tables.h"
#include "platform/QtCanvas.h"

namespace {

constexpr int kViewWidth = 1000;
constexpr int kViewHeight = 700;

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "bench_gui_paint";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

// An n x n table of short texts like a real data table, with a joined cell
// of span 3 in every tenth row and a ruled first row.
TTable& BigTable(int n) {
  static std::map<int, std::unique_ptr<TTable>> tables;
  auto& slot = tables[n];
  if (!slot) {
    slot = std::make_unique<TTable>();
    TTable& t = *slot;
    for (int j = 0; j < n; ++j) new TColumn(t);
    for (int i = 0; i < n; ++i) {
      TRow* row = t.AddRow();
      for (int j = 0; j < n; ++j) {
        char text[32];
        snprintf(text, sizeof text, "%d.%02d", i * 7 + j % 13, j % 100);
        (*row)[j]->SetText(text);
      }
      if (i % 10 == 5 && n >= 4) {
        row->Delete(2);
        row->Delete(1);
        (*row)[0]->Span = 3;
        (*row)[0]->SetText("joined cell over three columns");
      }
    }
    t.SetRules({0, 0, n - 1, 0}, rbOuter, 255);
    // Built rather than assigned from a literal, which g++ 12 at -O2 wrongly
    // flags with -Wrestrict.
    t.Columns[n / 2]->Format = std::string(1, 'r');
  }
  return *slot;
}

struct TView {
  QImage Image{kViewWidth, kViewHeight, QImage::Format_RGB32};
};

// Measures once so that every benchmark starts with valid cached extents.
TTable& MeasuredTable(int n, TView& view) {
  TTable& t = BigTable(n);
  TQtCanvas canvas(&view.Image);
  t.Measure(canvas);
  return t;
}

// Paints the part of the table a view scrolled to its middle shows.
void PaintVisible(TTable& t, TView& view) {
  const int sx = std::max(0, (t.PixelWidth - kViewWidth) / 2);
  const int sy = std::max(0, (t.PixelHeight - kViewHeight) / 2);
  const TRect clip{sx, sy, sx + kViewWidth, sy + kViewHeight};
  QPainter painter(&view.Image);
  painter.fillRect(view.Image.rect(), QGuiApplication::palette().color(QPalette::Base));
  painter.translate(-sx, -sy);
  TQtCanvas canvas(painter);
  t.Paint(canvas, &clip);
}

// Each step changes one cell's text and measures again, and paints the
// visible part when asked.
void EditOneCellEachStep(benchmark::State& state, TTable& t, TView& view, bool paint) {
  TCell* cell = t.GetCell(t.RowCount() / 2, t.ColCount() / 2);
  TQtCanvas canvas(&view.Image);
  bool flip = false;
  for (auto _ : state) {
    cell->SetText(flip ? "edited" : "edited!");
    flip = !flip;
    t.Measure(canvas);
    if (paint) PaintVisible(t, view);
    benchmark::DoNotOptimize(t.PixelWidth);
  }
}

void BM_MeasureAfterOneCellChange(benchmark::State& state) {
  EnsureApplication();
  TView view;
  TTable& t = MeasuredTable(static_cast<int>(state.range(0)), view);
  EditOneCellEachStep(state, t, view, false);
}
BENCHMARK(BM_MeasureAfterOneCellChange)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_PaintVisible(benchmark::State& state) {
  EnsureApplication();
  TView view;
  TTable& t = MeasuredTable(static_cast<int>(state.range(0)), view);
  for (auto _ : state) PaintVisible(t, view);
}
BENCHMARK(BM_PaintVisible)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// What a keystroke costs the grid: measure after the change, then paint
// the visible part.
void BM_RefreshAfterOneCellChange(benchmark::State& state) {
  EnsureApplication();
  TView view;
  TTable& t = MeasuredTable(static_cast<int>(state.range(0)), view);
  EditOneCellEachStep(state, t, view, true);
}
BENCHMARK(BM_RefreshAfterOneCellChange)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Laying out every rectangle without drawing anything: the part of a paint
// that grows with the table rather than with the view.
void BM_LayoutOnly(benchmark::State& state) {
  EnsureApplication();
  TView view;
  TTable& t = MeasuredTable(static_cast<int>(state.range(0)), view);
  QPainter painter(&view.Image);
  TQtCanvas canvas(painter);
  const TRect nothing{0, 0, 0, 0};
  for (auto _ : state) t.Paint(canvas, &nothing);
}
BENCHMARK(BM_LayoutOnly)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// A font change measures every text again (opening a file does the same).
void BM_MeasureAllTexts(benchmark::State& state) {
  EnsureApplication();
  TView view;
  TTable& t = MeasuredTable(static_cast<int>(state.range(0)), view);
  TQtCanvas canvas(&view.Image);
  for (auto _ : state) {
    t.FontSize = t.FontSize == 11 ? 12 : 11;
    t.Measure(canvas);
  }
  state.SetItemsProcessed(state.iterations() * t.RowCount() * t.ColCount());
}
BENCHMARK(BM_MeasureAllTexts)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureAllTexts)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
