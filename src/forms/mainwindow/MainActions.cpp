// The main window's actions, menus and toolbars, built from the tables, and
// the idle-time update of every command's state.
#include "forms/mainwindow/MainActions.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "commands/DocumentCommands.h"
#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/dialogs/FloatUnit.h"
#include "forms/mainwindow/Icons.h"
#include "forms/dialogs/LatexTableChoiceUnit.h"
#include "forms/dialogs/SheetChoiceUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/dialogs/NewTableUnit.h"
#include "platform/QtText.h"
#include "forms/dialogs/RowPrefixUnit.h"
#include "forms/mainwindow/RulesPalette.h"
#include "forms/preview/TypesetPanel.h"
#include "forms/mainwindow/UndoListUnit.h"
#include "undo/UndoBuffers.h"

namespace {

using F = TMainForm;

const TActionSpec kMainActions[] = {
    // Action               Caption                  IconText              Icon            Hint
    //   Keys                    Handler                Flags                        Tag
    {&F::bNew, "&New", "New File", "new", "New File", "", &F::bNewClick, afNone, kNoTag},
    {&F::bOpen, "&Open...", "Open", "open", "Open File", "Ctrl+O", &F::ClickOpen, afNone, kNoTag},
    {&F::bSave, "&Save", "Save", "save", "Save File", "Ctrl+S", &F::ClickSave, afNone, kNoTag},
    {&F::mnSaveAs, "Save &As...", nullptr, "save-as", nullptr, "", &F::ClickSaveAs, afNone, kNoTag},
    {&F::mnExit, "E&xit", nullptr, nullptr, nullptr, "", &F::mnExitClick, afNone, kNoTag},
    // The buttons and the menu entries of Undo and Redo differ in caption;
    // the menu entries carry the keys.
    {&F::bUndo, "Undo", nullptr, "undo", "Can't Undo", "", &F::bUndoClick, afNone, kNoTag},
    {&F::bRedo, "Redo", nullptr, "redo", "Can't Redo", "", &F::bRedoClick, afNone, kNoTag},
    {&F::mnUndo, "Can't &Undo", nullptr, "undo", nullptr, "Ctrl+Z", &F::bUndoClick, afGridKeys, kNoTag},
    {&F::mnRedo, "Can't &Redo", nullptr, "redo", nullptr, "Ctrl+Y; Ctrl+Shift+Z", &F::bRedoClick, afGridKeys,
     kNoTag},
    {&F::bCut, "&Cut", "Cut", "cut", "Cut", "Ctrl+X", &F::bCutClick, afGridKeys, kNoTag},
    {&F::bCopy, "C&opy", "Copy", "copy", "Copy", "Ctrl+C", &F::bCopyClick, afGridKeys, kNoTag},
    {&F::bCopyLatex, "Copy As &LaTeX Code", "Copy As LaTeX Code", "copy-latex", "Copy to Clipboard as LaTeX code", "",
     &F::bCopyLatexClick, afNone, kNoTag},
    {&F::bPaste, "&Paste", "Paste", "paste", "Paste", "Ctrl+V", &F::bPasteClick, afGridKeys, kNoTag},
    // The two table-level pastes act from the cell editor too (ending the
    // edit first): their keys mean nothing to an edit box.
    {&F::mnPastePlain, "Paste as Plain &Text", nullptr, "paste", "Paste, escaping LaTeX special characters",
     "Ctrl+Alt+V", &F::mnPastePlainClick, afNone, kNoTag},
    {&F::mnPasteLatex, "Paste LaTe&X Code", nullptr, "paste", "Replace the table with the LaTeX table on the clipboard",
     "Ctrl+Shift+V", &F::mnPasteLatexClick, afNone, kNoTag},
    // The lists of the Undo and Redo buttons, for the keyboard.
    {&F::mnUndoList, "Undo L&ist...", nullptr, nullptr, nullptr, "", nullptr, afNone, kNoTag},
    {&F::mnRedoList, "Redo Li&st...", nullptr, nullptr, nullptr, "", nullptr, afNone, kNoTag},
    {&F::mnSelectAll, "Select &All Cells", nullptr, "select-all", nullptr, "Ctrl+A", &F::mnSelectAllClick,
     afGridKeys, kNoTag},
    // The tag of bDelete is the DeleteMode; the menu entry's caption and Del
    // key follow the button.
    {&F::bDelete, "Delete", nullptr, "delete", "", "", &F::bDeleteClick, afDisabled, dmDeleteNone},
    {&F::mnDelete, "&Delete", nullptr, "delete", nullptr, "", &F::bDeleteClick, afDisabled, kNoTag},
    {&F::mnEnvironment, "&Environment...", nullptr, "environment", nullptr, "", &F::mnEnvironmentClick, afNone,
     kNoTag},
    {&F::mnRowPrefix, "Row &Prefix/Postfix...", nullptr, "row-prefix", nullptr, "", &F::mnRowPrefixClick, afNone,
     kNoTag},
    {&F::mnBorders, "&Borders...", nullptr, "borders", nullptr, "", &F::mnBordersClick, afNone, kNoTag},
    {&F::mnRuleClassic, "&Classic", nullptr, nullptr, "Rules as \\hline and \\cline", "", nullptr, afCheckable,
     rsClassic},
    {&F::mnRuleBooktabs, "&Booktabs", nullptr, nullptr, "Rules of the booktabs package, without vertical rules", "",
     nullptr, afCheckable, rsBooktabs},
    {&F::bBooktabs, "Booktabs", nullptr, "booktabs", "Booktabs Rule Style", "", &F::bBooktabsClick, afCheckable, kNoTag},
    {&F::mnFloat, "&Float...", nullptr, nullptr, nullptr, "", &F::mnFloatClick, afNone, kNoTag},
    {&F::bJoin, "Join", nullptr, "join", "Merge Selected Cells", "Ctrl+J", &F::bJoinClick, afNone, kNoTag},
    // The face of the Rules split button; its tag is the rule set it applies.
    // It and the alignment buttons hand themselves to their handlers, which
    // are connected in CreateActions.
    {&F::bRules, "Rules", nullptr, "rules-all", "Rules", "", nullptr, afCheckable, rbAll},
    {&F::bAlignLeft, "Align &Left", nullptr, "align-left", "Align Left", "Ctrl+L", nullptr,
     afCheckable | afAlignGroup, 1},
    {&F::bAlignCenter, "Align &Center", nullptr, "align-center", "Align Center", "Ctrl+E", nullptr,
     afCheckable | afAlignGroup, 2},
    {&F::bAlignRight, "Align &Right", nullptr, "align-right", "Align Right", "Ctrl+R", nullptr,
     afCheckable | afAlignGroup, 3},
    // Its caption is the selected columns' custom format.
    {&F::bAlignCustom, "", nullptr, "align-custom", "Column Format", "", nullptr, afCheckable | afAlignGroup, 4},
    {&F::mnNewFormat, "New Format...", nullptr, nullptr, nullptr, "", nullptr, afNone, 0},
    // The custom button's own part, from the Table menu.
    {&F::mnColumnFormat, "Column &Format...", nullptr, "align-custom", nullptr, "", nullptr, afNone, kNoTag},
    {&F::bViewCode, "&Code", "Code", "code", "Code", "", &F::mnViewCodeClick, afCheckable, kNoTag},
    {&F::bViewTypeset, "&Typeset Preview", "Typeset", "typeset", "Typeset Preview", "Ctrl+T", &F::mnViewTypesetClick,
     afCheckable, kNoTag},
    {&F::mnViewGrid, "&Grid", nullptr, nullptr, nullptr, "", &F::mnViewGridClick, afCheckable, kNoTag},
    {&F::mnViewStdToolbar, "&Standard Toolbar", nullptr, nullptr, nullptr, "", &F::mnViewStdToolbarClick,
     afCheckable, kNoTag},
    {&F::mnViewFmtToolbar, "&Formatting Toolbar", nullptr, nullptr, nullptr, "", &F::mnViewFmtToolbarClick,
     afCheckable, kNoTag},
    {&F::mnViewOptions, "&Options...", nullptr, "options", nullptr, "", &F::mnOptionsClick, afNone, kNoTag},
    {&F::mnHelpTopics, "Quiltor Help...", nullptr, "help", nullptr, "F1", &F::mnHelpTopicsClick, afNone, kNoTag},
    {&F::mnHelpAbout, "About...", nullptr, "about", nullptr, "", &F::mnHelpAboutClick, afNone, kNoTag},
};

const TActionSpec kInsertItems[4] = {
    {nullptr, "Row Above", nullptr, "insert-row-above", "Insert Row Above", "", nullptr, afNone, 0},
    {nullptr, "Row Below", nullptr, "insert-row-below", "Insert Row Below", "", nullptr, afNone, 1},
    {nullptr, "Column Before", nullptr, "insert-column-before", "Insert Column Before", "", nullptr, afNone, 2},
    {nullptr, "Column After", nullptr, "insert-column-after", "Insert Column After", "", nullptr, afNone, 3},
};

// In the palette's order; "No Rules" (tag 0) is never shown as checked.
const TActionSpec kRuleItems[10] = {
    {nullptr, "All Rules", nullptr, "rules-all", nullptr, "", nullptr, afCheckable, 63},
    {nullptr, "Outer Border", nullptr, "rules-outer", nullptr, "", nullptr, afCheckable, 27},
    {nullptr, "Top Rule", nullptr, "rules-top", nullptr, "", nullptr, afCheckable, 1},
    {nullptr, "Left Rule", nullptr, "rules-left", nullptr, "", nullptr, afCheckable, 8},
    {nullptr, "Inner Horizontal Rules", nullptr, "rules-inner-horizontal", nullptr, "", nullptr, afCheckable, 4},
    {nullptr, "No Rules", nullptr, "rules-none", nullptr, "", nullptr, afNone, 0},
    {nullptr, "Inner Rules", nullptr, "rules-inner", nullptr, "", nullptr, afCheckable, 36},
    {nullptr, "Bottom Rule", nullptr, "rules-bottom", nullptr, "", nullptr, afCheckable, 2},
    {nullptr, "Right Rule", nullptr, "rules-right", nullptr, "", nullptr, afCheckable, 16},
    {nullptr, "Inner Vertical Rules", nullptr, "rules-inner-vertical", nullptr, "", nullptr, afCheckable, 32},
};

// The Insert button part repeats this insertion until another is chosen.
constexpr int kFirstInsertion = 1;

// Width the custom format caption may take on its button.
constexpr int kCustomCaptionWidth = 80;

// A button's hint shows as its tool tip and in the status line. The status
// tip holds it as set (the tool tip falls back to the caption when empty).
void SetHint(QAction* action, const QString& hint) {
  action->setToolTip(hint);
  action->setStatusTip(hint);
}

// An undo step's caption as a menu entry or a hint shows it: on one line,
// and a TAB does not open the menu's shortcut column.
QString StepCaption(const std::string& caption) { return ToQ(ShownCaption(caption)); }

QAction* MakeAction(TMainForm& form, const TActionSpec& spec) {
  auto* a = new QAction(QString::fromUtf8(spec.Caption), &form);
  if (spec.IconText) a->setIconText(QString::fromUtf8(spec.IconText));
  if (spec.Icon) a->setIcon(LoadIcon(spec.Icon));
  if (spec.Hint) SetHint(a, QString::fromUtf8(spec.Hint));
  if (*spec.Keys) a->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(spec.Keys)));
  if (spec.Flags & afCheckable) a->setCheckable(true);
  if (spec.Flags & afDisabled) a->setEnabled(false);
  if (spec.Tag != kNoTag) a->setData(spec.Tag);
  if (void (TMainForm::*handler)() = spec.Handler) {
    QObject::connect(a, &QAction::triggered, &form,
                     [&form, handler] { form.RunCommand([&form, handler] { (form.*handler)(); }); });
  }
  return a;
}

// A place in a menu or on a toolbar: an action of the window, or a
// separator where it is null.
using TPlace = QAction* TMainForm::*;

void Place(TMainForm& form, QWidget* where, std::initializer_list<TPlace> places) {
  for (TPlace p : places) {
    if (!p) {
      if (auto* menu = qobject_cast<QMenu*>(where)) menu->addSeparator();
      else if (auto* bar = qobject_cast<QToolBar*>(where)) bar->addSeparator();
      continue;
    }
    where->addAction(form.*p);
  }
}

// Edit > Undo List... and Redo List...: the list of the button, opened
// where the keyboard is: under the cell editor while it has it, else under
// the current cell, else at the grid's corner.
void ShowHistoryList(TMainForm& form, bool redo) {
  QPoint at = form.ScrollBox->mapToGlobal(QPoint(0, 0));
  const TCell* cell = CurrentTable->CurrentCell;
  if (FocusState == fsEditor) {
    at = form.Editor->mapToGlobal(QPoint(0, form.Editor->height()));
  } else if (cell) {
    CurrentTable->UpdateCellRects(*cell->Row());
    const TRect visible = form.ScrollBox->VisibleRect();
    at = form.PaintBox->mapToGlobal(
        QPoint(cell->BoundsRect.Left - visible.Left, cell->BoundsRect.Bottom - visible.Top));
  }
  (redo ? form.RedoList : form.UndoList)->popup(at);
}

}  // namespace

std::span<const TActionSpec> MainActionTable() { return kMainActions; }

void CopyFace(QAction* face, const QAction* item) {
  face->setText(item->text());
  face->setIcon(item->icon());
  SetHint(face, item->statusTip());
  face->setData(item->data());
}
std::span<const TActionSpec> InsertItemTable() { return kInsertItems; }
std::span<const TActionSpec> RuleItemTable() { return kRuleItems; }

// ---------------------------------------------------------------- building

void TMainForm::CreateActions() {
  AlignGroup = new QActionGroup(this);
  AlignGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const TActionSpec& spec : kMainActions) {
    QAction* a = MakeAction(*this, spec);
    this->*spec.Action = a;
    if (spec.Flags & afAlignGroup) AlignGroup->addAction(a);
  }
  for (int i = 0; i < 4; ++i) InsertItems[i] = MakeAction(*this, kInsertItems[i]);
  for (int i = 0; i < 10; ++i) RuleItems[i] = MakeAction(*this, kRuleItems[i]);
  bInsert = new QAction(this);
  CopyFace(bInsert, InsertItems[kFirstInsertion]);

  // The commands whose items share a handler learn which item was clicked.
  auto bySender = [this](QAction* a, void (TMainForm::*handler)(QAction*)) {
    connect(a, &QAction::triggered, this, [this, a, handler] { RunCommand([this, a, handler] { (this->*handler)(a); }); });
  };
  bySender(bInsert, &F::ClickInsertRowCol);
  for (QAction* a : InsertItems) bySender(a, &F::ClickInsertRowCol);
  bySender(bRules, &F::ClickRule);
  for (QAction* a : RuleItems) bySender(a, &F::ClickRule);
  for (QAction* a : {bAlignLeft, bAlignCenter, bAlignRight, bAlignCustom, mnNewFormat}) bySender(a, &F::bAlignClick);
  for (QAction* a : {mnRuleClassic, mnRuleBooktabs}) bySender(a, &F::mnRuleStyleClick);
  connect(mnColumnFormat, &QAction::triggered, this, [this] { RunCommand([this] { bAlignClick(bAlignCustom); }); });
  for (const bool redo : {false, true}) {
    connect(redo ? mnRedoList : mnUndoList, &QAction::triggered, this,
            [this, redo] { RunCommand([this, redo] { ShowHistoryList(*this, redo); }); });
  }

  // The dialogs these commands open, made once and reused.
  NewForm = new TNewForm(this);
  RowPrefixForm = new TRowPrefixForm(this);
  FloatForm = new TFloatForm(this);
  new TQtLatexTableUI(this);
  new TQtSpreadsheetUI(this);
}

void TMainForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("Menu");
  auto menu = [this, bar](const char* title, const char* name, void (TMainForm::*opening)()) {
    QMenu* m = bar->addMenu(QString::fromUtf8(title));
    m->setObjectName(name);
    // Opening a menu refreshes what it shows.
    connect(m, &QMenu::aboutToShow, this, [this, opening] {
      FClipboard.Known = false;
      RunCommand([this, opening] { (this->*opening)(); });
    });
    return m;
  };

  mnFile = menu("&File", "mnFile", &F::mnFileClick);
  Place(*this, mnFile, {&F::bNew, &F::bOpen, &F::bSave, &F::mnSaveAs, nullptr});
  // The recent files go here, between the two separators.
  mnFile->addSeparator()->setObjectName("MRUListEnd");
  Place(*this, mnFile, {&F::mnExit});

  mnEdit = menu("&Edit", "mnEdit", &F::mnEditClick);
  Place(*this, mnEdit,
        {&F::mnUndo, &F::mnRedo, &F::mnUndoList, &F::mnRedoList, nullptr, &F::bCut, &F::bCopy, &F::bCopyLatex,
         &F::bPaste, &F::mnPastePlain, &F::mnPasteLatex, nullptr, &F::mnSelectAll});

  mnTable = menu("&Table", "mnTable", &F::bTableClick);
  mnInsert = mnTable->addMenu(LoadIcon("insert-row-below"), "Insert");
  mnInsert->setObjectName("mnInsert");
  for (QAction* a : InsertItems) mnInsert->addAction(a);
  Place(*this, mnTable, {&F::mnDelete, nullptr, &F::bJoin});
  // The Rules palette and the alignment buttons as menus: the same actions,
  // so the same check marks.
  mnRules = mnTable->addMenu(LoadIcon("rules-all"), "&Rules");
  mnRules->setObjectName("mnRules");
  for (QAction* a : RuleItems) mnRules->addAction(a);
  connect(mnRules, &QMenu::aboutToShow, this, [this] { RunCommand([this] { bRulesPopup(); }); });
  Place(*this, mnTable, {&F::mnBorders});
  mnAlignment = mnTable->addMenu(LoadIcon("align-left"), "&Alignment");
  mnAlignment->setObjectName("mnAlignment");
  Place(*this, mnAlignment, {&F::bAlignLeft, &F::bAlignCenter, &F::bAlignRight});
  Place(*this, mnTable, {&F::mnColumnFormat, nullptr, &F::mnEnvironment, &F::mnRowPrefix});
  mnRuleStyle = mnTable->addMenu("Rule &Style");
  mnRuleStyle->setObjectName("mnRuleStyle");
  Place(*this, mnRuleStyle, {&F::mnRuleClassic, &F::mnRuleBooktabs});
  Place(*this, mnTable, {&F::mnFloat});

  mnView = menu("&View", "mnView", &F::mnViewClick);
  Place(*this, mnView,
        {&F::bViewCode, &F::bViewTypeset, &F::mnViewGrid, nullptr, &F::mnViewStdToolbar, &F::mnViewFmtToolbar, nullptr,
         &F::mnViewOptions});

  mnHelp = bar->addMenu("&Help");
  mnHelp->setObjectName("mnHelp");
  Place(*this, mnHelp, {&F::mnHelpTopics, nullptr, &F::mnHelpAbout});
}

void TMainForm::CreateToolbars() {
  const QSize iconSize(20, 20);
  auto toolbar = [this, iconSize](const char* name) {
    auto* bar = new QToolBar(name, this);
    bar->setObjectName(name);
    bar->setIconSize(iconSize);
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    bar->setMovable(true);
    return bar;
  };
  auto textBeside = [](QToolBar* bar, QAction* a) {
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a)))
      button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  };
  auto splitButton = [this, iconSize](QAction* face, QMenu* list, const char* name) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setDefaultAction(face);
    button->setMenu(list);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setIconSize(iconSize);
    button->setAutoRaise(true);
    return button;
  };

  Standard = toolbar("Standard");
  Place(*this, Standard,
        {&F::bNew, &F::bOpen, &F::bSave, nullptr, &F::bCopyLatex, &F::bCut, &F::bCopy, &F::bPaste, nullptr});
  // Undo and Redo: the button part takes one step, the list as many as the
  // entry chosen.
  auto historyButton = [this, &splitButton](QAction* face, bool redo, const char* name) {
    auto* list = new TUndoList(redo, this);
    connect(list, &QMenu::aboutToShow, this, [this, redo] { RunCommand([this, redo] { HistoryListPopup(redo); }); });
    connect(list, &TUndoList::Chosen, this,
            [this, redo](int steps) { RunCommand([this, redo, steps] { HistoryListClick(redo, steps); }); });
    QToolButton* button = splitButton(face, list, name);
    Standard->addWidget(button);
    return std::pair{button, list};
  };
  std::tie(bUndoButton, UndoList) = historyButton(bUndo, false, "bUndo");
  std::tie(bRedoButton, RedoList) = historyButton(bRedo, true, "bRedo");
  Place(*this, Standard, {nullptr, &F::bDelete, nullptr, &F::bViewCode, &F::bViewTypeset});
  textBeside(Standard, bDelete);
  addToolBar(Qt::TopToolBarArea, Standard);

  // The two bars take a row each at first, so that neither is cut short.
  addToolBarBreak(Qt::TopToolBarArea);
  Formatting = toolbar("Formatting");
  Formatting->addWidget(new QLabel(" Insert:", Formatting));
  auto* insertMenu = new QMenu(this);
  for (QAction* a : InsertItems) insertMenu->addAction(a);
  bInsertButton = splitButton(bInsert, insertMenu, "bInsert");
  bInsertButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Formatting->addWidget(bInsertButton);
  Formatting->addSeparator();
  Place(*this, Formatting, {&F::bJoin});
  textBeside(Formatting, bJoin);
  Formatting->addSeparator();
  Formatting->addWidget(new QLabel(" Rules:", Formatting));
  // Two rows of five patterns, a line between them.
  RulesPalette = new TRulesPalette(RuleItems, 5, this);
  RulesPalette->setObjectName("RulesPalette");
  connect(RulesPalette, &QMenu::aboutToShow, this, [this] { RunCommand([this] { bRulesPopup(); }); });
  bRulesButton = splitButton(bRules, RulesPalette, "bRules");
  Formatting->addWidget(bRulesButton);
  Place(*this, Formatting, {&F::bBooktabs});
  textBeside(Formatting, bBooktabs);
  Formatting->addSeparator();
  Place(*this, Formatting, {&F::bAlignLeft, &F::bAlignCenter, &F::bAlignRight});
  AlignCustomMenu = new QMenu(this);
  AlignCustomMenu->setObjectName("AlignCustomMenu");
  AlignCustomMenu->addAction(mnNewFormat);
  connect(AlignCustomMenu, &QMenu::aboutToShow, this, [this] { RunCommand([this] { bAlignCustomPopup(); }); });
  bAlignCustomButton = splitButton(bAlignCustom, AlignCustomMenu, "bAlignCustom");
  bAlignCustomButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  Formatting->addWidget(bAlignCustomButton);
  addToolBar(Qt::TopToolBarArea, Formatting);
}

void TMainForm::AttachGridKeys() {
  // The standard editing keys run the grid's commands while the grid has
  // the focus; in the cell editor they keep their meaning there.
  for (const TActionSpec& spec : kMainActions) {
    if (!(spec.Flags & afGridKeys)) continue;
    QAction* a = this->*spec.Action;
    a->setShortcutContext(Qt::WidgetShortcut);
    ScrollBox->addAction(a);
  }
}

// ---------------------------------------------------------------- idle update

void TMainForm::UpdateCommandStates() {
  TTable& table = *CurrentTable;
  const TSelection& selection = ReadSelection(table);
  const TCommandStates states = CommandStatesFor(table, selection, FocusState, bRules->data().toInt());
  const bool grid = FocusState == fsGrid;

  // The bounds of a cell selection take in whole joined cells, selecting
  // what they pull in; show it.
  if (table.TakeSelectionGrowth()) RepaintGrid();

  // A changed text in the cell editor is a change of the document as soon
  // as the edit ends, which Save does first.
  bSave->setEnabled(DocumentModified() || EditorChanged());

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

  bCut->setEnabled(states.Cut);
  bCopy->setEnabled(states.Cut);
  // Asking the X clipboard what it holds is a round trip to its owner: it is
  // asked once after each change of it.
  if (!FClipboard.Known) {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    // A table copied from a web page may come as HTML alone.
    FClipboard = {true, mime && mime->hasText(), mime && mime->hasHtml()};
  }
  const bool clipboardText = FClipboard.Text;
  bPaste->setEnabled(states.Cut && (clipboardText || FClipboard.Html));
  // The table-level pastes end an edit first, so the editor may hold the
  // keyboard.
  const bool gridOrEditor = grid || FocusState == fsEditor;
  const bool selected = !selection.Empty();
  mnPastePlain->setEnabled(gridOrEditor && selected && clipboardText);
  mnPasteLatex->setEnabled(gridOrEditor && clipboardText);
  mnUndoList->setEnabled(UndoCount() > 0);
  mnRedoList->setEnabled(RedoCount() > 0);
  bViewCode->setChecked(CodeForm && CodeForm->isVisible());
  bViewTypeset->setChecked(TypesetPanel && TypesetPanel->isVisible());

  // Join and Split share a button. Once it shows Split it is left alone, so
  // a joined cell can be split whatever holds the focus.
  if (states.JoinFace == jfSplit) {
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
    bJoin->setEnabled(states.JoinEnabled);
  }

  bDelete->setEnabled(states.Delete.Mode != dmDeleteNone);
  SetHint(bDelete, QString::fromLatin1(states.Delete.Hint));
  bDelete->setData(int{states.Delete.Mode});
  // The Del key belongs to Delete only while there is something to delete;
  // otherwise it is free for whatever has the focus.
  if (mnDelete->isEnabled() != bDelete->isEnabled()) {
    mnDelete->setEnabled(bDelete->isEnabled());
    mnDelete->setShortcut(bDelete->isEnabled() ? QKeySequence(Qt::Key_Delete) : QKeySequence());
  }

  bRules->setEnabled(states.Rules);
  mnRules->setEnabled(states.Rules);
  bRules->setChecked(states.RulesChecked);

  ApplyAlignmentStates(states.Align, states.AlignLetters, states.AlignCustom);
  mnRowPrefix->setEnabled(RowPrefixEnabled(selection));
  mnBorders->setEnabled(states.Borders);
  const bool booktabs = table.Style.Rules == rsBooktabs;
  bBooktabs->setChecked(booktabs);
  mnRuleClassic->setChecked(!booktabs);
  mnRuleBooktabs->setChecked(booktabs);
}

void TMainForm::ApplyAlignmentStates(const TAlignFace& face, bool letters, bool custom) {
  bAlignLeft->setEnabled(letters);
  bAlignCenter->setEnabled(letters);
  bAlignRight->setEnabled(letters);
  bAlignCustom->setEnabled(custom);
  mnColumnFormat->setEnabled(custom);

  QString caption;
  if (face.Checked == abCustom) {
    const QFontMetrics metrics(font());
    caption = metrics.elidedText(ToQ(face.CustomCaption), Qt::ElideRight, kCustomCaptionWidth)
                  .replace('&', QLatin1String("&&"));
  }
  bAlignLeft->setChecked(face.Checked == abLeft);
  bAlignCenter->setChecked(face.Checked == abCenter);
  bAlignRight->setChecked(face.Checked == abRight);
  bAlignCustom->setChecked(face.Checked == abCustom);
  bAlignCustom->setText(caption);
}

// ---------------------------------------------------------------- menu openings

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
    auto* item = new QAction(QString("&%1 %2").arg(i + 1).arg(Literal(RecentEntryCaption(name))), mnFile);
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
  bViewTypeset->setChecked(TypesetPanel && TypesetPanel->isVisible());
  mnViewGrid->setChecked(CurrentTable->ShowGrid);
  mnViewStdToolbar->setChecked(Standard->isVisible());
  mnViewFmtToolbar->setChecked(Formatting->isVisible());
}
