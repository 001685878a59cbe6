#include "forms/mainwindow/Icons.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "model/Errors.h"

// Outside any namespace, as Qt requires.
static void InitResources() { Q_INIT_RESOURCE(quiltor); }

void InitQuiltorResources() {
  // The resources live in a static library; naming them here makes the
  // linker keep them.
  static const bool done = (InitResources(), true);
  (void)done;
}

QIcon LoadIcon(const char* name) {
  InitQuiltorResources();
  // Buttons share images (a split button shows the image of its last
  // choice), so each is rendered once.
  static QHash<QString, QIcon> cache;
  // Pixmaps belong to the application object: let them go with it.
  static const bool cleanup = (qAddPostRoutine([] { cache.clear(); }), true);
  (void)cleanup;
  const QString key = QString::fromLatin1(name);
  auto it = cache.constFind(key);
  if (it != cache.constEnd()) return *it;

  QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(key));
  if (!renderer.isValid()) throw EAssertionFailed("forms/Icons", __LINE__);
  // The images are drawn on a 20-pixel grid; whole multiples of it stay
  // sharp, the menu size is a close second.
  QIcon icon;
  for (int size : {16, 20, 32, 40}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  cache.insert(key, icon);
  return icon;
}
