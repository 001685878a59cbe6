#include "forms/preview/CodeUnit.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

TCodeForm* CodeForm = nullptr;

TCodeForm::TCodeForm(QWidget* mainWindow) : QWidget(mainWindow, Qt::Tool) {
  setObjectName("CodeForm");
  setWindowTitle("Code Preview");
  // Showing the preview must leave the keyboard where the user works.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setGeometry(53, 367, 490, 262);

  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setReadOnly(true);
  Memo->setFrameShape(QFrame::NoFrame);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Read-only text to look at: a click may select it, Tab never lands on it.
  Memo->setFocusPolicy(Qt::ClickFocus);
  Memo->setUndoRedoEnabled(false);
  SetCodeFont("Courier New", 8);

  StatusLine = new QLabel(this);
  StatusLine->setObjectName("StatusLine");
  StatusLine->setContentsMargins(4, 2, 4, 2);
  StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SetPackages("none");

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Memo);
  layout->addWidget(StatusLine);
  CodeForm = this;
}

TCodeForm::~TCodeForm() {
  if (CodeForm == this) CodeForm = nullptr;
}

namespace {

// A generated line as the box holds it. The box keeps text as blocks, and
// every line break in a line (CR LF, a lone CR, LF, U+2029, and the frame
// marks U+FDD0 and U+FDD1, which the text document also takes for breaks)
// starts a new one. Each becomes one LF here, so that a line takes the same
// blocks wherever it stands: a CR at its end never pairs with the break
// after it. blocks: how many blocks the line takes.
QString ShownLine(const std::string& line, int& blocks) {
  QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  blocks = 1;
  qsizetype to = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;  // the LF stands for both
    if (c == u'\r' || c == u'\n' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) {
      text[to++] = u'\n';
      ++blocks;
    } else {
      text[to++] = text[i];
    }
  }
  text.truncate(to);
  return text;
}

// Turns the block text from into to, starting at position, by replacing
// only what lies between their common beginning and common end. A
// surrogate pair is never cut.
void ReplaceMiddle(QTextCursor& cursor, int position, const QString& from, const QString& to) {
  const qsizetype shorter = std::min(from.size(), to.size());
  qsizetype head = 0;
  while (head < shorter && from[head] == to[head]) ++head;
  if (head > 0 && head < to.size() && to[head].isLowSurrogate()) --head;
  qsizetype tail = 0;
  while (tail < shorter - head && from[from.size() - 1 - tail] == to[to.size() - 1 - tail]) ++tail;
  if (tail > 0 && to[to.size() - tail].isLowSurrogate()) --tail;
  cursor.setPosition(position + static_cast<int>(head));
  cursor.setPosition(position + static_cast<int>(from.size() - tail), QTextCursor::KeepAnchor);
  cursor.insertText(to.mid(head, to.size() - tail - head));
}

}  // namespace

void TCodeForm::SetLines(const std::vector<std::string>& lines, const std::vector<size_t>* changed) {
  // An edit usually changes one line of the code. Replacing only the lines
  // that differ keeps a large preview responsive while typing, and keeps the
  // user's scroll position. When the caller knows which lines those are,
  // nothing else is looked at: a million cells' code is megabytes.
  if (changed && !FShown.empty() && lines.size() == FShown.size()) {
    for (const size_t i : *changed)
      if (FShown[i] != lines[i]) Splice(i, i + 1, i + 1, lines);
    return;
  }
  const size_t n = FShown.size();
  const size_t m = lines.size();
  size_t head = 0;
  while (head < n && head < m && FShown[head] == lines[head]) ++head;
  size_t tail = 0;
  while (tail < n - head && tail < m - head && FShown[n - 1 - tail] == lines[m - 1 - tail]) ++tail;
  if (n > 0 && head == n - tail && head == m - tail) return;
  Splice(head, n - tail, m - tail, lines);
}

void TCodeForm::Splice(size_t head, size_t oldEnd, size_t newEnd, const std::vector<std::string>& lines) {
  // A line with line breaks takes several blocks of the box; FBlocks keeps
  // the count of every line shown, so that a line's blocks are found
  // wherever it stands.
  const size_t n = FShown.size();
  const size_t m = FShown.size() - (oldEnd - head) + (newEnd - head);
  std::vector<int> counts(newEnd - head);
  QString text;
  for (size_t i = head; i < newEnd; ++i) {
    if (i > head) text += u'\n';
    text += ShownLine(lines[i], counts[i - head]);
  }
  int first = static_cast<int>(head);  // the first block of line head
  if (FExtraBlocks > 0) {
    first = 0;
    for (size_t i = 0; i < head; ++i) first += FBlocks[i];
  }
  int removed = 0;  // the blocks of the old lines [head, oldEnd)
  for (size_t i = head; i < oldEnd; ++i) removed += FBlocks[i];
  FExtraBlocks -= removed - static_cast<int>(oldEnd - head);
  for (const int count : counts) FExtraBlocks += count - 1;
  // Only the changed lines are copied.
  FShown.erase(FShown.begin() + static_cast<std::ptrdiff_t>(head), FShown.begin() + static_cast<std::ptrdiff_t>(oldEnd));
  FShown.insert(FShown.begin() + static_cast<std::ptrdiff_t>(head), lines.begin() + static_cast<std::ptrdiff_t>(head),
                lines.begin() + static_cast<std::ptrdiff_t>(newEnd));
  FBlocks.erase(FBlocks.begin() + static_cast<std::ptrdiff_t>(head),
                FBlocks.begin() + static_cast<std::ptrdiff_t>(oldEnd));
  FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(head), counts.begin(), counts.end());

  if (n == 0 || m == 0) {
    Memo->setPlainText(text);
    return;
  }
  QTextDocument* doc = Memo->document();
  QTextCursor cursor(doc);
  cursor.beginEditBlock();
  if (oldEnd == head + 1 && newEnd == head + 1 && removed == 1 && counts[0] == 1) {
    // One line of one block changed, as after a typed character: only the
    // characters between what the old and the new text share at either end
    // are replaced. The box then lays out and repaints that block alone;
    // an edit reaching past the block's end makes it repaint everything
    // below, each long line shaped again.
    const QTextBlock block = doc->findBlockByNumber(first);
    ReplaceMiddle(cursor, block.position(), block.text(), text);
  } else if (head < oldEnd && head < newEnd) {
    // Replace the text of the changed lines, keeping the break after them.
    const QTextBlock last = doc->findBlockByNumber(first + removed - 1);
    cursor.setPosition(doc->findBlockByNumber(first).position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(text);
  } else if (head < oldEnd) {
    // Lines removed: take one line break with them.
    if (oldEnd < n) {
      cursor.setPosition(doc->findBlockByNumber(first).position());
      cursor.setPosition(doc->findBlockByNumber(first + removed).position(), QTextCursor::KeepAnchor);
    } else {
      const QTextBlock before = doc->findBlockByNumber(first - 1);
      cursor.setPosition(before.position() + before.length() - 1);
      cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
  } else if (head < n) {
    // Lines inserted before an unchanged one.
    cursor.setPosition(doc->findBlockByNumber(first).position());
    cursor.insertText(text + u'\n');
  } else {
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(u'\n' + text);
  }
  cursor.endEditBlock();
}

void TCodeForm::SetCodeFont(const std::string& name, int size) {
  QFont font(QString::fromUtf8(name.c_str()));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(size > 0 ? size : 1);
  Memo->setFont(font);
}

std::string TCodeForm::CodeFontName() const { return Memo->font().family().toStdString(); }

int TCodeForm::CodeFontSize() const { return Memo->font().pointSize(); }

void TCodeForm::SetPackages(const std::string& packages) {
  StatusLine->setText("Packages: " + QString::fromUtf8(packages.c_str()));
}
