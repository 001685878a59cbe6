#include "forms/TypesetRunner.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "forms/TexSandbox.h"

const char* const kNoTexMessage =
    "No TeX installation was found (pdflatex is not on PATH). Install the package texlive-latex-base "
    "(and texlive-latex-recommended for more table packages) to see the typeset table.";

namespace {

constexpr const char* kJobName = "table";

// Writes tex into dir and sets process up to typeset it there. False when
// the file cannot be written; message says why.
bool Prepare(QProcess& process, const QTemporaryDir& dir, const QString& pdflatex, const QByteArray& tex,
             QString& message) {
  QFile file(dir.filePath(QStringLiteral("table.tex")));
  if (!file.open(QIODevice::WriteOnly) || file.write(tex) != tex.size() || !file.flush()) {
    message = QStringLiteral("Cannot write the document for TeX in %1: %2").arg(dir.path(), file.errorString());
    return false;
  }
  file.close();
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
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  ConfineTexProcess(process, pdflatex, dir.path());
  return true;
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
  result.Pdf = process.exitCode() == 0 ? ReadAll(dir.filePath(QStringLiteral("%1.pdf").arg(kJobName))) : QByteArray();
  result.Status = result.Pdf.isEmpty() ? TTypesetResult::tsFailed : TTypesetResult::tsOk;
  return result;
}

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
  TTypesetResult failure;
  failure.Request = job.Request;
  const QString pdflatex = FindPdfLatex();
  if (pdflatex.isEmpty()) {
    failure.Status = TTypesetResult::tsNoTex;
    failure.Message = QString::fromUtf8(kNoTexMessage);
    Done(failure);
    return;
  }
  FDir = std::make_unique<QTemporaryDir>();
  FProcess = new QProcess(this);
  if (!FDir->isValid() || !Prepare(*FProcess, *FDir, pdflatex, job.Tex, failure.Message)) {
    if (failure.Message.isEmpty()) failure.Message = QStringLiteral("Cannot create a temporary folder for TeX");
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

TTypesetResult TypesetAndWait(const QByteArray& tex, int timeLimitMs) {
  TTypesetResult result;
  const QString pdflatex = FindPdfLatex();
  if (pdflatex.isEmpty()) {
    result.Status = TTypesetResult::tsNoTex;
    result.Message = QString::fromUtf8(kNoTexMessage);
    return result;
  }
  QTemporaryDir dir;
  QProcess process;
  if (!dir.isValid()) {
    result.Message = QStringLiteral("Cannot create a temporary folder for TeX: %1").arg(dir.errorString());
    return result;
  }
  if (!Prepare(process, dir, pdflatex, tex, result.Message)) return result;
  process.start();
  if (!process.waitForStarted()) {
    result.Message = QStringLiteral("Cannot start %1: %2").arg(pdflatex, process.errorString());
    return result;
  }
  bool timedOut = false;
  if (!process.waitForFinished(timeLimitMs)) {
    timedOut = true;
    KillTexProcessGroup(process);
    process.waitForFinished(-1);
  }
  return Collect(process, dir, timedOut, timeLimitMs);
}

namespace {

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

}  // namespace

QSizeF PdfPageSize(const QByteArray& pdf) {
  TLoadedPdf loaded(pdf);
  return loaded.Ready() ? loaded.Document.pagePointSize(0) : QSizeF();
}

QImage RenderPdfPage(const QByteArray& pdf, double pixelsPerPoint) {
  TLoadedPdf loaded(pdf);
  if (!loaded.Ready()) return {};
  const QSizeF points = loaded.Document.pagePointSize(0);
  const QSize pixels(qMax(1, qRound(points.width() * pixelsPerPoint)), qMax(1, qRound(points.height() * pixelsPerPoint)));
  // Bounded: a page of a few metres would otherwise ask for gigabytes.
  constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
  if (qint64(pixels.width()) * pixels.height() > kMaxPixels) return {};
  const QImage page = loaded.Document.render(0, pixels);
  if (page.isNull()) return {};
  // PDFium leaves the paper transparent; a table is seen on white paper.
  QImage image(page.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.drawImage(0, 0, page);
  painter.end();
  return image;
}
