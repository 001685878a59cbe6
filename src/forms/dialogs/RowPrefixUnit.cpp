#include "forms/dialogs/RowPrefixUnit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "commands/DocumentCommands.h"
#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

namespace {

QPlainTextEdit* Memo(QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab belongs to the dialog's focus chain, not to the text.
  memo->setTabChangesFocus(true);
  return memo;
}

}  // namespace

TRowPrefixForm::TRowPrefixForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Row Prefix/Postfix");
  setObjectName("RowPrefixForm");

  Memo1 = Memo(this);
  Memo2 = Memo(this);
  auto* prefixLabel = new QLabel("&Prefix:", this);
  prefixLabel->setBuddy(Memo1);
  auto* postfixLabel = new QLabel("P&ostfix:", this);
  postfixLabel->setBuddy(Memo2);

  QHBoxLayout* buttons = MakeOkCancel(this, bOK, bCancel);

  auto* layout = new QGridLayout(this);
  layout->addWidget(prefixLabel, 0, 0);
  layout->addWidget(Memo1, 1, 0);
  layout->addWidget(postfixLabel, 0, 1);
  layout->addWidget(Memo2, 1, 1);
  layout->addLayout(buttons, 2, 0, 1, 2);
  setFixedSize(460, 240);

  setTabOrder(Memo1, Memo2);
  setTabOrder(Memo2, bOK);
  setTabOrder(bOK, bCancel);

  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool TRowPrefixForm::Execute(std::string& prefix, std::string& postfix) {
  // The boxes hold a lone LF per line break; a CR left in their text would
  // show as a stray character.
  Memo1->setPlainText(ToQ(WithLf(prefix)));
  Memo2->setPlainText(ToQ(WithLf(postfix)));
  if (exec() != QDialog::Accepted) return false;
  // toPlainText gives every paragraph and line separator as LF.
  prefix = WithCrLf(FromQ(Memo1->toPlainText()));
  postfix = WithCrLf(FromQ(Memo2->toPlainText()));
  return true;
}

void TRowPrefixForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Memo1->setFocus();
}
