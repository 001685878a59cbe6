// quiltor --render: the table typeset by the real pdflatex into a PDF or a
// PNG, read back with Qt's PDF module.
// A build without the editor has no --render, and no Qt to read PDFs.
#if __has_include(<QPdfDocument>)
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QImage>
#include <QPdfDocument>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "../model/FileTestUtil.h"

namespace {

class Render : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) App = new QCoreApplication(argc, argv);
  }

  // Runs quiltor with args (shell words); returns its exit status.
  int Run(const std::string& args) {
    const std::string command = std::string("'") + QUILTOR_EXE + "' " + args + " >'" + Dir.File("out") + "' 2>'" +
                                Dir.File("err") + "' </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Err() const {
    std::stringstream s;
    s << std::ifstream(Dir.File("err")).rdbuf();
    return s.str();
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(Dir.File(name)) << text; }

  static inline QCoreApplication* App = nullptr;
  TTempDir Dir;
};

// If the document, the TeX run or the writing went wrong, the files would
// be missing, empty, of the wrong size or without the table's texts.
TEST_F(Render, WritesPdfAndPngOfTheTable) {
  Write("t.csv", "Apples,Pears\nKiwis,\\textbf{Plums}\n");
  ASSERT_EQ(Run("--render '" + Dir.File("t.csv") + "' -o '" + Dir.File("t.pdf") + "'"), 0) << Err();
  QPdfDocument pdf;
  ASSERT_EQ(pdf.load(QString::fromStdString(Dir.File("t.pdf"))), QPdfDocument::Error::None);
  ASSERT_EQ(pdf.pageCount(), 1);
  const QString text = pdf.getAllText(0).text();
  for (const char* cell : {"Apples", "Pears", "Kiwis", "Plums"}) EXPECT_TRUE(text.contains(cell)) << text.toStdString();
  // Cropped to the table: a small page, not a sheet of paper.
  const QSizeF page = pdf.pagePointSize(0);
  EXPECT_GT(page.width(), 20);
  EXPECT_LT(page.width(), 200);
  EXPECT_LT(page.height(), 100);

  ASSERT_EQ(Run("--render '" + Dir.File("t.csv") + "' --dpi 144 -o '" + Dir.File("t.png") + "'"), 0) << Err();
  const QImage png(QString::fromStdString(Dir.File("t.png")));
  ASSERT_FALSE(png.isNull());
  EXPECT_NEAR(png.width(), page.width() * 2, 1);
  EXPECT_NEAR(png.height(), page.height() * 2, 1);
  EXPECT_NEAR(png.dotsPerMeterX(), 144 / 0.0254, 1);
}

// A table LaTeX rejects must fail the run, name the cell and write nothing.
TEST_F(Render, LatexErrorFailsWithTheCell) {
  Write("bad.csv", "a,b\nc,\\nosuchmacro\n");
  EXPECT_EQ(Run("--render '" + Dir.File("bad.csv") + "' -o '" + Dir.File("bad.png") + "'"), 1);
  EXPECT_NE(Err().find("Row 2, cell 2: Undefined control sequence."), std::string::npos) << Err();
  EXPECT_FALSE(std::ifstream(Dir.File("bad.png")).good());
  EXPECT_EQ(Run("--render '" + Dir.File("bad.csv") + "' -o '" + Dir.File("bad.svg") + "'"), 2);
}

}  // namespace
#endif
