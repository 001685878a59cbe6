// Opening a large .xlsx as the user meets it: from the open to the first
// paint of its table - reading the workbook, the sheet's cells as they are
// shown, the new document, its undo step, the layout and the picture.
// The workbook is made by bench/sheet-vs-libreoffice.sh (by LibreOffice, so
// that it is compressed and laid out as real files are), which also times
// LibreOffice's own headless conversion of it to CSV for comparison.
// QUILTOR_BENCH_XLSX names it. Offscreen; run from a Release build.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <string>

#include "GuiBenchEditor.h"
#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "document/SpreadsheetFile.h"
#include "forms/mainwindow/MainUnit.h"
#include "undo/UndoBuffers.h"

namespace {

using TClock = std::chrono::steady_clock;

// Takes the first sheet with the default options, as OK in the dialog does.
class TFirstSheet : public TSpreadsheetUI {
 public:
  int ChooseSheet(const std::string&, const std::vector<TSheetInfo>&, TBlockOptions&) override { return 0; }
  void ShowSheetWarnings(const std::vector<std::string>&) override {}
};

void BM_OpenXlsxToFirstPaint(benchmark::State& state) {
  const char* env = std::getenv("QUILTOR_BENCH_XLSX");
  const std::string path = env ? env : "/tmp/quiltor_bench_sheet.xlsx";
  if (!FileExists(path)) {
    state.SkipWithError("no workbook: run bench/sheet-vs-libreoffice.sh first");
    return;
  }
  TBenchEditor& e = Editor();
  TMainForm& form = *e.Form;
  TFirstSheet firstSheet;
  SetSpreadsheetUI(&firstSheet);
  TPaintWatch watch;
  form.PaintBox->installEventFilter(&watch);
  for (auto _ : state) {
    MarkSaved();
    QCoreApplication::processEvents();
    watch.Painted = false;
    const TClock::time_point start = TClock::now();
    bool opened = false;
    form.RunCommand([&] { opened = OpenFile(path); });
    while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    state.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
    if (!opened) state.SkipWithError("Open did not happen");
  }
  state.counters["Rows"] = CurrentTable->RowCount();
  state.counters["Columns"] = CurrentTable->ColCount();
  form.PaintBox->removeEventFilter(&watch);
  SetSpreadsheetUI(nullptr);
}
BENCHMARK(BM_OpenXlsxToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
