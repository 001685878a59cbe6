#pragma once
// Running pdflatex on a typeset document, safely and within bounds, and
// turning the PDF it makes into a picture.
//
// Every run happens in a private temporary folder that is removed
// afterwards, without a shell (the program and its arguments as a list),
// with shell escapes off, in non-stop mode that halts at the first error,
// with kpathsea's paranoid file access, and confined by the kernel where it
// can (see TexSandbox.h): TeX may read only the system's programs and TeX
// trees and the run's folder, and write only into that folder. A run that
// takes longer than the time limit is killed with every program it started.
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>

class QProcess;
class QTemporaryDir;

// The TeX program the preview runs; empty when it is not on PATH.
QString FindPdfLatex();

// What the user is told when there is no TeX installation.
extern const char* const kNoTexMessage;

inline constexpr int kDefaultTypesetTimeLimitMs = 10000;

struct TTypesetResult {
  enum TStatus { tsOk, tsFailed, tsTimedOut, tsNoTex, tsCannotRun };
  uint64_t Request = 0;
  TStatus Status = tsCannotRun;
  QByteArray Pdf;   // with tsOk
  QByteArray Log;   // TeX's whole log, when it wrote one
  QString Message;  // why, for tsTimedOut, tsNoTex and tsCannotRun
};

// Typesets one document after another, never two at a time. A document
// asked for while one runs waits; a newer one replaces it in the wait.
class TTypesetRunner : public QObject {
  Q_OBJECT

 public:
  explicit TTypesetRunner(QObject* parent = nullptr);
  ~TTypesetRunner() override;

  void SetTimeLimit(int ms) { FTimeLimitMs = ms; }
  // Queues tex; Finished reports its result under request.
  void Request(uint64_t request, const QByteArray& tex);
  bool Busy() const { return FProcess != nullptr; }

 signals:
  void Finished(const TTypesetResult& result);

 private:
  void StartNext();
  void Done(TTypesetResult result);

  struct TJob {
    uint64_t Request;
    QByteArray Tex;
  };
  std::optional<TJob> FWaiting;
  uint64_t FRunning = 0;
  QProcess* FProcess = nullptr;
  std::unique_ptr<QTemporaryDir> FDir;
  QTimer FLimit;
  bool FTimedOut = false;
  int FTimeLimitMs = kDefaultTypesetTimeLimitMs;
};

// One run, waited for: for the command line, which has no event loop.
TTypesetResult TypesetAndWait(const QByteArray& tex, int timeLimitMs = kDefaultTypesetTimeLimitMs);

// The first page of pdf as a picture, pixelsPerPoint pixels for each
// PostScript point, on white. A null image when the PDF cannot be read.
QImage RenderPdfPage(const QByteArray& pdf, double pixelsPerPoint);
// The size of the first page in points; empty when the PDF cannot be read.
QSizeF PdfPageSize(const QByteArray& pdf);
