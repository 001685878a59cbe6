#include "forms/MainUnit.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>
#include <optional>
#include <vector>

#include "document/AppModule.h"
#include "forms/CellEditor.h"
#include "forms/CodeUnit.h"
#include "forms/HelpUnit.h"
#include "forms/Icons.h"
#include "forms/QtDocumentUI.h"
#include "latex/TabToLatex.h"
#include "model/TableEdit.h"
#include "undo/UndoBuffers.h"

TFocusState FocusState = fsNone;
TMainForm* MainForm = nullptr;

namespace {

QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string FromQ(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// Text shown as a menu or button caption: an ampersand of the user's text is
// an ordinary character there, not an access key.
QString Literal(const std::string& s) { return ToQ(s).replace('&', QLatin1String("&&")); }

// An undo step's caption as a menu entry or a hint shows it: on one line,
// and a TAB does not open the menu's shortcut column.
QString StepCaption(const std::string& caption) { return ToQ(ShownCaption(caption)); }

// A button's hint shows as its tool tip and in the status line. The status
// tip holds it as set (the tool tip falls back to the caption when empty).
void SetHint(QAction* action, const QString& hint) {
  action->setToolTip(hint);
  action->setStatusTip(hint);
}

// The ten rule sets of the Rules palette in their order, with their images.
struct TRuleItem {
  int Tag;
  const char* Icon;
  const char* Hint;
};
constexpr TRuleItem kRuleItems[10] = {
    {63, "rules-all", "All Rules"},
    {27, "rules-outer", "Outer Border"},
    {1, "rules-top", "Top Rule"},
    {8, "rules-left", "Left Rule"},
    {4, "rules-inner-horizontal", "Inner Horizontal Rules"},
    {0, "rules-none", "No Rules"},
    {36, "rules-inner", "Inner Rules"},
    {2, "rules-bottom", "Bottom Rule"},
    {16, "rules-right", "Right Rule"},
    {32, "rules-inner-vertical", "Inner Vertical Rules"},
};

struct TInsertItem {
  const char* Caption;
  const char* Hint;
  const char* Icon;
};
constexpr TInsertItem kInsertItems[4] = {
    {"Row Above", "Insert Row Above", "insert-row-above"},
    {"Row Below", "Insert Row Below", "insert-row-below"},
    {"Column Before", "Insert Column Before", "insert-column-before"},
    {"Column After", "Insert Column After", "insert-column-after"},
};

// Width the custom format caption may take on its button.
constexpr int kCustomCaptionWidth = 80;

}  // namespace

// ============================================================== TMainForm

TMainForm::TMainForm(std::string commandLineFile, QWidget* parent)
    : QMainWindow(parent), FCommandLineFile(std::move(commandLineFile)) {
  MainForm = this;
  setObjectName("MainForm");
  setWindowTitle(ToQ(ApplicationTitle));
  setWindowIcon(LoadIcon("quiltor"));
  resize(780, 540);

  FDocumentUI = std::make_unique<TQtDocumentUI>(this);
  FDocumentUI->OnDocumentReplaced = [this] {
    SyncEditor();
    RefreshGrid();
  };
  SetDocumentUI(FDocumentUI.get());

  CreateActions();
  CreateMenus();
  CreateToolbars();
  CreateClientArea();

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

void TMainForm::Wire(QAction* action, void (TMainForm::*handler)()) {
  connect(action, &QAction::triggered, this, [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
}

void TMainForm::CreateActions() {
  auto make = [this](const char* text, const char* icon = nullptr) {
    auto* a = new QAction(QString::fromUtf8(text), this);
    if (icon) a->setIcon(LoadIcon(icon));
    return a;
  };

  bNew = make("&New", "new");
  bNew->setIconText("New File");
  SetHint(bNew, "New File");
  bOpen = make("&Open...", "open");
  bOpen->setIconText("Open");
  bOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  SetHint(bOpen, "Open File");
  bSave = make("&Save", "save");
  bSave->setIconText("Save");
  bSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  SetHint(bSave, "Save File");
  mnSaveAs = make("Save &As...", "save-as");
  mnExit = make("E&xit");

  bUndo = make("Undo", "undo");
  SetHint(bUndo, "Can't Undo");
  bRedo = make("Redo", "redo");
  SetHint(bRedo, "Can't Redo");
  mnUndo = make("Can't &Undo", "undo");
  mnUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  mnRedo = make("Can't &Redo", "redo");
  mnRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  bCut = make("&Cut", "cut");
  bCut->setIconText("Cut");
  bCut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
  SetHint(bCut, "Cut");
  bCopy = make("C&opy", "copy");
  bCopy->setIconText("Copy");
  bCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  SetHint(bCopy, "Copy");
  bCopyLatex = make("Copy As &LaTeX Code", "copy-latex");
  bCopyLatex->setIconText("Copy As LaTeX Code");
  SetHint(bCopyLatex, "Copy to Clipboard as LaTeX code");
  bPaste = make("&Paste", "paste");
  bPaste->setIconText("Paste");
  bPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
  SetHint(bPaste, "Paste");
  mnSelectAll = make("Select &All Cells", "select-all");
  mnSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));

  // The insertion the button part repeats starts as "Row Below".
  for (int i = 0; i < 4; ++i) {
    InsertItems[i] = make(kInsertItems[i].Caption, kInsertItems[i].Icon);
    SetHint(InsertItems[i], kInsertItems[i].Hint);
    InsertItems[i]->setData(i);
  }
  bInsert = make(kInsertItems[1].Caption, kInsertItems[1].Icon);
  SetHint(bInsert, kInsertItems[1].Hint);
  bInsert->setData(1);

  bDelete = make("Delete", "delete");
  SetHint(bDelete, "");
  bDelete->setData(int{dmDeleteNone});
  bDelete->setEnabled(false);
  mnDelete = make("&Delete", "delete");
  mnDelete->setEnabled(false);
  mnEnvironment = make("&Environment...", "environment");
  mnRowPrefix = make("Row &Prefix/Postfix...", "row-prefix");
  mnBorders = make("&Borders...", "borders");

  bJoin = make("Join", "join");
  SetHint(bJoin, "Merge Selected Cells");

  for (int i = 0; i < 10; ++i) {
    RuleItems[i] = make(kRuleItems[i].Hint, kRuleItems[i].Icon);
    RuleItems[i]->setData(kRuleItems[i].Tag);
    RuleItems[i]->setCheckable(kRuleItems[i].Tag > 0);
  }
  bRules = make("Rules", "rules-all");
  SetHint(bRules, "Rules");
  bRules->setData(int{rbAll});
  bRules->setCheckable(true);

  AlignGroup = new QActionGroup(this);
  AlignGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  auto align = [&](const char* text, const char* icon, int tag) {
    QAction* a = make(text, icon);
    a->setCheckable(true);
    a->setData(tag);
    AlignGroup->addAction(a);
    return a;
  };
  bAlignLeft = align("Align Left", "align-left", 1);
  bAlignCenter = align("Align Center", "align-center", 2);
  bAlignRight = align("Align Right", "align-right", 3);
  bAlignCustom = align("", "align-custom", 4);
  SetHint(bAlignCustom, "Column Format");
  mnNewFormat = make("New Format...");
  mnNewFormat->setData(0);

  bViewCode = make("&Code", "code");
  bViewCode->setIconText("Code");
  SetHint(bViewCode, "Code");
  bViewCode->setCheckable(true);
  mnViewGrid = make("&Grid");
  mnViewGrid->setCheckable(true);
  mnViewStdToolbar = make("&Standard Toolbar");
  mnViewStdToolbar->setCheckable(true);
  mnViewFmtToolbar = make("&Formatting Toolbar");
  mnViewFmtToolbar->setCheckable(true);
  mnViewOptions = make("&Options...", "options");
  mnHelpTopics = make("Quiltor Help...", "help");
  mnHelpTopics->setShortcut(QKeySequence(Qt::Key_F1));
  mnHelpAbout = make("About...", "about");

  Wire(bNew, &TMainForm::bNewClick);
  Wire(bOpen, &TMainForm::ClickOpen);
  Wire(bSave, &TMainForm::ClickSave);
  Wire(mnSaveAs, &TMainForm::ClickSaveAs);
  Wire(mnExit, &TMainForm::mnExitClick);
  Wire(bUndo, &TMainForm::bUndoClick);
  Wire(mnUndo, &TMainForm::bUndoClick);
  Wire(bRedo, &TMainForm::bRedoClick);
  Wire(mnRedo, &TMainForm::bRedoClick);
  Wire(bCopy, &TMainForm::bCopyClick);
  Wire(bPaste, &TMainForm::bPasteClick);
  Wire(bCopyLatex, &TMainForm::bCopyLatexClick);
  Wire(mnSelectAll, &TMainForm::mnSelectAllClick);
  Wire(bViewCode, &TMainForm::mnViewCodeClick);
  Wire(mnViewGrid, &TMainForm::mnViewGridClick);
  Wire(mnViewStdToolbar, &TMainForm::mnViewStdToolbarClick);
  Wire(mnViewFmtToolbar, &TMainForm::mnViewFmtToolbarClick);
  Wire(mnHelpTopics, &TMainForm::mnHelpTopicsClick);
  Wire(mnHelpAbout, &TMainForm::mnHelpAboutClick);
}

void TMainForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("Menu");

  mnFile = bar->addMenu("&File");
  mnFile->setObjectName("mnFile");
  mnFile->addAction(bNew);
  mnFile->addAction(bOpen);
  mnFile->addAction(bSave);
  mnFile->addAction(mnSaveAs);
  mnFile->addSeparator();
  // The recent files go here, between the two separators.
  mnFile->addSeparator()->setObjectName("MRUListEnd");
  mnFile->addAction(mnExit);

  mnEdit = bar->addMenu("&Edit");
  mnEdit->setObjectName("mnEdit");
  mnEdit->addAction(mnUndo);
  mnEdit->addAction(mnRedo);
  mnEdit->addSeparator();
  mnEdit->addAction(bCut);
  mnEdit->addAction(bCopy);
  mnEdit->addAction(bCopyLatex);
  mnEdit->addAction(bPaste);
  mnEdit->addSeparator();
  mnEdit->addAction(mnSelectAll);

  mnTable = bar->addMenu("&Table");
  mnTable->setObjectName("mnTable");
  mnInsert = mnTable->addMenu(LoadIcon("insert-row-below"), "Insert");
  mnInsert->setObjectName("mnInsert");
  for (QAction* a : InsertItems) mnInsert->addAction(a);
  mnTable->addAction(mnDelete);
  mnTable->addSeparator();
  mnTable->addAction(mnEnvironment);
  mnTable->addAction(mnRowPrefix);
  mnTable->addAction(mnBorders);

  mnView = bar->addMenu("&View");
  mnView->setObjectName("mnView");
  mnView->addAction(bViewCode);
  mnView->addAction(mnViewGrid);
  mnView->addSeparator();
  mnView->addAction(mnViewStdToolbar);
  mnView->addAction(mnViewFmtToolbar);
  mnView->addSeparator();
  mnView->addAction(mnViewOptions);

  mnHelp = bar->addMenu("&Help");
  mnHelp->setObjectName("mnHelp");
  mnHelp->addAction(mnHelpTopics);
  mnHelp->addSeparator();
  mnHelp->addAction(mnHelpAbout);

  auto opening = [this](QMenu* menu, void (TMainForm::*handler)()) {
    connect(menu, &QMenu::aboutToShow, this, [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
  };
  opening(mnFile, &TMainForm::mnFileClick);
  opening(mnEdit, &TMainForm::mnEditClick);
  opening(mnTable, &TMainForm::bTableClick);
  opening(mnView, &TMainForm::mnViewClick);
}

void TMainForm::CreateToolbars() {
  const QSize iconSize(20, 20);
  auto textBeside = [](QToolBar* bar, QAction* a) {
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a)))
      button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  };
  auto splitButton = [this, iconSize](QAction* face, QMenu* menu, const char* name) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setDefaultAction(face);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setIconSize(iconSize);
    button->setAutoRaise(true);
    return button;
  };

  Standard = new QToolBar("Standard", this);
  Standard->setObjectName("Standard");
  Standard->setIconSize(iconSize);
  Standard->setAllowedAreas(Qt::AllToolBarAreas);
  Standard->setMovable(true);
  Standard->addAction(bNew);
  Standard->addAction(bOpen);
  Standard->addAction(bSave);
  Standard->addSeparator();
  Standard->addAction(bCopyLatex);
  Standard->addAction(bCut);
  Standard->addAction(bCopy);
  Standard->addAction(bPaste);
  Standard->addSeparator();
  Standard->addAction(bUndo);
  Standard->addAction(bRedo);
  Standard->addSeparator();
  Standard->addAction(bDelete);
  textBeside(Standard, bDelete);
  Standard->addSeparator();
  Standard->addAction(bViewCode);
  addToolBar(Qt::TopToolBarArea, Standard);

  // The two bars take a row each at first, so that neither is cut short.
  addToolBarBreak(Qt::TopToolBarArea);
  Formatting = new QToolBar("Formatting", this);
  Formatting->setObjectName("Formatting");
  Formatting->setIconSize(iconSize);
  Formatting->setAllowedAreas(Qt::AllToolBarAreas);
  Formatting->setMovable(true);
  Formatting->addWidget(new QLabel(" Insert:", Formatting));
  auto* insertMenu = new QMenu(this);
  for (QAction* a : InsertItems) insertMenu->addAction(a);
  bInsertButton = splitButton(bInsert, insertMenu, "bInsert");
  bInsertButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Formatting->addWidget(bInsertButton);
  Formatting->addSeparator();
  Formatting->addAction(bJoin);
  textBeside(Formatting, bJoin);
  Formatting->addSeparator();
  Formatting->addWidget(new QLabel(" Rules:", Formatting));
  auto* rulesMenu = new QMenu(this);
  rulesMenu->setObjectName("RulesPalette");
  for (int i = 0; i < 10; ++i) {
    if (i == 5) rulesMenu->addSeparator();
    rulesMenu->addAction(RuleItems[i]);
  }
  bRulesButton = splitButton(bRules, rulesMenu, "bRules");
  Formatting->addWidget(bRulesButton);
  Formatting->addSeparator();
  Formatting->addAction(bAlignLeft);
  Formatting->addAction(bAlignCenter);
  Formatting->addAction(bAlignRight);
  auto* customMenu = new QMenu(this);
  customMenu->addAction(mnNewFormat);
  bAlignCustomButton = splitButton(bAlignCustom, customMenu, "bAlignCustom");
  bAlignCustomButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Formatting->addWidget(bAlignCustomButton);
  addToolBar(Qt::TopToolBarArea, Formatting);
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

  // The standard editing keys run the grid's commands while the grid has
  // the focus; in the cell editor they keep their meaning there.
  for (QAction* a : {bCut, bCopy, bPaste, mnSelectAll, mnUndo, mnRedo}) {
    a->setShortcutContext(Qt::WidgetShortcut);
    ScrollBox->addAction(a);
  }
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
  if (watched == Editor) {
    if (type == QEvent::FocusIn) {
      RunCommand([this] { EditorEnter(); });
    } else if (type == QEvent::FocusOut) {
      // A menu or the edit box's own pop-up menu does not end the edit.
      if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
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
    // the commands: Ctrl+S right after typing saves the typed text.
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
      ScrollBox->MoveCurrentCell(event->key());
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
  const int row = cell->RowIndex();
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
  QPalette idle = Editor->palette();
  idle.setColor(QPalette::Base, idle.color(QPalette::Midlight));
  Editor->setPalette(idle);
  Editor->setEnabled(false);
  Editor->clear();
  UpdateStatusText();
}

// ---------------------------------------------------------------- current cell

void TMainForm::SetCurrentCell(TCell* cell) {
  TTable& table = *CurrentTable;
  if (cell == table.CurrentCell) return;
  FocusGrid();
  QPalette palette = Editor->palette();
  if (cell) {
    // The cell becomes current before the editor shows its text, and the
    // editor writes into the current cell: so no other cell is overwritten.
    table.CurrentCell = cell;
    palette.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    Editor->setPalette(palette);
    LoadEditorText(cell->Text());
    Editor->setEnabled(true);
    Editor->selectAll();
    // Scrolling draws nothing by itself: the repaint below shows the result.
    ScrollBox->ScrollIntoView(cell->BoundsRect);
  } else {
    // Disabled before it is emptied, so that emptying it writes nowhere.
    palette.setColor(QPalette::Base, palette.color(QPalette::Midlight));
    Editor->setPalette(palette);
    Editor->setEnabled(false);
    Editor->clear();
    table.CurrentCell = nullptr;
  }
  UpdateStatusText();
  RepaintGrid();
}

// ---------------------------------------------------------------- drawing

void TMainForm::RefreshGrid() {
  ScrollBox->Relayout();
  UpdateStatusText();
  RefreshCodePreview();
}

void TMainForm::RepaintGrid() { ScrollBox->Repaint(); }

void TMainForm::GridDblClick() {
  if (Editor->isEnabled()) QCoreApplication::postEvent(this, new QEvent(EditCellEvent));
}

void TMainForm::UpdateStatusText() { Panel2->setText(ToQ(StatusText(*CurrentTable))); }

void TMainForm::RefreshCodePreview() {
  if (!CodeForm || !CodeForm->isVisible()) return;
  std::vector<std::string> lines;
  TableToLatex(*CurrentTable, lines);
  CodeForm->SetLines(lines);
}

// ---------------------------------------------------------------- selection queries

TCellRect TMainForm::SelectionBounds(const TArrayOfCells& cells, const TArrayOfInteger& columns,
                                     const TArrayOfInteger& rows) {
  return ::SelectionBounds(*CurrentTable, cells, columns, rows);
}

TCellRect TMainForm::GetSelectionBounds() {
  TTable& table = *CurrentTable;
  return SelectionBounds(table.GetSelectedCells(), table.GetSelectedColumns(), table.GetSelectedRows());
}

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

void TMainForm::UpdateCommandStates() {
  TTable& table = *CurrentTable;
  const TArrayOfCells cells = table.GetSelectedCells();
  const size_t n = cells.size();
  const bool joinable = ::CellsJoinable(cells);
  const TArrayOfInteger rows = table.GetSelectedRows();
  const TArrayOfInteger columns = table.GetSelectedColumns();
  const TCellRect bounds = SelectionBounds(cells, columns, rows);
  const bool sel = bounds.Right >= 0;
  const bool grid = FocusState == fsGrid;

  // The bounds of a cell selection take in whole joined cells, selecting
  // what they pull in; show it.
  if (n > 0) {
    size_t inside = 0;
    for (int i = bounds.Top; i <= bounds.Bottom; ++i) {
      int col = 0;
      for (const TCell* c : *table.Rows[i]) {
        if (col >= bounds.Left && col <= bounds.Right && c->Selected) ++inside;
        col += c->Span;
      }
    }
    if (inside != n) RepaintGrid();
  }

  // A changed text in the cell editor is a change of the document as soon
  // as the edit ends, which Save does first.
  bSave->setEnabled(DocumentModified() || (FEditing && FromQ(Editor->text()) != EditStartText));

  const bool canUndo = grid && UndoCount() > 0;
  bUndo->setEnabled(canUndo);
  SetHint(bUndo, canUndo ? "Undo " + StepCaption(UndoCaption(0)) : QString("Can't Undo"));
  const bool canRedo = grid && RedoCount() > 0;
  bRedo->setEnabled(canRedo);
  SetHint(bRedo, canRedo ? "Redo " + StepCaption(RedoCaption(0)) : QString("Can't Redo"));
  // The menu entries carry the keys: they must be able to act whenever
  // there is a step, menu open or not (the keys only reach them from the
  // grid).
  mnUndo->setEnabled(UndoCount() > 0);
  mnRedo->setEnabled(RedoCount() > 0);

  bCut->setEnabled(grid && sel);
  bCopy->setEnabled(grid && sel);
  bool clipboardText = false;
  if (grid && sel) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    clipboardText = data && data->hasText();
  }
  bPaste->setEnabled(grid && sel && clipboardText);
  bViewCode->setChecked(CodeForm && CodeForm->isVisible());

  // Join and Split share a button. Once it shows Split it is left alone, so
  // a joined cell can be split whatever holds the focus.
  if (n == 1 && cells.front()->Span > 1) {
    if (FJoinImage != kSplitImage) {
      FJoinImage = kSplitImage;
      bJoin->setText("Split");
      SetHint(bJoin, "Split Selected Cell");
      bJoin->setIcon(LoadIcon("split"));
      bJoin->setEnabled(true);
    }
  } else {
    if (FJoinImage != kJoinImage) {
      FJoinImage = kJoinImage;
      bJoin->setText("Join");
      SetHint(bJoin, "Merge Selected Cells");
      bJoin->setIcon(LoadIcon("join"));
    }
    bJoin->setEnabled(grid && joinable);
  }

  const TDeleteState del = DeleteStateFor(table, FocusState, cells, columns, rows);
  bDelete->setEnabled(del.Mode != dmDeleteNone);
  SetHint(bDelete, QString::fromLatin1(del.Hint));
  bDelete->setData(int{del.Mode});
  if (mnDelete->isEnabled() != bDelete->isEnabled()) {
    mnDelete->setEnabled(bDelete->isEnabled());
    mnDelete->setShortcut(bDelete->isEnabled() ? QKeySequence(Qt::Key_Delete) : QKeySequence());
  }

  bRules->setEnabled(sel);
  const int pattern = bRules->data().toInt();
  bRules->setChecked(sel && pattern > 0 && (SelectionRuleFlags(bounds) & pattern) == pattern);

  ApplyAlignmentStates(cells, columns, sel, !rows.empty());
  mnRowPrefix->setEnabled(sel && columns.empty());
  mnBorders->setEnabled(sel);
}

void TMainForm::ApplyAlignmentStates(const TArrayOfCells& cells, const TArrayOfInteger& columns, bool sel,
                                     bool rowsSelected) {
  const bool letters = sel && !rowsSelected;
  bAlignLeft->setEnabled(letters);
  bAlignCenter->setEnabled(letters);
  bAlignRight->setEnabled(letters);
  bAlignCustom->setEnabled(!columns.empty());

  // checked: 'l', 'c', 'r' for the three letters, 'x' for the custom format,
  // 0 for none of them.
  char checked = 0;
  QString caption;
  if (!columns.empty()) {
    std::string f = ::CommonColumnFormat(*CurrentTable, columns);
    if (f.size() > 1000) f.resize(1000);
    if (f == "l" || f == "c" || f == "r") {
      checked = f[0];
    } else if (!f.empty()) {
      checked = 'x';
      const QFontMetrics metrics(font());
      caption = metrics.elidedText(ToQ(f), Qt::ElideRight, kCustomCaptionWidth).replace('&', QLatin1String("&&"));
    }
  } else {
    const char a = ::CommonAlignment(cells);
    if (a == 'l' || a == 'c' || a == 'r') checked = a;
  }
  bAlignLeft->setChecked(checked == 'l');
  bAlignCenter->setChecked(checked == 'c');
  bAlignRight->setChecked(checked == 'r');
  bAlignCustom->setChecked(checked == 'x');
  bAlignCustom->setText(caption);
}

// ---------------------------------------------------------------- menus

void TMainForm::mnFileClick() {
  FocusGrid();
  for (QAction* a : MRUListItems) {
    mnFile->removeAction(a);
    a->deleteLater();
  }
  MRUListItems.clear();
  QAction* end = nullptr;
  for (QAction* a : mnFile->actions())
    if (a->objectName() == "MRUListEnd") end = a;
  for (int i = 0; RecentFiles && i < RecentFiles->Count(); ++i) {
    const std::string name = (*RecentFiles)[i];
    auto* item = new QAction(QString("&%1 %2").arg(i + 1).arg(Literal(name)), mnFile);
    item->setData(ToQ(name));
    connect(item, &QAction::triggered, this, [this, name] { RunCommand([this, name] { MRUListClick(name); }); });
    mnFile->insertAction(end, item);
    MRUListItems.append(item);
  }
}

void TMainForm::mnEditClick() {
  FocusGrid();
  const bool canUndo = UndoCount() > 0;
  mnUndo->setEnabled(canUndo);
  mnUndo->setText(canUndo ? "&Undo " + Literal(ShownCaption(UndoCaption(0))) : QString("Can't &Undo"));
  const bool canRedo = RedoCount() > 0;
  mnRedo->setEnabled(canRedo);
  mnRedo->setText(canRedo ? "&Redo " + Literal(ShownCaption(RedoCaption(0))) : QString("Can't &Redo"));
}

void TMainForm::bTableClick() {
  const QString hint = bDelete->statusTip();
  mnDelete->setText(hint.isEmpty() ? QString("Delete") : hint);
  mnDelete->setEnabled(bDelete->isEnabled());
}

void TMainForm::mnViewClick() {
  bViewCode->setChecked(CodeForm && CodeForm->isVisible());
  mnViewGrid->setChecked(CurrentTable->ShowGrid);
  mnViewStdToolbar->setChecked(Standard->isVisible());
  mnViewFmtToolbar->setChecked(Formatting->isVisible());
}

// ---------------------------------------------------------------- file commands

void TMainForm::bNewClick() {
  FocusGrid();
  SetCurrentCell(nullptr);
  if (!NewDocument(4, 4)) return;
  RecordUndo("New Table");
  MarkSaved();
  RefreshGrid();
}

void TMainForm::ClickOpen() {
  FocusGrid();
  SetCurrentCell(nullptr);
  OpenDocument();
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
  OpenRecentFile(fileName);
  RefreshGrid();
}

void TMainForm::mnExitClick() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  RunCommand([&] {
    FocusGrid();
    mayClose = QuerySaveChanges();
  });
  event->setAccepted(mayClose);
  if (mayClose) {
    if (FHelpForm) FHelpForm->close();
    if (CodeForm) CodeForm->hide();
  }
}

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

void TMainForm::CopySelectionAsText() {
  const std::optional<std::string> text = SelectionAsText(*CurrentTable);
  if (!text) return;
  QGuiApplication::clipboard()->setText(ToQ(*text));
}

void TMainForm::bCopyClick() { CopySelectionAsText(); }

void TMainForm::bPasteClick() {
  FocusGrid();
  // The clipboard's text as the bytes the cells hold.
  const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
  if (text.isEmpty()) return;
  const TCellRect bounds = GetSelectionBounds();
  if (bounds.Right < 0) return;
  TTable& table = *CurrentTable;
  PasteText(table, bounds.Left, bounds.Top, std::string_view(text.constData(), static_cast<size_t>(text.size())));
  // The editor goes on showing the current cell, whose text may be new.
  if (table.CurrentCell) LoadEditorText(table.CurrentCell->Text());
  RecordUndo("Paste from clipboard");
  RefreshGrid();
}

void TMainForm::bCopyLatexClick() {
  std::vector<std::string> lines;
  TableToLatex(*CurrentTable, lines);
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

void TMainForm::mnHelpTopicsClick() {
  if (!FHelpForm) FHelpForm = new THelpForm(this);
  FHelpForm->show();
  FHelpForm->raise();
  FHelpForm->activateWindow();
}

void TMainForm::mnHelpAboutClick() { ShowAboutBox(this); }

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
