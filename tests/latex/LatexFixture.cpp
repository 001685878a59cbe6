#include "latex/LatexFixture.h"

namespace fs = std::filesystem;

std::vector<std::string> GoldenCaseNames() { return CaseFolderNames(fs::path(QUILTOR_TEST_DIR) / "latex" / "data"); }

fs::path GoldenCaseDir(const std::string& name) { return fs::path(QUILTOR_TEST_DIR) / "latex" / "data" / name; }

std::string GoldenTestName(const std::string& name) { return CaseTestName(name); }

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}
