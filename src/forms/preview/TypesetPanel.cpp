#include "forms/preview/TypesetPanel.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <utility>
#include <vector>

#include "model/Tables.h"

namespace {

// The pause after the last change before TeX runs: typing goes on without
// a run per key, and the picture follows soon after the typing stops.
constexpr int kPauseMs = 300;
constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 8.0;
constexpr double kWheelStep = 1.25;

}  // namespace

// The picture: drawn at the device's pixel ratio, greyed under an error.
class TTypesetPicture : public QWidget {
 public:
  explicit TTypesetPicture(TTypesetPanel& panel) : QWidget(nullptr), FPanel(panel) {}

  void SetImage(const QImage& image, bool greyed) {
    FImage = image;
    FGreyed = greyed;
    const double ratio = image.isNull() ? 1.0 : image.devicePixelRatio();
    resize(image.isNull() ? QSize(1, 1) : (QSizeF(image.size()) / ratio).toSize());
    update();
  }
  const QImage& Image() const { return FImage; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (FImage.isNull()) return;
    painter.drawImage(0, 0, FImage);
    if (FGreyed) painter.fillRect(rect(), QColor(160, 160, 160, 150));
  }
  void wheelEvent(QWheelEvent* event) override {
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
      event->ignore();
      return;
    }
    FPanel.SetZoom(FPanel.Zoom() * (event->angleDelta().y() > 0 ? kWheelStep : 1 / kWheelStep));
    event->accept();
  }

 private:
  TTypesetPanel& FPanel;
  QImage FImage;
  bool FGreyed = false;
};

TTypesetPanel::TTypesetPanel(const TTable* const* table, QWidget* parent)
    : QDockWidget(QStringLiteral("Typeset Preview"), parent), FTable(table) {
  setObjectName(QStringLiteral("TypesetPanel"));
  FPause.setSingleShot(true);
  FPause.setInterval(kPauseMs);
  connect(&FPause, &QTimer::timeout, this, [this] {
    if (FTable && *FTable) TypesetNow(**FTable);
  });
  connect(&FRunner, &TTypesetRunner::Finished, this, &TTypesetPanel::ShowResult);
  connect(&FRasteriser, &TPdfRasteriser::Finished, this, &TTypesetPanel::ShowRaster);

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* bar = new QHBoxLayout;
  auto button = [body, bar](const char* text, const char* name, const char* hint) {
    auto* b = new QToolButton(body);
    b->setText(QString::fromUtf8(text));
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromUtf8(hint));
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
  };
  bFitWidth = button("Fit Width", "bFitWidth", "Zoom to the panel's width");
  bFitWidth->setCheckable(true);
  bFitWidth->setChecked(true);
  bActualSize = button("100 %", "bActualSize", "Show the table at its printed size (Ctrl+wheel zooms)");
  bar->addStretch(1);
  // In the bar rather than beside the message, which so has the panel's
  // whole width to wrap in: a narrow panel otherwise cuts its words.
  bShowLog = new QPushButton(QStringLiteral("Show Log..."), body);
  bShowLog->setObjectName(QStringLiteral("bShowLog"));
  bar->addWidget(bShowLog);
  layout->addLayout(bar);

  fProblem = new QLabel(body);
  fProblem->setObjectName(QStringLiteral("fProblem"));
  fProblem->setWordWrap(true);
  // A long message wraps inside the panel rather than widening the dock,
  // which would take the room from the grid.
  fProblem->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  fProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fProblem->setTextFormat(Qt::PlainText);
  layout->addWidget(fProblem);
  fProblem->hide();
  bShowLog->hide();

  FScroll = new QScrollArea(body);
  FScroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  FScroll->setBackgroundRole(QPalette::Base);
  FPicture = new TTypesetPicture(*this);
  // The first width the dock takes comes from here: room for a table of a
  // few columns rather than the width of a button.
  const int line = fontMetrics().height();
  FPicture->resize(18 * line, 10 * line);
  FScroll->setWidget(FPicture);
  layout->addWidget(FScroll, 1);
  setWidget(body);
  // Focus given to the panel (F6 from the grid) lands on its first button.
  setFocusProxy(bFitWidth);

  connect(bFitWidth, &QToolButton::clicked, this, [this] { SetFitWidth(); });
  connect(bActualSize, &QToolButton::clicked, this, [this] { SetZoom(1.0); });
  connect(bShowLog, &QPushButton::clicked, this, [this] { bShowLogClick(); });
}

void TTypesetPanel::TableChanged() {
  if (isVisible()) FPause.start();
}

void TTypesetPanel::SetPreamble(const std::string& preamble) {
  if (preamble == FPreamble) return;
  FPreamble = preamble;
  TableChanged();
}

void TTypesetPanel::TypesetNow(const TTable& table) {
  FPause.stop();
  const uint64_t request = FOrder.NextRequest();
  TTypesetDocument document = BuildTypesetDocument(FGenerator.Generate(table), FPreamble);
  const QByteArray tex = QByteArray::fromStdString(document.Text);
  FDocuments[request] = std::move(document);
  FRunner.Request(request, tex);
}

void TTypesetPanel::ShowResult(const TTypesetResult& result) {
  auto& pending = FDocuments;
  if (!FOrder.Accept(result.Request)) {
    pending.erase(result.Request);
    return;
  }
  TTypesetDocument document;
  if (auto it = pending.find(result.Request); it != pending.end()) document = std::move(it->second);
  // Nothing older than what is on show can be shown any more.
  pending.erase(pending.begin(), pending.upper_bound(result.Request));

  if (result.Status == TTypesetResult::tsOk) {
    // On show once drawn, which tells Updated.
    Render(result.Pdf, true);
    return;
  }
  // A picture still being drawn for an older result must not cover this
  // newer failure.
  if (std::exchange(FRenderingFresh, false)) ++FRasterRequest;
  switch (result.Status) {
    case TTypesetResult::tsOk:
      break;
    case TTypesetResult::tsFailed: {
      FLog = result.Log;
      const TTable* table = FTable ? *FTable : nullptr;
      QString text;
      if (table) text = QString::fromUtf8(DescribeLatexFailure(document, *table, result.Log.toStdString()));
      else text = QString::fromUtf8(FirstLatexError(result.Log.toStdString()).Message);
      ShowProblem(text, true);
      break;
    }
    case TTypesetResult::tsTimedOut:
    case TTypesetResult::tsCannotRun:
      FLog = result.Log;
      ShowProblem(result.Message, !result.Log.isEmpty());
      break;
    case TTypesetResult::tsNoTex:
      FLog.clear();
      ShowProblem(result.Message, false);
      break;
  }
  emit Updated();
}

void TTypesetPanel::ShowProblem(const QString& text, bool withLog) {
  fProblem->setText(text);
  fProblem->show();
  bShowLog->setVisible(withLog);
  FGreyed = true;
  FPicture->SetImage(FPicture->Image(), FGreyed);
}

void TTypesetPanel::SetTimeLimit(int ms) {
  FRunner.SetTimeLimit(ms);
  FRasteriser.SetTimeLimit(ms);
}

QString TTypesetPanel::Problem() const { return fProblem->isHidden() ? QString() : fProblem->text(); }

QImage TTypesetPanel::Picture() const { return FPicture->Image(); }

void TTypesetPanel::SetZoom(double zoom) {
  FFitWidth = false;
  bFitWidth->setChecked(false);
  FZoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  Render(FPdf, false);
}

void TTypesetPanel::SetFitWidth() {
  FFitWidth = true;
  bFitWidth->setChecked(true);
  Render(FPdf, false);
}

void TTypesetPanel::Render(const QByteArray& pdf, bool fresh) {
  // A new result still being drawn is drawn again at the new size instead.
  if (!fresh && FRenderingFresh) return Render(QByteArray(FRendering), true);
  if (pdf.isEmpty()) {
    FPicture->SetImage(QImage(), false);
    return;
  }
  // 100 %: a point of the page is a point of the screen. Rendered at the
  // screen's own pixel density, so the text stays sharp on a
  // high-resolution screen.
  const double pixelsPerPoint = logicalDpiX() / 72.0 * devicePixelRatioF();
  TRasterScale scale;
  scale.PixelsPerPoint = FZoom * pixelsPerPoint;
  if (const int width = FScroll->viewport()->width() - 4; FFitWidth && width > 0) {
    scale.FitWidth = width * devicePixelRatioF();
    scale.Least = kMinZoom * pixelsPerPoint;
    scale.Most = kMaxZoom * pixelsPerPoint;
  }
  FRendering = pdf;
  FRenderingFresh = fresh;
  FRasteriser.Request(++FRasterRequest, pdf, scale);
}

void TTypesetPanel::ShowRaster(uint64_t request, const TRaster& raster) {
  if (request != FRasterRequest) return;  // a newer drawing is on its way
  const bool fresh = std::exchange(FRenderingFresh, false);
  if (raster.Status != TRaster::rsOk) {
    // The last good picture stays, greyed.
    ShowProblem(QString::fromUtf8(raster.Status == TRaster::rsTooComplex ? kTooComplexMessage
                                  : raster.Status == TRaster::rsTooLarge
                                      ? "The typeset picture is too large to show at this zoom"
                                      : "The typeset PDF cannot be read"),
                false);
    emit Updated();
    return;
  }
  if (fresh) {
    FPdf = FRendering;
    FLog.clear();
    FGreyed = false;
    fProblem->hide();
    bShowLog->hide();
  }
  const double ratio = devicePixelRatioF();
  if (FFitWidth) FZoom = raster.PixelsPerPoint / (logicalDpiX() / 72.0 * ratio);
  QImage image = raster.Image;
  image.setDevicePixelRatio(ratio);
  FPicture->SetImage(image, FGreyed);
  emit Updated();
}

void TTypesetPanel::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  // Typeset what there is as soon as the panel is up; the pause after a
  // change keeps its length.
  QMetaObject::invokeMethod(
      this, [this] { if (isVisible() && FTable && *FTable) TypesetNow(**FTable); }, Qt::QueuedConnection);
}

void TTypesetPanel::resizeEvent(QResizeEvent* event) {
  QDockWidget::resizeEvent(event);
  if (FFitWidth && !FPdf.isEmpty()) Render(FPdf, false);
}

void TTypesetPanel::bShowLogClick() {
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("TeX Log"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(&dialog);
  text->setObjectName(QStringLiteral("fLog"));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setFont(QFont(QStringLiteral("Monospace")));
  text->setPlainText(QString::fromUtf8(FLog));
  layout->addWidget(text);
  auto* close = new QPushButton(QStringLiteral("Close"), &dialog);
  connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignRight);
  dialog.resize(640, 480);
  // The end of the log holds the error.
  text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
  dialog.exec();
}
