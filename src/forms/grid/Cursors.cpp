#include "forms/grid/Cursors.h"

#include <QBitmap>
#include <QPainter>
#include <cstdlib>

namespace {

constexpr int kCursorSize = 32;
// The arrow, measured back from its tip: a head that widens by a pixel on
// each side per pixel, then a shaft of five pixels across.
constexpr int kHeadLength = 7;
constexpr int kShaftEnd = 15;
constexpr int kShaftHalfWidth = 2;

struct TArrow {
  int TipX, TipY;
  // Direction from the tail to the tip.
  int Dx, Dy;
};

TArrow ArrowOf(TGridPointer pointer) {
  switch (pointer) {
    case crRow: return {15, 14, 1, 0};
    case crCol: return {12, 17, 0, 1};
    case crRow2: return {0, 14, -1, 0};
    case crCol2: return {12, 1, 0, -1};
    default: return {0, 0, 0, 0};
  }
}

// Whether pixel (x, y) belongs to the arrow's black body.
bool InArrow(const TArrow& a, int x, int y) {
  // Distance back from the tip along the arrow, and the offset across it.
  const int along = (a.TipX - x) * a.Dx + (a.TipY - y) * a.Dy;
  const int across = std::abs((x - a.TipX) * a.Dy + (y - a.TipY) * a.Dx);
  if (along < 0 || along > kShaftEnd) return false;
  if (along <= kHeadLength) return across <= along;
  return across <= kShaftHalfWidth;
}

}  // namespace

QCursor CreateGridCursor(TGridPointer pointer) {
  const TArrow arrow = ArrowOf(pointer);
  if (arrow.Dx == 0 && arrow.Dy == 0) return QCursor(Qt::ArrowCursor);

  // Black body (bitmap and mask set) inside a white outline one pixel wide
  // (mask only), so that the arrow shows on dark and light ground alike.
  QBitmap bitmap(kCursorSize, kCursorSize);
  QBitmap mask(kCursorSize, kCursorSize);
  bitmap.fill(Qt::color0);
  mask.fill(Qt::color0);
  {
    QPainter body(&bitmap);
    QPainter outline(&mask);
    body.setPen(Qt::color1);
    outline.setPen(Qt::color1);
    for (int y = 0; y < kCursorSize; ++y) {
      for (int x = 0; x < kCursorSize; ++x) {
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy)
          for (int dx = -1; dx <= 1 && !near; ++dx) near = InArrow(arrow, x + dx, y + dy);
        if (near) outline.drawPoint(x, y);
        if (InArrow(arrow, x, y)) body.drawPoint(x, y);
      }
    }
  }
  return QCursor(bitmap, mask, arrow.TipX, arrow.TipY);
}
