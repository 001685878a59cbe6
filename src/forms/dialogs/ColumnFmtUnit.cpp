#include "forms/dialogs/ColumnFmtUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "forms/dialogs/DialogButtons.h"
#include "platform/QtText.h"

TColumnFmtForm::TColumnFmtForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Column Format");
  setObjectName("ColumnFmtForm");

  Label1 = new QLabel("Column format:", this);
  Edit1 = new QLineEdit(this);
  Label1->setBuddy(Edit1);
  Label2 = new QLabel("Recent formats:", this);
  ListBox1 = new QListWidget(this);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  // Room for the eight recent formats the list keeps.
  ListBox1->setFixedHeight(ListBox1->fontMetrics().height() * 8 + 2 * ListBox1->frameWidth() + 8);
  Label2->setBuddy(ListBox1);

  QHBoxLayout* buttons = MakeOkCancel(this, bOK, bCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Edit1);
  layout->addSpacing(6);
  layout->addWidget(Label2);
  layout->addWidget(ListBox1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  Edit1->setMinimumWidth(240);

  setTabOrder(Edit1, ListBox1);
  setTabOrder(ListBox1, bOK);
  setTabOrder(bOK, bCancel);

  // A click picks an entry, and so does moving through the list with the
  // keyboard; a click on the entry already selected picks it again, after
  // the box was edited.
  connect(ListBox1, &QListWidget::itemClicked, this, &TColumnFmtForm::ListBox1Click);
  connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TColumnFmtForm::ListBox1Click);
  connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool TColumnFmtForm::Execute(std::string& format, const TSList& recent) {
  FEntries = recent.Items();
  ListBox1->clear();
  for (const std::string& entry : FEntries) ListBox1->addItem(ToQ(entry));
  FPut = format;
  FPutShown = ToQ(format);
  Edit1->setText(FPutShown);
  if (exec() != QDialog::Accepted) return false;
  const QString text = Edit1->text();
  format = text == FPutShown ? FPut : FromQ(text);
  return true;
}

void TColumnFmtForm::FormShow() {
  Edit1->setFocus();
  Edit1->selectAll();
}

void TColumnFmtForm::ListBox1Click() {
  const int row = ListBox1->currentRow();
  if (row < 0 || row >= static_cast<int>(FEntries.size()) || !ListBox1->item(row)->isSelected()) return;
  FPut = FEntries[static_cast<size_t>(row)];
  FPutShown = ToQ(FPut);
  Edit1->setText(FPutShown);
}

void TColumnFmtForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}
