#include "forms/dialogs/OptionsUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "document/AppSettings.h"
#include "forms/dialogs/CodeOptionsPage.h"
#include "forms/dialogs/TypesetOptionsPage.h"
#include "model/Errors.h"

namespace {

const char* const kBadFontSize = "Font size should be a valid integer number";

QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string FromQ(const QString& s) { return s.toUtf8().toStdString(); }

// The size boxes' whole number, or a refusal with the focus on the box.
int SizeOf(TEditList* box) {
  bool ok = false;
  const int size = box->Text().trimmed().toInt(&ok, 10);
  if (!ok) {
    box->Edit->setFocus(Qt::OtherFocusReason);
    box->Edit->selectAll();
    throw EQuiltorError(kBadFontSize);
  }
  return size;
}

}  // namespace

// ---------------------------------------------------------------- TEditList

TEditList::TEditList(QWidget* parent) : QWidget(parent) {
  Edit = new QLineEdit(this);
  List = new QListWidget(this);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  // The list is a helper of the box: Tab goes past it, clicks don't keep
  // the focus in it.
  List->setFocusPolicy(Qt::NoFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Edit);
  auto* indent = new QHBoxLayout;
  indent->setContentsMargins(8, 0, 0, 0);
  indent->addWidget(List);
  layout->addLayout(indent, 1);
  setFocusProxy(Edit);

  Edit->installEventFilter(this);
  connect(Edit, &QLineEdit::textEdited, this, &TEditList::EditChange);
  connect(List, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { TakeEntry(List->row(item)); });
}

void TEditList::SetItems(const QStringList& items) {
  List->clear();
  List->addItems(items);
}

QString TEditList::Text() const { return Edit->text(); }

void TEditList::SetText(const QString& text) {
  Edit->setText(text);
  EditChange(text);
}

int TEditList::Highlighted() const {
  const QList<QListWidgetItem*> selected = List->selectedItems();
  return selected.isEmpty() ? -1 : List->row(selected.front());
}

void TEditList::Highlight(int row) {
  if (row < 0) {
    List->clearSelection();
    List->setCurrentRow(-1, QItemSelectionModel::Clear);
    return;
  }
  List->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  List->scrollToItem(List->item(row));
}

void TEditList::EditChange(const QString& text) {
  int exact = -1;
  int first = -1;
  if (!text.isEmpty())
    for (int i = 0; i < List->count(); ++i) {
      const QString entry = List->item(i)->text();
      if (first < 0 && entry.startsWith(text, Qt::CaseInsensitive)) first = i;
      if (entry.compare(text, Qt::CaseInsensitive) == 0) {
        exact = i;
        break;
      }
    }
  Highlight(exact);
  if (first >= 0 && exact < 0) List->scrollToItem(List->item(first), QAbstractItemView::PositionAtTop);
  else if (text.isEmpty()) List->scrollToTop();
}

void TEditList::MoveHighlight(int step) {
  if (List->count() == 0) return;
  int row = Highlighted();
  if (row < 0) {
    row = 0;
    const QString text = Edit->text();
    for (int i = 0; i < List->count(); ++i)
      if (List->item(i)->text().startsWith(text, Qt::CaseInsensitive)) {
        row = i;
        break;
      }
  } else {
    row = std::clamp(row + step, 0, static_cast<int>(List->count()) - 1);
  }
  Highlight(row);
  Edit->setText(List->item(row)->text());
  Edit->selectAll();
}

void TEditList::TakeEntry(int row) {
  if (row < 0) return;
  Highlight(row);
  Edit->setText(List->item(row)->text());
  Edit->setFocus(Qt::OtherFocusReason);
  Edit->selectAll();
}

bool TEditList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit) {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
          MoveHighlight(key->key() == Qt::Key_Up ? -1 : 1);
          return true;
        }
      }
    } else if (event->type() == QEvent::FocusIn) {
      // Entering the box selects its text; a click places the cursor
      // instead, as in any text box.
      if (static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason) Edit->selectAll();
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- TOptionsForm

TOptionsForm::TOptionsForm(TOptionsTarget& target, QWidget* parent) : QDialog(parent), FTarget(target) {
  setWindowTitle("Options");
  setObjectName("OptionsForm");

  PageControl = new QTabWidget(this);

  // Editor page.
  auto* editor = new QWidget;
  editor->setObjectName("Editor");
  const QStringList families = QFontDatabase::families();
  QStringList sizes;
  for (int s : {7, 8, 9, 10, 11, 12, 13, 14, 16, 18, 20, 24, 32}) sizes << QString::number(s);
  auto makeBox = [editor](const char* name, const QStringList& items) {
    auto* box = new TEditList(editor);
    box->setObjectName(name);
    box->SetItems(items);
    return box;
  };
  fEdFont = makeBox("fEdFont", families);
  fEdSize = makeBox("fEdSize", sizes);
  fCodeFont = makeBox("fCodeFont", families);
  fCodeSize = makeBox("fCodeSize", sizes);
  for (TEditList* size : {fEdSize, fCodeSize}) size->Edit->setMaximumWidth(size->fontMetrics().horizontalAdvance("00000") + 16);
  Button1 = new QPushButton("&Defaults", editor);
  auto* editorGrid = new QGridLayout(editor);
  auto addBox = [editor, editorGrid](const char* caption, TEditList* box, int row, int column) {
    auto* label = new QLabel(caption, editor);
    label->setBuddy(box->Edit);
    editorGrid->addWidget(label, row, column);
    editorGrid->addWidget(box, row + 1, column);
  };
  addBox("Default &editor font:", fEdFont, 0, 0);
  addBox("&Size:", fEdSize, 0, 1);
  addBox("&Code font:", fCodeFont, 2, 0);
  addBox("Si&ze:", fCodeSize, 2, 1);
  editorGrid->setColumnStretch(0, 3);
  editorGrid->setColumnStretch(1, 1);
  auto* editorButtons = new QHBoxLayout;
  editorButtons->addStretch();
  editorButtons->addWidget(Button1);
  editorGrid->addLayout(editorButtons, 4, 0, 1, 2);
  PageControl->addTab(editor, "Editor");

  // Misc. page.
  auto* misc = new QWidget;
  misc->setObjectName("Misc");
  fUndoLevels = new QSpinBox(misc);
  fUndoLevels->setObjectName("fUndoLevels");
  fUndoLevels->setRange(0, 100);
  Appearance = new QComboBox(misc);
  Appearance->setObjectName("Appearance");
  Appearance->setEditable(false);
  Button2 = new QPushButton("&Defaults", misc);
  auto* undoLabel = new QLabel("Maximum &undo levels:", misc);
  undoLabel->setBuddy(fUndoLevels);
  auto* lookLabel = new QLabel("&Toolbar appearance:", misc);
  lookLabel->setBuddy(Appearance);
  auto* miscGrid = new QGridLayout(misc);
  miscGrid->addWidget(undoLabel, 0, 0);
  miscGrid->addWidget(fUndoLevels, 0, 1);
  miscGrid->addWidget(lookLabel, 1, 0);
  miscGrid->addWidget(Appearance, 1, 1);
  fRecoveryInterval = new QSpinBox(misc);
  fRecoveryInterval->setObjectName("fRecoveryInterval");
  fRecoveryInterval->setRange(0, 24 * 60 * 60);
  fRecoveryInterval->setSuffix(" s");
  fRecoveryInterval->setSpecialValueText("Off");
  auto* recoveryLabel = new QLabel("&Recovery interval:", misc);
  recoveryLabel->setBuddy(fRecoveryInterval);
  miscGrid->addWidget(recoveryLabel, 2, 0);
  miscGrid->addWidget(fRecoveryInterval, 2, 1);
  miscGrid->setRowStretch(3, 1);
  auto* miscButtons = new QHBoxLayout;
  miscButtons->addStretch();
  miscButtons->addWidget(Button2);
  miscGrid->addLayout(miscButtons, 4, 0, 1, 2);
  PageControl->addTab(misc, "Misc.");
  PageControl->addTab(CreateTypesetPage(fTypesetPreamble), "Typeset");
  PageControl->addTab(CreateCodePage(fNewRuleStyle, fAlignCode, fPackageComment), "Code");

  bApply = new QPushButton("&Apply", this);
  bOk = new QPushButton("OK", this);
  bOk->setDefault(true);
  bCancel = new QPushButton("Cancel", this);
  for (QPushButton* b : {bApply, bOk, bCancel}) b->setAutoDefault(false);
  bOk->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(bApply);
  buttons->addWidget(bOk);
  buttons->addWidget(bCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl, 1);
  layout->addLayout(buttons);
  resize(420, 330);
  // A fixed size, chosen once the font lists are in.
  setFixedSize(size().expandedTo(sizeHint()));

  connect(Button1, &QPushButton::clicked, this, &TOptionsForm::bDefaultsClick);
  connect(Button2, &QPushButton::clicked, this, &TOptionsForm::bDefaults2Click);
  connect(bApply, &QPushButton::clicked, this, [this] { Guarded(&TOptionsForm::bApplyClick); });
  connect(bOk, &QPushButton::clicked, this, &TOptionsForm::bOKClick);
  connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptionsForm::FormShow() {
  fEdFont->SetText(ToQ(FTarget.GridFontName()));
  fEdSize->SetText(QString::number(FTarget.GridFontSize()));
  fCodeFont->SetText(ToQ(FTarget.CodeFontName()));
  fCodeSize->SetText(QString::number(FTarget.CodeFontSize()));
  fUndoLevels->setValue(FTarget.UndoLevels());
  fRecoveryInterval->setValue(FTarget.RecoveryInterval());
  fTypesetPreamble->setPlainText(QString::fromUtf8(FTarget.TypesetPreamble()));
  fNewRuleStyle->setCurrentIndex(FTarget.NewTableRuleStyle());
  const TCodePreferences code = FTarget.CodeSettings();
  fAlignCode->setChecked(code.Latex.AlignColumns);
  fPackageComment->setChecked(code.PackageComment);
  bOk->setFocus();
  Appearance->clear();
  for (const char* look : kToolbarLooks) Appearance->addItem(look);
  Appearance->setCurrentIndex(Appearance->findText(ToQ(FTarget.ToolbarLook()), Qt::MatchFixedString));
}

void TOptionsForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TOptionsForm::bDefaultsClick() {
  fEdFont->SetText("Times New Roman");
  fEdSize->SetText("10");
  fCodeFont->SetText("Courier New");
  fCodeSize->SetText("8");
}

void TOptionsForm::bDefaults2Click() {
  fUndoLevels->setValue(100);
  fRecoveryInterval->setValue(kDefaultRecoveryInterval);
  Appearance->setCurrentIndex(0);
}

void TOptionsForm::bApplyClick() {
  // Both sizes are checked before anything is written.
  const int gridSize = SizeOf(fEdSize);
  const int codeSize = SizeOf(fCodeSize);
  FTarget.SetGridFont(FromQ(fEdFont->Text()), gridSize);
  FTarget.SetCodeFont(FromQ(fCodeFont->Text()), codeSize);
  FTarget.SetUndoLevels(fUndoLevels->value());
  FTarget.SetRecoveryInterval(fRecoveryInterval->value());
  // No look chosen (the one in force was not in the list) keeps the one in
  // force.
  const std::string look = FromQ(Appearance->currentText());
  if (!look.empty() && look != FTarget.ToolbarLook()) FTarget.SetToolbarLook(look);
  const std::string preamble = fTypesetPreamble->toPlainText().toStdString();
  if (preamble != FTarget.TypesetPreamble()) FTarget.SetTypesetPreamble(preamble);
  FTarget.SetNewTableRuleStyle(fNewRuleStyle->currentIndex() == rsBooktabs ? rsBooktabs : rsClassic);
  TCodePreferences code = FTarget.CodeSettings();
  code.Latex.AlignColumns = fAlignCode->isChecked();
  code.PackageComment = fPackageComment->isChecked();
  FTarget.SetCodeSettings(code);
  FTarget.RefreshGrid();
}

void TOptionsForm::bOKClick() {
  if (Guarded(&TOptionsForm::bApplyClick)) accept();
}

bool TOptionsForm::Guarded(void (TOptionsForm::*handler)()) {
  try {
    (this->*handler)();
    return true;
  } catch (const std::exception& e) {
    FTarget.ShowError(e.what());
    return false;
  }
}
