// The typeset preview's TeX runs and panel, with the real pdflatex.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>
#include <QTemporaryDir>
#include <cerrno>
#include <memory>
#include <vector>

#include "common/PdfLatex.h"
#include "forms/preview/TypesetPanel.h"
#include "typeset/TypesetRunner.h"
#include "typeset/TexSandbox.h"
#include "model/Tables.h"

namespace {

// Long enough for a slow, busy machine; a run never comes near it.
constexpr int kWaitMs = 60000;

QByteArray Document(const QString& body) {
  return ("\\documentclass{article}\n\\begin{document}\n" + body + "\nx\n\\end{document}\n").toUtf8();
}

std::vector<TTypesetResult> RunAll(TTypesetRunner& runner, const std::vector<QByteArray>& docs, size_t expected) {
  std::vector<TTypesetResult> results;
  QObject::connect(&runner, &TTypesetRunner::Finished, [&results](const TTypesetResult& r) { results.push_back(r); });
  uint64_t request = 0;
  for (const QByteArray& doc : docs) runner.Request(++request, doc);
  QSignalSpy spy(&runner, &TTypesetRunner::Finished);
  while (results.size() < expected && spy.wait(kWaitMs)) {
  }
  return results;
}

void MakeTable(TTable& table, int rows, int columns) {
  for (int c = 0; c < columns; ++c) new TColumn(table);
  for (int r = 0; r < rows; ++r) {
    TRow* row = table.AddRow();
    for (int c = 0; c < columns; ++c) (*row)[c]->SetText("r" + std::to_string(r) + "c" + std::to_string(c));
  }
}

bool WaitForUpdate(TTypesetPanel& panel) {
  QSignalSpy spy(&panel, &TTypesetPanel::Updated);
  return spy.wait(kWaitMs);
}

// An environment variable changed for as long as the object lives.
class TEnv {
 public:
  TEnv(const char* name, const QByteArray& value) : FName(name), FOld(qgetenv(name)), FHad(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
  }
  ~TEnv() {
    if (FHad) qputenv(FName, FOld);
    else qunsetenv(FName);
  }

 private:
  const char* FName;
  QByteArray FOld;
  bool FHad;
};

void WriteFile(const QString& path, const QByteArray& text, bool executable = false) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(text);
  file.close();
  if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
}

// The processes whose command line holds marker.
std::vector<pid_t> ProcessesWith(const QByteArray& marker) {
  std::vector<pid_t> found;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number) continue;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(marker)) found.push_back(pid);
  }
  return found;
}

// True when no process with marker is left, given the kernel a moment to
// take the killed ones away; kills the ones that are left.
bool NoneLeft(const QByteArray& marker) {
  for (int i = 0; i < 100 && !ProcessesWith(marker).empty(); ++i) QThread::msleep(50);
  const std::vector<pid_t> left = ProcessesWith(marker);
  for (pid_t pid : left) ::kill(pid, SIGKILL);
  return left.empty();
}

// A stand-in for pdflatex on PATH: a shell script.
struct TFakeTex {
  QTemporaryDir Dir;
  std::unique_ptr<TEnv> Path;
  explicit TFakeTex(const QByteArray& script) {
    WriteFile(Dir.filePath("pdflatex"), "#!/bin/sh\n" + script, true);
    Path = std::make_unique<TEnv>("PATH", Dir.path().toLocal8Bit() + ":" + qgetenv("PATH"));
  }
};

// The sandbox's kernel calls as they were, once the test that replaced
// some of them ends.
struct TRestoredCalls {
  TTexSandboxCalls Saved = TexSandboxCalls();
  ~TRestoredCalls() { TexSandboxCalls() = Saved; }
};

}  // namespace

// If TeX were run without its safeguards, the table's text could read any
// file the user can, write anywhere, or run programs. kpathsea's paranoid
// mode and the disabled shell escapes stop these on their own, where the
// kernel has no Landlock as well as where it has.
TEST(TypesetRunner, TextCannotReachOutsideItsFolder) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  for (const bool landlock : {true, false}) {
    const TRestoredCalls restored;
    if (!landlock) TexSandboxCalls().Version = [] { return 0; };
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString secret = outside.filePath("secret.tex");
    // Read, it would announce itself in the log.
    WriteFile(secret, "\\typeout{SECRET-TOKEN-4711}\n");
    const QString written = outside.filePath("written.txt");
    const QString ran = outside.filePath("ran.txt");
    const std::vector<QByteArray> attempts = {
        Document("\\input{" + secret + "}"),
        Document("\\input{/etc/passwd}"),
        Document("\\immediate\\write18{touch " + ran + "}"),
        Document("\\immediate\\openout5=" + written + "\\immediate\\write5{x}\\immediate\\closeout5"),
        Document("\\immediate\\openout5=../escaped.txt\\immediate\\write5{x}\\immediate\\closeout5"),
    };
    for (const QByteArray& attempt : attempts) {
      TTypesetRunner runner;
      const std::vector<TTypesetResult> results = RunAll(runner, {attempt}, 1);
      ASSERT_EQ(results.size(), 1u);
      EXPECT_FALSE(results[0].Log.contains("SECRET-TOKEN")) << attempt.constData();
      EXPECT_FALSE(results[0].Log.contains("(/etc/passwd")) << attempt.constData();  // TeX logs what it opens
      EXPECT_FALSE(results[0].Pdf.contains("SECRET-TOKEN")) << attempt.constData();
    }
    EXPECT_FALSE(QFile::exists(ran)) << landlock;
    EXPECT_FALSE(QFile::exists(written)) << landlock;
    EXPECT_FALSE(QFile::exists(QDir::tempPath() + "/escaped.txt")) << landlock;
  }
}

// kpathsea's paranoid mode lets "~/" names through, and pdfTeX's own file
// primitives ignore it: unconfined, these runs copy a private file into the
// log or the PDF.
TEST(TypesetRunner, TextCannotReadPrivateFilesPastKpathsea) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  if (!TexSandboxAvailable()) GTEST_SKIP() << "the kernel cannot confine TeX runs (no Landlock)";
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  {
    QFile file(home.filePath("private.tex"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\\typeout{SECRET-TOKEN-4711}SECRET-TOKEN-4711\n");
  }
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  // pdflatex found through ~/bin, a link to the system's: the folder above
  // that bin is the home folder.
  ASSERT_TRUE(QDir(home.path()).mkdir("bin"));
  ASSERT_TRUE(QFile::link(QFileInfo(FindPdfLatex()).absoluteFilePath(), home.filePath("bin/pdflatex")));
  const TEnv path("PATH", home.filePath("bin").toLocal8Bit() + ":" + qgetenv("PATH"));
  ASSERT_EQ(FindPdfLatex(), home.filePath("bin/pdflatex"));
  const std::vector<QByteArray> attempts = {
      Document("\\input{~/private.tex}"),
      Document("\\pdfcompresslevel=0 \\immediate\\pdfobj file {" + home.filePath("private.tex") +
               "}\\pdfrefobj\\pdflastobj"),
  };
  for (const QByteArray& attempt : attempts) {
    TTypesetRunner runner;
    const std::vector<TTypesetResult> results = RunAll(runner, {attempt}, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].Log.contains("SECRET-TOKEN")) << attempt.constData();
    EXPECT_FALSE(results[0].Pdf.contains("SECRET-TOKEN")) << attempt.constData();
    EXPECT_FALSE(TypesetAndWait(attempt).Pdf.contains("SECRET-TOKEN")) << attempt.constData();
  }
  // The confinement lets ordinary tables through.
  TTypesetRunner runner;
  const std::vector<TTypesetResult> plain = RunAll(runner, {Document("\\begin{tabular}{|c|}a\\\\\\end{tabular}")}, 1);
  qputenv("HOME", oldHome);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].Status, TTypesetResult::tsOk) << plain[0].Log.right(400).toStdString();
}

// An endless input must not hold the preview (or the converter) forever.
TEST(TypesetRunner, EndlessInputIsStoppedAtTheTimeLimit) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  TTypesetRunner runner;
  runner.SetTimeLimit(1000);
  const std::vector<TTypesetResult> results = RunAll(runner, {Document("\\loop\\iftrue\\repeat")}, 1);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].Status, TTypesetResult::tsTimedOut);
  EXPECT_TRUE(results[0].Message.contains("was stopped")) << results[0].Message.toStdString();
  EXPECT_FALSE(runner.Busy());
  const TTypesetResult waited = TypesetAndWait(Document("\\loop\\iftrue\\repeat"), 1000);
  EXPECT_EQ(waited.Status, TTypesetResult::tsTimedOut);
}

// One run at a time: documents asked for meanwhile wait, and only the
// newest of them runs next.
TEST(TypesetRunner, NewerDocumentReplacesTheWaitingOne) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  TTypesetRunner runner;
  const std::vector<TTypesetResult> results =
      RunAll(runner, {Document("one"), Document("two"), Document("three")}, 2);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].Request, 1u);
  EXPECT_EQ(results[1].Request, 3u);
  EXPECT_EQ(results[1].Status, TTypesetResult::tsOk);
}

// A run that finishes after a newer one must not put its older picture or
// error over the newer picture.
TEST(TypesetPanel, OlderResultFinishingLastIsDropped) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  TTypesetPanel panel(nullptr);
  const uint64_t older = panel.Order().NextRequest();
  const uint64_t newer = panel.Order().NextRequest();
  TTypesetResult good = TypesetAndWait(Document(""));
  ASSERT_EQ(good.Status, TTypesetResult::tsOk);
  good.Request = newer;
  panel.ShowResult(good);
  ASSERT_TRUE(WaitForUpdate(panel));
  ASSERT_TRUE(panel.HasPicture());
  TTypesetResult late;
  late.Request = older;
  late.Status = TTypesetResult::tsFailed;
  late.Log = "! Undefined control sequence.\nl.3 \\foo\n";
  panel.ShowResult(late);
  EXPECT_FALSE(panel.Greyed());
  EXPECT_TRUE(panel.Problem().isEmpty());
  EXPECT_EQ(panel.Order().Shown(), newer);
}

// The whole road: a good table gives a picture; an error keeps it, greyed,
// and names the cell; the log is there to show.
TEST(TypesetPanel, ErrorKeepsThePictureAndNamesTheCell) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  auto table = std::make_unique<TTable>();
  MakeTable(*table, 3, 3);
  const TTable* current = table.get();
  TTypesetPanel panel(&current);
  panel.resize(400, 300);
  panel.TypesetNow(*table);
  ASSERT_TRUE(WaitForUpdate(panel));
  ASSERT_TRUE(panel.HasPicture()) << panel.Problem().toStdString();
  EXPECT_FALSE(panel.Picture().isNull());
  EXPECT_TRUE(panel.Problem().isEmpty());

  table->GetCell(1, 2)->SetText("\\nosuchmacro");
  panel.TypesetNow(*table);
  ASSERT_TRUE(WaitForUpdate(panel));
  EXPECT_TRUE(panel.Greyed());
  EXPECT_TRUE(panel.HasPicture());
  EXPECT_FALSE(panel.Picture().isNull());
  EXPECT_EQ(panel.Problem().toStdString(), "Row 2, column 3: Undefined control sequence.");
  EXPECT_TRUE(panel.Log().contains("! Undefined control sequence."));

  // Zooming renders the picture again at the new size.
  panel.SetZoom(1.0);
  ASSERT_TRUE(WaitForUpdate(panel));
  const int width = panel.Picture().width();
  panel.SetZoom(2.0);
  ASSERT_TRUE(WaitForUpdate(panel));
  EXPECT_NEAR(panel.Picture().width(), 2 * width, 2);
  EXPECT_FALSE(panel.FitWidth());
}

// Without TeX the panel says what to install, and nothing else breaks.
TEST(TypesetPanel, NoTexFoundNamesThePackage) {
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", "");
  TTable table;
  MakeTable(table, 2, 2);
  const TTable* current = &table;
  TTypesetPanel panel(&current);
  panel.show();  // typesets at once, without changing the pause after edits
  EXPECT_EQ(panel.PauseMs(), 300);
  panel.TypesetNow(table);
  const bool updated = panel.Order().Shown() == panel.Order().Requested() || WaitForUpdate(panel);
  qputenv("PATH", path);
  ASSERT_TRUE(updated);
  EXPECT_TRUE(panel.Problem().contains("texlive-latex-base")) << panel.Problem().toStdString();
  EXPECT_FALSE(panel.HasPicture());
}

// The run's process group alone: a program TeX started (here a fake
// pdflatex's own child, which no parent-death signal reaches) would go on
// running after the time limit if only the run itself were killed.
TEST(TexSandbox, TimeLimitEndsEverythingTheRunStarted) {
  const TFakeTex tex("sleep 3571.25 &\nexec sleep 3571.25\n");
  TTypesetRunner runner;
  runner.SetTimeLimit(1000);
  const std::vector<TTypesetResult> results = RunAll(runner, {Document("")}, 1);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].Status, TTypesetResult::tsTimedOut) << results[0].Message.toStdString();
  EXPECT_TRUE(NoneLeft("3571.25"));
}

// Each way the confinement can fail to be put in place: if a failure were
// passed over, TeX would run with more than it may see, or with nothing.
TEST(TexSandbox, FailedConfinementMeansNoRun) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  if (!TexSandboxAvailable()) GTEST_SKIP() << "the kernel cannot confine TeX runs (no Landlock)";
  for (const bool restrictFails : {true, false}) {
    const TRestoredCalls restored;
    if (restrictFails) {
      TexSandboxCalls().RestrictSelf = [](int) -> long { return -1; };
    } else {
      TexSandboxCalls().AddRule = [](int, const void*) -> long {
        errno = EINVAL;
        return -1;
      };
    }
    TTypesetRunner runner;
    const std::vector<TTypesetResult> results = RunAll(runner, {Document("x")}, 1);
    const TTypesetResult waited = TypesetAndWait(Document("x"));
    ASSERT_EQ(results.size(), 1u);
    for (const TTypesetResult& result : {results[0], waited}) {
      EXPECT_EQ(result.Status, TTypesetResult::tsCannotRun) << restrictFails;
      EXPECT_TRUE(result.Message.contains("cannot confine TeX")) << result.Message.toStdString();
      EXPECT_TRUE(result.Log.isEmpty()) << restrictFails;  // TeX never started
    }
  }
}

// Every rule the sandbox asks for is one the kernel takes: a file given a
// folder's rights is refused, and then no run can start at all.
TEST(TexSandbox, KernelTakesEveryRule) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  if (!TexSandboxAvailable()) GTEST_SKIP() << "the kernel cannot confine TeX runs (no Landlock)";
  static int calls = 0;
  static std::vector<int> refused;  // errno of each refused rule
  static long (*kernel)(int, const void*) = nullptr;
  calls = 0;
  refused.clear();
  const TRestoredCalls restored;
  kernel = restored.Saved.AddRule;
  TexSandboxCalls().AddRule = [](int ruleset, const void* rule) -> long {
    ++calls;
    const long result = kernel(ruleset, rule);
    if (result != 0) refused.push_back(errno);
    return result;
  };
  const TTypesetResult result = TypesetAndWait(Document("x"));
  EXPECT_EQ(result.Status, TTypesetResult::tsOk) << result.Message.toStdString();
  EXPECT_GT(calls, 3);
  EXPECT_TRUE(refused.empty()) << refused.size() << " rules refused, the first with errno " << refused.front();
}

// A TeX installed under the home folder (as TinyTeX is), or found through a
// link in ~/bin, may read its own program folder and TeX trees and nothing
// else there: not the home folder, and not the folder above its bin.
TEST(TexSandbox, TexUnderHomeReadsOnlyItsOwnTrees) {
  if (!TexSandboxAvailable()) GTEST_SKIP() << "the kernel cannot confine TeX runs (no Landlock)";
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString home = root.filePath("home");
  struct Case {
    const char* Name;
    QString Bin;      // the real program folder
    QString OnPath;   // where PATH finds pdflatex; a link to Bin's when elsewhere
    QStringList Trees;
    QStringList Forbidden;
  } cases[] = {
      {"TinyTeX", home + "/.TinyTeX/bin/x86_64-linux", home + "/.TinyTeX/bin/x86_64-linux",
       {home + "/.TinyTeX/texmf-dist", home + "/.TinyTeX/texmf-var", home + "/texmf"},
       {home + "/secret.txt", home + "/.TinyTeX/secret.txt"}},
      {"~/bin link", root.filePath("texlive/bin"), home + "/bin", {root.filePath("texlive/texmf-dist")},
       {home + "/secret.txt", root.filePath("texlive/secret.txt")}},
  };
  for (const Case& c : cases) {
    QByteArray readAll = "cat";
    for (const QString& tree : c.Trees) {
      WriteFile(tree + "/marker.txt", "TREE-OK\n");
      readAll += " '" + tree.toLocal8Bit() + "/marker.txt'";
    }
    for (const QString& file : c.Forbidden) {
      WriteFile(file, "SECRET-TOKEN\n");
      readAll += " '" + file.toLocal8Bit() + "'";
    }
    // The fake pdflatex shows what it could read as its PDF; kpsewhich
    // names the trees.
    WriteFile(c.Bin + "/pdflatex", "#!/bin/sh\n" + readAll + " >table.pdf 2>/dev/null\nexit 0\n", true);
    WriteFile(c.Bin + "/kpsewhich", "#!/bin/sh\necho '" + c.Trees.join(":!!").toLocal8Bit() + "'\n", true);
    if (c.OnPath != c.Bin) {
      QDir().mkpath(c.OnPath);
      ASSERT_TRUE(QFile::link(c.Bin + "/pdflatex", c.OnPath + "/pdflatex"));
    }
    const TEnv homeEnv("HOME", home.toLocal8Bit());
    const TEnv path("PATH", c.OnPath.toLocal8Bit() + ":/usr/bin:/bin");
    const TTypesetResult result = TypesetAndWait(Document(""));
    ASSERT_EQ(result.Status, TTypesetResult::tsOk) << c.Name << ": " << result.Message.toStdString();
    EXPECT_EQ(result.Pdf.count("TREE-OK"), c.Trees.size()) << c.Name << ": " << result.Pdf.constData();
    EXPECT_FALSE(result.Pdf.contains("SECRET-TOKEN")) << c.Name << ": " << result.Pdf.constData();
    for (const QString& folder : TexReadableFolders(c.OnPath + "/pdflatex"))
      EXPECT_FALSE(home.startsWith(folder)) << c.Name << " may read " << folder.toStdString();
  }
}

// A run's folder goes with it, and the folder of a run whose process was
// killed goes at the next run; a live process's folder stays.
TEST(TexSandbox, RunFoldersDoNotStayBehind) {
  const TFakeTex tex("echo '%PDF' >table.pdf\n");
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const TEnv tmpdir("TMPDIR", temp.path().toLocal8Bit());
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const QString deadFolder = temp.filePath(QStringLiteral("quiltor-tex-%1-AbCdEf").arg(dead));
  const QString liveFolder = temp.filePath(QStringLiteral("quiltor-tex-%1-GhIjKl").arg(::getppid()));
  WriteFile(deadFolder + "/table.tex", "x");
  WriteFile(liveFolder + "/table.tex", "x");
  TTypesetRunner runner;
  ASSERT_EQ(RunAll(runner, {Document("")}, 1).size(), 1u);
  EXPECT_EQ(TypesetAndWait(Document("")).Status, TTypesetResult::tsOk);
  EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).join(' ').toStdString(),
            QFileInfo(liveFolder).fileName().toStdString());
}

// A few hundred bytes of nested PDF forms that take PDFium minutes and
// gigabytes to draw: the drawing is stopped at the limit, the window says
// why, and it goes on working.
TEST(TypesetPanel, TooComplexPictureIsStoppedAndSaidSo) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  // Ten copies of the form below, overlapping, at each of eight levels.
  QByteArray refs = "\\pdfrefxform\\pdflastxform";
  for (int i = 0; i < 9; ++i) refs += "\\kern-1pt\\pdfrefxform\\pdflastxform";
  const QByteArray nested = "\\setbox0\\hbox{\\vrule width 1pt height 1pt}\\immediate\\pdfxform0 \\count255=0 "
                            "\\loop\\setbox0\\hbox{" + refs + "}\\immediate\\pdfxform0 \\advance\\count255 1 "
                            "\\ifnum\\count255<8 \\repeat\\pdfrefxform\\pdflastxform";
  TTypesetResult typeset = TypesetAndWait(Document(nested));
  ASSERT_EQ(typeset.Status, TTypesetResult::tsOk) << typeset.Log.right(400).toStdString();
  EXPECT_EQ(RasterisePdfPage(typeset.Pdf, TRasterScale(), 1000).Status, TRaster::rsTooComplex);

  TTypesetPanel panel(nullptr);
  panel.SetTimeLimit(1000);
  panel.resize(400, 300);
  typeset.Request = panel.Order().NextRequest();
  panel.ShowResult(typeset);
  ASSERT_TRUE(WaitForUpdate(panel));
  EXPECT_EQ(panel.Problem().toStdString(), kTooComplexMessage);
  EXPECT_FALSE(panel.HasPicture());
  // The next table is shown as usual.
  TTypesetResult plain = TypesetAndWait(Document(""));
  plain.Request = panel.Order().NextRequest();
  panel.ShowResult(plain);
  ASSERT_TRUE(WaitForUpdate(panel));
  EXPECT_TRUE(panel.HasPicture());
  EXPECT_TRUE(panel.Problem().isEmpty()) << panel.Problem().toStdString();
}
