// The typeset preview's TeX runs and panel, with the real pdflatex.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "common/PdfLatex.h"
#include "forms/TypesetPanel.h"
#include "forms/TypesetRunner.h"
#include "forms/TexSandbox.h"
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

}  // namespace

// If TeX were run without its safeguards, the table's text could read any
// file the user can, write anywhere, or run programs.
TEST(TypesetRunner, TextCannotReachOutsideItsFolder) {
  ASSERT_FALSE(FindPdfLatex().isEmpty());
  QTemporaryDir outside;
  ASSERT_TRUE(outside.isValid());
  const QString secret = outside.filePath("secret.tex");
  {
    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Read, it would announce itself in the log.
    file.write("\\typeout{SECRET-TOKEN-4711}\n");
  }
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
  EXPECT_FALSE(QFile::exists(ran));
  EXPECT_FALSE(QFile::exists(written));
  EXPECT_FALSE(QFile::exists(QDir::tempPath() + "/escaped.txt"));
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
  EXPECT_EQ(panel.Problem().toStdString(), "Row 2, cell 3: Undefined control sequence.");
  EXPECT_TRUE(panel.Log().contains("! Undefined control sequence."));

  // Zooming renders the picture again at the new size.
  panel.SetZoom(1.0);
  const int width = panel.Picture().width();
  panel.SetZoom(2.0);
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
