#include "forms/mainwindow/QtDocumentUI.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <algorithm>

#include "document/AppModule.h"
#include "forms/dialogs/ImportUnit.h"
#include "forms/dialogs/LatexTableChoiceUnit.h"

namespace {

QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string FromQ(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// Qt reads a filter's patterns from the parentheses at its end; our
// descriptions already carry readable ones, so the patterns go in a second
// pair that HideNameFilterDetails keeps out of sight. "*.*" would miss files
// without a dot on this platform, so it becomes "*".
QString QtFilter(const TFileType& type) {
  QString patterns = QString::fromLatin1(type.Patterns);
  patterns.replace(';', ' ');
  if (patterns == "*.*") patterns = "*";
  return QString::fromUtf8(type.Description) + " (" + patterns + ")";
}

// The entry (1-based) a filter text names, 0 for none. QFileDialog reports a
// filter as it is shown in some places (with HideNameFilterDetails: without
// the pattern part QtFilter appended, and with its blanks simplified) and as
// it was passed in others; both map back to the entry.
int TypeIndexOf(const TFileDialog& dialog, const QStringList& filters, const QString& text) {
  const QString shown = text.simplified();
  for (qsizetype i = 0; i < filters.size(); ++i) {
    if (text == filters[i] || shown == QString::fromUtf8(dialog.Types[static_cast<size_t>(i)].Description).simplified())
      return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

TQtDocumentUI::TQtDocumentUI(QWidget* window)
    : FWindow(window), FImportForm(new TImportForm(window)), FTableChoice(new TLatexTableChoiceForm(window)) {}

TQtDocumentUI::~TQtDocumentUI() = default;  // the forms belong to the window

TSaveAnswer TQtDocumentUI::AskSaveChanges(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text), QMessageBox::NoButton, FWindow);
  QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("&No", QMessageBox::NoRole);
  QPushButton* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == yes) return TSaveAnswer::Yes;
  if (box.clickedButton() == no) return TSaveAnswer::No;
  return TSaveAnswer::Cancel;
}

bool TQtDocumentUI::ExecuteFileDialog(TFileDialog& dialog, bool save) {
  QFileDialog fd(FWindow);
  fd.setOption(QFileDialog::DontUseNativeDialog);
  fd.setOption(QFileDialog::HideNameFilterDetails);
  fd.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Neither dialog insists: the save asks itself before it replaces a file
  // (after the name got its extension, and not for a LaTeX file, whose
  // tables it offers to replace one by one), and opening a missing file is
  // caught by the open itself.
  fd.setFileMode(QFileDialog::AnyFile);
  if (save) fd.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const TFileType& t : dialog.Types) filters << QtFilter(t);
  fd.setNameFilters(filters);
  if (dialog.FilterIndex < 1 || dialog.FilterIndex > filters.size()) dialog.FilterIndex = 1;
  fd.selectNameFilter(filters[dialog.FilterIndex - 1]);
  if (!dialog.InitialDir.empty()) fd.setDirectory(ToQ(dialog.InitialDir));
  if (!dialog.FileName.empty()) fd.selectFile(ToQ(dialog.FileName));

  // The default extension is always the shown type's, so that a name typed
  // without one lands in the format the user picked. Only the save dialog
  // lets Qt add it: Qt would add it even to the name of an existing file.
  const auto useType = [&](int index) {
    if (index < 1) return;
    dialog.FilterIndex = index;
    dialog.TypeChange(index);
    if (save) fd.setDefaultSuffix(ToQ(dialog.DefaultExt));
  };
  useType(dialog.FilterIndex);
  QObject::connect(&fd, &QFileDialog::filterSelected, &fd,
                   [&](const QString& filter) { useType(TypeIndexOf(dialog, filters, filter)); });
  if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty()) return false;
  useType(TypeIndexOf(dialog, filters, fd.selectedNameFilter()));
  dialog.FileName = FromQ(fd.selectedFiles().first());
  return true;
}

bool TQtDocumentUI::ExecuteOpenDialog(TFileDialog& dialog) { return ExecuteFileDialog(dialog, false); }

bool TQtDocumentUI::ExecuteSaveDialog(TFileDialog& dialog) { return ExecuteFileDialog(dialog, true); }

bool TQtDocumentUI::ExecuteImportDialog(const std::vector<std::string>& preview, const std::string& warning,
                                        TTextImportOptions& options) {
  // The quoted box first: the grid is split once, with it.
  FImportForm->SuggestQuoted(options.Quoted);
  FImportForm->SetPreview(preview);
  FImportForm->SetWarning(warning);
  if (FImportForm->exec() != QDialog::Accepted) return false;
  options = FImportForm->Options();
  return true;
}

int TQtDocumentUI::Ask(const std::string& caption, const std::string& text, const std::vector<std::string>& buttons) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text), QMessageBox::NoButton, FWindow);
  std::vector<QPushButton*> pushed;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const bool last = i + 1 == buttons.size();
    pushed.push_back(box.addButton(ToQ(buttons[i]), last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
  }
  if (pushed.empty()) return -1;
  box.setDefaultButton(pushed.front());
  box.setEscapeButton(pushed.back());
  box.exec();
  const auto it = std::find(pushed.begin(), pushed.end(), box.clickedButton());
  return static_cast<int>(it == pushed.end() ? pushed.size() - 1 : static_cast<size_t>(it - pushed.begin()));
}

int TQtDocumentUI::ChooseTableToReplace(const std::string& fileName, const std::vector<TLatexTableSource>& tables) {
  return FTableChoice->ExecuteReplace(fileName, tables);
}

void TQtDocumentUI::SetCaption(const std::string& caption) {
  if (FWindow) FWindow->setWindowTitle(ToQ(caption));
}

void TQtDocumentUI::ShowError(const std::string& message) {
  QMessageBox::critical(FWindow, ToQ(ApplicationTitle), ToQ(message));
}

void TQtDocumentUI::DocumentReplaced() {
  if (OnDocumentReplaced) OnDocumentReplaced();
}
