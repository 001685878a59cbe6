#include "typeset/TypesetRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "typeset/TexSandbox.h"

const char* const kTooComplexMessage = "The typeset picture is too complex to show";

const char* const kNoTexMessage =
    "No TeX installation was found (pdflatex is not on PATH). Install the package texlive-latex-base "
    "(and texlive-latex-recommended for more table packages) to see the typeset table.";

namespace {

constexpr const char* kJobName = "table";
constexpr const char* kRunFolderPrefix = "quiltor-tex-";
// What TeX says on its terminal; kept for the messages the log lacks.
constexpr const char* kConsoleName = "console.txt";

// A run's folder is named after the process that made it, so that the
// folder of a run whose process was killed can be told from a live one.
QString RunFolderPattern() {
  return QDir::tempPath() + QLatin1Char('/') + QLatin1String(kRunFolderPrefix) +
         QString::number(::getpid()) + QStringLiteral("-XXXXXX");
}

// Removes the folders of runs whose process has gone: a process killed
// during a run cannot remove its folder itself. Once per process and
// temporary folder.
void RemoveDeadRunFolders() {
  static QStringList done;
  const QDir temp(QDir::tempPath());
  if (done.contains(temp.path())) return;
  done << temp.path();
  for (const QString& name : temp.entryList({QLatin1String(kRunFolderPrefix) + QLatin1Char('*')},
                                            QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
    bool number = false;
    const qint64 pid = name.mid(int(strlen(kRunFolderPrefix))).section(QLatin1Char('-'), 0, 0).toLongLong(&number);
    if (!number || pid <= 0) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    QDir(temp.filePath(name)).removeRecursively();
  }
}

std::unique_ptr<QTemporaryDir> MakeRunFolder() {
  RemoveDeadRunFolders();
  return std::make_unique<QTemporaryDir>(RunFolderPattern());
}

// Writes tex and files into dir and sets process up to typeset it there.
// False when that fails; message says why.
bool Prepare(QProcess& process, const QTemporaryDir& dir, const QString& pdflatex, const QByteArray& tex,
             const std::vector<TRunFile>& files, int timeLimitMs, QString& message) {
  if (!dir.isValid()) {
    message = QStringLiteral("Cannot create a temporary folder for TeX: %1").arg(dir.errorString());
    return false;
  }
  std::vector<TRunFile> all = files;
  all.push_back({QStringLiteral("table.tex"), tex});
  for (const TRunFile& f : all) {
    QFile file(dir.filePath(f.Name));
    if (!file.open(QIODevice::WriteOnly) || file.write(f.Bytes) != f.Bytes.size() || !file.flush()) {
      message = QStringLiteral("Cannot write the document for TeX in %1: %2").arg(dir.path(), file.errorString());
      return false;
    }
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // kpathsea's paranoid mode: no reading or writing of files by absolute
  // name outside TEXMFOUTPUT, none in parent folders, none of dot files.
  env.insert(QStringLiteral("openin_any"), QStringLiteral("p"));
  env.insert(QStringLiteral("openout_any"), QStringLiteral("p"));
  env.insert(QStringLiteral("TEXMFOUTPUT"), dir.path());
  env.insert(QStringLiteral("shell_escape"), QStringLiteral("f"));
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(dir.path());
  process.setProgram(pdflatex);
  process.setArguments({QStringLiteral("-no-shell-escape"), QStringLiteral("-interaction=nonstopmode"),
                        QStringLiteral("-halt-on-error"), QStringLiteral("-jobname=%1").arg(kJobName),
                        QStringLiteral("table.tex")});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.setStandardOutputFile(dir.filePath(QLatin1String(kConsoleName)));
  return ConfineTexProcess(process, pdflatex, dir.path(), timeLimitMs, message);
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The result of a process that has ended.
TTypesetResult Collect(const QProcess& process, const QTemporaryDir& dir, bool timedOut, int timeLimitMs) {
  TTypesetResult result;
  result.Log = ReadAll(dir.filePath(QStringLiteral("%1.log").arg(kJobName)));
  if (timedOut) {
    result.Status = TTypesetResult::tsTimedOut;
    result.Message = QStringLiteral("TeX did not finish within %1 seconds and was stopped").arg(timeLimitMs / 1000.0);
    return result;
  }
  if (process.exitStatus() != QProcess::NormalExit) {
    result.Status = TTypesetResult::tsCannotRun;
    result.Message = QStringLiteral("TeX ended abnormally: %1").arg(process.errorString());
    return result;
  }
  if (process.exitCode() == kCannotConfineExit && result.Log.isEmpty()) {
    result.Status = TTypesetResult::tsCannotRun;
    result.Message = QString::fromUtf8(kCannotConfineMessage);
    return result;
  }
  result.Pdf = process.exitCode() == 0 ? ReadAll(dir.filePath(QStringLiteral("%1.pdf").arg(kJobName))) : QByteArray();
  result.Status = result.Pdf.isEmpty() ? TTypesetResult::tsFailed : TTypesetResult::tsOk;
  // A file the sandbox refused is told on the terminal only.
  if (result.Status == TTypesetResult::tsFailed)
    result.Log += "\n" + ReadAll(dir.filePath(QLatin1String(kConsoleName)));
  return result;
}

TTypesetResult NoTex() {
  TTypesetResult result;
  result.Status = TTypesetResult::tsNoTex;
  result.Message = QString::fromUtf8(kNoTexMessage);
  return result;
}

// ------------------------------------------------ stopping with the converter

// What a stop signal takes along while the converter waits: the TeX run's
// process group and the rasterising child.
volatile sig_atomic_t gStopGroup = 0;
volatile sig_atomic_t gStopChild = 0;

void ForwardStop(int signal) {
  if (gStopGroup > 0) ::kill(-static_cast<pid_t>(gStopGroup), SIGKILL);
  if (gStopChild > 0) ::kill(static_cast<pid_t>(gStopChild), SIGKILL);
  // Then ends as the signal would have ended it.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// For as long as it lives, SIGINT and SIGTERM kill target's processes first.
class TForwardStopSignals {
 public:
  TForwardStopSignals(volatile sig_atomic_t& target, pid_t pid) : FTarget(target) {
    FTarget = pid;
    struct sigaction forward {};
    forward.sa_handler = ForwardStop;
    sigemptyset(&forward.sa_mask);
    ::sigaction(SIGINT, &forward, &FOldInt);
    ::sigaction(SIGTERM, &forward, &FOldTerm);
  }
  ~TForwardStopSignals() {
    ::sigaction(SIGINT, &FOldInt, nullptr);
    ::sigaction(SIGTERM, &FOldTerm, nullptr);
    FTarget = 0;
  }
  TForwardStopSignals(const TForwardStopSignals&) = delete;
  TForwardStopSignals& operator=(const TForwardStopSignals&) = delete;

 private:
  volatile sig_atomic_t& FTarget;
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
};

}  // namespace

QString FindPdfLatex() { return QStandardPaths::findExecutable(QStringLiteral("pdflatex")); }

TTypesetRunner::TTypesetRunner(QObject* parent) : QObject(parent) {
  FLimit.setSingleShot(true);
  connect(&FLimit, &QTimer::timeout, this, [this] {
    if (!FProcess) return;
    FTimedOut = true;
    KillTexProcessGroup(*FProcess);
  });
}

TTypesetRunner::~TTypesetRunner() {
  if (FProcess) {
    FProcess->disconnect(this);
    KillTexProcessGroup(*FProcess);
    FProcess->waitForFinished(2000);
    delete FProcess;
  }
}

void TTypesetRunner::Request(uint64_t request, const QByteArray& tex) {
  FWaiting = TJob{request, tex};
  if (!FProcess) StartNext();
}

void TTypesetRunner::StartNext() {
  if (!FWaiting) return;
  const TJob job = std::move(*FWaiting);
  FWaiting.reset();
  FRunning = job.Request;
  const QString pdflatex = FindPdfLatex();
  if (pdflatex.isEmpty()) {
    TTypesetResult failure = NoTex();
    failure.Request = job.Request;
    Done(failure);
    return;
  }
  FDir = MakeRunFolder();
  FProcess = new QProcess(this);
  TTypesetResult failure;
  failure.Request = job.Request;
  if (!Prepare(*FProcess, *FDir, pdflatex, job.Tex, {}, FTimeLimitMs, failure.Message)) {
    Done(failure);
    return;
  }
  FTimedOut = false;
  connect(FProcess, &QProcess::finished, this, [this] {
    FLimit.stop();
    TTypesetResult result = Collect(*FProcess, *FDir, FTimedOut, FTimeLimitMs);
    result.Request = FRunning;
    Done(std::move(result));
  });
  connect(FProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;  // the others end in finished
    FLimit.stop();
    TTypesetResult result;
    result.Request = FRunning;
    result.Message = QStringLiteral("Cannot start %1: %2").arg(FProcess->program(), FProcess->errorString());
    Done(std::move(result));
  });
  FLimit.start(FTimeLimitMs);
  FProcess->start();
}

void TTypesetRunner::Done(TTypesetResult result) {
  if (FProcess) {
    FProcess->disconnect(this);
    FProcess->deleteLater();
    FProcess = nullptr;
  }
  FDir.reset();  // removes the folder and all TeX wrote there
  emit Finished(result);
  // A queued document starts once the receiver has seen this result; from
  // the event loop, so that a receiver that asks for more is not re-entered.
  if (FWaiting) QMetaObject::invokeMethod(this, [this] { if (!FProcess) StartNext(); }, Qt::QueuedConnection);
}

TTypesetResult TypesetAndWait(const QByteArray& tex, int timeLimitMs, const std::vector<TRunFile>& files) {
  TTypesetResult result;
  const QString pdflatex = FindPdfLatex();
  if (pdflatex.isEmpty()) return NoTex();
  const std::unique_ptr<QTemporaryDir> dir = MakeRunFolder();
  QProcess process;
  if (!Prepare(process, *dir, pdflatex, tex, files, timeLimitMs, result.Message)) return result;
  process.start();
  if (!process.waitForStarted()) {
    result.Message = QStringLiteral("Cannot start %1: %2").arg(pdflatex, process.errorString());
    return result;
  }
  bool timedOut = false;
  {
    const TForwardStopSignals forward(gStopGroup, static_cast<pid_t>(process.processId()));
    if (!process.waitForFinished(timeLimitMs)) {
      timedOut = true;
      KillTexProcessGroup(process);
      process.waitForFinished(-1);
    }
  }
  return Collect(process, *dir, timedOut, timeLimitMs);
}

TTypesetResult CopyPdfWithoutActions(const QByteArray& pdf, int timeLimitMs) {
  // Each page of the PDF as a picture (a form), on a page of its size. The
  // objects are written uncompressed: they are few and small, and so can be
  // checked by anyone with a text viewer.
  static const QByteArray copier =
      "\\pdfoutput=1 \\pdfobjcompresslevel=0\n"
      "\\pdfximage{source.pdf}\\count1=\\pdflastximagepages \\count2=0\n"
      "\\hoffset=0pt \\voffset=0pt \\pdfhorigin=0pt \\pdfvorigin=0pt\n"
      "\\loop \\advance\\count2 by 1\n"
      "\\pdfximage page \\count2 {source.pdf}\\setbox0=\\hbox{\\pdfrefximage\\pdflastximage}\n"
      "\\pdfpagewidth=\\wd0 \\pdfpageheight=\\dimexpr\\ht0+\\dp0\\relax \\shipout\\box0\n"
      "\\ifnum\\count2<\\count1 \\repeat\n"
      "\\csname @@end\\endcsname\\end\n";
  return TypesetAndWait(copier, timeLimitMs, {{QStringLiteral("source.pdf"), pdf}});
}

// ---------------------------------------------------------------- rasterising

namespace {

// Bounded: a page of a few metres would otherwise ask for gigabytes.
constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
// The address space a rasterising child may take: the program with Qt, room
// for the largest picture (kMaxPixels, twice) and PDFium's own.
constexpr rlim_t kRasterMemory = rlim_t(2) << 30;

// A document read from bytes held in memory for as long as it lives.
struct TLoadedPdf {
  QByteArray Bytes;
  QBuffer Buffer;
  QPdfDocument Document;
  explicit TLoadedPdf(const QByteArray& pdf) : Bytes(pdf), Buffer(&Bytes) {
    Buffer.open(QIODevice::ReadOnly);
    Document.load(&Buffer);
  }
  bool Ready() const { return Document.status() == QPdfDocument::Status::Ready && Document.pageCount() > 0; }
};

// The picture, made in this process: only ever in the child.
TRaster RasteriseHere(const QByteArray& pdf, const TRasterScale& scale) {
  TRaster raster;
  TLoadedPdf loaded(pdf);
  if (!loaded.Ready()) return raster;
  raster.PageSize = loaded.Document.pagePointSize(0);
  raster.PixelsPerPoint = scale.FitWidth > 0 && raster.PageSize.width() > 0
                              ? std::clamp(scale.FitWidth / raster.PageSize.width(), scale.Least, scale.Most)
                              : scale.PixelsPerPoint;
  const QSize pixels(qMax(1, qRound(raster.PageSize.width() * raster.PixelsPerPoint)),
                     qMax(1, qRound(raster.PageSize.height() * raster.PixelsPerPoint)));
  if (qint64(pixels.width()) * pixels.height() > kMaxPixels) {
    raster.Status = TRaster::rsTooLarge;
    return raster;
  }
  raster.Status = TRaster::rsTooComplex;  // until the memory is found
  const QImage page = loaded.Document.render(0, pixels);
  if (page.isNull()) return raster;
  // PDFium leaves the paper transparent; a table is seen on white paper.
  QImage image(page.size(), QImage::Format_RGB32);
  if (image.isNull()) return raster;
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.drawImage(0, 0, page);
  painter.end();
  raster.Image = image;
  raster.Status = TRaster::rsOk;
  return raster;
}

// What the child sends before the picture's pixels (RGB32, line by line).
struct TRasterHeader {
  int32_t Status;
  int32_t Width;
  int32_t Height;
  double PageWidth;
  double PageHeight;
  double PixelsPerPoint;
};

bool WriteFully(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Starts the child that rasterises pdf: the job (the scale, then the PDF)
// goes in through a file in memory, the picture comes out through the pipe
// whose reading end it returns in fd. -1 when no child can be made.
pid_t StartRasterChild(const QByteArray& pdf, const TRasterScale& scale, int timeLimitMs, int& fd) {
  const int job = ::memfd_create("quiltor-raster-job", MFD_CLOEXEC);
  if (job < 0) return -1;
  if (!WriteFully(job, reinterpret_cast<const char*>(&scale), sizeof scale) ||
      !WriteFully(job, pdf.constData(), static_cast<size_t>(pdf.size())) || ::lseek(job, 0, SEEK_SET) != 0) {
    ::close(job);
    return -1;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    ::close(job);
    return -1;
  }
  const pid_t parent = ::getpid();
  char argument[64];
  std::snprintf(argument, sizeof argument, "%s", kRasteriseChildArgument);
  char name[] = "quiltor";
  char* const argv[] = {name, argument, nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Between fork and exec: system calls only.
    if (::dup2(job, STDIN_FILENO) < 0 || ::dup2(fds[1], STDOUT_FILENO) < 0) ::_exit(3);
    if (!BindChildToParent(parent, timeLimitMs / 1000 + 2)) ::_exit(3);
#if !defined(__SANITIZE_ADDRESS__)
    // (The address sanitizer reserves terabytes of address space up front.)
    const rlimit memory{kRasterMemory, kRasterMemory};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    ::execv("/proc/self/exe", argv);
    ::_exit(3);
  }
  ::close(job);
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return -1;
  }
  fd = fds[0];
  return pid;
}

// The child's result from what it sent and how it ended.
TRaster ReadRaster(const QByteArray& bytes, int waitStatus, bool timedOut) {
  TRaster raster;
  raster.Status = TRaster::rsTooComplex;
  TRasterHeader header;
  if (timedOut || !WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0 || size_t(bytes.size()) < sizeof header)
    return raster;
  std::memcpy(&header, bytes.constData(), sizeof header);
  if (header.Status != TRaster::rsOk) {
    if (header.Status >= TRaster::rsUnreadable && header.Status <= TRaster::rsTooComplex)
      raster.Status = static_cast<TRaster::TStatus>(header.Status);
    return raster;
  }
  const qint64 line = qint64(header.Width) * 4;
  if (header.Width <= 0 || header.Height <= 0 || qint64(header.Width) * header.Height > kMaxPixels ||
      bytes.size() != qint64(sizeof header) + line * header.Height)
    return raster;
  QImage image(header.Width, header.Height, QImage::Format_RGB32);
  if (image.isNull()) return raster;
  for (int y = 0; y < header.Height; ++y)
    std::memcpy(image.scanLine(y), bytes.constData() + sizeof header + y * line, static_cast<size_t>(line));
  raster.Status = TRaster::rsOk;
  raster.Image = image;
  raster.PageSize = QSizeF(header.PageWidth, header.PageHeight);
  raster.PixelsPerPoint = header.PixelsPerPoint;
  return raster;
}

int WaitForChild(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

TRaster RasterisePdfPage(const QByteArray& pdf, const TRasterScale& scale, int timeLimitMs) {
  int fd = -1;
  const pid_t pid = StartRasterChild(pdf, scale, timeLimitMs, fd);
  if (pid < 0) return TRaster{TRaster::rsTooComplex, {}, {}, 0};
  const TForwardStopSignals forward(gStopChild, pid);
  QByteArray bytes;
  bool timedOut = false;
  QElapsedTimer clock;
  clock.start();
  char piece[65536];
  for (;;) {
    const qint64 left = timeLimitMs - clock.elapsed();
    if (left <= 0) {
      timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left));
    if (polled <= 0) continue;  // interrupted, or the time is up
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(piece, n);
  }
  ::close(fd);
  return ReadRaster(bytes, WaitForChild(pid), timedOut);
}

TPdfRasteriser::TPdfRasteriser(QObject* parent) : QObject(parent) {
  FLimit.setSingleShot(true);
  connect(&FLimit, &QTimer::timeout, this, [this] {
    if (FPid <= 0) return;
    FTimedOut = true;
    ::kill(FPid, SIGKILL);  // the pipe then ends
  });
}

TPdfRasteriser::~TPdfRasteriser() { Stop(); }

void TPdfRasteriser::Stop() {
  if (FPid <= 0) return;
  delete FNotifier;
  FNotifier = nullptr;
  ::kill(FPid, SIGKILL);
  ::close(FFd);
  WaitForChild(FPid);
  FPid = -1;
  FFd = -1;
}

void TPdfRasteriser::Request(uint64_t request, const QByteArray& pdf, const TRasterScale& scale) {
  FWaiting = TJob{request, pdf, scale};
  if (FPid <= 0) StartNext();
}

void TPdfRasteriser::StartNext() {
  if (!FWaiting || FPid > 0) return;
  const TJob job = std::move(*FWaiting);
  FWaiting.reset();
  FRunning = job.Request;
  FBytes.clear();
  FTimedOut = false;
  FPid = StartRasterChild(job.Pdf, job.Scale, FTimeLimitMs, FFd);
  if (FPid <= 0) {
    FPid = -1;
    emit Finished(FRunning, TRaster{TRaster::rsTooComplex, {}, {}, 0});
    return;
  }
  ::fcntl(FFd, F_SETFL, ::fcntl(FFd, F_GETFL) | O_NONBLOCK);
  FNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TPdfRasteriser::ReadMore);
  FLimit.start(FTimeLimitMs);
}

void TPdfRasteriser::ReadMore() {
  char piece[65536];
  for (;;) {
    const ssize_t n = ::read(FFd, piece, sizeof piece);
    if (n > 0) {
      FBytes.append(piece, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    break;  // the end, or a broken pipe: the child is done
  }
  FLimit.stop();
  FNotifier->setEnabled(false);
  FNotifier->deleteLater();
  FNotifier = nullptr;
  ::close(FFd);
  FFd = -1;
  const int status = WaitForChild(FPid);
  FPid = -1;
  const TRaster raster = ReadRaster(FBytes, status, FTimedOut);
  FBytes.clear();
  emit Finished(FRunning, raster);
  if (FWaiting) QMetaObject::invokeMethod(this, [this] { StartNext(); }, Qt::QueuedConnection);
}

int RasteriseChildMain(int argc, char** argv) {
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  QByteArray job;
  char piece[65536];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 1;
    if (n == 0) break;
    job.append(piece, n);
  }
  TRasterScale scale;
  if (size_t(job.size()) < sizeof scale) return 1;
  std::memcpy(&scale, job.constData(), sizeof scale);
  const TRaster raster = RasteriseHere(job.mid(sizeof scale), scale);
  const TRasterHeader header{raster.Status, raster.Image.width(), raster.Image.height(), raster.PageSize.width(),
                             raster.PageSize.height(), raster.PixelsPerPoint};
  bool ok = WriteFully(STDOUT_FILENO, reinterpret_cast<const char*>(&header), sizeof header);
  for (int y = 0; ok && raster.Status == TRaster::rsOk && y < raster.Image.height(); ++y)
    ok = WriteFully(STDOUT_FILENO, reinterpret_cast<const char*>(raster.Image.constScanLine(y)),
                    static_cast<size_t>(raster.Image.width()) * 4);
  return ok ? 0 : 1;
}
