// Tables with cells joined across rows beside the same tables without: a
// 1000 x 1000 table with 1,000 blocks, as blocks of two rows by one column
// and as blocks of two rows by two columns (which, like cells joined across
// columns, share their widths out over their columns after each keystroke).
// Timed: painting the visible part, one keystroke in
// the cell editor until the loop goes idle, and All Rules on the whole table
// as the window runs it. Offscreen; run from a Release build and read the
// CPU column, since the machine may be busy:
//
//   bench_blocks --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <QAction>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "forms/mainwindow/MainUnit.h"
#include "model/TableEdit.h"
#include "platform/QtCanvas.h"
#include "undo/UndoBuffers.h"

namespace {

constexpr int kSize = 1000;
constexpr int kBlocks = 1000;

enum TBlockKind { bkNone = 0, bkTall = 1, bkSquare = 2 };

const char* KindName(int kind) {
  switch (kind) {
    case bkTall: return "1000 blocks 2x1";
    case bkSquare: return "1000 blocks 2x2";
    default: return "no blocks";
  }
}

// The document becomes the 1000 x 1000 table of short texts with the
// blocks of kind: two to a pair of rows, half the table apart, so that
// every part of the table has some and none overlap. With selectAll, every
// cell is selected, and recorded with the table so that undo brings the
// selection back.
void Prepare(int kind, bool selectAll = false) {
  TBenchEditor& e = Editor();
  e.Code->hide();
  e.Form->SetCurrentCell(nullptr);
  // The last run's changes are nobody's: no question before the new table.
  MarkSaved();
  NewDocument(kSize, kSize);
  TTable& t = *CurrentTable;
  for (int r = 0; r < kSize; ++r)
    for (int c = 0; c < kSize; ++c) t.GetCell(r, c)->SetText(std::to_string(r * c % 9973));
  const int width = kind == bkSquare ? 2 : 1;
  for (int i = 0; kind != bkNone && i < kBlocks; ++i) {
    const int top = 2 * (i / 2);
    const int left = ((i / 2) * 37 + (i % 2) * (kSize / 2)) % (kSize - 1);
    JoinCells(t, {left, top, left + width - 1, top + 1})->SetText("block " + std::to_string(i));
  }
  if (selectAll)
    for (TRow* row : t.Rows)
      for (TCell* c : *row) t.SelectCell(c);
  RecordUndo("Prepared");
  e.Form->FocusGrid();
  e.Form->RefreshGrid();
  e.Form->UpdateCommandStates();
}

// Painting the part of the table a 1000 x 700 view in its middle shows,
// without measuring.
void BM_PaintVisible(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  TTable& t = *CurrentTable;
  QImage image(1000, 700, QImage::Format_RGB32);
  const int sx = (t.PixelWidth - image.width()) / 2;
  const int sy = (t.PixelHeight - image.height()) / 2;
  const TRect clip{sx, sy, sx + image.width(), sy + image.height()};
  for (auto _ : state) {
    QPainter painter(&image);
    painter.fillRect(image.rect(), Qt::white);
    painter.translate(-sx, -sy);
    TQtCanvas canvas(painter);
    t.Paint(canvas, &clip);
  }
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

// One keystroke in the cell editor, a letter and a Backspace in turn, each
// followed by the idle pass, in a cell of a row that blocks cross.
void BM_TypeUntilIdle(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)));
  TBenchEditor& e = Editor();
  TCell* cell = CurrentTable->GetCell(kSize / 2 + 1, 3);
  e.Form->SetCurrentCell(cell);
  e.Form->Editor->setFocus();
  e.Form->Editor->end(false);
  QCoreApplication::processEvents();
  TypeWhileTimed(state, e, true);
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

// All Rules with every cell selected, as the window runs it: the command,
// its undo step and the refresh. Each step is undone, untimed.
void BM_AllRulesWholeTable(benchmark::State& state) {
  Prepare(static_cast<int>(state.range(0)), true);
  TMainForm& form = *Editor().Form;
  for (auto _ : state) {
    const int steps = UndoCount();
    form.ClickRule(form.RuleItems[0]);
    if (UndoCount() != steps + 1) {
      state.SkipWithError("the command recorded no step");
      break;
    }
    state.PauseTiming();
    form.RunCommand([&form] { form.bUndoClick(); });
    form.UpdateCommandStates();
    state.ResumeTiming();
  }
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

void Kinds(benchmark::internal::Benchmark* b) {
  b->Arg(bkNone)->Arg(bkTall)->Arg(bkSquare)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_PaintVisible)->Apply(Kinds);
BENCHMARK(BM_TypeUntilIdle)->Apply(Kinds)->MinTime(2.0);
BENCHMARK(BM_AllRulesWholeTable)->Apply(Kinds)->Iterations(3);
