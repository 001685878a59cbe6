// The table commands of the main window. Each handler reads what the user
// chose (the clicked item, the dialog's answer) and hands one function of
// the command layer to RunTableCommand, which does the rest the same way for
// all of them: focus, undo step, current cell, refresh, and the clean-up
// after a failure.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <string>

#include "commands/CommandStates.h"
#include "commands/DocumentCommands.h"
#include "commands/TableCommands.h"
#include "document/AppModule.h"
#include "document/SLists.h"
#include "forms/dialogs/BorderUnit.h"
#include "forms/dialogs/ColumnFmtUnit.h"
#include "forms/mainwindow/MainActions.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/dialogs/NewTableUnit.h"
#include "platform/QtText.h"
#include "forms/dialogs/RowPrefixUnit.h"
#include "forms/mainwindow/RulesPalette.h"
#include "undo/UndoBuffers.h"

// ---------------------------------------------------------------- the runner

void TMainForm::RunTableCommand(const TTableCommand& command, bool focusGrid) {
  // Ending an edit records its own step first, so the history's current
  // state is the table as the command finds it.
  if (focusGrid) {
    FocusGrid();
  } else if (FEditing) {
    // The command leaves the editor where it is, but what was typed is a
    // step of its own, recorded before the command's; the edit then goes
    // on from the cell's new text.
    EditorExit();
    EditorEnter();
  }
  TTable& table = *CurrentTable;
  TCommandResult result;
  try {
    result = command(table);
    if (result.Caption) RecordUndo(*result.Caption);
  } catch (...) {
    RestoreCurrentState();
    throw;
  }

  switch (result.Current) {
    case ccKeep: break;
    case ccNone:
      // The model may have cleared the current cell already when it removed
      // it; the editor still shows it until it is told.
      FEditing = false;
      ShowNoCurrentCell();
      break;
    case ccCell: SetCurrentCell(result.Cell); break;
  }
  // The current cell's text may have changed under the editor (emptied,
  // joined): it shows the cell as it is now. Left alone when it agrees, so
  // that an edit under way keeps its caret.
  if (TCell* cell = table.CurrentCell) {
    if (result.Changed() && Editor->isEnabled() && FromQ(Editor->text()) != cell->Text()) {
      LoadEditorText(cell->Text());
      // The command's change is recorded already, not typing of the edit.
      if (FEditing) EditStartText = cell->Text();
    }
  } else {
    SyncEditor();
  }
  RefreshGrid();
}

void TMainForm::RestoreCurrentState() {
  TTable& table = *CurrentTable;
  // Cells the command freed may have been current; nothing may point there
  // while the state comes back.
  FEditing = false;
  ShowNoCurrentCell();
  if (const TUndoEntry* state = UndoBuffer ? UndoBuffer->EntryAt(UndoBuffer->Position()) : nullptr)
    state->RestoreTo(table);
  table.CurrentCell = nullptr;
  if (table.AnchorRow >= table.RowCount()) table.AnchorRow = -1;
  if (table.AnchorCol >= table.ColCount()) table.AnchorCol = -1;
  RefreshGrid();
}

void TMainForm::BackFromDialog() {
  // Not every platform hands the activation back to the window a modal
  // dialog came from; without it the grid would not get the keyboard back.
  activateWindow();
  FocusGrid();
}

// ---------------------------------------------------------------- insert, delete, cut

void TMainForm::ClickInsertRowCol(QAction* sender) {
  FocusGrid();
  bool item = false;
  for (const QAction* a : InsertItems) item = item || a == sender;
  if (!item && sender != bInsert) return;
  // The button part repeats the insertion chosen last.
  if (item) CopyFace(bInsert, sender);
  const int kind = bInsert->data().toInt();
  RunTableCommand([kind](TTable& table) { return InsertRowCol(table, kind); });
}

void TMainForm::bDeleteClick() {
  // The mode of the last idle pass: what the button promised.
  const TDeleteMode mode = static_cast<TDeleteMode>(DeleteMode());
  RunTableCommand([mode](TTable& table) { return DeleteSelection(table, mode, false); });
}

void TMainForm::bCutClick() {
  FocusGrid();
  CopySelectionAsText();
  const TDeleteMode mode = static_cast<TDeleteMode>(DeleteMode());
  RunTableCommand([mode](TTable& table) { return DeleteSelection(table, mode, true); });
}

// ---------------------------------------------------------------- join and split

void TMainForm::bJoinClick() {
  // Split is offered while the editor has the focus, and leaves it there.
  RunTableCommand(JoinOrSplit, false);
}

// ---------------------------------------------------------------- rules and borders

void TMainForm::ClickRule(QAction* sender) {
  bool item = false;
  for (const QAction* a : RuleItems) item = item || a == sender;
  if (!item && sender != bRules) return;
  if (item) {
    // The button part repeats the pattern chosen last.
    bRules->setIcon(sender->icon());
    bRules->setData(sender->data());
  }
  const int pattern = bRules->data().toInt();
  RunTableCommand([pattern](TTable& table) { return ApplyRulePattern(table, pattern); }, false);
}

void TMainForm::bRulesPopup() {
  TTable& table = *CurrentTable;
  const TSelection selection = ReadSelection(table);
  const int present = selection.Empty() ? 0 : ::SelectionRuleFlags(table, selection.Bounds);
  for (int i = 0; i < 10; ++i) {
    QAction* a = RuleItems[i];
    if (a->isCheckable()) a->setChecked(RulePatternPresent(present, a->data().toInt()));
    // The keyboard starts at the pattern the button part applies.
    if (a->data() == bRules->data()) RulesPalette->SetCurrent(i);
  }
}

void TMainForm::mnBordersClick() {
  FocusGrid();
  TTable& table = *CurrentTable;
  const TSelection selection = ReadSelection(table);
  if (selection.Empty()) return;
  int mask = ::SelectionRuleFlags(table, selection.Bounds);
  const bool ok = BorderForm->Execute(mask);
  BackFromDialog();
  if (!ok) return;
  RunTableCommand([mask](TTable& t) { return ApplyBorders(t, mask); });
}

// ---------------------------------------------------------------- environment and row texts

void TMainForm::mnEnvironmentClick() {
  FocusGrid();
  SetCurrentCell(nullptr);
  std::string environment = CurrentTable->Environment;
  std::string options = CurrentTable->EnvOptions;
  const bool ok = NewForm->ExecuteEnvironment(environment, options);
  BackFromDialog();
  if (!ok) return;
  RunTableCommand([environment, options](TTable& t) { return ChangeEnvironment(t, environment, options); });
}

void TMainForm::mnRowPrefixClick() {
  FocusGrid();
  // Every row a selected cell lies in, read once: the dialog shows these
  // rows' common texts and OK writes to the same rows.
  const TCellRect bounds = GetSelectionBounds();
  if (bounds.Right < 0) return;
  TRowPrefixPostfix texts = CommonRowPrefixPostfix(*CurrentTable, bounds);
  const bool ok = RowPrefixForm->Execute(texts.Prefix, texts.Postfix);
  BackFromDialog();
  if (!ok) return;
  RunTableCommand([bounds, texts](TTable& t) { return SetRowPrefixPostfix(t, bounds, texts); });
}

// ---------------------------------------------------------------- alignment and formats

namespace {

TAlignButton AlignButtonOf(const TMainForm& form, const QAction* a) {
  if (a == form.bAlignLeft) return abLeft;
  if (a == form.bAlignCenter) return abCenter;
  if (a == form.bAlignRight) return abRight;
  if (a == form.bAlignCustom) return abCustom;
  return abNone;
}

}  // namespace

void TMainForm::bAlignClick(QAction* sender) {
  FocusGrid();
  TTable& table = *CurrentTable;
  const TAlignButton button = AlignButtonOf(*this, sender);

  if (!AlignsColumns(table)) {
    // Only the three letters reach cells. The click has already flipped the
    // button: checked sets its letter, unchecked takes the override away.
    if (button != abLeft && button != abCenter && button != abRight) return;
    const char align = CellAlignFor(button, sender->isChecked());
    RunTableCommand([align](TTable& t) { return AlignCells(t, align); });
    return;
  }

  std::string format;
  if (button != abNone) format = ColumnFormatFor(button);
  else if (RecentFormatItems.contains(sender)) format = RecentFormatAt(*RecentFormats, sender->data().toInt());
  else if (sender != mnNewFormat) return;
  if (format.empty()) {
    // The button part and "New Format..." ask, starting from what the
    // selected columns have in common.
    format = ::CommonColumnFormat(table, table.GetSelectedColumns());
    const bool ok = ColumnFmtForm->Execute(format, *RecentFormats);
    BackFromDialog();
    if (!ok) return;
  }
  RunTableCommand([format](TTable& t) { return SetColumnFormat(t, format, *RecentFormats); });
}

void TMainForm::bAlignCustomPopup() {
  for (QAction* a : RecentFormatItems) {
    AlignCustomMenu->removeAction(a);
    a->deleteLater();
  }
  RecentFormatItems.clear();
  for (int i = 0; RecentFormats && i < RecentFormats->Count(); ++i) {
    auto* item = new QAction(Literal((*RecentFormats)[i]), AlignCustomMenu);
    item->setData(i + 1);
    connect(item, &QAction::triggered, this, [this, item] { RunCommand([this, item] { bAlignClick(item); }); });
    AlignCustomMenu->insertAction(mnNewFormat, item);
    RecentFormatItems.append(item);
  }
}
