#include "forms/mainwindow/MainUnit.h"

#include <QAbstractEventDispatcher>
#include <QClipboard>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QKeySequence>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>
#include <climits>
#include <vector>

#include "document/AppModule.h"
#include "document/SpreadsheetFile.h"
#include "forms/dialogs/BorderUnit.h"
#include "forms/grid/CellEditor.h"
#include "forms/preview/CodeUnit.h"
#include "forms/dialogs/ColumnFmtUnit.h"
#include "forms/mainwindow/Icons.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "platform/QtText.h"
#include "forms/mainwindow/RecoveryController.h"
#include "forms/preview/TypesetPanel.h"
#include "latex/TabToLatex.h"
#include "undo/UndoBuffers.h"

TFocusState FocusState = fsNone;
TMainForm* MainForm = nullptr;

// ============================================================== TMainForm

TMainForm::TMainForm(std::string commandLineFile, QWidget* parent)
    : QMainWindow(parent), FCommandLineFile(std::move(commandLineFile)) {
  MainForm = this;
  setObjectName("MainForm");
  setWindowTitle(ToQ(ApplicationTitle));
  setWindowIcon(LoadIcon("quiltor"));
  setAcceptDrops(true);
  resize(780, 540);

  FDocumentUI = std::make_unique<TQtDocumentUI>(this);
  FDocumentUI->OnDocumentReplaced = [this] {
    SyncEditor();
    RefreshGrid();
  };
  SetDocumentUI(FDocumentUI.get());
  FRecovery = std::make_unique<TRecoveryController>([this] { return DocumentModified() || EditorChanged(); });

  CreateActions();
  CreateMenus();
  CreateToolbars();
  CreateClientArea();
  CreateTypesetPanel();
  AttachGridKeys();
  BorderForm = new TBorderForm(this);
  ColumnFmtForm = new TColumnFmtForm(this);

  RefreshGrid();

  // Tab, Enter, the arrows and typing are decided before any control sees
  // them, and the editor's focus changes are watched: one filter for the
  // whole application.
  qApp->installEventFilter(this);

  // Focusing the grid and opening the command-line file wait until the
  // window is up and the event loop runs.
  QCoreApplication::postEvent(this, new QEvent(FocusGridEvent));
  QCoreApplication::postEvent(this, new QEvent(OpenCommandLineEvent));

  // The command states follow every change without the commands setting
  // them: they are recomputed whenever the event loop has nothing left to do.
  connect(QAbstractEventDispatcher::instance(thread()), &QAbstractEventDispatcher::aboutToBlock, this,
          &TMainForm::AppIdle);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { FClipboard.Known = false; });
}

TMainForm::~TMainForm() {
  // The child widgets outlive this part of the window by a moment and
  // report their last focus changes then; nothing may reach it any more.
  disconnect(QAbstractEventDispatcher::instance(thread()), nullptr, this, nullptr);
  qApp->removeEventFilter(this);
  disconnect(Editor, nullptr, this, nullptr);
  ScrollBox->DetachHost();
  if (::DocumentUI() == FDocumentUI.get()) SetDocumentUI(nullptr);
  if (CurrentTable) {
    CurrentTable->HasFocus = false;
    CurrentTable->CurrentCell = nullptr;
  }
  FocusState = fsNone;
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::CreateClientArea() {
  auto* client = new QWidget(this);
  client->setObjectName("Client");
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Panel1 = new QWidget(client);
  Panel1->setObjectName("Panel1");
  auto* strip = new QHBoxLayout(Panel1);
  strip->setContentsMargins(0, 0, 0, 0);
  strip->setSpacing(2);
  Panel2 = new QLabel(" Col: Row:", Panel1);
  Panel2->setObjectName("Panel2");
  Panel2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Wide enough for the longest position a table can have, so that the
  // editor does not jump sideways as the current cell moves.
  Panel2->setFixedWidth(std::max(97, Panel2->fontMetrics().horizontalAdvance(" Col: 8888-8888   Row: 8888  ")));
  Editor = new QLineEdit(Panel1);
  Editor->setObjectName("Editor");
  Editor->setEnabled(false);
  // A cell's text may be longer than an edit box holds by default; cut
  // short, it would be written back into the cell.
  Editor->setMaxLength(INT_MAX);
  QPalette idle = Editor->palette();
  idle.setColor(QPalette::Base, idle.color(QPalette::Midlight));
  Editor->setPalette(idle);
  connect(Editor, &QLineEdit::textChanged, this, [this] { RunCommand([this] { EditorChange(); }); });
  strip->addWidget(Panel2);
  strip->addWidget(Editor, 1);
  // The strip is as high as a line of its text plus a little air, and never
  // lower than the edit box needs.
  const int textHeight = QFontMetrics(Panel1->font()).boundingRect('Q').height() + 7;
  Panel1->setFixedHeight(std::max(textHeight, Editor->sizeHint().height()));

  ScrollBox = new TScrollBox(this, client);
  PaintBox = ScrollBox->viewport();
  ScrollTimer = ScrollBox->ScrollTimer;
  layout->addWidget(Panel1);
  layout->addWidget(ScrollBox, 1);
  setCentralWidget(client);

  // A one-line box, whichever way text comes in.
  Editor->setValidator(new TSingleLineValidator(
      [] { return CurrentTable && CurrentTable->CurrentCell ? ToQ(CurrentTable->CurrentCell->Text()) : QString(); },
      Editor));
}

// ---------------------------------------------------------------- guard

void TMainForm::RunCommand(const std::function<void()>& handler) {
  struct TDepth {
    int& Depth;
    explicit TDepth(int& d) : Depth(d) { ++Depth; }
    ~TDepth() { --Depth; }
  } depth(FCommandDepth);
  try {
    handler();
  } catch (const std::exception& e) {
    if (::DocumentUI()) ::DocumentUI()->ShowError(e.what());
    else QMessageBox::critical(this, ToQ(ApplicationTitle), QString::fromUtf8(e.what()));
  }
}

// ---------------------------------------------------------------- focus

void TMainForm::FocusGrid() {
  // An edit under way ends here, before the command looks at the cell.
  if (FEditing) EditorExit();
  if (ScrollBox->isEnabled() && ScrollBox->isVisible()) ScrollBox->setFocus(Qt::OtherFocusReason);
  // While a menu is open the grid only becomes the window's focus widget;
  // it holds the keyboard all the same once the menu closes.
  if (FocusState != fsGrid && QApplication::focusWidget() == ScrollBox) ScrollBox->GridEnter();
}

void TMainForm::EditorEnter() {
  EditStartText = FromQ(Editor->text());
  FocusState = fsEditor;
  FEditing = true;
}

void TMainForm::EditorExit() {
  if (FocusState == fsEditor) FocusState = fsNone;
  if (!FEditing) return;
  FEditing = false;
  const std::string text = FromQ(Editor->text());
  if (text == EditStartText) return;
  TCell* cell = CurrentTable->CurrentCell;
  if (!cell) throw EAssertionFailed("forms/MainUnit", __LINE__);
  cell->SetText(text);
  EditStartText = text;
  RecordUndo(TypingCaption(text));
}

bool TMainForm::EditorChanged() const { return FEditing && FromQ(Editor->text()) != EditStartText; }

void TMainForm::EditorChange() {
  // Loading a cell's text is no edit. Written back, a text the edit box
  // cannot hold unchanged (bytes that are no UTF-8) would replace the cell's.
  if (!Editor->isEnabled() || FLoadingEditor) return;
  TCell* cell = CurrentTable->CurrentCell;
  if (!cell) throw EAssertionFailed("forms/MainUnit", __LINE__);
  std::string text = FromQ(Editor->text());
  if (text == cell->Text()) return;
  cell->SetText(std::move(text));
  RefreshGrid();
}

void TMainForm::LoadEditorText(const std::string& text) {
  FLoadingEditor = true;
  Editor->setText(ToQ(text));
  FLoadingEditor = false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  // Back from another program, which may have changed the clipboard.
  if (type == QEvent::WindowActivate && watched == this) FClipboard.Known = false;
  if (watched == Editor) {
    if (type == QEvent::FocusIn) {
      RunCommand([this] { EditorEnter(); });
    } else if (type == QEvent::FocusOut) {
      // A menu, the menu bar or the edit box's own pop-up menu does not end
      // the edit.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason)
        RunCommand([this] { EditorExit(); });
    }
  }
  // A key travels from the window to the focused control and on up through
  // its parents, passing this filter at each: it is decided once, where it
  // is aimed.
  if (type == QEvent::ShortcutOverride && watched == QApplication::focusObject() && FCommandDepth == 0 &&
      CurrentTable &&
      (static_cast<QKeyEvent*>(event)->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    // A shortcut acts on the state the keys before it left, even when they
    // came in a burst that left the event loop no idle moment to update
    // the commands: Ctrl+S right after typing saves the typed text. Ctrl+V
    // sees what the clipboard holds now; other shortcuts leave the clipboard
    // unasked, as asking it is a round trip to its owner.
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (const QAction* paste : {bPaste, mnPastePlain, mnPasteLatex})
      if (paste->shortcuts().contains(pressed)) FClipboard.Known = false;
    RunCommand([this] { UpdateCommandStates(); });
  }
  if (type == QEvent::KeyPress && watched == QApplication::focusObject()) {
    bool used = false;
    // Only the grid's and the editor's keys: with the focus in a dialog or
    // the code preview nothing here applies.
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ScrollBox) RunCommand([&] { used = ScrollBox->GridKeyDown(key); });
    else if (watched == Editor) RunCommand([&] { used = EditorKeyDown(key); });
    if (used) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- keys

bool TMainForm::EditorKeyDown(QKeyEvent* event) {
  // The moving keys leave combinations with Ctrl or Alt to the platform.
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  switch (event->key()) {
    case Qt::Key_Tab: return ScrollBox->TabKey();
    case Qt::Key_Return:
    case Qt::Key_Enter: EditorEnterKey(); return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      // Left and Right move the text caret.
      ScrollBox->MoveCurrentCell(event->key() == Qt::Key_Up ? gkUp : gkDown);
      RefreshGrid();
      return true;
    default: return false;
  }
}

bool TMainForm::EditCurrentCell() {
  if (!Editor->isEnabled()) return false;
  Editor->selectAll();
  Editor->setFocus(Qt::OtherFocusReason);
  return true;
}

bool TMainForm::TypeIntoEditor(const QKeyEvent& event) {
  // The editor takes the focus with its text selected and gets the same key
  // again. It is handed over at once, after the focus change: posted, it
  // would come behind the keys already queued, and fast typing would land
  // in the wrong order or the wrong cell.
  if (!EditCurrentCell()) return false;
  QKeyEvent again(QEvent::KeyPress, event.key(), event.modifiers(), event.nativeScanCode(), event.nativeVirtualKey(),
                  event.nativeModifiers(), event.text(), event.isAutoRepeat(), static_cast<quint16>(event.count()));
  QCoreApplication::sendEvent(Editor, &again);
  return true;
}

void TMainForm::EditorEnterKey() {
  TTable& table = *CurrentTable;
  if (!table.CurrentCell) throw EAssertionFailed("forms/MainUnit", __LINE__);
  FocusGrid();
  const TCell* cell = table.CurrentCell;
  if (!cell) return;
  // Below a block is the row after its last.
  const int row = cell->LastRowIndex();
  if (row + 1 >= table.RowCount()) return;
  if (TCell* next = table.GetCell(row + 1, cell->ColIndex())) {
    table.ClearSelection();
    table.SelectCell(next);
    SetCurrentCell(next);
  }
}

void TMainForm::SyncEditor() {
  if (CurrentTable->CurrentCell || !Editor->isEnabled()) return;
  FEditing = false;
  ShowNoCurrentCell();
  UpdateStatusText();
}

void TMainForm::ShowNoCurrentCell() {
  QPalette idle = Editor->palette();
  idle.setColor(QPalette::Base, idle.color(QPalette::Midlight));
  Editor->setPalette(idle);
  Editor->setEnabled(false);
  Editor->clear();
  CurrentTable->CurrentCell = nullptr;
}

// ---------------------------------------------------------------- current cell

void TMainForm::SetCurrentCell(TCell* cell) {
  TTable& table = *CurrentTable;
  // A block is edited through its own cell, which holds its text.
  if (cell) cell = cell->BlockCell();
  if (cell == table.CurrentCell) return;
  FocusGrid();
  if (cell) {
    // The cell becomes current before the editor shows its text, and the
    // editor writes into the current cell: so no other cell is overwritten.
    table.CurrentCell = cell;
    QPalette palette = Editor->palette();
    palette.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    Editor->setPalette(palette);
    LoadEditorText(cell->Text());
    Editor->setEnabled(true);
    Editor->selectAll();
    // Scrolling draws nothing by itself: the repaint below shows the result.
    ScrollBox->ScrollIntoView(cell->BoundsRect);
  } else {
    ShowNoCurrentCell();
  }
  UpdateStatusText();
  RepaintGrid();
}

// ---------------------------------------------------------------- drawing

void TMainForm::RefreshGrid() {
  ScrollBox->Relayout();
  UpdateStatusText();
  RefreshCodePreview();
  if (FRecovery) FRecovery->DocumentChanged();
  if (TypesetPanel) TypesetPanel->TableChanged();
}

void TMainForm::RepaintGrid() { ScrollBox->Repaint(); }

void TMainForm::GridDblClick() {
  if (Editor->isEnabled()) QCoreApplication::postEvent(this, new QEvent(EditCellEvent));
}

void TMainForm::UpdateStatusText() { Panel2->setText(ToQ(StatusText(*CurrentTable))); }

void TMainForm::RefreshCodePreview() {
  if (!CodeForm || !CodeForm->isVisible()) return;
  // Kept from one change to the next, so that typing in a cell writes only
  // that cell's row again.
  static TCodePreview preview;
  const std::vector<std::string>& lines = preview.Generate(*CurrentTable, CodePreferences);
  CodeForm->SetLines(lines, preview.Changed());
  CodeForm->SetPackages(preview.Packages());
}

// ---------------------------------------------------------------- selection queries

TCellRect TMainForm::SelectionBounds(const TArrayOfCells& cells, const TArrayOfInteger& columns,
                                     const TArrayOfInteger& rows) {
  return ::SelectionBounds(*CurrentTable, cells, columns, rows);
}

TCellRect TMainForm::GetSelectionBounds() { return CurrentTable->Selection().Bounds; }

int TMainForm::SelectionRuleFlags(const TCellRect& r) const { return ::SelectionRuleFlags(*CurrentTable, r); }
char TMainForm::CommonAlignment(const TArrayOfCells& cells) const { return ::CommonAlignment(cells); }
std::string TMainForm::CommonColumnFormat(const TArrayOfInteger& columns) const {
  return ::CommonColumnFormat(*CurrentTable, columns);
}
bool TMainForm::CellsInOneRow(const TArrayOfCells& cells) const { return ::CellsInOneRow(cells); }
bool TMainForm::CellsJoinable(const TArrayOfCells& cells) const { return ::CellsJoinable(cells); }

int TMainForm::DeleteMode() const { return bDelete->data().toInt(); }

// ---------------------------------------------------------------- idle update

void TMainForm::AppIdle() {
  // Nested event loops of dialogs and message boxes run while a command is
  // half done; the states wait for the command to finish.
  if (FInIdle || FCommandDepth > 0 || !CurrentTable) return;
  FInIdle = true;
  RunCommand([this] { UpdateCommandStates(); });
  FInIdle = false;
}

// ---------------------------------------------------------------- closing

void TMainForm::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  RunCommand([&] {
    FocusGrid();
    mayClose = QuerySaveChanges();
  });
  event->setAccepted(mayClose);
  if (mayClose) {
    FRecovery->DocumentClosed();
    if (FHelpForm) FHelpForm->close();
    if (CodeForm) CodeForm->hide();
  }
}

// ---------------------------------------------------------------- deferred events

void TMainForm::customEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == FocusGridEvent) {
    RunCommand([this] { FocusGrid(); });
  } else if (type == OpenCommandLineEvent) {
    RunCommand([this] {
      // A missing file starts with the new table; anything else that is no
      // regular file is refused with a message by OpenFile.
      if (FCommandLineFile.empty()) return;
      OpenFile(FCommandLineFile);
      RefreshGrid();
    });
  } else if (type == EditCellEvent) {
    // Typing may have started the edit before this event came: selecting
    // all again would let the next key wipe what was typed.
    if (Editor->isEnabled() && QApplication::focusObject() != Editor) {
      Editor->selectAll();
      Editor->setFocus(Qt::OtherFocusReason);
    }
  } else {
    QMainWindow::customEvent(event);
  }
}

// ---------------------------------------------------------------- drag and drop

namespace {

// The file a drop would open: the first dragged local file whose extension
// (exact, as the open dialog and the converter compare it) is one the
// editor reads; empty when there is none. The name is in the file system's
// own bytes, as OpenFile takes it.
std::string DroppableFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (path.endsWith(".qtor") || path.endsWith(".csv") || path.endsWith(".txt") || path.endsWith(".tex") ||
        IsSpreadsheetFile(path.toStdString())) {
      return QFile::encodeName(path).toStdString();
    }
  }
  return {};
}

}  // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppableFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const std::string fileName = DroppableFile(event->mimeData());
  if (fileName.empty()) return;
  event->acceptProposedAction();
  // The questions the open may ask (unsaved changes, text import) are
  // modal: they wait until the drag has ended, so that the program the file
  // came from is not held in its drag meanwhile.
  QMetaObject::invokeMethod(
      this,
      [this, fileName] { RunCommand([this, &fileName] { OpenDroppedFile(fileName); }); },
      Qt::QueuedConnection);
}
