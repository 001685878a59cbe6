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
// takes longer than the time limit is killed with every program it started;
// a run dies with the process that started it, and the folder of a run
// whose process was killed is removed by the next one.
#include <sys/types.h>

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QProcess;
class QSocketNotifier;
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
// files are written into the run's folder beside the document. While it
// waits, SIGINT and SIGTERM stop the run with everything it started before
// they end this process as they would have.
struct TRunFile {
  QString Name;
  QByteArray Bytes;
};
TTypesetResult TypesetAndWait(const QByteArray& tex, int timeLimitMs = kDefaultTypesetTimeLimitMs,
                              const std::vector<TRunFile>& files = {});

// The PDF that a user passes on, copied page by page by a TeX run of its
// own: only the pages' drawing comes over, never the document's or the
// pages' actions (a JavaScript /OpenAction, links, forms), whatever the
// table's code put there. The result is that of the copying run.
TTypesetResult CopyPdfWithoutActions(const QByteArray& pdf, int timeLimitMs);

// Rasterising a PDF is done by PDFium, whose time and memory grow with what
// the page draws; a few hundred bytes of nested forms keep it busy for
// minutes and take gigabytes. So it runs in a child process of its own,
// bounded by a time limit and an address space limit, and dies with this
// process. The child is this program started afresh with
// kRasteriseChildArgument (a forked copy of a process with threads may
// inherit a lock some other thread held, and wait for it forever); every
// program that rasterises hands that command line to RasteriseChildMain.
extern const char* const kTooComplexMessage;

struct TRaster {
  enum TStatus { rsOk, rsUnreadable, rsTooLarge, rsTooComplex };
  TStatus Status = rsUnreadable;
  QImage Image;                // with rsOk: the first page, on white
  QSizeF PageSize;             // with rsOk: in points
  double PixelsPerPoint = 0;   // with rsOk: the scale it was drawn at
};
// The pixels per point to draw the page at: PixelsPerPoint, or with
// FitWidth the scale that makes the page FitWidth pixels wide, kept within
// Least and Most.
struct TRasterScale {
  double PixelsPerPoint = 1;
  double FitWidth = 0;
  double Least = 0;
  double Most = 1e9;
};

inline constexpr const char* kRasteriseChildArgument = "--quiltor-rasterise-child";
// The child's whole work: the job on standard input, the picture to
// standard output. Returns the exit status.
int RasteriseChildMain(int argc, char** argv);

// The first page of pdf as a picture, waited for. More than 64 million
// pixels are refused (rsTooLarge); a page that takes longer than
// timeLimitMs or more memory than allowed gives rsTooComplex.
TRaster RasterisePdfPage(const QByteArray& pdf, const TRasterScale& scale, int timeLimitMs);

// The same without waiting, for the window: one picture at a time, a newer
// request replacing a waiting one, Finished reporting each picture made.
class TPdfRasteriser : public QObject {
  Q_OBJECT

 public:
  explicit TPdfRasteriser(QObject* parent = nullptr);
  ~TPdfRasteriser() override;

  void SetTimeLimit(int ms) { FTimeLimitMs = ms; }
  void Request(uint64_t request, const QByteArray& pdf, const TRasterScale& scale);
  bool Busy() const { return FPid > 0; }

 signals:
  void Finished(uint64_t request, const TRaster& raster);

 private:
  void StartNext();
  void ReadMore();
  void Stop();

  struct TJob {
    uint64_t Request;
    QByteArray Pdf;
    TRasterScale Scale;
  };
  std::optional<TJob> FWaiting;
  uint64_t FRunning = 0;
  pid_t FPid = -1;
  int FFd = -1;
  QByteArray FBytes;
  QSocketNotifier* FNotifier = nullptr;
  QTimer FLimit;
  bool FTimedOut = false;
  int FTimeLimitMs = kDefaultTypesetTimeLimitMs;
};
