// quiltor --render: the table typeset by the real pdflatex into a PDF or a
// PNG, read back with Qt's PDF module.
// A build without the editor has no --render, and no Qt to read PDFs.
#if __has_include(<QPdfDocument>)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QPdfDocument>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

  // Starts quiltor with args, TMPDIR in the test's folder and bin (if any)
  // first on PATH; returns its process id.
  pid_t Start(const std::vector<std::string>& args, const std::string& bin = "") {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::setenv("TMPDIR", Dir.Path().c_str(), 1);
    if (!bin.empty()) ::setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(QUILTOR_EXE)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::freopen(Dir.File("err").c_str(), "w", stderr);
    ::execv(QUILTOR_EXE, argv.data());
    ::_exit(127);
  }

  // The processes whose working folder is in the test's folder (the TeX
  // runs of the quiltor started) or whose command line holds marker.
  std::vector<pid_t> Processes(const std::string& marker = "") const {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code error;
      const std::string cwd = std::filesystem::read_symlink(entry.path() / "cwd", error).string();
      std::stringstream cmdline;
      cmdline << std::ifstream(entry.path() / "cmdline").rdbuf();
      if ((!error && cwd.rfind(Dir.Path() + "/", 0) == 0) ||
          (!marker.empty() && cmdline.str().find(marker) != std::string::npos))
        found.push_back(std::stoi(name));
    }
    return found;
  }
  // Waits for a process as Processes finds them; false after a minute.
  bool WaitForProcess(const std::string& marker = "") const {
    for (int i = 0; i < 1200 && Processes(marker).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return !Processes(marker).empty();
  }
  // True when no such process is left after a few seconds (the time
  // limits are far longer); kills those that are.
  bool NoneLeft(const std::string& marker = "") const {
    for (int i = 0; i < 100 && !Processes(marker).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<pid_t> left = Processes(marker);
    for (const pid_t pid : left) ::kill(pid, SIGKILL);
    return left.empty();
  }

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
  EXPECT_NE(Err().find("Row 2, column 2: Undefined control sequence."), std::string::npos) << Err();
  EXPECT_FALSE(std::ifstream(Dir.File("bad.png")).good());
  EXPECT_EQ(Run("--render '" + Dir.File("bad.csv") + "' -o '" + Dir.File("bad.svg") + "'"), 2);
}

// A longtable is cropped as every other table is: one small page, with the
// head of its first page and not the one it repeats on later pages. Set on
// an ordinary page it would be a sheet of paper; set once, its head and body
// would not line up.
TEST_F(Render, LongtableIsCroppedLikeAnyTable) {
  Write("t.tex",
        "\\begin{longtable}[c]{|l|r|}\n\\hline Head A & Head B \\\\ \\hline \\endfirsthead\n"
        "Again A & Again B \\\\ \\endhead\na & b \\\\\n\\multicolumn{2}{|c|}{a much wider spanning cell} \\\\\n"
        "c & d \\\\ \\hline\n\\end{longtable}\n");
  ASSERT_EQ(Run("--render '" + Dir.File("t.tex") + "' -o '" + Dir.File("t.pdf") + "'"), 0) << Err();
  QPdfDocument pdf;
  ASSERT_EQ(pdf.load(QString::fromStdString(Dir.File("t.pdf"))), QPdfDocument::Error::None);
  ASSERT_EQ(pdf.pageCount(), 1);
  const QSizeF page = pdf.pagePointSize(0);
  EXPECT_GT(page.width(), 100);
  EXPECT_LT(page.width(), 250);
  EXPECT_LT(page.height(), 100);
  const QString text = pdf.getAllText(0).text();
  EXPECT_TRUE(text.contains("Head A") && text.contains("spanning")) << text.toStdString();
  EXPECT_FALSE(text.contains("Again")) << text.toStdString();
  // Head and body in the same columns: the right rule of the head row is
  // at the table's right edge, as the body's is.
  const QImage png = [&] {
    EXPECT_EQ(Run("--render '" + Dir.File("t.tex") + "' --dpi 72 -o '" + Dir.File("t.png") + "'"), 0) << Err();
    return QImage(QString::fromStdString(Dir.File("t.png")));
  }();
  ASSERT_FALSE(png.isNull());
  int darkInFirstRow = 0;
  for (int x = png.width() * 3 / 4; x < png.width(); ++x) darkInFirstRow += qGray(png.pixel(x, png.height() / 8)) < 128;
  EXPECT_GT(darkInFirstRow, 0) << "no rule at the right of the head";
}

// Bad values are refused before anything is read or run; a NUL at the first
// byte of an endless device ends the reading there.
TEST_F(Render, RefusesBadValuesAndEndlessInput) {
  Write("t.csv", "a,b\n");
  const std::string in = "'" + Dir.File("t.csv") + "'";
  const std::string out = " -o '" + Dir.File("t.png") + "'";
  struct Case {
    std::string Args;
    int Status;
    const char* Message;
  } cases[] = {
      {"--render " + in + out + " --dpi=0", 2, "'--dpi' takes a number from 1 to 2400, not '0'"},
      {"--render " + in + out + " --timeout=0", 2, "'--timeout' takes a number from 1 to 3600, not '0'"},
      {"--render " + in + out + " --timeout=3601", 2, "'--timeout' takes a number from 1 to 3600, not '3601'"},
      {"--latex " + in + " --preamble=" + in, 2, "'--preamble' belongs to --render"},
      {"--render " + in + out + " --preamble=/dev/zero", 1, "/dev/zero: not a regular file"},
      {"--latex --from csv /dev/zero", 1, "was cut at byte 0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.Args), c.Status) << c.Args;
    EXPECT_NE(Err().find(c.Message), std::string::npos) << c.Args << "\n" << Err();
  }
}

// Everything the reader accepts typesets once its package is loaded: if the
// code's needs were not seen, the command would be undefined. The paper's
// own macros and column types come with --preamble.
TEST_F(Render, LoadsThePackagesTheCodeNeeds) {
  // A paper's own: array, which \\newcolumntype needs, is loaded for it.
  Write("mine.tex", "\\usepackage{amssymb}\\newcolumntype{C}{>{\\centering\\arraybackslash}p{1cm}}\n"
                    "\\newcommand{\\cmark}{\\checkmark}\n");
  struct Case {
    const char* Package;
    const char* Table;
    const char* Options;
  } cases[] = {
      {"array", "\\begin{tabular}{l!{\\vrule}l}a & b \\\\\n\\end{tabular}", ""},
      {"tabulary", "\\begin{tabulary}{5cm}{LC}a & b \\\\\n\\end{tabulary}", ""},
      {"nicematrix", "\\begin{NiceTabular}{cc}a & b \\\\\n\\end{NiceTabular}", ""},
      {"makecell", "\\begin{tabular}{ll}\\makecell{a\\\\b} & c \\\\\n\\end{tabular}", ""},
      {"amssymb", "\\begin{tabular}{ll}\\checkmark & $\\mathbb{R}$ \\\\\n\\end{tabular}", ""},
      {"amsmath", "\\begin{tabular}{ll}$\\text{a}$ & $\\dfrac{1}{2}$ \\\\\n\\end{tabular}", ""},
      {"dcolumn", "\\begin{tabular}{D{.}{.}{2}l}1.5 & b \\\\\n\\end{tabular}", ""},
      {"array", "\\begin{tabular}{Cl}\\cmark & b \\\\\n\\end{tabular}", " --preamble="},
  };
  for (const Case& c : cases) {
    if (std::system(("kpsewhich " + std::string(c.Package) + ".sty >/dev/null").c_str()) != 0) {
      ADD_FAILURE() << c.Package << " is not installed (tools/ensure-deps installs it)";
      continue;
    }
    Write("t.tex", c.Table);
    const std::string preamble = *c.Options ? c.Options + ("'" + Dir.File("mine.tex") + "'") : "";
    EXPECT_EQ(Run("--render '" + Dir.File("t.tex") + "' -o '" + Dir.File("t.pdf") + "'" + preamble), 0)
        << c.Table << "\n" << Err();
  }
}

// What the table's code puts into the PDF beyond its drawing (an action
// that runs JavaScript when the file is opened, a link or a page action
// doing the same) does not reach the PDF the user passes on.
TEST_F(Render, PdfCarriesNoActions) {
  Write("t.csv",
        "\\pdfcatalog{/OpenAction << /S /JavaScript /JS (app.alert(1)) >>}a,"
        "\\pdfstartlink user{/Subtype /Link /A << /S /JavaScript /JS (app.alert(2)) >>}b\\pdfendlink\n"
        "\\pdfpageattr{/AA << /O << /S /JavaScript /JS (app.alert(3)) >> >>}c,d\n");
  ASSERT_EQ(Run("--render '" + Dir.File("t.csv") + "' -o '" + Dir.File("t.pdf") + "'"), 0) << Err();
  const std::string pdf = ReadBytes(Dir.File("t.pdf"));
  for (const char* action : {"JavaScript", "app.alert", "/OpenAction", "/AA"})
    EXPECT_EQ(pdf.find(action), std::string::npos) << action;
  QPdfDocument document;
  ASSERT_EQ(document.load(QString::fromStdString(Dir.File("t.pdf"))), QPdfDocument::Error::None);
  EXPECT_TRUE(document.getAllText(0).text().contains("d"));
}

// Nested PDF forms that take minutes and gigabytes to draw: the PNG is
// given up at the time limit, while the PDF, which needs no drawing, is
// written.
TEST_F(Render, TooComplexPictureIsGivenUp) {
  // Ten copies of the form below, overlapping, at each of eight levels.
  std::string refs = "\\pdfrefxform\\pdflastxform";
  for (int i = 0; i < 9; ++i) refs += "\\kern-1pt\\pdfrefxform\\pdflastxform";
  Write("t.csv", "\\setbox0\\hbox{\\vrule width 1pt height 1pt}\\immediate\\pdfxform0 \\count255=0 "
                 "\\loop\\setbox0\\hbox{" + refs + "}\\immediate\\pdfxform0 \\advance\\count255 1 "
                 "\\ifnum\\count255<8 \\repeat\\pdfrefxform\\pdflastxform\n");
  EXPECT_EQ(Run("--render '" + Dir.File("t.csv") + "' --timeout=4 -o '" + Dir.File("t.png") + "'"), 1);
  EXPECT_NE(Err().find("The typeset picture is too complex to show"), std::string::npos) << Err();
  EXPECT_FALSE(std::ifstream(Dir.File("t.png")).good());
  EXPECT_EQ(Run("--render '" + Dir.File("t.csv") + "' -o '" + Dir.File("t.pdf") + "'"), 0) << Err();
}

// Killed outright, the converter takes its TeX run along: the run dies with
// its parent, where it would otherwise spin until its CPU limit.
TEST_F(Render, TexDiesWithTheConverter) {
  Write("t.csv", "\\def\\x{\\x}\\x\n");
  const pid_t quiltor = Start({"--render", Dir.File("t.csv"), "-o", Dir.File("t.pdf")});
  ASSERT_TRUE(WaitForProcess()) << Err();
  ::kill(quiltor, SIGKILL);
  ::waitpid(quiltor, nullptr, 0);
  EXPECT_TRUE(NoneLeft());
}

// Ctrl+C and SIGTERM reach the converter but not the run, which has a
// process group of its own: the converter passes them on to all of it (here
// to what a fake pdflatex started, out of reach of the parent-death
// signal) and then ends as the signal says.
TEST_F(Render, StopSignalsReachTheWholeRun) {
  const std::string bin = Dir.File("bin");
  std::filesystem::create_directory(bin);
  std::ofstream(bin + "/pdflatex") << "#!/bin/sh\nsleep 3571.75 &\nexec sleep 3571.75\n";
  ::chmod((bin + "/pdflatex").c_str(), 0755);
  Write("t.csv", "a\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    const pid_t quiltor = Start({"--render", Dir.File("t.csv"), "-o", Dir.File("t.pdf")}, bin);
    for (int i = 0; i < 1200 && Processes("3571.75").size() < 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Processes("3571.75").size(), 2u) << Err();
    ::kill(quiltor, signal);
    int status = 0;
    ::waitpid(quiltor, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_TRUE(NoneLeft("3571.75")) << signal;
  }
}

}  // namespace
#endif
