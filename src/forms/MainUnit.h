#pragma once
// The main window: the picture of the document's table, the cell editor
// strip above it, and every command in the menus and on the two toolbars.
//
// The window owns only view state. The selection and the current cell live
// in the table (CurrentTable); the window reads and changes them there. The
// enabled, checked and caption states of the commands are never set by the
// commands themselves: UpdateCommandStates recomputes all of them each time
// the event loop goes idle.
#include <QAbstractScrollArea>
#include <QCursor>
#include <QEvent>
#include <QImage>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "forms/GridQueries.h"
#include "model/Tables.h"

class QAction;
class QActionGroup;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QTimer;
class QToolButton;
class TMainForm;
class TQtCanvas;
class TQtDocumentUI;

// The keyboard focus, program-wide.
extern TFocusState FocusState;

// The scrolling view of the table. Its viewport is the paint box: it shows
// the part of the table the scroll bars select, from the window's grid
// bitmap, which is never larger than the viewport. Mouse events of the
// viewport reach the window's grid handlers in table pixels.
class TScrollBox : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TScrollBox(TMainForm* form);

  // Sets the size of the scrolled picture (the table's pixel size).
  void SetContentSize(int width, int height);
  int ContentWidth() const { return FContentWidth; }
  int ContentHeight() const { return FContentHeight; }
  int HorzPosition() const;
  int VertPosition() const;
  void SetHorzPosition(int x);
  void SetVertPosition(int y);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TMainForm;
  void UpdateScrollBars();
  TMainForm* FForm;
  int FContentWidth = 0;
  int FContentHeight = 0;
};

class TMainForm : public QMainWindow {
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
  void FocusGrid();
  // Makes cell the table's current cell and loads it into the editor, or
  // clears both; scrolls the cell into view.
  void SetCurrentCell(TCell* cell);
  // Full refresh after a change of the table: layout, picture, status text
  // and code preview.
  void RefreshGrid();
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
  void RunCommand(const std::function<void()>& handler);

  // The rectangle of the table, in table pixels, that the view shows.
  TRect VisibleRect() const;
  // Whether the dotted drag frame is in the picture now.
  bool DragFrameShown() const { return FFrameShown; }
  TDragMode DragMode() const { return FDragMode; }
  // The pointer the paint box shows (crGridDefault for the normal arrow).
  TGridPointer GridPointer() const { return FPointer; }
  // The registered shape of a grid pointer.
  const QCursor& GridCursor(TGridPointer pointer) const;

  // ---- mouse on the grid; positions in table pixels
  void GridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void GridMouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
  void GridMouseUp(Qt::MouseButton button, int x, int y);
  void GridDblClick();
  // One tick of the auto-scroll timer.
  void ScrollTimerTimer();

  // Puts the selection on the clipboard as cell text; nothing selected
  // leaves the clipboard as it is.
  void CopySelectionAsText();
  // The last picture of the visible part (for tests and the drag frame).
  const QImage& Bitmap() const { return GridBitmap; }

  // ---- command handlers
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
  void bCopyLatexClick();
  void mnSelectAllClick();
  void mnViewCodeClick();
  void mnViewGridClick();
  void mnViewStdToolbarClick();
  void mnViewFmtToolbarClick();
  void mnHelpTopicsClick();
  void mnHelpAboutClick();
  // Menu openings refresh what a menu shows.
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
  QToolBar* Standard;
  QToolBar* Formatting;
  QWidget* Panel1;
  QLabel* Panel2;
  QLineEdit* Editor;
  TScrollBox* ScrollBox;
  QWidget* PaintBox;
  // Runs every 100 ms while a drag has left the visible part of the grid.
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
  QActionGroup* AlignGroup;
  QAction* bViewCode;
  QAction* mnViewGrid;
  QAction* mnViewStdToolbar;
  QAction* mnViewFmtToolbar;
  QAction* mnViewOptions;
  QAction* mnHelpTopics;
  QAction* mnHelpAbout;
  QToolButton* bInsertButton;
  QToolButton* bRulesButton;
  QToolButton* bAlignCustomButton;

  // Which of its two images the Join button shows.
  static constexpr int kJoinImage = 4;
  static constexpr int kSplitImage = 5;
  int JoinImage() const { return FJoinImage; }
  int DeleteMode() const;

  // The recent-file entries of the File menu, refilled when it opens.
  QList<QAction*> MRUListItems;

  TQtDocumentUI* DocumentUI() const { return FDocumentUI.get(); }

  // View state.
  std::string EditStartText;
  // Press point (Left, Top) and latest point (Right, Bottom) of a drag.
  TRect DragRect;
  // The latest mouse position relative to the visible part of the grid.
  int MouseViewX = 0;
  int MouseViewY = 0;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void customEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TScrollBox;
  void CreateActions();
  void CreateMenus();
  void CreateToolbars();
  void CreateClientArea();
  // Connects action to handler through the command guard.
  void Wire(QAction* action, void (TMainForm::*handler)());

  // The grid's and the editor's focus changes.
  void GridEnter();
  void GridExit();
  void EditorEnter();
  void EditorExit();
  void EditorChange();
  // Loads text into the editor without writing it back into the cell.
  void LoadEditorText(const std::string& text);
  // The keys of the grid and the editor, seen by the application-wide
  // filter before any control; true when the key was used up.
  bool AppKeyDown(QKeyEvent* event);
  void TabKey();
  void EditorEnterKey();
  // Moves the current cell one step in the direction of an arrow key.
  void ArrowMove(int key);
  // Starts or stops the auto-scroll timer for the latest mouse position.
  void UpdateScrollTimer();
  // The dotted frame of a cell drag along r (normalized), shown only once
  // the drag has gone a few pixels; the frame shown before goes first.
  void ShowDragFrame(const TRect& r);
  void EraseDragFrame();
  // Inverts the frame's dots in GridBitmap: twice leaves it as it was.
  void InvertFrame(const TRect& r);
  // Draws the visible part of the table into GridBitmap.
  void RenderGrid();
  // Brings the editor in line with a table whose current cell went away
  // behind its back (an opened file, an undone step).
  void SyncEditor();
  void AppIdle();
  void ApplyAlignmentStates(const TArrayOfCells& cells, const TArrayOfInteger& columns, bool sel,
                            bool rowsSelected);

  std::string FCommandLineFile;
  std::unique_ptr<TQtDocumentUI> FDocumentUI;
  std::unique_ptr<TQtCanvas> FMeasureCanvas;
  QImage GridBitmap;
  QCursor FCursors[crCol2 + 1];
  TGridPointer FPointer = crGridDefault;
  TDragMode FDragMode = dmNone;
  // The frame in the picture: RenderGrid draws it again over a fresh table.
  bool FFrameShown = false;
  TRect FFrameRect;
  // The cell rectangle the drag selected last; the selection follows it.
  TCellRect FDragCells;
  // The editor is being loaded with a cell's text.
  bool FLoadingEditor = false;
  int FJoinImage = kJoinImage;
  // Depth of running command handlers; the idle update waits for them.
  int FCommandDepth = 0;
  bool FInIdle = false;
  // The scroll positions are being changed by code that draws afterwards.
  bool FDeferRender = false;
  // The editor has the focus with an edit under way (between EditorEnter
  // and EditorExit).
  bool FEditing = false;
  QWidget* FHelpForm = nullptr;
};

extern TMainForm* MainForm;
