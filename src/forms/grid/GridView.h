#pragma once
// The grid view: the scrolling picture of the document's table. It lays the
// table out, draws the visible part into its off-screen bitmap, shows the
// dotted frame of a drag, selects with the mouse, scrolls by itself while a
// drag is outside it, and moves the current cell with the grid's keys.
//
// What the view cannot decide alone - the cell editor, the status text, the
// code preview, the command guard - it asks of its host, the window, through
// TGridHost. The view keeps no pointer to the window's class.
#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QRegion>
#include <functional>
#include <memory>
#include <vector>

#include "commands/KeySelection.h"
#include "forms/grid/GridQueries.h"
#include "model/LayoutShift.h"
#include "model/Tables.h"

class QKeyEvent;
class QTimer;
class TQtCanvas;
class TQtTextCache;

// The keyboard focus, program-wide.
extern TFocusState FocusState;

// What the grid view needs of the window it sits in.
class TGridHost {
 public:
  virtual ~TGridHost() = default;
  // Runs the work of one event inside the command guard: a failure is shown
  // to the user and abandons that work only.
  virtual void RunCommand(const std::function<void()>& handler) = 0;
  // Gives the grid the keyboard focus, ending an edit under way.
  virtual void FocusGrid() = 0;
  // Makes cell (or none) the current cell and shows it in the cell editor.
  virtual void SetCurrentCell(TCell* cell) = 0;
  // Full refresh after the table changed: layout, picture, status, code.
  virtual void RefreshGrid() = 0;
  // A double click on the grid: the current cell is edited once the click
  // has been handled.
  virtual void GridDblClick() = 0;
  // Moves the keyboard into the cell editor with its text selected; false
  // when there is no current cell to edit.
  virtual bool EditCurrentCell() = 0;
  // A key typed on the grid that replaces the current cell's text: the
  // editor takes it over. False when the key types nothing or there is no
  // current cell.
  virtual bool TypeIntoEditor(const QKeyEvent& event) = 0;
};

class TScrollBox : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TScrollBox(TGridHost* host, QWidget* parent = nullptr);
  ~TScrollBox() override;

  // The host is going away: the auto-scroll stops, and events that still
  // arrive are ignored.
  void DetachHost();

  // ---- scrolling
  // Sets the size of the scrolled picture (the table's pixel size).
  void SetContentSize(int width, int height);
  int ContentWidth() const { return FContentWidth; }
  int ContentHeight() const { return FContentHeight; }
  int HorzPosition() const;
  int VertPosition() const;
  void SetHorzPosition(int x);
  void SetVertPosition(int y);
  // The rectangle of the table, in table pixels, that the view shows.
  TRect VisibleRect() const;
  // Scrolls the least that brings bounds (table pixels) into view; a
  // rectangle larger than the view shows its top-left corner. Draws nothing.
  void ScrollIntoView(const TRect& bounds);

  // ---- drawing
  // Measures the table and draws it afresh: after any change of the table.
  void Relayout();
  // Draws again without measuring: after a change of selection or focus.
  // The picture is drawn when the window paints next (or Bitmap asks), and
  // only where it changed when that can be told.
  void Repaint();
  // Draws the whole view again at the next paint.
  void RepaintWhole();
  // The picture of the visible part, up to date.
  const QImage& Bitmap();
  // How many times the whole view was drawn.
  int WholePictures() const { return FWholePictures; }

  // ---- focus
  // The grid gained or lost the keyboard focus.
  void GridEnter();
  void GridExit();

  // ---- mouse; positions in table pixels
  void GridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void GridMouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
  void GridMouseUp(Qt::MouseButton button, int x, int y);
  // One tick of the auto-scroll timer.
  void ScrollTimerTimer();
  // Runs every 100 ms while a drag has left the visible part of the grid.
  QTimer* ScrollTimer;

  bool DragFrameShown() const { return FFrameShown; }
  TDragMode DragMode() const { return FDragMode; }
  // Press point (Left, Top) and latest point (Right, Bottom) of a drag.
  const TRect& DragRect() const { return FDragRect; }
  // The latest mouse position relative to the visible part of the grid.
  int MouseViewX() const { return FMouseViewX; }
  int MouseViewY() const { return FMouseViewY; }
  // The pointer the view shows (crGridDefault for the normal arrow).
  TGridPointer GridPointer() const { return FPointer; }
  // The registered shape of a grid pointer.
  const QCursor& GridCursor(TGridPointer pointer) const;

  // ---- keys
  // A key pressed while the grid has the focus, seen before any control;
  // true when the grid used it up.
  bool GridKeyDown(QKeyEvent* event);
  // Moves the current cell as a key without Shift does (an arrow, Home,
  // End, Page Up or Down); with no current cell, to the first cell.
  void MoveCurrentCell(TGridKey key);
  // The same key with Shift: the selection grows or shrinks from its anchor.
  void ExtendSelectionKey(TGridKey key);
  // Tab: the next cell to the right, or the first of the next row, becomes
  // current and is edited. False when there is no current cell.
  bool TabKey();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateScrollBars();
  // The rows Page Up and Page Down move: as many as the view shows.
  int PageRows() const;
  // Marks for drawing only what changed since the picture was drawn: cells,
  // rows, and columns that changed width, moving the picture right of them.
  // False when the whole view must be drawn.
  bool RepaintChanged();
  // Remembers what the cells in view show, as just drawn.
  void TakeShownCells();
  // Draws what waits to be drawn into GridBitmap.
  void RenderPending();
  // Draws the visible part of the table into GridBitmap, or only part of
  // the view.
  void RenderGrid(const QRect* part);
  // Inverts the frame's dots in GridBitmap: twice leaves it as it was.
  void InvertFrame(const TRect& r);
  // The dotted frame of a cell drag along r (normalized), shown only once
  // the drag has gone a few pixels; the frame shown before goes first.
  void ShowDragFrame(const TRect& r);
  void EraseDragFrame();
  // Starts or stops the auto-scroll timer for the latest mouse position.
  void UpdateScrollTimer();
  // Runs work inside the host's guard; nothing once the host has gone.
  void Guarded(const std::function<void()>& work);

  TGridHost* FHost;
  std::unique_ptr<TQtCanvas> FMeasureCanvas;
  // The cell texts as drawn, kept between repaints.
  std::unique_ptr<TQtTextCache> FTextCache;
  QImage GridBitmap;
  // What of the picture is stale: all of it, or the damaged part.
  bool FRenderAll = true;
  QRegion FDamage;
  // The layout and the scroll position the picture was drawn at.
  TShownLayout FShownLayout;
  TRect FShownView;
  std::vector<TPictureRun> FRuns;
  // What the cells in view showed when they were last drawn.
  TShownCells FShownCells;
  std::vector<TRect> FCellDamage;
  int FWholePictures = 0;
  int FContentWidth = 0;
  int FContentHeight = 0;
  // The scroll positions are being changed by code that draws afterwards.
  bool FDeferRender = false;
  QCursor FCursors[crCol2 + 1];
  TGridPointer FPointer = crGridDefault;
  TDragMode FDragMode = dmNone;
  TRect FDragRect;
  int FMouseViewX = 0;
  int FMouseViewY = 0;
  // The frame in the picture: RenderGrid draws it again over a fresh table.
  bool FFrameShown = false;
  TRect FFrameRect;
  // The cell rectangle the drag selected last; the selection follows it.
  TCellRect FDragCells;
};
