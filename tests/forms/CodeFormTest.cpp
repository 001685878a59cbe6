#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <random>

#include "forms/preview/CodeUnit.h"

namespace {

// What the box must show for lines. It keeps text as blocks, one per line
// of the box, and a line break inside a generated line (a cell text may
// hold one) starts a new block: CR LF, a lone CR, LF and U+2029 each count
// as one break, as a text editor shows a file with any of these line ends.
// So the box's blocks, joined by LF, must equal the lines joined by LF with
// each such break written as one LF. A CR at the very end of a line is a
// break of its own: it gives an empty line and does not pair with the
// break that ends the line. Nothing else of the text changes.
QString Shown(const std::vector<std::string>& lines) {
  QStringList out;
  for (const std::string& l : lines) {
    QString t = QString::fromUtf8(l.data(), static_cast<qsizetype>(l.size()));
    t.replace("\r\n", "\n").replace('\r', '\n').replace(QChar(0x2029), '\n');
    out << t;
  }
  return out.join('\n');
}

QString Blocks(const QPlainTextEdit& memo) {
  QStringList out;
  for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) out << b.text();
  return out.join('\n');
}

}  // namespace

// The preview replaces only the lines that changed; whatever the change,
// and whatever line breaks the lines hold, the box must end up holding
// exactly the new lines. A line's blocks found wrong (after a line of
// several blocks above it came or went) would change another line.
TEST(CodeForm, LineUpdatesAlwaysGiveTheNewText) {
  TCodeForm form(nullptr);
  std::mt19937 random(7);
  std::vector<std::string> lines = {"\\begin{tabular}{ll}", "a & b \\\\ ", "\\end{tabular}"};
  form.SetLines(lines);
  ASSERT_EQ(Blocks(*form.Memo), Shown(lines));
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
      {"\xC3\xA9 & \xC3\xBC", "z"},
      // A cell's line break in the second row, then a change below it.
      {"\\begin{tabular}{ll}", "A & x \\\\ ", "line one\nline two \\\\ ", "\\end{tabular}"},
      {"\\begin{tabular}{ll}", "A & x \\\\ ", "line one\nline two \\\\ ", "y & \\\\ ", "\\end{tabular}"},
      {"a\r", "b"},
      {"a\r", "c"},
      {"a\r\n", "\r\n"},
  };
  for (const auto& f : fixed) {
    form.SetLines(f);
    ASSERT_EQ(Blocks(*form.Memo), Shown(f));
  }
  const char* pieces[] = {"line", "\n", "\r", "\r\n", "\xE2\x80\xA9", " & ", "x"};
  for (int step = 0; step < 400; ++step) {
    const int op = static_cast<int>(random() % 4);
    const size_t at = lines.empty() ? 0 : random() % (lines.size() + 1);
    std::string text;
    for (int k = static_cast<int>(random() % 4); k >= 0; --k) text += pieces[random() % std::size(pieces)];
    // Lines changed in place are told to the box half the time, as the
    // code preview tells them; it must then find their blocks itself.
    std::vector<size_t> changed;
    if (op == 0 || lines.empty()) {
      lines.insert(lines.begin() + static_cast<long>(at), text);
    } else if (op == 1 && at < lines.size()) {
      lines.erase(lines.begin() + static_cast<long>(at));
    } else if (op == 2 && at < lines.size()) {
      lines[at] = text;
      const size_t other = random() % lines.size();
      if (other > at) lines[other] = pieces[random() % std::size(pieces)];
      changed = {at};
      if (other > at) changed.push_back(other);
    } else if (lines.size() > 2) {
      lines.erase(lines.begin() + 1, lines.begin() + 2 + static_cast<long>(random() % (lines.size() - 2)));
    }
    form.SetLines(lines, !changed.empty() && random() % 2 ? &changed : nullptr);
    ASSERT_EQ(Blocks(*form.Memo), Shown(lines)) << "step " << step;
    ASSERT_EQ(form.Memo->toPlainText(), Shown(lines)) << "step " << step;
  }
}

// A changed line of one block is edited in place, only between what its old
// and new text share at either end. A cut counted wrong where the shared
// parts overlap ("aaa" to "aa"), inside a surrogate pair (two emoji that
// share their first half), or in bytes that are no UTF-8 would leave
// another text in the box.
TEST(CodeForm, OneLineEditedInPlaceGivesTheNewText) {
  TCodeForm form(nullptr);
  std::vector<std::string> lines = {"\\begin{tabular}{l}", "abc", "\\end{tabular}"};
  form.SetLines(lines);
  const char* texts[] = {"abXc", "abc", "aaa", "aa", "aaaa", "", "x", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81",
                         "a\xF0\x9F\x98\x81"
                         "b",
                         "a\xF0\x9F\x98\x80"
                         "b",
                         "\xC3\xA9\xC3\xA9", "\xC3\xA9\xC3\xA8", "\xFF\xFEz", "\xFFz", "z\xC3", "abc"};
  for (const char* text : texts) {
    lines[1] = text;
    form.SetLines(lines);
    ASSERT_EQ(Blocks(*form.Memo), Shown(lines)) << text;
  }
}
