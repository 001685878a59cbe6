#include "forms/CodeUnit.h"

#include <QPlainTextEdit>
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

void TCodeForm::SetLines(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& l : lines) size += l.size() + 1;
  std::string text;
  text.reserve(size);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += '\n';
    text += lines[i];
  }
  Memo->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
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
