#include "forms/dialogs/LatexTableChoiceUnit.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

#include "document/AppModule.h"
#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

namespace {
// The dialog's result for "Add at End", beside Accepted and Rejected.
constexpr int kAppendResult = 2;
}  // namespace

TLatexTableChoiceForm::TLatexTableChoiceForm(QWidget* parent) : QDialog(parent) {
  setObjectName("LatexTableChoiceForm");
  setWindowTitle("Choose a Table");
  auto* layout = new QVBoxLayout(this);
  lPrompt = new QLabel(this);
  layout->addWidget(lPrompt);
  fTables = new QListWidget(this);
  fTables->setObjectName("fTables");
  // The first lines of code line up as they do in the source.
  fTables->setFont(QFont("Courier New"));
  fTables->setMinimumSize(560, 320);
  layout->addWidget(fTables);
  QHBoxLayout* buttons = MakeOkCancel(this, bOK, bCancel);
  bAppend = new QPushButton("&Add at End", this);
  bAppend->setObjectName("bAppend");
  buttons->insertWidget(buttons->indexOf(bCancel), bAppend);
  layout->addLayout(buttons);
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(bAppend, &QPushButton::clicked, this, [this] { done(kAppendResult); });
  connect(fTables, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int TLatexTableChoiceForm::Execute(const std::vector<TLatexTableSource>& tables) {
  setWindowTitle("Choose a Table");
  lPrompt->setText("The file holds several tables. Which one do you want to edit?");
  bOK->setText("OK");
  bAppend->hide();
  return Run(tables);
}

int TLatexTableChoiceForm::ExecuteReplace(const std::string& fileName, const std::vector<TLatexTableSource>& tables) {
  setWindowTitle("Save As");
  lPrompt->setText(ToQ(fileName) + QString(" already holds LaTeX tables. Which one does the table replace? "
                                           "The rest of the file stays as it is."));
  bOK->setText("&Replace");
  bAppend->show();
  return Run(tables);
}

int TLatexTableChoiceForm::Run(const std::vector<TLatexTableSource>& tables) {
  fTables->clear();
  for (size_t i = 0; i < tables.size(); ++i) {
    QString text = QString("Table %1, line %2").arg(i + 1).arg(tables[i].Line);
    for (const std::string& line : tables[i].FirstLines) text += "\n    " + ToQ(line);
    fTables->addItem(text);
  }
  fTables->setCurrentRow(0);
  fTables->setFocus();
  const int result = exec();
  if (result == kAppendResult) return TDocumentUI::kAppendTable;
  if (result != QDialog::Accepted) return -1;
  return fTables->currentRow();
}

TQtLatexTableUI::TQtLatexTableUI(QWidget* window)
    : QObject(window), FWindow(window), FForm(new TLatexTableChoiceForm(window)) {
  SetLatexTableUI(this);
}

TQtLatexTableUI::~TQtLatexTableUI() { SetLatexTableUI(nullptr); }

int TQtLatexTableUI::ChooseLatexTable(const std::vector<TLatexTableSource>& tables) { return FForm->Execute(tables); }

void TQtLatexTableUI::ShowLatexWarnings(const std::vector<std::string>& warnings) {
  QString text;
  for (const std::string& warning : warnings) {
    if (!text.isEmpty()) text += "\n\n";
    text += ToQ(warning);
  }
  QMessageBox::warning(FWindow, ToQ(ApplicationTitle), text);
}
