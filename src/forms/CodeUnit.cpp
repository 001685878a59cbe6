#include "forms/CodeUnit.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

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

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo);
  CodeForm = this;
}

TCodeForm::~TCodeForm() {
  if (CodeForm == this) CodeForm = nullptr;
}

namespace {

QString Joined(const std::vector<std::string>& lines, size_t from, size_t to) {
  size_t size = 0;
  for (size_t i = from; i < to; ++i) size += lines[i].size() + 1;
  std::string text;
  text.reserve(size);
  for (size_t i = from; i < to; ++i) {
    if (i > from) text += '\n';
    text += lines[i];
  }
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TCodeForm::SetLines(const std::vector<std::string>& lines) {
  // An edit usually changes one line of the code. Replacing only the lines
  // that differ keeps a large preview responsive while typing, and keeps the
  // user's scroll position.
  const size_t n = FShown.size();
  const size_t m = lines.size();
  if (n == 0 || m == 0) {
    Memo->setPlainText(Joined(lines, 0, m));
    FShown = lines;
    return;
  }
  size_t head = 0;
  while (head < n && head < m && FShown[head] == lines[head]) ++head;
  size_t tail = 0;
  while (tail < n - head && tail < m - head && FShown[n - 1 - tail] == lines[m - 1 - tail]) ++tail;
  const size_t oldEnd = n - tail;  // old lines [head, oldEnd) become new lines [head, newEnd)
  const size_t newEnd = m - tail;
  if (head == oldEnd && head == newEnd) return;

  QTextDocument* doc = Memo->document();
  QTextCursor cursor(doc);
  cursor.beginEditBlock();
  if (head < oldEnd && head < newEnd) {
    // Replace the text of the changed lines, keeping the break after them.
    const QTextBlock last = doc->findBlockByNumber(static_cast<int>(oldEnd - 1));
    cursor.setPosition(doc->findBlockByNumber(static_cast<int>(head)).position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(Joined(lines, head, newEnd));
  } else if (head < oldEnd) {
    // Lines removed: take one line break with them.
    if (oldEnd < n) {
      cursor.setPosition(doc->findBlockByNumber(static_cast<int>(head)).position());
      cursor.setPosition(doc->findBlockByNumber(static_cast<int>(oldEnd)).position(), QTextCursor::KeepAnchor);
    } else {
      const QTextBlock before = doc->findBlockByNumber(static_cast<int>(head - 1));
      cursor.setPosition(before.position() + before.length() - 1);
      cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
  } else if (head < n) {
    // Lines inserted before an unchanged one.
    cursor.setPosition(doc->findBlockByNumber(static_cast<int>(head)).position());
    cursor.insertText(Joined(lines, head, newEnd) + '\n');
  } else {
    cursor.movePosition(QTextCursor::End);
    cursor.insertText('\n' + Joined(lines, head, newEnd));
  }
  cursor.endEditBlock();
  FShown = lines;
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
