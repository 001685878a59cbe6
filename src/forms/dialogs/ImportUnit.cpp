#include "forms/dialogs/ImportUnit.h"

#include <algorithm>

#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QTableWidget>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "document/AppModule.h"
#include "forms/dialogs/DialogButtons.h"
#include "model/LatexEscape.h"
#include "model/TextLines.h"

namespace {

QString ToQ(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TImportForm::TImportForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Text Import");
  setObjectName("ImportForm");
  resize(509, 520);

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
  cQuoted = new QCheckBox("Fields in double quotes", this);
  cQuoted->setToolTip("A field in double quotes may hold delimiters and line breaks; \"\" inside stands for one quote");
  lQuotedNote = new QLabel("(ticked: the file has fields in double quotes)", this);
  lQuotedNote->setObjectName("lQuotedNote");
  lQuotedNote->hide();
  cEscape = new QCheckBox("Escape LaTeX special characters", this);
  cEscape->setToolTip("Writes \\ & % $ # _ { } ~ ^ in the cells so that LaTeX prints them as they are");
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
  lCells = new QLabel("Cells:", this);
  gPreview = new QTableWidget(this);
  gPreview->setObjectName("gPreview");
  gPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  gPreview->setSelectionMode(QAbstractItemView::NoSelection);
  gPreview->setWordWrap(false);
  lCells->setBuddy(gPreview);

  QHBoxLayout* buttons = MakeOkCancel(this, bOK, bCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  layout->addWidget(CheckBox6);
  auto* quotedRow = new QHBoxLayout;
  quotedRow->addWidget(cQuoted);
  quotedRow->addWidget(lQuotedNote);
  quotedRow->addStretch();
  layout->addLayout(quotedRow);
  layout->addWidget(cEscape);
  layout->addWidget(Label1);
  layout->addWidget(lWarning);
  layout->addWidget(Memo1, 1);
  layout->addWidget(lCells);
  layout->addWidget(gPreview, 1);
  layout->addLayout(buttons);

  setTabOrder(cComma, cSemicolon);
  setTabOrder(cSemicolon, cSpace);
  setTabOrder(cSpace, cAmpersand);
  setTabOrder(cAmpersand, cTab);
  setTabOrder(cTab, cCustom);
  setTabOrder(cCustom, Edit1);
  setTabOrder(Edit1, CheckBox6);
  setTabOrder(CheckBox6, cQuoted);
  setTabOrder(cQuoted, cEscape);
  setTabOrder(cEscape, Memo1);
  setTabOrder(Memo1, gPreview);
  setTabOrder(gPreview, bOK);
  setTabOrder(bOK, bCancel);

  connect(cCustom, &QCheckBox::toggled, this, &TImportForm::cCustomClick);
  for (QCheckBox* box : {cComma, cSemicolon, cSpace, cAmpersand, cTab, cCustom, CheckBox6, cQuoted, cEscape})
    connect(box, &QCheckBox::toggled, this, &TImportForm::UpdatePreviewGrid);
  connect(Edit1, &QLineEdit::textChanged, this, &TImportForm::UpdatePreviewGrid);
  connect(bOK, &QPushButton::clicked, this, [this] {
    XButton1Click();
    accept();
  });
}

void TImportForm::SetPreview(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  // Not UTF-8 shows with replacement marks; the import still takes the bytes.
  for (const std::string& line : lines) text << ToQ(line);
  Memo1->setPlainText(text.join('\n'));
  FPreviewText.clear();
  const size_t fileLines = !lines.empty() && lines.back() == kPreviewCroppedNote ? lines.size() - 1 : lines.size();
  for (size_t i = 0; i < fileLines; ++i) (FPreviewText += lines[i]) += '\n';
  UpdatePreviewGrid();
}

void TImportForm::SuggestQuoted(bool detected) {
  cQuoted->setChecked(detected);
  lQuotedNote->setVisible(detected);
}

TTextImportOptions TImportForm::Options() const {
  TTextImportOptions options;
  options.Delimiters = Delimiters;
  options.Merge = CheckBox6->isChecked();
  options.Quoted = cQuoted->isChecked();
  options.Escape = cEscape->isChecked();
  return options;
}

void TImportForm::UpdatePreviewGrid() {
  const TextLines::TDelimiterSet delimiters(CheckedDelimiters());
  const std::vector<TextLines::TRecord> records = TextLines::SplitRecords(
      FPreviewText, delimiters, CheckBox6->isChecked(), cQuoted->isChecked(), static_cast<size_t>(kPreviewRows));
  size_t columns = 1;
  for (const TextLines::TRecord& record : records) columns = std::max(columns, record.size());
  columns = std::min(columns, static_cast<size_t>(kPreviewColumns));
  gPreview->clearContents();
  gPreview->setRowCount(static_cast<int>(records.size()));
  gPreview->setColumnCount(static_cast<int>(columns));
  const bool escape = cEscape->isChecked();
  for (size_t r = 0; r < records.size(); ++r)
    for (size_t c = 0; c < records[r].size() && c < columns; ++c) {
      const std::string& field = records[r][c];
      gPreview->setItem(static_cast<int>(r), static_cast<int>(c),
                        new QTableWidgetItem(ToQ(escape ? EscapeLatexSpecials(field) : field)));
    }
}

void TImportForm::SetWarning(const std::string& text) {
  lWarning->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  lWarning->setVisible(!text.empty());
}

void TImportForm::cCustomClick() { Edit1->setEnabled(cCustom->isChecked()); }

void TImportForm::XButton1Click() { Delimiters = CheckedDelimiters(); }

std::string TImportForm::CheckedDelimiters() const {
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
  return d;
}

void TImportForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  bOK->setFocus();
}
