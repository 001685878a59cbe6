// The golden files are only worth something if LaTeX accepts them: compile
// each one with the real pdflatex. A machine without pdflatex fails here on
// purpose; a skipped check would look like a passed one.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "latex/LatexFixture.h"

namespace fs = std::filesystem;

namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const fs::path candidate = fs::path(dir) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char ch : s) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

// LaTeX's own error lines ("! ...") and the context it prints after them.
std::string ErrorsFromLog(const fs::path& log) {
  std::ifstream in(log);
  std::string line, out;
  int context = 0;
  while (std::getline(in, line)) {
    if (line.rfind("!", 0) == 0) context = 4;
    if (context > 0) {
      out += line + "\n";
      --context;
    }
  }
  return out.empty() ? "(no error lines in " + log.string() + ")\n" : out;
}

// The generated code inside the smallest document that can hold it; array
// is a math environment.
std::string WrapInDocument(const std::string& code) {
  const bool math = code.rfind("\\begin{array}", 0) == 0;
  std::string doc = "\\documentclass{article}\n\\begin{document}\n";
  doc += math ? "\\[\n" + code + "\\]\n" : code;
  doc += "\\end{document}\n";
  return doc;
}

class PdfLatex : public testing::TestWithParam<std::string> {};

TEST_P(PdfLatex, CompilesExpectedCode) {
  const std::string pdflatex = FindOnPath("pdflatex");
  ASSERT_FALSE(pdflatex.empty()) << "pdflatex is not on PATH; install texlive-latex-base and "
                                    "texlive-latex-recommended (tools/ensure-deps does)";

  const std::string code = ReadFileBytes(GoldenCaseDir(GetParam()) / "expected.tex");
  const std::string doc = WrapInDocument(code);

  std::string dirTemplate = (fs::temp_directory_path() / "quiltor-latex-XXXXXX").string();
  ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr) << "cannot create a temporary folder";
  const fs::path dir = dirTemplate;
  {
    std::ofstream out(dir / "case.tex", std::ios::binary);
    out << doc;
    ASSERT_TRUE(out.good());
  }

  const std::string command = "cd " + ShellQuote(dir.string()) + " && " + ShellQuote(pdflatex) +
                              " -interaction=nonstopmode -halt-on-error -no-shell-escape case.tex"
                              " </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  const bool ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                  fs::exists(dir / "case.pdf") && fs::file_size(dir / "case.pdf") > 0;
  std::string errors;
  if (!ok) errors = ErrorsFromLog(dir / "case.log");
  std::error_code ignored;
  fs::remove_all(dir, ignored);

  EXPECT_TRUE(ok) << "pdflatex rejected the code of case " << GetParam() << ":\n"
                  << errors << "--- document ---\n"
                  << doc;
}


INSTANTIATE_TEST_SUITE_P(Cases, PdfLatex, testing::ValuesIn(GoldenCaseNames()),
                         [](const auto& param) { return GoldenTestName(param.param); });

}  // namespace
