#include "forms/settings/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace {

// Watches a freshly placed window until its frame is known, then takes the
// frame off the client size once.
class TFrameCorrection : public QObject {
 public:
  TFrameCorrection(QWidget& window, const QSize& outer) : QObject(&window), FWindow(window), FOuter(outer) {
    FClient = window.size();
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &FWindow) return false;
    const QEvent::Type t = event->type();
    if (t != QEvent::Move && t != QEvent::Resize && t != QEvent::Show) return false;
    if (FWindow.size() != FClient) {
      Done();  // someone else sized it since
    } else {
      const QSize frame = FWindow.frameGeometry().size() - FWindow.size();
      if (frame != QSize(0, 0)) {
        Done();
        FWindow.resize((FOuter - frame).expandedTo(QSize(1, 1)));
      }
    }
    return false;
  }

 private:
  void Done() {
    FWindow.removeEventFilter(this);
    deleteLater();
  }
  QWidget& FWindow;
  QSize FOuter;
  QSize FClient;
};

}  // namespace

TScreenRects ScreenRects() {
  TScreenRects rects;
  const QScreen* primary = QGuiApplication::primaryScreen();
  auto add = [&rects](const QScreen* s) {
    const QRect g = s->geometry();
    rects.push_back(TRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
  };
  if (primary) add(primary);
  for (const QScreen* s : QGuiApplication::screens())
    if (s != primary) add(s);
  return rects;
}

TRect OuterRect(const QWidget& window) {
  const QRect r = window.frameGeometry();
  return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void PlaceWindow(QWidget& window, const TRect& rect) {
  const QSize outer(rect.Right - rect.Left, rect.Bottom - rect.Top);
  const QSize frame = window.frameGeometry().size() - window.size();
  // move() places a top-level window's frame; resize() sets its client area.
  window.move(rect.Left, rect.Top);
  window.resize((outer - frame).expandedTo(QSize(1, 1)));
  if (frame == QSize(0, 0) && !window.testAttribute(Qt::WA_WState_Visible)) new TFrameCorrection(window, outer);
}
