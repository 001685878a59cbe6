#pragma once
// The typeset preview: a dockable panel that shows the current table as
// LaTeX typesets it, updated by itself a short pause after the last change.
//
// At most one TeX run is under way; a change during a run waits for it, and
// a newer change replaces the waiting one. A result older than the one on
// show is dropped. When a run fails, the last good picture stays, greyed,
// under the first error and the row and cell it comes from. The picture is
// drawn from the PDF outside the window's thread and within the same time
// limit, so no table can hold the window.
#include <QDockWidget>
#include <QImage>
#include <QTimer>
#include <map>
#include <string>

#include "typeset/TypesetRunner.h"
#include "latex/TabToLatex.h"
#include "latex/TypesetDocument.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class TTable;
class TTypesetPicture;

class TTypesetPanel : public QDockWidget {
  Q_OBJECT

 public:
  // table: the table shown, read when a pause after a change ends.
  TTypesetPanel(const TTable* const* table, QWidget* parent = nullptr);

  // The table changed: typeset it again after the pause (if shown).
  void TableChanged();
  // The user's preamble: their own macros for the table's code.
  void SetPreamble(const std::string& preamble);
  const std::string& Preamble() const { return FPreamble; }
  // Typesets table now, without the pause.
  void TypesetNow(const TTable& table);

  // A run's result; dropped when older than the picture on show.
  void ShowResult(const TTypesetResult& result);

  // Bounds both the TeX run and the drawing of its picture.
  void SetTimeLimit(int ms);

  // What tests and benchmarks read.
  TTypesetRunner& Runner() { return FRunner; }
  TResultOrder& Order() { return FOrder; }
  bool HasPicture() const { return !FPdf.isEmpty(); }
  bool Greyed() const { return FGreyed; }
  QString Problem() const;  // the error or notice on show; empty when none
  const QByteArray& Log() const { return FLog; }
  int PauseMs() const { return FPause.interval(); }
  // Pixels per point of the picture at zoom 1: the screen's resolution.
  double Zoom() const { return FZoom; }
  bool FitWidth() const { return FFitWidth; }
  void SetZoom(double zoom);  // leaves fit-width
  void SetFitWidth();
  QImage Picture() const;

 signals:
  // A new picture or problem is on show.
  void Updated();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Draws pdf (in a child process, see TPdfRasteriser); fresh for a new
  // result, which replaces the picture on show once it is drawn.
  void Render(const QByteArray& pdf, bool fresh);
  void ShowRaster(uint64_t request, const TRaster& raster);
  void ShowProblem(const QString& text, bool withLog);
  void bShowLogClick();

  const TTable* const* FTable;
  std::string FPreamble;
  TTypesetRunner FRunner;
  TPdfRasteriser FRasteriser;
  uint64_t FRasterRequest = 0;  // the newest drawing asked for
  QByteArray FRendering;        // its PDF
  bool FRenderingFresh = false;
  TResultOrder FOrder;
  // The documents of the runs still to report, to explain their errors.
  std::map<uint64_t, TTypesetDocument> FDocuments;
  QTimer FPause;
  // Kept from run to run: after typing, only the typed rows' code is
  // written again before TeX runs.
  TLatexGenerator FGenerator;

  QByteArray FPdf;  // the last good picture's PDF
  QByteArray FLog;  // the last failed run's log
  bool FGreyed = false;
  double FZoom = 1.0;
  bool FFitWidth = true;

  QToolButton* bFitWidth;
  QToolButton* bActualSize;
  QLabel* fProblem;
  QPushButton* bShowLog;
  QScrollArea* FScroll;
  TTypesetPicture* FPicture;
};
