#include "forms/dialogs/RecoveryUnit.h"

#include <QHBoxLayout>
#include <filesystem>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "platform/QtText.h"
#include "forms/mainwindow/RecoveryController.h"
#include "model/Tables.h"

namespace {

std::string Joined(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& m : messages) text += (text.empty() ? "" : "\n\n") + m;
  return text;
}

}  // namespace

TRecoveryForm::TRecoveryForm(std::vector<TRecoveryEntry> entries, TDocumentUI* ui, QWidget* parent)
    : QDialog(parent), FEntries(std::move(entries)) {
  if (!ui) {
    FOwnUI = std::make_unique<TQtDocumentUI>(this);
    ui = FOwnUI.get();
  }
  FUI = ui;
  setObjectName("RecoveryForm");
  setWindowTitle("Recover Documents");

  auto* note = new QLabel(
      "Quiltor ended without closing these documents. Their changes up to the time shown can be recovered.", this);
  note->setWordWrap(true);
  List = new QTreeWidget(this);
  List->setObjectName("List");
  List->setRootIsDecorated(false);
  List->setHeaderLabels({"Document", "Last recovery save"});
  List->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  List->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  List->header()->setStretchLastSection(false);
  for (const TRecoveryEntry& e : FEntries)
    new QTreeWidgetItem(List, {ToQ(RecoveryEntryName(e.Info)), ToQ(FormatRecoveryTime(e.Info.Time))});
  List->setCurrentItem(List->topLevelItem(0));

  bRecover = new QPushButton("&Recover", this);
  bRecover->setDefault(true);
  bSaveAs = new QPushButton("Save &As...", this);
  bDiscard = new QPushButton("&Discard", this);
  bClose = new QPushButton("Close", this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {bRecover, bSaveAs, bDiscard}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(bClose);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(List, 1);
  layout->addLayout(buttons);
  resize(560, 300);

  connect(bRecover, &QPushButton::clicked, this, &TRecoveryForm::bRecoverClick);
  connect(bSaveAs, &QPushButton::clicked, this, &TRecoveryForm::bSaveAsClick);
  connect(bDiscard, &QPushButton::clicked, this, &TRecoveryForm::bDiscardClick);
  connect(bClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(List, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
  UpdateButtons();
}

TRecoveryForm::~TRecoveryForm() = default;

int TRecoveryForm::Selected() const {
  const QTreeWidgetItem* item = List->currentItem();
  return item ? List->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void TRecoveryForm::UpdateButtons() {
  const bool any = Selected() >= 0;
  for (QPushButton* b : {bRecover, bSaveAs, bDiscard}) b->setEnabled(any);
}

void TRecoveryForm::RemoveEntry(int index) {
  FEntries.erase(FEntries.begin() + index);
  delete List->takeTopLevelItem(index);
  UpdateButtons();
  // Nothing left to decide.
  if (FEntries.empty() && !FChosen) accept();
}

void TRecoveryForm::ShowError(const std::string& message) { FUI->ShowError(message); }

void TRecoveryForm::bRecoverClick() {
  const int i = Selected();
  if (i < 0) return;
  FChosen = FEntries[static_cast<size_t>(i)];
  accept();
}

void TRecoveryForm::bSaveAsClick() {
  const int i = Selected();
  if (i < 0) return;
  const TRecoveryEntry& entry = FEntries[static_cast<size_t>(i)];
  try {
    TTable table;
    LoadRecoveryData(entry, table);
    const std::string& original = entry.Info.FileName;
    SaveDialog.FileName = original.empty() ? RecoveryEntryName(entry.Info) : ExtractFileName(original);
    const std::string ext = ExtractFileExt(original);
    SaveDialog.FilterIndex = ext == ".csv" ? 2 : ext == ".txt" ? 3 : 1;
    if (!original.empty() && SaveDialog.InitialDir.empty()) SaveDialog.InitialDir = ExtractFilePath(original);
    if (!FUI->ExecuteSaveDialog(SaveDialog)) return;
    WriteDocumentFile(table, SaveDialog.FileName);
    DiscardRecoveryEntry(entry);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  RemoveEntry(i);
}

void TRecoveryForm::bDiscardClick() {
  const int i = Selected();
  if (i < 0) return;
  const TRecoveryEntry& entry = FEntries[static_cast<size_t>(i)];
  const QString question = "Discard the recovered changes of " + ToQ(RecoveryEntryName(entry.Info)) +
                           "? They cannot be brought back.";
  if (QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
      QMessageBox::Yes)
    return;
  try {
    DiscardRecoveryEntry(entry);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  RemoveEntry(i);
}

std::optional<TRecoveryEntry> OfferRecovery(const std::string& folder) {
  TRecoveryScan scan = ScanRecoveryFolder(folder, true);
  if (!scan.Damaged.empty())
    QMessageBox::warning(nullptr, ToQ(ApplicationTitle), ToQ(Joined(scan.Damaged)));
  if (scan.Entries.empty()) return std::nullopt;
  TRecoveryForm form(std::move(scan.Entries));
  form.exec();
  return form.Chosen();
}

std::string StartUpFile(const std::string& argument, const std::optional<TRecoveryEntry>& recovered) {
  const std::string file = AbsoluteFileName(argument);
  if (!recovered || file.empty() || recovered->Info.FileName.empty()) return file;
  // The same file may be named another way ("../proj/t.qtor").
  std::error_code ec;
  const bool same = recovered->Info.FileName == file || std::filesystem::equivalent(recovered->Info.FileName, file, ec);
  return same ? std::string() : file;
}

void FinishRecovery(TMainForm& form, const TRecoveryEntry& entry) {
  try {
    RecoverDocument(entry);
  } catch (const std::exception& e) {
    if (TDocumentUI* ui = ::DocumentUI()) ui->ShowError(e.what());
    return;
  }
  form.RefreshGrid();
  // Further changes go into the same entry, which stays until they are
  // saved.
  form.Recovery().Inherit(entry);
}
