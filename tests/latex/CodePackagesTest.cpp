// The code preview's kept work: the package search kept per line and the
// lines it tells the view to take over.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "latex/CodePackages.h"
#include "latex/TypesetDocument.h"
#include "model/Tables.h"

namespace {

std::string Names(const std::vector<TPackageNeed>& needs) {
  std::string out;
  for (const TPackageNeed& need : needs) out += need.Name + "[" + need.Options + "] ";
  return out;
}

}  // namespace

// After an edit only the changed lines are searched again. If a line kept
// its old answer (a \toprule typed away still asking for booktabs), a
// command at a line's end were missed, or a \multicolumn format of a
// changed line were not read again, the packages would differ from those
// of a search of the whole code.
TEST(KeptCodeSearch, AnswersAsTheWholeCodeDoes) {
  const std::vector<std::string> begins = {"\\begin{tabular}{ll}", "\\begin{tabularx}{\\linewidth}{lX}",
                                           "\\begin{longtable}{m{1cm}l}", "\\begin{tabular}{S[table-format=2.1]l}"};
  const std::vector<std::string> pieces = {
      "a & b \\\\",  "\\toprule",   "\\num",        "\\numberline{1} & x \\\\",  "\\rowcolor{red}",
      "\\color{red}", "\\begin{aligned}x\\end{aligned}", "\\multicolumn{2}{S}{1} \\\\",
      "\\multicolumn{1}{D{.}{.}{2}}{x}", "\\multicolumn{1}{l}{x}", "\\checkmark"};
  std::mt19937 random(11);
  std::vector<std::string> lines = {begins[0], "a & b \\\\", "c & d \\\\", "e & f \\\\", "\\end{tabular}"};
  TKeptCodeSearch kept;
  kept.Update(lines, nullptr);
  for (int step = 0; step < 600; ++step) {
    std::vector<size_t> changed;
    const bool whole = random() % 10 == 0;
    if (whole) {
      lines.front() = begins[random() % begins.size()];
      if (random() % 2) lines.insert(lines.begin() + 1, "g & h \\\\");
      else if (lines.size() > 3) lines.erase(lines.begin() + 1);
    } else {
      for (size_t i = 1; i + 1 < lines.size(); ++i) {
        if (random() % 3) continue;
        std::string line = pieces[random() % pieces.size()];
        if (random() % 2) line = pieces[random() % pieces.size()] + " " + line;
        lines[i] = line;
        changed.push_back(i);
      }
    }
    kept.Update(lines, whole ? nullptr : &changed);
    ASSERT_EQ(Names(NeededPackages(kept)), Names(NeededPackages(lines))) << "step " << step;
  }
}

// The view takes over only the lines the preview lists. A package comment
// line that changed unlisted, or the rows' lines listed where they stood
// before the comment came first, would leave stale code on show.
TEST(CodePreview, ListsExactlyTheLinesThatChanged) {
  TTable t;
  for (int i = 0; i < 3; ++i) new TColumn(t);
  for (int i = 0; i < 4; ++i) t.AddRow();
  TCodePreview preview;
  TCodePreferences preferences;
  std::vector<std::string> before = preview.Generate(t, preferences);
  struct TStep {
    int Row, Col;
    const char* Text;
    bool Comment;
  };
  const TStep steps[] = {
      {1, 1, "x", false},        {2, 0, "\\toprule y", false}, {2, 0, "\\toprule y", true},
      {3, 2, "z", true},         {2, 0, "y", true},           {0, 0, "\\checkmark", true},
      {0, 0, "\\checkmark", false}, {1, 2, "w", false},
  };
  int told = 0;
  for (const TStep& step : steps) {
    (*t.Rows[static_cast<size_t>(step.Row)])[step.Col]->SetText(step.Text);
    preferences.PackageComment = step.Comment;
    const std::vector<std::string> after = preview.Generate(t, preferences);
    std::vector<std::string> expected;
    DocumentCode(t, preferences, expected);
    ASSERT_EQ(after, expected) << step.Text;
    if (const std::vector<size_t>* changed = preview.Changed()) {
      ASSERT_EQ(after.size(), before.size()) << step.Text;
      std::vector<size_t> differing;
      for (size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i]) differing.push_back(i);
      EXPECT_EQ(*changed, differing) << step.Text;
      ++told;
    }
    before = after;
  }
  // A comment coming or going (four of the steps) leaves the view to
  // compare the lines itself.
  EXPECT_EQ(told, 4);
}
