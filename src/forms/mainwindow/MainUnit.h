#pragma once
// The main window: the picture of the document's table, the cell editor
// strip above it, and every command in the menus and on the two toolbars.
//
// The window owns only view state. The selection and the current cell live
// in the table (CurrentTable); the window reads and changes them there. The
// enabled, checked and caption states of the commands are never set by the
// commands themselves: UpdateCommandStates recomputes all of them each time
// the event loop goes idle.
//
// The class lives in five files: MainUnit.cpp (start-up, the cell editor,
// the current cell, refreshing, closing), MainActions.cpp (the table of
// actions, the menus and toolbars built from it, and the command states),
// MainCommands.cpp (the file, edit and view handlers), MainTableCommands.cpp
// (the table commands and their runner), and the grid view of its own in
// GridView.cpp, which it hosts through TGridHost. The table commands
// themselves are plain functions of the command layer (commands/).
#include <QEvent>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "commands/CommandStates.h"
#include "commands/TableCommands.h"
#include "forms/grid/GridQueries.h"
#include "forms/grid/GridView.h"
#include "model/Tables.h"

class QAction;
class QActionGroup;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class TTypesetPanel;
class QTimer;
class QToolButton;
class TBorderForm;
class TColumnFmtForm;
class TNewForm;
class TFloatForm;
class TRowPrefixForm;
class TRulesPalette;
class TUndoList;
class TQtDocumentUI;
class TRecoveryController;

class TMainForm : public QMainWindow, public TGridHost {
  Q_OBJECT
 public:
  // Deferred work the window posts to itself; the event loop runs it after
  // the event at hand.
  static constexpr QEvent::Type EditCellEvent = static_cast<QEvent::Type>(QEvent::User + 57);
  static constexpr QEvent::Type FocusGridEvent = static_cast<QEvent::Type>(QEvent::User + 58);
  static constexpr QEvent::Type OpenCommandLineEvent = static_cast<QEvent::Type>(QEvent::User + 59);

  // commandLineFile: the program's first argument, opened once the event
  // loop runs if it names an existing file; empty for none.
  explicit TMainForm(std::string commandLineFile = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- operations every command uses
  // Gives the keyboard focus to the grid, which commits an edit in progress.
  void FocusGrid() override;
  // Makes cell the table's current cell and loads it into the editor, or
  // clears both; scrolls the cell into view.
  void SetCurrentCell(TCell* cell) override;
  // Full refresh after a change of the table: layout, picture, status text
  // and code preview.
  void RefreshGrid() override;
  // Redraw only, after a change of selection or focus that keeps all sizes.
  void RepaintGrid();
  void UpdateStatusText();
  void RefreshCodePreview();
  void UpdateCommandStates();

  TCellRect SelectionBounds(const TArrayOfCells& cells, const TArrayOfInteger& columns,
                            const TArrayOfInteger& rows);
  TCellRect GetSelectionBounds();
  int SelectionRuleFlags(const TCellRect& r) const;
  char CommonAlignment(const TArrayOfCells& cells) const;
  std::string CommonColumnFormat(const TArrayOfInteger& columns) const;
  bool CellsInOneRow(const TArrayOfCells& cells) const;
  bool CellsJoinable(const TArrayOfCells& cells) const;

  // Runs a command handler. An exception it raises is shown in an error box
  // and abandons that command only; nothing escapes into the event loop.
  void RunCommand(const std::function<void()>& handler) override;

  // A command of the command layer: changes the table and says what
  // happened.
  using TTableCommand = std::function<TCommandResult(TTable&)>;
  // How every table command runs: the grid takes the focus first (ending an
  // edit under way) unless focusGrid is false; the command runs; its undo
  // step is recorded when it changed something; the current cell and the
  // editor follow its result; the grid is refreshed. A command that throws
  // part way leaves nothing behind: the table goes back to the history's
  // current state (without a current cell), and the exception goes on to
  // the command guard, which shows it.
  void RunTableCommand(const TTableCommand& command, bool focusGrid = true);

  // ---- the grid view's state and mouse, as the window's own (TScrollBox
  // holds and handles them)
  TRect VisibleRect() const { return ScrollBox->VisibleRect(); }
  // Whether the dotted drag frame is in the picture now.
  bool DragFrameShown() const { return ScrollBox->DragFrameShown(); }
  TDragMode DragMode() const { return ScrollBox->DragMode(); }
  // Press point (Left, Top) and latest point (Right, Bottom) of a drag.
  const TRect& DragRect() const { return ScrollBox->DragRect(); }
  // The pointer the paint box shows (crGridDefault for the normal arrow).
  TGridPointer GridPointer() const { return ScrollBox->GridPointer(); }
  // The registered shape of a grid pointer.
  const QCursor& GridCursor(TGridPointer pointer) const { return ScrollBox->GridCursor(pointer); }
  // Positions in table pixels.
  void GridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
    ScrollBox->GridMouseDown(button, modifiers, x, y);
  }
  void GridMouseMove(Qt::KeyboardModifiers modifiers, int x, int y) { ScrollBox->GridMouseMove(modifiers, x, y); }
  void GridMouseUp(Qt::MouseButton button, int x, int y) { ScrollBox->GridMouseUp(button, x, y); }
  // A double click edits the current cell once the click has been handled.
  void GridDblClick() override;
  // One tick of the auto-scroll timer.
  void ScrollTimerTimer() { ScrollBox->ScrollTimerTimer(); }

  // Puts the selection on the clipboard as cell text; nothing selected
  // leaves the clipboard as it is.
  void CopySelectionAsText();
  // The last picture of the visible part.
  const QImage& Bitmap() const { return ScrollBox->Bitmap(); }

  // ---- command handlers (MainCommands.cpp)
  void bNewClick();
  void ClickOpen();
  void ClickSave();
  void ClickSaveAs();
  void MRUListClick(const std::string& fileName);
  void mnExitClick();
  void bUndoClick();
  void bRedoClick();
  void bCopyClick();
  void bPasteClick();
  // Paste with the LaTeX special characters of the pasted texts escaped.
  void mnPastePlainClick();
  // The table on the clipboard as LaTeX code replaces the table.
  void mnPasteLatexClick();
  void bCopyLatexClick();
  void mnSelectAllClick();
  void mnViewCodeClick();
  void mnViewTypesetClick();
  // The typeset preview, docked at the right and hidden at first.
  void CreateTypesetPanel();
  void mnViewGridClick();
  void mnViewStdToolbarClick();
  void mnViewFmtToolbarClick();
  void mnOptionsClick();
  void mnHelpTopicsClick();
  void mnHelpAboutClick();
  // ---- table command handlers (MainTableCommands.cpp). Those that take the
  // clicked item act on its tag and ignore any other sender.
  // The Insert button part or one of the four insertion items.
  void ClickInsertRowCol(QAction* sender);
  void bDeleteClick();
  void bCutClick();
  void bJoinClick();
  // The Rules button part or one of the palette's items.
  void ClickRule(QAction* sender);
  // The palette is about to open: each item shows whether its rules are
  // all present on the selection.
  void bRulesPopup();
  void mnBordersClick();
  // Table > Environment... and Row Prefix/Postfix...: their dialog, then
  // the command through the runner.
  void mnEnvironmentClick();
  void mnRowPrefixClick();
  // ---- the table's style (MainStyleCommands.cpp). Table > Rule Style's
  // items (tag: the TRuleStyle), the toolbar's Booktabs toggle, and
  // Table > Float....
  void mnRuleStyleClick(QAction* sender);
  void bBooktabsClick();
  void mnFloatClick();
  // The drop-down list of Undo (redo false) or Redo is about to open: an
  // edit under way ends, then the list shows the nearest steps.
  void HistoryListPopup(bool redo);
  // An entry of that list was chosen: steps steps at once; 0 (a click
  // beside the entries) only refreshes.
  void HistoryListClick(bool redo, int steps);
  // One of the four alignment buttons, a recent format of the custom
  // button's list, or "New Format...".
  void bAlignClick(QAction* sender);
  // The custom button's list is about to open: the recent formats, newest
  // first, then "New Format...".
  void bAlignCustomPopup();
  // Menu openings refresh what a menu shows (MainActions.cpp).
  void mnFileClick();
  void mnEditClick();
  void bTableClick();
  void mnViewClick();

  // ---- controls (named as in the window's layout)
  QMenu* mnFile;
  QMenu* mnEdit;
  QMenu* mnTable;
  QMenu* mnView;
  QMenu* mnHelp;
  QMenu* mnInsert;
  // The Rules palette and the alignment buttons in the Table menu.
  QMenu* mnRules;
  QMenu* mnAlignment;
  QToolBar* Standard;
  QToolBar* Formatting;
  QWidget* Panel1;
  QLabel* Panel2;
  QLineEdit* Editor;
  TScrollBox* ScrollBox;
  QWidget* PaintBox;
  // Runs every 100 ms while a drag has left the visible part of the grid;
  // the grid view's.
  QTimer* ScrollTimer;

  // Commands shared by a menu entry and a toolbar button are one action:
  // bNew (mnNew), bOpen (mnOpen), bSave (mnSave), bCut (mnCut), bCopy
  // (mnCopy), bCopyLatex (mnCopyLatex), bPaste (mnPaste), bViewCode
  // (mnViewCode). Undo, Redo and Delete have a menu entry of their own, whose
  // caption and shortcut differ from the button's.
  QAction* bNew;
  QAction* bOpen;
  QAction* bSave;
  QAction* mnSaveAs;
  QAction* mnExit;
  QAction* bUndo;
  QAction* bRedo;
  QAction* mnUndo;
  QAction* mnRedo;
  QAction* bCut;
  QAction* bCopy;
  QAction* bCopyLatex;
  QAction* bPaste;
  QAction* mnPastePlain;
  QAction* mnPasteLatex;
  QAction* mnUndoList;
  QAction* mnRedoList;
  QAction* mnSelectAll;
  // The face of the Insert split button (its tag is the insertion kind) and
  // the four insertions, tags 0 to 3, in its drop-down and the Table menu.
  QAction* bInsert;
  QAction* InsertItems[4];
  QAction* bDelete;  // tag: the DeleteMode
  QAction* mnDelete;
  QAction* mnEnvironment;
  QAction* mnRowPrefix;
  QAction* mnBorders;
  QMenu* mnRuleStyle;
  QAction* mnRuleClassic;   // tag rsClassic
  QAction* mnRuleBooktabs;  // tag rsBooktabs
  QAction* bBooktabs;       // the toolbar's toggle
  QAction* mnFloat;
  QAction* bJoin;
  // The face of the Rules split button (tag: the rule set, initially all)
  // and the ten rule sets of its palette.
  QAction* bRules;
  QAction* RuleItems[10];
  QAction* bAlignLeft;
  QAction* bAlignCenter;
  QAction* bAlignRight;
  QAction* bAlignCustom;
  QAction* mnNewFormat;
  // Table > Column Format...: the custom button's part.
  QAction* mnColumnFormat;
  QActionGroup* AlignGroup;
  QAction* bViewCode;
  QAction* bViewTypeset;
  TTypesetPanel* TypesetPanel = nullptr;
  QAction* mnViewGrid;
  QAction* mnViewStdToolbar;
  QAction* mnViewFmtToolbar;
  QAction* mnViewOptions;
  QAction* mnHelpTopics;
  QAction* mnHelpAbout;
  QToolButton* bInsertButton;
  QToolButton* bRulesButton;
  QToolButton* bAlignCustomButton;
  // The drop-down lists of the Rules and the custom format buttons.
  TRulesPalette* RulesPalette;
  QMenu* AlignCustomMenu;
  // The Undo and Redo split buttons and their lists of steps.
  QToolButton* bUndoButton;
  QToolButton* bRedoButton;
  TUndoList* UndoList;
  TUndoList* RedoList;
  // The dialogs of New and Environment..., and of Row Prefix/Postfix...,
  // made once with the actions and reused.
  TNewForm* NewForm = nullptr;
  TRowPrefixForm* RowPrefixForm = nullptr;
  TFloatForm* FloatForm = nullptr;
  // Switching a table with vertical rules to booktabs says once per run
  // that they will not show.
  bool FVerticalRulesNoticeShown = false;
  // The recent formats in AlignCustomMenu (tags 1, 2, ...), rebuilt each
  // time it opens.
  QList<QAction*> RecentFormatItems;

  // The dialogs of the table commands, made once and reused.
  TBorderForm* BorderForm = nullptr;
  TColumnFmtForm* ColumnFmtForm = nullptr;

  // Which of its two images the Join button shows.
  static constexpr int kJoinImage = 4;
  static constexpr int kSplitImage = 5;
  int JoinImage() const { return FJoinImage; }
  int DeleteMode() const;

  // The recent-file entries of the File menu, refilled when it opens.
  QList<QAction*> MRUListItems;

  TQtDocumentUI* DocumentUI() const { return FDocumentUI.get(); }
  // The document's recovery data, kept while it has unsaved changes.
  TRecoveryController& Recovery() const { return *FRecovery; }

  // The editor's text when it received the focus.
  std::string EditStartText;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void customEvent(QEvent* event) override;
  // A file dropped on the window opens as File > Open opens it; anything
  // but a local .qtor, .csv or .txt file is not taken.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolbars();
  void CreateClientArea();
  // The grid's editing keys reach their actions only from the grid.
  void AttachGridKeys();

  // The grid view asks the editor to take over.
  bool EditCurrentCell() override;
  bool TypeIntoEditor(const QKeyEvent& event) override;

  // The editor's focus changes.
  void EditorEnter();
  void EditorExit();
  void EditorChange();
  // An edit is under way and has changed the cell's text.
  bool EditorChanged() const;
  // Loads text into the editor without writing it back into the cell.
  void LoadEditorText(const std::string& text);
  // The keys of the editor, seen by the application-wide filter before
  // the editor itself; true when the key was used up.
  bool EditorKeyDown(QKeyEvent* event);
  void EditorEnterKey();
  // Brings the editor in line with a table whose current cell went away
  // behind its back (an opened file, an undone step).
  void SyncEditor();
  // No cell is current: the editor is disabled, then emptied, then the
  // table's current cell is cleared (in this order, so that emptying the
  // editor writes into no cell).
  void ShowNoCurrentCell();
  // Puts the history's current state back into the table after a command
  // failed part way, and shows the table without a current cell.
  void RestoreCurrentState();
  // A modal dialog of a command has closed: the window and its grid take
  // the keyboard again.
  void BackFromDialog();
  // Opens a file dropped on the window, as File > Open does.
  void OpenDroppedFile(const std::string& fileName);
  // Paste and Paste as Plain Text: the clipboard's cell text into the table
  // at the selection, recorded under caption.
  void PasteClipboard(bool escape, const char* caption);
  void AppIdle();
  void ApplyAlignmentStates(const TAlignFace& face, bool letters, bool custom);

  std::string FCommandLineFile;
  std::unique_ptr<TQtDocumentUI> FDocumentUI;
  std::unique_ptr<TRecoveryController> FRecovery;
  // The editor is being loaded with a cell's text.
  bool FLoadingEditor = false;
  int FJoinImage = kJoinImage;
  // What the clipboard holds, as last asked; not known after it changed.
  struct TClipboardKinds {
    bool Known = false;
    bool Text = false;
    bool Html = false;
  } FClipboard;
  // Depth of running command handlers; the idle update waits for them.
  int FCommandDepth = 0;
  bool FInIdle = false;
  // The editor has the focus with an edit under way (between EditorEnter
  // and EditorExit).
  bool FEditing = false;
  QWidget* FHelpForm = nullptr;
};

extern TMainForm* MainForm;
