#include "forms/ImportUnit.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TImportForm::TImportForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Text Import");
  setObjectName("ImportForm");
  resize(509, 347);

  GroupBox1 = new QGroupBox("Cell delimeters", this);
  cComma = new QCheckBox("Comma", GroupBox1);
  cComma->setChecked(true);
  cSemicolon = new QCheckBox("Semicolon", GroupBox1);
  cSpace = new QCheckBox("Space", GroupBox1);
  cAmpersand = new QCheckBox("Ampersand", GroupBox1);
  cTab = new QCheckBox("Tab", GroupBox1);
  cCustom = new QCheckBox("Custom:", GroupBox1);
  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setMaxLength(1);
  Edit1->setEnabled(false);
  Edit1->setFixedWidth(Edit1->fontMetrics().horizontalAdvance("MM") + 12);
  // Cell texts are bytes and the import splits on single bytes, so the custom
  // delimiter must be a one-byte (ASCII) character; anything else is refused
  // as it is typed rather than split into the bytes of a longer character.
  Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x01-\\x7F]?"), Edit1));
  Edit1->setToolTip("One character; only characters that take a single byte (ASCII) can be delimiters");
  auto* row = new QHBoxLayout(GroupBox1);
  for (QWidget* w : {static_cast<QWidget*>(cComma), static_cast<QWidget*>(cSemicolon),
                     static_cast<QWidget*>(cSpace), static_cast<QWidget*>(cAmpersand),
                     static_cast<QWidget*>(cTab), static_cast<QWidget*>(cCustom), static_cast<QWidget*>(Edit1)})
    row->addWidget(w);
  row->addStretch();

  CheckBox6 = new QCheckBox("Treat consecutive delimeters as one", this);
  Label1 = new QLabel("File contents:", this);
  lWarning = new QLabel(this);
  lWarning->setObjectName("lWarning");
  lWarning->setWordWrap(true);
  lWarning->setTextFormat(Qt::PlainText);
  lWarning->setStyleSheet("QLabel { color: #a00000; font-weight: bold; }");
  lWarning->hide();
  Memo1 = new QPlainTextEdit(this);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::Monospace);
  mono.setFixedPitch(true);
  Memo1->setFont(mono);
  Label1->setBuddy(Memo1);

  bOK = new QPushButton("OK", this);
  bOK->setDefault(true);
  bCancel = new QPushButton("Cancel", this);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bOK);
  buttons->addWidget(bCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  layout->addWidget(CheckBox6);
  layout->addWidget(Label1);
  layout->addWidget(lWarning);
  layout->addWidget(Memo1, 1);
  layout->addLayout(buttons);

  setTabOrder(cComma, cSemicolon);
  setTabOrder(cSemicolon, cSpace);
  setTabOrder(cSpace, cAmpersand);
  setTabOrder(cAmpersand, cTab);
  setTabOrder(cTab, cCustom);
  setTabOrder(cCustom, Edit1);
  setTabOrder(Edit1, CheckBox6);
  setTabOrder(CheckBox6, Memo1);
  setTabOrder(Memo1, bOK);
  setTabOrder(bOK, bCancel);

  connect(cCustom, &QCheckBox::toggled, this, &TImportForm::cCustomClick);
  connect(bOK, &QPushButton::clicked, this, [this] {
    XButton1Click();
    accept();
  });
  connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TImportForm::SetPreview(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  Memo1->setPlainText(text.join('\n'));
}

void TImportForm::SetWarning(const std::string& text) {
  lWarning->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  lWarning->setVisible(!text.empty());
}

void TImportForm::cCustomClick() { Edit1->setEnabled(cCustom->isChecked()); }

void TImportForm::XButton1Click() {
  std::string d;
  if (cComma->isChecked()) d += ',';
  if (cSemicolon->isChecked()) d += ';';
  if (cSpace->isChecked()) d += ' ';
  if (cAmpersand->isChecked()) d += '&';
  if (cTab->isChecked()) d += '\t';
  if (cCustom->isChecked() && !Edit1->text().isEmpty()) {
    const QByteArray bytes = Edit1->text().toUtf8();
    if (bytes.size() == 1) d += bytes[0];
  }
  Delimiters = d;
}

void TImportForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  bOK->setFocus();
}
