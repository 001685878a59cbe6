#include "forms/dialogs/SheetChoiceUnit.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

#include "document/AppModule.h"
#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

TSheetChoiceForm::TSheetChoiceForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SheetChoiceForm");
  setWindowTitle("Open Spreadsheet");
  auto* layout = new QVBoxLayout(this);
  lPrompt = new QLabel(this);
  layout->addWidget(lPrompt);
  fSheets = new QListWidget(this);
  fSheets->setObjectName("fSheets");
  fSheets->setMinimumSize(420, 200);
  layout->addWidget(fSheets);
  cbEmphasis = new QCheckBox("Keep bold and italic", this);
  cbEmphasis->setObjectName("cbEmphasis");
  cbEmphasis->setToolTip("Bold and italic cells become \\textbf{...} and \\textit{...}");
  layout->addWidget(cbEmphasis);
  cbEscape = new QCheckBox("Escape LaTeX special characters", this);
  cbEscape->setObjectName("cbEscape");
  cbEscape->setToolTip("& % $ # _ { } ~ ^ \\ in the cells are written so that LaTeX prints them");
  layout->addWidget(cbEscape);
  layout->addLayout(MakeOkCancel(this, bOK, bCancel));
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(fSheets, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    if (item->flags() & Qt::ItemIsEnabled) accept();
  });
  connect(fSheets, &QListWidget::currentRowChanged, this, &TSheetChoiceForm::UpdateOk);
}

void TSheetChoiceForm::UpdateOk() {
  const QListWidgetItem* item = fSheets->currentItem();
  bOK->setEnabled(item && (item->flags() & Qt::ItemIsEnabled));
}

int TSheetChoiceForm::Execute(const std::string& fileName, const std::vector<TSheetInfo>& sheets,
                              TBlockOptions& options) {
  lPrompt->setText(sheets.size() > 1 ? QString("%1 holds %2 sheets. Which one do you want to edit?")
                                           .arg(ToQ(fileName))
                                           .arg(sheets.size())
                                     : QString("Open %1:").arg(ToQ(fileName)));
  fSheets->clear();
  int first = -1;
  for (size_t i = 0; i < sheets.size(); ++i) {
    const TSheetInfo& s = sheets[i];
    const bool empty = s.Rows == 0;
    auto* item = new QListWidgetItem(empty ? QString("%1 (empty)").arg(ToQ(s.Name))
                                           : QString("%1 (%2 row%3 \u00d7 %4 column%5)")
                                                 .arg(ToQ(s.Name))
                                                 .arg(s.Rows)
                                                 .arg(s.Rows == 1 ? "" : "s")
                                                 .arg(s.Columns)
                                                 .arg(s.Columns == 1 ? "" : "s"),
                                     fSheets);
    // An empty sheet would make no table: it is shown but cannot be chosen.
    if (empty) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    else if (first < 0) first = static_cast<int>(i);
  }
  fSheets->setCurrentRow(first);
  UpdateOk();
  cbEmphasis->setChecked(options.KeepEmphasis);
  cbEscape->setChecked(options.Escape);
  fSheets->setFocus();
  if (exec() != QDialog::Accepted || fSheets->currentRow() < 0) return -1;
  options.KeepEmphasis = cbEmphasis->isChecked();
  options.Escape = cbEscape->isChecked();
  return fSheets->currentRow();
}

TQtSpreadsheetUI::TQtSpreadsheetUI(QWidget* window)
    : QObject(window), FWindow(window), FForm(new TSheetChoiceForm(window)) {
  SetSpreadsheetUI(this);
}

TQtSpreadsheetUI::~TQtSpreadsheetUI() { SetSpreadsheetUI(nullptr); }

int TQtSpreadsheetUI::ChooseSheet(const std::string& fileName, const std::vector<TSheetInfo>& sheets,
                                  TBlockOptions& options) {
  return FForm->Execute(fileName, sheets, options);
}

void TQtSpreadsheetUI::ShowSheetWarnings(const std::vector<std::string>& warnings) {
  QString text;
  for (const std::string& warning : warnings) {
    if (!text.isEmpty()) text += "\n\n";
    text += ToQ(warning);
  }
  QMessageBox::warning(FWindow, ToQ(ApplicationTitle), text);
}
