#include "forms/dialogs/NewTableUnit.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>

#include "commands/DocumentCommands.h"
#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

namespace {

QSpinBox* SizeField(QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(kMinTableSize, kMaxTableSize);
  box->setValue(4);
  return box;
}

}  // namespace

TNewForm::TNewForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(kNewCaption);
  setObjectName("NewForm");

  fSizePanel = new QWidget(this);
  fSizePanel->setObjectName("fSizePanel");
  ColCount = SizeField(fSizePanel);
  RowCount = SizeField(fSizePanel);
  auto* colLabel = new QLabel("Co&lumns:", fSizePanel);
  colLabel->setBuddy(ColCount);
  auto* rowLabel = new QLabel("&Rows:", fSizePanel);
  rowLabel->setBuddy(RowCount);
  auto* sizes = new QHBoxLayout(fSizePanel);
  sizes->setContentsMargins(0, 0, 0, 0);
  sizes->addWidget(colLabel);
  sizes->addWidget(ColCount);
  sizes->addSpacing(16);
  sizes->addWidget(rowLabel);
  sizes->addWidget(RowCount);
  sizes->addStretch();

  fEnvironmentBox = new QGroupBox("Environment type", this);
  fTabular = new QRadioButton("&Tabular", fEnvironmentBox);
  fTabular->setChecked(true);
  fArray = new QRadioButton("&Array", fEnvironmentBox);
  fCustom = new QRadioButton("&Custom:", fEnvironmentBox);
  fCustomName = new QLineEdit("tabular*", fEnvironmentBox);
  fCustomName->setEnabled(false);
  auto* choices = new QGridLayout(fEnvironmentBox);
  choices->addWidget(fTabular, 0, 0);
  choices->addWidget(fArray, 1, 0);
  choices->addWidget(fCustom, 2, 0);
  choices->addWidget(fCustomName, 2, 1);
  choices->setColumnStretch(1, 1);

  fOptions = new QLineEdit(this);
  auto* optionsLabel = new QLabel("&Options:", this);
  optionsLabel->setBuddy(fOptions);
  auto* optionsRow = new QHBoxLayout;
  optionsRow->addWidget(optionsLabel);
  optionsRow->addWidget(fOptions, 1);

  auto* previewLabel = new QLabel("Code preview:", this);
  fPreview = new QPlainTextEdit(this);
  fPreview->setReadOnly(true);
  fPreview->setFocusPolicy(Qt::NoFocus);
  fPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
  fPreview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  fPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::Monospace);
  mono.setFixedPitch(true);
  fPreview->setFont(mono);
  // Room for the three lines and the scroll bar, no more.
  const int frame = 2 * fPreview->frameWidth() + 2 * static_cast<int>(fPreview->document()->documentMargin());
  fPreview->setFixedHeight(3 * fPreview->fontMetrics().lineSpacing() + frame +
                           fPreview->horizontalScrollBar()->sizeHint().height());
  fPreview->setMinimumWidth(fPreview->fontMetrics().horizontalAdvance(QString(36, 'M')));

  QHBoxLayout* buttons = MakeOkCancel(this, bOK, bCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fSizePanel);
  layout->addWidget(fEnvironmentBox);
  layout->addLayout(optionsRow);
  layout->addWidget(previewLabel);
  layout->addWidget(fPreview);
  layout->addLayout(buttons);
  // A fixed size that follows the visible contents: hiding the size panel
  // shrinks the dialog, showing it grows it back.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(ColCount, RowCount);
  setTabOrder(RowCount, fTabular);
  setTabOrder(fTabular, fArray);
  setTabOrder(fArray, fCustom);
  setTabOrder(fCustom, fCustomName);
  setTabOrder(fCustomName, fOptions);
  setTabOrder(fOptions, bOK);
  setTabOrder(bOK, bCancel);

  for (QRadioButton* choice : {fTabular, fArray, fCustom})
    connect(choice, &QRadioButton::toggled, this, &TNewForm::EnvironmentChoiceClick);
  connect(fCustomName, &QLineEdit::textChanged, this, &TNewForm::UpdatePreview);
  connect(fOptions, &QLineEdit::textChanged, this, &TNewForm::UpdatePreview);
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);

  UpdatePreview();
}

void TNewForm::EnvironmentChoiceClick() {
  fCustomName->setEnabled(fCustom->isChecked());
  UpdatePreview();
}

std::string TNewForm::GetEnvironmentName() const {
  const TEnvironmentKind kind = fTabular->isChecked() ? ekTabular : fArray->isChecked() ? ekArray : ekCustom;
  return EnvironmentName(kind, FromQ(fCustomName->text()));
}

std::string TNewForm::Options() const { return FromQ(fOptions->text()); }

void TNewForm::UpdatePreview() {
  QStringList lines;
  for (const std::string& line : EnvironmentPreview(GetEnvironmentName(), Options())) lines << ToQ(line);
  fPreview->setPlainText(lines.join('\n'));
}

void TNewForm::LoadEnvironment(const std::string& environment, const std::string& options) {
  switch (EnvironmentKindOf(environment)) {
    case ekTabular:
      fTabular->setChecked(true);
      break;
    case ekArray:
      fArray->setChecked(true);
      break;
    case ekCustom:
      fCustom->setChecked(true);
      fCustomName->setText(ToQ(environment));
      break;
  }
  // The button may have been checked already, in which case no toggle ran.
  fCustomName->setEnabled(fCustom->isChecked());
  fOptions->setText(ToQ(options));
  UpdatePreview();
}

bool TNewForm::Run(std::string& environment, std::string& options) {
  LoadEnvironment(environment, options);
  layout()->activate();
  if (exec() != QDialog::Accepted) return false;
  environment = GetEnvironmentName();
  options = Options();
  return true;
}

bool TNewForm::ExecuteNew(int& rows, int& cols, std::string& environment, std::string& options) {
  setWindowTitle(kNewCaption);
  fSizePanel->show();
  std::string env = environment;
  std::string opts = options;
  if (!Run(env, opts)) return false;
  rows = ClampTableSize(RowCount->value());
  cols = ClampTableSize(ColCount->value());
  environment = env;
  options = opts;
  return true;
}

bool TNewForm::ExecuteEnvironment(std::string& environment, std::string& options) {
  setWindowTitle(kEnvironmentCaption);
  fSizePanel->hide();
  // Back to the New form however the dialog ends.
  struct Restore {
    TNewForm* Form;
    ~Restore() {
      Form->setWindowTitle(kNewCaption);
      Form->fSizePanel->show();
    }
  } restore{this};
  return Run(environment, options);
}

void TNewForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  bOK->setFocus();
}
