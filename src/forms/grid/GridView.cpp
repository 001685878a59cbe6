#include "forms/grid/GridView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "commands/KeySelection.h"
#include "document/AppModule.h"
#include "forms/grid/CellEditor.h"
#include "forms/grid/Cursors.h"
#include "platform/QtCanvas.h"

namespace {

// Moving a fraction of a page per click of a scroll arrow, as tables go.
constexpr int kScrollStep = 16;

// Auto-scroll: the timer's interval, and the smallest sideways step, so that
// a wide table does not crawl past when the pointer is just outside.
constexpr int kScrollInterval = 100;
constexpr int kMinHorzScrollStep = 16;

}  // namespace

TScrollBox::TScrollBox(TGridHost* host, QWidget* parent) : QAbstractScrollArea(parent), FHost(host) {
  setObjectName("ScrollBox");
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::NoFrame);
  // The picture covers the whole viewport, so nothing is erased first.
  viewport()->setObjectName("PaintBox");
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  viewport()->setBackgroundRole(QPalette::Base);
  // Moves without a button pressed set the margin pointers.
  viewport()->setMouseTracking(true);
  horizontalScrollBar()->setSingleStep(kScrollStep);
  verticalScrollBar()->setSingleStep(kScrollStep);

  // The margin pointers exist before anything can show them.
  for (TGridPointer p : {crRow, crCol, crRow2, crCol2}) FCursors[p] = CreateGridCursor(p);

  ScrollTimer = new QTimer(this);
  ScrollTimer->setObjectName("ScrollTimer");
  ScrollTimer->setInterval(kScrollInterval);
  connect(ScrollTimer, &QTimer::timeout, this, [this] { Guarded([this] { ScrollTimerTimer(); }); });
}

TScrollBox::~TScrollBox() = default;

void TScrollBox::DetachHost() {
  ScrollTimer->stop();
  FHost = nullptr;
}

void TScrollBox::Guarded(const std::function<void()>& work) {
  if (FHost) FHost->RunCommand(work);
}

// ---------------------------------------------------------------- scrolling

void TScrollBox::SetContentSize(int width, int height) {
  FContentWidth = width;
  FContentHeight = height;
  UpdateScrollBars();
}

int TScrollBox::HorzPosition() const { return horizontalScrollBar()->value(); }
int TScrollBox::VertPosition() const { return verticalScrollBar()->value(); }
void TScrollBox::SetHorzPosition(int x) { horizontalScrollBar()->setValue(x); }
void TScrollBox::SetVertPosition(int y) { verticalScrollBar()->setValue(y); }

void TScrollBox::UpdateScrollBars() {
  // Each bar shows only when the table needs it. Deciding here, rather than
  // leaving it to the scroll area's deferred layout, keeps the viewport's
  // size right at once, so that scrolling a cell into view right after a
  // refresh sees the space the bars take.
  const QSize full = contentsRect().size();
  const int barWidth = verticalScrollBar()->sizeHint().width();
  const int barHeight = horizontalScrollBar()->sizeHint().height();
  bool horz = FContentWidth > full.width();
  bool vert = FContentHeight > full.height();
  if (vert && !horz) horz = FContentWidth > full.width() - barWidth;
  if (horz && !vert) vert = FContentHeight > full.height() - barHeight;
  // Setting a policy lays the bars out again and raises them, which marks
  // the whole scroll area for painting: so only a change is set.
  const auto policy = [](bool on) { return on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff; };
  if (horizontalScrollBarPolicy() != policy(horz)) setHorizontalScrollBarPolicy(policy(horz));
  if (verticalScrollBarPolicy() != policy(vert)) setVerticalScrollBarPolicy(policy(vert));

  const QSize view = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, FContentWidth - view.width()));
  horizontalScrollBar()->setPageStep(std::max(1, view.width()));
  verticalScrollBar()->setRange(0, std::max(0, FContentHeight - view.height()));
  verticalScrollBar()->setPageStep(std::max(1, view.height()));
}

TRect TScrollBox::VisibleRect() const {
  const int x = HorzPosition();
  const int y = VertPosition();
  const QSize view = viewport()->size();
  return {x, y, x + view.width(), y + view.height()};
}

void TScrollBox::ScrollIntoView(const TRect& b) {
  // Callers pass the current cell's rectangle, which the last paint may have
  // left stale when its row was out of view; b refers to it and is read
  // only after it has been laid out.
  if (const TCell* cell = CurrentTable->CurrentCell) CurrentTable->UpdateCellRects(*cell->Row());
  // Scrolling draws nothing by itself: the caller repaints.
  const QSize view = viewport()->size();
  FDeferRender = true;
  SetHorzPosition(ScrollToShow(HorzPosition(), view.width(), b.Left, b.Right));
  SetVertPosition(ScrollToShow(VertPosition(), view.height(), b.Top, b.Bottom));
  FDeferRender = false;
}

void TScrollBox::scrollContentsBy(int, int) {
  if (FDeferRender) return;
  Guarded([this] { Repaint(); });
}

void TScrollBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
  if (FDeferRender) return;
  Guarded([this] { Repaint(); });
}

// ---------------------------------------------------------------- drawing

void TScrollBox::Relayout() {
  TTable& table = *CurrentTable;
  if (!FMeasureCanvas) FMeasureCanvas = std::make_unique<TQtCanvas>(viewport(), viewport()->palette());
  table.Measure(*FMeasureCanvas);
  // Clamping the scroll positions to the new size draws nothing: the table
  // is drawn once below, laid out at its new size.
  FDeferRender = true;
  SetContentSize(table.PixelWidth, table.PixelHeight);
  FDeferRender = false;
  Repaint();
}

void TScrollBox::Repaint() {
  // The hit tests find rows and columns by their bands at once; the drawing
  // waits for the window's paint, so that the changes one event makes are
  // drawn once, and only where they show.
  if (!CurrentTable) return;
  const TRect visible = VisibleRect();
  CurrentTable->LayOut(&visible);
  if (FRenderAll || !RepaintChanged()) RepaintWhole();
}

void TScrollBox::RepaintWhole() {
  FRenderAll = true;
  FDamage = QRegion();
  viewport()->update();
}

bool TScrollBox::RepaintChanged() {
  // The picture must be the whole view at the scroll position it was drawn
  // at, its pixels the view's, with no frame over it.
  TTable& table = *CurrentTable;
  const TRect visible = VisibleRect();
  if (FFrameShown || !(visible == FShownView) || GridBitmap.devicePixelRatio() != 1 ||
      !FShownLayout.Compare(table, FRuns))
    return false;
  FCellDamage.clear();
  if (!FShownCells.Compare(table, FCellDamage)) return false;

  // The runs in view pixels; a run moved from outside the old picture is
  // drawn instead. Moves all go one way, so that moving them in turn from
  // that side never overwrites one still to move.
  const int width = GridBitmap.width();
  const int height = GridBitmap.height();
  struct TMove {
    int To, From, Count;
  };
  std::vector<TMove> moves;
  QRegion damage;
  QRegion changed;
  // Rules and the focus frame lie on a cell's edges, a pixel or two out.
  constexpr int kEdge = 2;
  int direction = 0;
  for (const TPictureRun& run : FRuns) {
    const int left = std::max(run.Left - visible.Left, 0);
    const int right = run.Right >= width + visible.Left ? width : run.Right - visible.Left;
    if (left >= right) continue;
    if (!run.Draw && run.Shift == 0) continue;
    const QRect band(QPoint(left, 0), QPoint(right - 1, height - 1));
    changed += band;
    if (run.Draw) {
      damage += band.adjusted(-kEdge, 0, kEdge, 0);
      continue;
    }
    const int way = run.Shift > 0 ? 1 : -1;
    if (direction == -way) return false;
    direction = way;
    // What would come from outside the old picture is drawn.
    const int from = std::max(left, run.Shift);
    const int to = std::min(right, width + run.Shift);
    if (from >= to) {
      damage += band.adjusted(-kEdge, 0, kEdge, 0);
      continue;
    }
    if (from > left) damage += QRect(QPoint(left - kEdge, 0), QPoint(from - 1 + kEdge, height - 1));
    if (to < right) damage += QRect(QPoint(to - kEdge, 0), QPoint(right - 1 + kEdge, height - 1));
    moves.push_back({from, from - run.Shift, to - from});
  }
  if (!changed.isEmpty()) {
    // Parts waiting to be drawn would be moved before they are drawn.
    if (!FDamage.isEmpty()) return false;
    if (direction > 0) std::reverse(moves.begin(), moves.end());
    const qsizetype line = GridBitmap.bytesPerLine();
    uchar* bits = GridBitmap.bits();
    constexpr int kPixel = 4;
    for (int y = 0; y < height; ++y)
      for (const TMove& m : moves)
        std::memmove(bits + y * line + m.To * kPixel, bits + y * line + m.From * kPixel,
                     static_cast<size_t>(m.Count) * kPixel);
    FShownLayout.Take(table);
  }
  for (const TRect& b : FCellDamage)
    damage += QRect(QPoint(b.Left - visible.Left - kEdge, b.Top - visible.Top - kEdge),
                    QPoint(std::min(b.Right, visible.Right) - visible.Left + kEdge, b.Bottom - visible.Top + kEdge));
  damage &= QRect(0, 0, width, height);
  FDamage += damage;
  changed += damage;
  if (!changed.isEmpty()) viewport()->update(changed);
  return true;
}

void TScrollBox::RenderPending() {
  if (!CurrentTable) return;
  // A frame on the screen is inverted over the whole picture again.
  const bool all = FRenderAll || (FFrameShown && !FDamage.isEmpty());
  const QRegion part = FDamage;
  FRenderAll = false;
  FDamage = QRegion();
  if (all) {
    RenderGrid(nullptr);
  } else {
    if (part.isEmpty()) return;
    for (const QRect& r : part) RenderGrid(&r);
  }
  TakeShownCells();
}

void TScrollBox::TakeShownCells() {
  TTable& table = *CurrentTable;
  const TRect visible = VisibleRect();
  // What the drawn rows and columns show, found by their bands.
  const auto first = [&](const auto& list, int count, int edge, auto far) {
    int lo = 0;
    int hi = count;
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      if (far(*list[mid]) + 1 <= edge) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  };
  const int firstRow = first(table.Rows, table.RowCount(), visible.Top, [](const TRow& r) { return r.BoundsRect.Bottom; });
  const int firstCol =
      first(table.Columns, table.ColCount(), visible.Left, [](const TColumn& c) { return c.BoundsRect.Right; });
  int lastRow = firstRow;
  while (lastRow < table.RowCount() && table.Rows[lastRow]->BoundsRect.Top < visible.Bottom) ++lastRow;
  int lastCol = firstCol;
  while (lastCol < table.ColCount() && table.Columns[lastCol]->BoundsRect.Left < visible.Right) ++lastCol;
  FShownCells.Take(table, firstRow, lastRow - 1, firstCol, lastCol - 1);
}

const QImage& TScrollBox::Bitmap() {
  RenderPending();
  return GridBitmap;
}

void TScrollBox::RenderGrid(const QRect* part) {
  // The bitmap holds only what the view shows: its size is the viewport's,
  // whatever the size of the table.
  QWidget* box = viewport();
  const QSize view = box->size().expandedTo(QSize(1, 1));
  const qreal ratio = box->devicePixelRatioF();
  const QSize pixels = (QSizeF(view) * ratio).toSize();
  if (GridBitmap.size() != pixels) {
    GridBitmap = QImage(pixels, QImage::Format_RGB32);
    GridBitmap.setDevicePixelRatio(ratio);
    // Text is drawn at the resolution it was measured at.
    GridBitmap.setDotsPerMeterX(qRound(box->logicalDpiX() / 0.0254));
    GridBitmap.setDotsPerMeterY(qRound(box->logicalDpiY() / 0.0254));
    part = nullptr;
  }
  QPainter painter(&GridBitmap);
  TQtCanvas canvas(painter, box->palette());
  if (!FTextCache) FTextCache = std::make_unique<TQtTextCache>();
  canvas.SetTextCache(FTextCache.get());
  const QRect area = part ? *part : QRect(QPoint(0, 0), view);
  // Only the part is drawn: what reaches out of it is cut off, so that
  // nothing around it is drawn twice.
  if (part) painter.setClipRect(area);
  painter.fillRect(area, canvas.ToQColor(clWindow));
  const TRect visible = VisibleRect();
  const TRect clip{visible.Left + area.left(), visible.Top + area.top(), visible.Left + area.right() + 1,
                   visible.Top + area.bottom() + 1};
  painter.translate(-visible.Left, -visible.Top);
  CurrentTable->Paint(canvas, &clip);
  painter.end();
  if (!part) {
    ++FWholePictures;
    FShownLayout.Take(*CurrentTable);
    FShownView = visible;
  }
  // A drag frame on the screen stays there over the fresh picture.
  if (FFrameShown) InvertFrame(FFrameRect);
}

void TScrollBox::InvertFrame(const TRect& r) {
  RenderPending();
  const TRect visible = VisibleRect();
  // Only the sides that can show are walked: a frame around a large part of
  // a large table is clipped to a pixel beyond the view, which keeps every
  // dot where it was.
  const TRect clipped{std::max(r.Left, visible.Left - 1), std::max(r.Top, visible.Top - 1),
                      std::min(r.Right, visible.Right + 1), std::min(r.Bottom, visible.Bottom + 1)};
  if (clipped.Right <= clipped.Left || clipped.Bottom <= clipped.Top) return;
  QPainter painter(&GridBitmap);
  TQtCanvas canvas(painter, viewport()->palette());
  painter.translate(-visible.Left, -visible.Top);
  canvas.DrawFocusRect(clipped);
}

// Inverting the frame's dots shows it and inverting them again removes it,
// without painting the table again.
void TScrollBox::ShowDragFrame(const TRect& r) {
  EraseDragFrame();
  if (!DragFrameVisible(r)) return;
  InvertFrame(r);
  FFrameShown = true;
  FFrameRect = r;
  viewport()->update();
}

void TScrollBox::EraseDragFrame() {
  if (!FFrameShown) return;
  InvertFrame(FFrameRect);
  FFrameShown = false;
  viewport()->update();
}

const QCursor& TScrollBox::GridCursor(TGridPointer pointer) const {
  const int i = static_cast<int>(pointer);
  return FCursors[i >= 0 && i <= crCol2 ? i : 0];
}

// ---------------------------------------------------------------- focus

// The base classes would only mark the whole widget for painting, its
// scroll bars and all of the view; the grid draws what the focus changes.
void TScrollBox::focusInEvent(QFocusEvent*) {
  Guarded([this] { GridEnter(); });
}

void TScrollBox::focusOutEvent(QFocusEvent* event) {
  // A menu or a pop-up list borrows the keyboard only for a moment; the grid
  // counts as focused meanwhile, so the menu shows the grid's commands. The
  // menu bar, when Alt or a menu's key opens it, borrows it the same way.
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::MenuBarFocusReason) return;
  Guarded([this] { GridExit(); });
}

void TScrollBox::GridEnter() {
  FocusState = fsGrid;
  if (!CurrentTable->HasFocus) {
    CurrentTable->HasFocus = true;
    Repaint();
  }
}

void TScrollBox::GridExit() {
  if (FocusState == fsGrid) FocusState = fsNone;
  if (CurrentTable->HasFocus) {
    CurrentTable->HasFocus = false;
    Repaint();
  }
}

// ---------------------------------------------------------------- mouse

bool TScrollBox::viewportEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (FHost && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
                type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)) {
    // The paint box shows the table from the scroll position on; the mouse
    // holds on to it while a button is down, even outside it.
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint p = mouse->position().toPoint() + QPoint(HorzPosition(), VertPosition());
    const Qt::MouseButton button = mouse->button();
    const Qt::KeyboardModifiers modifiers = mouse->modifiers();
    TGridHost* host = FHost;
    host->RunCommand([&] {
      switch (type) {
        case QEvent::MouseButtonPress: GridMouseDown(button, modifiers, p.x(), p.y()); break;
        case QEvent::MouseButtonDblClick:
          // The second press of a double click is a press as well.
          host->GridDblClick();
          GridMouseDown(button, modifiers, p.x(), p.y());
          break;
        case QEvent::MouseMove: GridMouseMove(modifiers, p.x(), p.y()); break;
        default: GridMouseUp(button, p.x(), p.y()); break;
      }
    });
    event->accept();
    return true;
  }
  if (type == QEvent::Paint && FHost) {
    // Window paints copy the picture, drawing first what changed since.
    RenderPending();
    QPainter painter(viewport());
    painter.drawImage(0, 0, GridBitmap);
    const QSize shown = GridBitmap.deviceIndependentSize().toSize();
    const QSize view = viewport()->size();
    const QColor window = viewport()->palette().color(QPalette::Base);
    if (shown.width() < view.width())
      painter.fillRect(shown.width(), 0, view.width() - shown.width(), view.height(), window);
    if (shown.height() < view.height())
      painter.fillRect(0, shown.height(), view.width(), view.height() - shown.height(), window);
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void TScrollBox::GridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
  GridMouseMove(modifiers, x, y);
  if (button != Qt::LeftButton) return;
  // A press without the release of the drag before it (the release went
  // elsewhere) takes that drag's frame away.
  EraseDragFrame();
  FDragMode = dmNone;
  FHost->FocusGrid();

  TTable& table = *CurrentTable;
  const bool shift = modifiers & Qt::ShiftModifier;
  TCell* c = table.CellAt(x, y);
  if (!c) {
    if (TRow* r = table.RowAt(x, y)) {
      // An anchor a shrinking undo left behind the table counts as none.
      if (table.AnchorRow >= table.RowCount()) table.AnchorRow = -1;
      const int anchor = table.AnchorRow;
      FHost->SetCurrentCell(nullptr);
      if (shift) {
        table.SelectRowRange(anchor, r->Index());
      } else {
        table.ClearSelection();
        table.SelectRow(r->Index());
      }
      FDragRect = {x, y, x, y};
      FDragMode = dmRows;
      Repaint();
      return;
    }
    if (TColumn* k = table.ColumnAt(x, y)) {
      if (table.AnchorCol >= table.ColCount()) table.AnchorCol = -1;
      const int anchor = table.AnchorCol;
      FHost->SetCurrentCell(nullptr);
      if (shift) {
        table.SelectColumnRange(anchor, k->Index());
      } else {
        table.ClearSelection();
        table.SelectColumn(k->Index());
      }
      FDragRect = {x, y, x, y};
      FDragMode = dmColumns;
      Repaint();
      return;
    }
  }

  table.ClearSelection();
  if (shift && table.CurrentCell) {
    // The rectangle from the current cell to the pressed one; the current
    // cell stays.
    table.SelectCell(table.CurrentCell);
    table.SelectCell(c);
    table.GetSelectionRect();
    Repaint();
    return;
  }
  table.SelectCell(c);
  if (c != table.CurrentCell) FHost->SetCurrentCell(c);
  Repaint();
  if (!c) return;
  FDragRect = {x, y, x, y};
  FDragCells = table.GetSelectionRect();
  FDragMode = dmCells;
}

void TScrollBox::UpdateScrollTimer() {
  const QWidget* box = viewport();
  const bool outside = Overshoot(FMouseViewX, box->width()) != 0 || Overshoot(FMouseViewY, box->height()) != 0;
  const bool run = FDragMode != dmNone && outside;
  if (run && !ScrollTimer->isActive()) ScrollTimer->start();
  else if (!run && ScrollTimer->isActive()) ScrollTimer->stop();
}

void TScrollBox::GridMouseMove(Qt::KeyboardModifiers, int x, int y) {
  TTable& table = *CurrentTable;
  FMouseViewX = x - HorzPosition();
  FMouseViewY = y - VertPosition();
  UpdateScrollTimer();

  if (FDragMode == dmNone) {
    const TGridPointer pointer = PointerAt(table, x, y);
    if (pointer != FPointer) {
      FPointer = pointer;
      if (pointer == crGridDefault) viewport()->unsetCursor();
      else viewport()->setCursor(GridCursor(pointer));
    }
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    return;
  }

  // The drag ends at the table's inner area, however far the mouse goes.
  const int m = table.Margin;
  x = std::min(std::max(x, m), table.PixelWidth - m);
  y = std::min(std::max(y, m), table.PixelHeight - m);
  const TRect old = NormalizeDragRect(FDragRect);
  const TRect now = NormalizeDragRect({FDragRect.Left, FDragRect.Top, x, y});

  if (FDragMode == dmCells) {
    EraseDragFrame();
    // Every cell is decided again: what the rectangle no longer touches
    // drops out of the selection.
    bool changed = false;
    table.UpdateCellRects();
    for (TRow* row : table.Rows) {
      for (TCell* c : *row) {
        const bool was = RectsIntersect(c->BoundsRect, old);
        const bool is = RectsIntersect(c->BoundsRect, now);
        c->Selected = is;
        changed = changed || was != is;
      }
    }
    // Grown to whole cells, the selection is every cell of this rectangle,
    // so a new rectangle is a new selection even where no cell's contact
    // with the dragged pixels changed.
    const TCellRect cells = table.GetSelectionRect();
    changed = changed || !(cells == FDragCells);
    FDragCells = cells;
    if (changed) Repaint();
    ShowDragFrame(now);
  } else {
    // Rows and columns change only where the rectangle's edge crosses them,
    // so those the press selected outside it stay selected.
    bool changed = false;
    auto follow = [&](TSelectedFlag& selected, const TRect& bounds) {
      const bool was = RectsIntersect(bounds, old);
      const bool is = RectsIntersect(bounds, now);
      if (was == is) return;
      changed = changed || selected != is;
      selected = is;
    };
    if (FDragMode == dmRows) {
      for (TRow* row : table.Rows) follow(row->Selected, row->BoundsRect);
    } else {
      for (TColumn* col : table.Columns) follow(col->Selected, col->BoundsRect);
    }
    if (changed) Repaint();
  }
  FDragRect = {FDragRect.Left, FDragRect.Top, x, y};
}

void TScrollBox::GridMouseUp(Qt::MouseButton button, int, int) {
  ScrollTimer->stop();
  if (button != Qt::LeftButton) return;
  if (FDragMode == dmCells) EraseDragFrame();
  FDragMode = dmNone;
}

void TScrollBox::ScrollTimerTimer() {
  UpdateScrollTimer();
  if (!ScrollTimer->isActive()) return;
  const QWidget* box = viewport();
  const int sx = AutoScrollStep(Overshoot(FMouseViewX, box->width()), kMinHorzScrollStep);
  const int sy = AutoScrollStep(Overshoot(FMouseViewY, box->height()), 0);
  const int oldX = HorzPosition();
  const int oldY = VertPosition();
  // The frame belongs to the view as it was; it is taken off before the
  // view moves and drawn again after.
  const bool cells = FDragMode == dmCells;
  if (cells) EraseDragFrame();
  FDeferRender = true;
  SetHorzPosition(oldX + sx);
  SetVertPosition(oldY + sy);
  FDeferRender = false;
  if (HorzPosition() != oldX || VertPosition() != oldY) {
    Repaint();
    viewport()->repaint();
  }
  if (cells) ShowDragFrame(NormalizeDragRect(FDragRect));
  GridMouseMove(Qt::NoModifier, HorzPosition() + FMouseViewX, VertPosition() + FMouseViewY);
}

// ---------------------------------------------------------------- keys

namespace {

// The keys that move the current cell or, with Shift, the selection's far
// end; Ctrl only turns Home and End into the table's first and last cell.
bool MovingKey(const QKeyEvent& event, TGridKey& key) {
  const Qt::KeyboardModifiers mods = event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  const bool ctrl = mods == Qt::ControlModifier;
  if (mods != Qt::NoModifier && !ctrl) return false;
  switch (event.key()) {
    case Qt::Key_Left: key = gkLeft; return !ctrl;
    case Qt::Key_Right: key = gkRight; return !ctrl;
    case Qt::Key_Up: key = gkUp; return !ctrl;
    case Qt::Key_Down: key = gkDown; return !ctrl;
    case Qt::Key_PageUp: key = gkPageUp; return !ctrl;
    case Qt::Key_PageDown: key = gkPageDown; return !ctrl;
    case Qt::Key_Home: key = ctrl ? gkFirst : gkHome; return true;
    case Qt::Key_End: key = ctrl ? gkLast : gkEnd; return true;
    default: return false;
  }
}

}  // namespace

bool TScrollBox::GridKeyDown(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  TGridKey key = gkLeft;
  if (MovingKey(*event, key)) {
    if (mods & Qt::ShiftModifier) ExtendSelectionKey(key);
    else MoveCurrentCell(key);
    FHost->RefreshGrid();
    return true;
  }
  if (event->key() == Qt::Key_Space && (mods == Qt::ShiftModifier || mods == Qt::ControlModifier)) {
    // Whole rows or columns, as a click in the margin selects them: no
    // cell is current then.
    TTable& table = *CurrentTable;
    if (mods == Qt::ShiftModifier ? SelectRowsOfSelection(table) : SelectColumnsOfSelection(table)) {
      FHost->SetCurrentCell(nullptr);
      Repaint();
    }
    return true;
  }
  // The other keys leave combinations with Ctrl or Alt to the platform.
  const bool plain = !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (plain) {
    switch (event->key()) {
      case Qt::Key_Tab:
        // Without a current cell the focus only comes to the grid, and the
        // key goes on to the platform's focus chain.
        return TabKey();
      case Qt::Key_Return:
      case Qt::Key_Enter: return FHost->EditCurrentCell();
      default: break;
    }
  }
  // A character typed on the grid replaces the current cell's text.
  return TypesIntoEditor(*event) && FHost->TypeIntoEditor(*event);
}

int TScrollBox::PageRows() const {
  const TTable& table = *CurrentTable;
  const TCell* cell = table.CurrentCell;
  const float height = cell ? cell->Row()->Height : (table.RowCount() > 0 ? table.Rows[0]->Height : 0.0f);
  if (height <= 0) return 1;
  return std::max(1, static_cast<int>(static_cast<float>(viewport()->height()) / height));
}

void TScrollBox::ExtendSelectionKey(TGridKey key) {
  TTable& table = *CurrentTable;
  if (!ExtendSelection(table, key, PageRows())) {
    // Nothing to extend from: the key moves as without Shift.
    MoveCurrentCell(key);
    return;
  }
  if (table.SelectionMode != smCells) return;
  // The far end of the selection comes into view, as the mouse shows it.
  const TCellPlace end = SelectionFarEnd(table);
  if (const TCell* far = table.GetCell(end.Row, end.Col)) {
    table.UpdateCellRects(*far->Row());
    ScrollIntoView(far->BoundsRect);
  }
}

bool TScrollBox::TabKey() {
  FHost->FocusGrid();
  TTable& table = *CurrentTable;
  TCell* cell = table.CurrentCell;
  if (!cell) return false;
  int row = cell->RowIndex();
  int col = cell->ColIndex() + cell->Span;
  // The cells a block covers are passed over: their block came before.
  TCell* next = nullptr;
  for (;;) {
    if (col >= table.ColCount()) {
      ++row;
      col = 0;
    }
    next = table.GetCell(row, col);
    if (!next || !next->Covered()) break;
    col += next->Span;
  }
  if (next) {
    table.ClearSelection();
    table.SelectCell(next);
    FHost->SetCurrentCell(next);
  }
  FHost->EditCurrentCell();
  return true;
}

void TScrollBox::MoveCurrentCell(TGridKey key) {
  TTable& table = *CurrentTable;
  TCell* target = MoveTarget(table, key, PageRows());
  if (!target) return;
  // The moved-to cell is marked without switching to cell selection.
  table.ClearSelection();
  target->Selected = true;
  FHost->SetCurrentCell(target);
}
