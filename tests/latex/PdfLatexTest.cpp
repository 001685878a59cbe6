// The golden files are only worth something if LaTeX accepts them: compile
// each one with the real pdflatex. A machine without pdflatex fails here on
// purpose; a skipped check would look like a passed one.
#include <gtest/gtest.h>

#include <string>

#include "common/PdfLatex.h"
#include "latex/LatexFixture.h"

namespace {

class PdfLatex : public testing::TestWithParam<std::string> {};

TEST_P(PdfLatex, CompilesExpectedCode) {
  ASSERT_FALSE(PdfLatexPath().empty()) << "pdflatex is not on PATH; install texlive-latex-base and "
                                          "texlive-latex-recommended (tools/ensure-deps does)";
  const std::string doc = LatexDocument(ReadFileBytes(GoldenCaseDir(GetParam()) / "expected.tex"));
  EXPECT_EQ(PdfLatexErrors(doc), "") << "pdflatex rejected the code of case " << GetParam() << "\n--- document ---\n"
                                     << doc;
}

INSTANTIATE_TEST_SUITE_P(Cases, PdfLatex, testing::ValuesIn(GoldenCaseNames()),
                         [](const auto& param) { return GoldenTestName(param.param); });

}  // namespace
