#include "forms/dialogs/TypesetOptionsPage.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QWidget* CreateTypesetPage(QPlainTextEdit*& preamble) {
  auto* page = new QWidget;
  page->setObjectName("Typeset");
  preamble = new QPlainTextEdit(page);
  preamble->setObjectName("fTypesetPreamble");
  preamble->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  preamble->setLineWrapMode(QPlainTextEdit::NoWrap);
  preamble->setPlaceholderText("\\newcommand{\\highlight}[1]{\\textbf{#1}}");
  auto* label = new QLabel("&Preamble for the typeset preview (packages the table uses are loaded by themselves):", page);
  label->setWordWrap(true);
  label->setBuddy(preamble);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(label);
  layout->addWidget(preamble, 1);
  return page;
}
