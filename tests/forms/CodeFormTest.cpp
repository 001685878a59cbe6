#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <random>

#include "forms/CodeUnit.h"

namespace {

QString Join(const std::vector<std::string>& lines) {
  QStringList list;
  for (const std::string& l : lines) list << QString::fromUtf8(l.c_str());
  return list.join('\n');
}

}  // namespace

// The preview replaces only the lines that changed; whatever the change, the
// box must end up holding exactly the new lines.
TEST(CodeForm, LineUpdatesAlwaysGiveTheNewText) {
  TCodeForm form(nullptr);
  std::mt19937 random(7);
  std::vector<std::string> lines = {"\\begin{tabular}{ll}", "a & b \\\\ ", "\\end{tabular}"};
  form.SetLines(lines);
  ASSERT_EQ(form.Memo->toPlainText(), Join(lines));
  const std::vector<std::vector<std::string>> fixed = {
      {},
      {""},
      {"", ""},
      {"x"},
      {"x", "", "y"},
      {"x", "y"},
      {"y"},
      {"w", "x", "y"},
      {"w", "x", "y", "z"},
      {"w", "z"},
      {"é & ü", "z"},
  };
  for (const auto& f : fixed) {
    form.SetLines(f);
    ASSERT_EQ(form.Memo->toPlainText(), Join(f));
  }
  for (int step = 0; step < 300; ++step) {
    const int op = static_cast<int>(random() % 4);
    const size_t at = lines.empty() ? 0 : random() % (lines.size() + 1);
    const std::string text = "line " + std::to_string(random() % 5);
    if (op == 0 || lines.empty()) lines.insert(lines.begin() + static_cast<long>(at), text);
    else if (op == 1 && at < lines.size()) lines.erase(lines.begin() + static_cast<long>(at));
    else if (op == 2 && at < lines.size()) lines[at] = text;
    else if (lines.size() > 2) lines.erase(lines.begin() + 1, lines.begin() + 2 + static_cast<long>(random() % (lines.size() - 2)));
    form.SetLines(lines);
    ASSERT_EQ(form.Memo->toPlainText(), Join(lines)) << "step " << step;
  }
}
