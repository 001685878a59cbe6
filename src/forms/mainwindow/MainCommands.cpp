// The main window's command handlers. Each one follows the same pattern:
// give the grid the focus (ending an edit under way), change the document,
// record the undo step, refresh. Which of them may run when is decided by
// UpdateCommandStates, never here.
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QToolBar>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "commands/DocumentCommands.h"
#include "commands/HistoryList.h"
#include "document/AppModule.h"
#include "document/HtmlTable.h"
#include "forms/preview/CodeUnit.h"
#include "forms/dialogs/HelpUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/dialogs/NewTableUnit.h"
#include "platform/QtText.h"
#include "forms/mainwindow/UndoListUnit.h"
#include "forms/settings/WindowSettings.h"
#include "latex/TabToLatex.h"
#include "model/TableEdit.h"
#include "undo/UndoBuffers.h"

// ---------------------------------------------------------------- file commands

namespace {

// An open may show dialogs of its own (the file dialog, the choice among a
// file's tables, the Text Import dialog, the reader's warnings), each of
// which takes the keyboard. backToGrid runs after open whatever came of it -
// a table opened, a dialog cancelled, or a failure on its way to the error
// box - so that keys and Undo work without a click into the grid.
template <class Open, class Back>
void WithGridAfterwards(const Open& open, const Back& backToGrid) {
  try {
    open();
  } catch (...) {
    backToGrid();
    throw;
  }
  backToGrid();
}

}  // namespace

void TMainForm::bNewClick() {
  FocusGrid();
  SetCurrentCell(nullptr);
  // The dialog starts from the table's environment and offers the sizes
  // given last time.
  int rows = 0;
  int cols = 0;
  std::string environment = CurrentTable->Environment;
  std::string options = CurrentTable->EnvOptions;
  const bool ok = NewForm->ExecuteNew(rows, cols, environment, options);
  BackFromDialog();
  if (!ok) return;
  // The save question takes the keyboard as well, whatever its answer.
  bool made = false;
  WithGridAfterwards([&] { made = NewTable(rows, cols, environment, options); }, [this] { BackFromDialog(); });
  // Declined at the save question: the old document stays as it was.
  if (!made) return;
  RefreshGrid();
}

void TMainForm::ClickOpen() {
  FocusGrid();
  SetCurrentCell(nullptr);
  WithGridAfterwards([] { OpenDocument(); }, [this] { BackFromDialog(); });
  RefreshGrid();
}

void TMainForm::ClickSave() {
  // An edit under way is part of the document: it is ended first, and only
  // then is it known whether there is anything to save.
  FocusGrid();
  if (!DocumentModified()) return;
  SaveDocument();
  RefreshGrid();
}

void TMainForm::ClickSaveAs() {
  FocusGrid();
  SaveDocumentAs();
  RefreshGrid();
}

void TMainForm::MRUListClick(const std::string& fileName) {
  FocusGrid();
  SetCurrentCell(nullptr);
  WithGridAfterwards([&fileName] { OpenRecentFile(fileName); }, [this] { BackFromDialog(); });
  RefreshGrid();
}

void TMainForm::OpenDroppedFile(const std::string& fileName) {
  FocusGrid();
  SetCurrentCell(nullptr);
  WithGridAfterwards([&fileName] { OpenFile(fileName); }, [this] { BackFromDialog(); });
  RefreshGrid();
}

void TMainForm::mnExitClick() { close(); }

// ---------------------------------------------------------------- edit commands

void TMainForm::bUndoClick() {
  FocusGrid();
  SetCurrentCell(nullptr);
  if (UndoCount() > 0) UndoSteps(1);
  RefreshGrid();
}

void TMainForm::bRedoClick() {
  FocusGrid();
  SetCurrentCell(nullptr);
  if (RedoCount() > 0) RedoSteps(1);
  RefreshGrid();
}

void TMainForm::HistoryListPopup(bool redo) {
  // An edit under way is the newest step: it ends before the list is made.
  FocusGrid();
  TUndoList* list = redo ? RedoList : UndoList;
  list->Fill(UndoBuffer ? HistoryListCaptions(*UndoBuffer, redo) : std::vector<std::string>{}, font());
}

void TMainForm::HistoryListClick(bool redo, int steps) {
  // The list was a window of its own; the grid takes the keyboard back.
  BackFromDialog();
  // The list offered no more steps than there are; the history may have
  // changed since it opened all the same.
  steps = std::min(steps, redo ? RedoCount() : UndoCount());
  if (steps > 0) {
    SetCurrentCell(nullptr);
    if (redo) RedoSteps(steps);
    else UndoSteps(steps);
  }
  RefreshGrid();
}

void TMainForm::CopySelectionAsText() {
  const std::optional<std::string> text = SelectionAsText(*CurrentTable);
  if (!text) return;
  QGuiApplication::clipboard()->setText(ToQ(*text));
}

void TMainForm::bCopyClick() { CopySelectionAsText(); }

void TMainForm::bPasteClick() { PasteClipboard(false, "Paste from clipboard"); }

void TMainForm::mnPastePlainClick() { PasteClipboard(true, "Paste as plain text"); }

void TMainForm::mnPasteLatexClick() {
  const std::string text = QGuiApplication::clipboard()->text().toUtf8().toStdString();
  RunTableCommand([&text](TTable& t) { return PasteLatexCode(t, text); });
}

void TMainForm::PasteClipboard(bool escape, const char* caption) {
  FocusGrid();
  // A table copied from a spreadsheet or a web page comes as HTML too: its
  // joins and emphasis are kept. Paste as plain text keeps to the text.
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!escape && mime && mime->hasHtml()) {
    const TCellRect bounds = GetSelectionBounds();
    if (bounds.Right < 0) return;
    const QByteArray html = mime->html().toUtf8();
    std::vector<std::string> warnings;
    TTable& table = *CurrentTable;
    if (PasteHtmlTable(table, bounds.Left, bounds.Top, std::string_view(html.constData(), static_cast<size_t>(html.size())),
                       warnings)) {
      if (table.CurrentCell) LoadEditorText(table.CurrentCell->Text());
      RecordUndo(caption);
      RefreshGrid();
      if (!warnings.empty()) QMessageBox::warning(this, ToQ(ApplicationTitle), ToQ(warnings.front()));
      return;
    }
  }
  // The clipboard's text as the bytes the cells hold.
  const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
  if (text.isEmpty()) return;
  const TCellRect bounds = GetSelectionBounds();
  if (bounds.Right < 0) return;
  TTable& table = *CurrentTable;
  PasteText(table, bounds.Left, bounds.Top, std::string_view(text.constData(), static_cast<size_t>(text.size())),
            escape);
  // The editor goes on showing the current cell, whose text may be new.
  if (table.CurrentCell) LoadEditorText(table.CurrentCell->Text());
  RecordUndo(caption);
  RefreshGrid();
}

void TMainForm::bCopyLatexClick() {
  std::vector<std::string> lines;
  DocumentCode(*CurrentTable, CodePreferences, lines);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  QGuiApplication::clipboard()->setText(ToQ(text));
}

void TMainForm::mnSelectAllClick() {
  FocusGrid();
  TTable& table = *CurrentTable;
  table.ClearSelection();
  for (TRow* row : table.Rows)
    for (TCell* c : *row) c->Selected = true;
  RefreshGrid();
}

// ---------------------------------------------------------------- view and help

void TMainForm::mnViewCodeClick() {
  if (!CodeForm) return;
  // The box cannot take the focus while the window appears, and the main
  // window gets it back: the user goes on typing where they were.
  CodeForm->Memo->setEnabled(false);
  CodeForm->setVisible(!CodeForm->isVisible());
  CodeForm->Memo->setEnabled(true);
  activateWindow();
  RefreshCodePreview();
}

void TMainForm::mnViewGridClick() {
  CurrentTable->ShowGrid = !CurrentTable->ShowGrid;
  RepaintGrid();
}

void TMainForm::mnViewStdToolbarClick() { Standard->setVisible(!Standard->isVisible()); }

void TMainForm::mnViewFmtToolbarClick() { Formatting->setVisible(!Formatting->isVisible()); }

void TMainForm::mnOptionsClick() {
  // The dialog applies its values itself; its result says nothing more.
  FocusGrid();
  OptionsDialog(*this).exec();
  BackFromDialog();
}

void TMainForm::mnHelpTopicsClick() {
  if (!FHelpForm) FHelpForm = new THelpForm(this);
  FHelpForm->show();
  FHelpForm->raise();
  FHelpForm->activateWindow();
}

void TMainForm::mnHelpAboutClick() { ShowAboutBox(this); }
