#include "forms/dialogs/FloatUnit.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <initializer_list>

#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

namespace {

// A float put on a table that had none starts as journals want it.
constexpr const char* kDefaultPlacement = "htbp";

QPlainTextEdit* KeptText(QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setTabChangesFocus(true);
  memo->setFixedHeight(48);
  return memo;
}

}  // namespace

TFloatForm::TFloatForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Float");
  setObjectName("FloatForm");

  fInFloat = new QGroupBox("&In a table float", this);
  fInFloat->setCheckable(true);
  fCaption = new QLineEdit(fInFloat);
  fCaption->setObjectName("fCaption");
  fLabel = new QLineEdit(fInFloat);
  fLabel->setObjectName("fLabel");
  fPlacement = new QLineEdit(fInFloat);
  fPlacement->setObjectName("fPlacement");
  fPlacement->setToolTip("Where LaTeX may place the float: h here, t top, b bottom, p own page");
  fCentering = new QCheckBox("C&entered (\\centering)", fInFloat);
  fWide = new QCheckBox("Across both &columns (table*)", fInFloat);
  fCaptionAbove = new QRadioButton("Caption &above the table", fInFloat);
  fCaptionBelow = new QRadioButton("Caption &below the table", fInFloat);
  fTextBefore = KeptText(fInFloat);
  fTextAfter = KeptText(fInFloat);

  auto* form = new QFormLayout;
  form->addRow("&Caption:", fCaption);
  form->addRow("&Label:", fLabel);
  form->addRow("&Placement:", fPlacement);
  auto* position = new QHBoxLayout;
  position->addWidget(fCaptionAbove);
  position->addWidget(fCaptionBelow);
  auto* inner = new QVBoxLayout(fInFloat);
  inner->addLayout(form);
  inner->addLayout(position);
  inner->addWidget(fCentering);
  inner->addWidget(fWide);
  KeptTextLabel = new QLabel("Other text of the float, kept as it was read:", fInFloat);
  inner->addWidget(KeptTextLabel);
  inner->addWidget(fTextBefore);
  inner->addWidget(fTextAfter);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fInFloat);
  layout->addLayout(MakeOkCancel(this, bOK, bCancel));
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
  resize(440, 0);
}

void TFloatForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  fCaption->setFocus();
  fCaption->selectAll();
}

bool TFloatForm::Execute(TTableFloat& tableFloat) {
  // The user asked for the float: a table without one is offered one with
  // the usual settings; unchecking the box takes a float away.
  const bool active = tableFloat.Active();
  fInFloat->setChecked(true);
  fCaption->setText(ToQ(tableFloat.Caption));
  fLabel->setText(ToQ(tableFloat.Label));
  fPlacement->setText(active ? ToQ(tableFloat.Placement) : QString(kDefaultPlacement));
  fCentering->setChecked(active ? tableFloat.Centering : true);
  fWide->setChecked(tableFloat.Wide);
  (tableFloat.CaptionBelow ? fCaptionBelow : fCaptionAbove)->setChecked(true);
  fTextBefore->setPlainText(ToQ(tableFloat.TextBefore));
  fTextAfter->setPlainText(ToQ(tableFloat.TextAfter));
  const bool kept = !tableFloat.TextBefore.empty() || !tableFloat.TextAfter.empty();
  for (QWidget* w : std::initializer_list<QWidget*>{KeptTextLabel, fTextBefore, fTextAfter}) w->setVisible(kept);
  adjustSize();
  if (exec() != QDialog::Accepted) return false;
  if (!fInFloat->isChecked()) {
    tableFloat = TTableFloat();
    return true;
  }
  tableFloat.Caption = FromQ(fCaption->text());
  tableFloat.Label = FromQ(fLabel->text());
  tableFloat.Placement = FromQ(fPlacement->text());
  tableFloat.Centering = fCentering->isChecked();
  tableFloat.Wide = fWide->isChecked();
  tableFloat.CaptionBelow = fCaptionBelow->isChecked();
  // A float the user keeps but empties of everything is still a float.
  if (!tableFloat.Active()) tableFloat.Placement = kDefaultPlacement;
  return true;
}
