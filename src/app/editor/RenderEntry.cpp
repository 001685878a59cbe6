// The converter's --render, inside the editor module where TeX is run and
// Qt's PDF module reads what it made. No window is created: it works
// without a display.
#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <memory>
#include <string_view>

#include "app/EditorModule.h"
#include "typeset/TypesetRunner.h"

namespace {

constexpr double kPointsPerInch = 72.0;
constexpr double kInchesPerMeter = 1 / 0.0254;

void Say(void (*append)(void*, const char*, size_t), void* target, const QByteArray& text) {
  append(target, text.constData(), static_cast<size_t>(text.size()));
}

// Writes data to path whole or not at all.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& why) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
    why = QStringLiteral("Cannot create file %1: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
  }
  return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int QuiltorRenderTypeset(
    const char* tex, size_t texSize, const char* out, int dpi, int timeoutSeconds,
    void (*append)(void*, const char*, size_t), void* log, void* message) {
  // QProcess and QPdfDocument want an application object; a core one needs
  // no display.
  std::unique_ptr<QCoreApplication> app;
  static int argc = 1;
  static char name[] = "quiltor";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

  const int limitMs = timeoutSeconds * 1000;
  const TTypesetResult result = TypesetAndWait(QByteArray(tex, static_cast<qsizetype>(texSize)), limitMs);
  if (result.Status == TTypesetResult::tsFailed) {
    Say(append, log, result.Log);
    return 1;
  }
  if (result.Status != TTypesetResult::tsOk) {
    Say(append, message, result.Message.toUtf8());
    return 1;
  }
  const QString path = QString::fromLocal8Bit(out);
  QString why;
  if (path.endsWith(QStringLiteral(".png"))) {
    TRasterScale scale;
    scale.PixelsPerPoint = dpi / kPointsPerInch;
    const TRaster raster = RasterisePdfPage(result.Pdf, scale, limitMs);
    if (raster.Status != TRaster::rsOk) {
      Say(append, message,
          raster.Status == TRaster::rsTooLarge     ? QByteArray("Cannot render the typeset table at this resolution")
          : raster.Status == TRaster::rsTooComplex ? QByteArray(kTooComplexMessage)
                                                   : QByteArray("Cannot read the PDF that TeX made"));
      return 1;
    }
    QImage image = raster.Image;
    const int dotsPerMeter = qRound(dpi * kInchesPerMeter);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QByteArray png;
    {
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      if (!image.save(&buffer, "PNG")) {
        Say(append, message, QByteArray("Cannot encode the PNG picture"));
        return 1;
      }
    }
    if (!WriteFileAtomically(path, png, why)) {
      Say(append, message, why.toUtf8());
      return 1;
    }
    return 0;
  }
  // The PDF goes to others: it carries the pages' drawing and nothing else.
  const TTypesetResult copy = CopyPdfWithoutActions(result.Pdf, limitMs);
  if (copy.Status != TTypesetResult::tsOk) {
    Say(append, message,
        "Cannot copy the typeset PDF: " +
            (copy.Message.isEmpty() ? QByteArray("TeX could not read it") : copy.Message.toUtf8()));
    return 1;
  }
  if (!WriteFileAtomically(path, copy.Pdf, why)) {
    Say(append, message, why.toUtf8());
    return 1;
  }
  return 0;
}

// The rasterising child (see TypesetRunner.h), started as the program
// itself.
static_assert(std::string_view(kRasteriseChildOption) == kRasteriseChildArgument);
extern "C" __attribute__((visibility("default"))) int QuiltorRasteriseChild(int argc, char** argv) {
  return RasteriseChildMain(argc, argv);
}
