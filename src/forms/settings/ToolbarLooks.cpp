#include "forms/settings/ToolbarLooks.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <QVariant>
#include <vector>

#include "document/Settings.h"
#include "model/Errors.h"

namespace {

// The window property that remembers the look in force.
constexpr const char* kLookProperty = "quiltorToolbarLook";

// Split buttons keep room for their arrow once a style sheet draws them.
const char* const kSplitButtonRules =
    "QToolButton[popupMode=\"1\"] { padding-right: 14px; }"
    "QToolButton::menu-button { border: none; width: 12px; }";

const char* const kOfficeXPSheet =
    "QToolBar { background: #ece9d8; border: none; border-top: 1px solid #ffffff;"
    " border-bottom: 1px solid #aca899; spacing: 1px; padding: 1px; }"
    "QToolBar::separator { background: #aca899; width: 1px; height: 1px; margin: 3px 4px; }"
    "QToolButton { background: transparent; border: 1px solid transparent; border-radius: 0px; padding: 2px; }"
    "QToolButton:hover { background: #c1d2ee; border: 1px solid #316ac5; }"
    "QToolButton:pressed, QToolButton:checked { background: #98b5e2; border: 1px solid #316ac5; }"
    "QToolButton:disabled { background: transparent; border: 1px solid transparent; }";

// Bands a quarter of the bar's height each, repeating.
const char* const kStripesSheet =
    "QToolBar { background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0, y2:0.5,"
    " stop:0 #dde6f3, stop:0.49 #dde6f3, stop:0.5 #b9cae3, stop:1 #b9cae3);"
    " border: 1px solid #8299bd; border-radius: 3px; spacing: 2px; padding: 2px; }"
    "QToolBar::separator { background: #7d93b5; width: 2px; height: 2px; margin: 3px 3px; }"
    "QToolButton { background: transparent; border: 1px solid transparent; border-radius: 3px; padding: 2px; }"
    "QToolButton:hover { background: #fff3c8; border: 1px solid #c9a13a; }"
    "QToolButton:pressed, QToolButton:checked { background: #ffd98a; border: 1px solid #b2862a; }"
    "QToolButton:disabled { background: transparent; border: 1px solid transparent; }";

const char* const kOfficeXPMenuSheet =
    "QMenuBar { background: #ece9d8; }"
    "QMenuBar::item { background: transparent; border: 1px solid transparent; padding: 2px 6px; }"
    "QMenuBar::item:selected { background: #c1d2ee; border: 1px solid #316ac5; }";

const char* const kStripesMenuSheet =
    "QMenuBar { background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0, y2:0.5,"
    " stop:0 #dde6f3, stop:0.49 #dde6f3, stop:0.5 #b9cae3, stop:1 #b9cae3); }"
    "QMenuBar::item { background: transparent; border-radius: 3px; padding: 2px 6px; }"
    "QMenuBar::item:selected { background: #fff3c8; border: 1px solid #c9a13a; }";

QList<QToolBar*> ToolBars(const QMainWindow& window) {
  return window.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
}

// A floating toolbar can be dragged back only by a handle the user can
// reach: its top-left corner region on one of the screens.
bool OnSomeScreen(const QRect& frame) {
  const QRect handle(frame.topLeft(), QSize(24, 16));
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersected(handle).width() >= 8) return true;
  return false;
}

void CloseQuietly(TSettingsStore& store) {
  try {
    store.CloseKey();
  } catch (const EQuiltorError&) {
  }
}

}  // namespace

QString ToolbarLookStyleSheet(const std::string& name) {
  switch (FindToolbarLook(name)) {
    case 1:
      return QString::fromLatin1(kOfficeXPSheet) + QString::fromLatin1(kSplitButtonRules);
    case 2:
      return QString::fromLatin1(kStripesSheet) + QString::fromLatin1(kSplitButtonRules);
    default:
      return QString();
  }
}

std::string ApplyToolbarLook(QMainWindow& window, const std::string& name) {
  const int look = FindToolbarLook(name);
  const std::string inForce = kToolbarLooks[look];
  const QString sheet = ToolbarLookStyleSheet(inForce);
  for (QToolBar* bar : ToolBars(window)) bar->setStyleSheet(sheet);
  if (QMenuBar* menu = window.menuBar()) {
    const char* menuSheet = look == 1 ? kOfficeXPMenuSheet : look == 2 ? kStripesMenuSheet : "";
    menu->setStyleSheet(QString::fromLatin1(menuSheet));
  }
  window.setProperty(kLookProperty, QString::fromStdString(inForce));
  return inForce;
}

std::string ToolbarLookInForce(const QMainWindow& window) {
  const QVariant look = window.property(kLookProperty);
  return look.isValid() ? look.toString().toStdString() : std::string(kToolbarLooks[0]);
}

std::string SaveToolbarLayout(const QMainWindow& window, TSettingsStore& store, const std::string& key) {
  const QByteArray state = window.saveState(kToolbarLayoutVersion);
  try {
    if (!store.OpenKey(key, true)) return FormatStr("Failed to set data for '%s'", kToolbarLayoutValue);
    store.WriteBinaryData(kToolbarLayoutValue, std::vector<uint8_t>(state.begin(), state.end()));
    store.CloseKey();
  } catch (const EQuiltorError& e) {
    CloseQuietly(store);
    return e.what();
  }
  return {};
}

std::string RestoreToolbarLayout(QMainWindow& window, TSettingsStore& store, const std::string& key) {
  QByteArray state;
  try {
    if (!store.OpenKeyReadOnly(key)) return {};
    if (store.ValueExists(kToolbarLayoutValue)) {
      const std::vector<uint8_t> bytes = store.ReadBinaryData(kToolbarLayoutValue);
      state = QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }
    store.CloseKey();
  } catch (const EQuiltorError& e) {
    CloseQuietly(store);
    return e.what();
  }
  if (state.isEmpty()) return {};

  // Where every toolbar sits now: where a lost one goes back to.
  struct TPlace {
    QToolBar* Bar;
    Qt::ToolBarArea Area;
  };
  std::vector<TPlace> places;
  for (QToolBar* bar : ToolBars(window)) {
    const Qt::ToolBarArea area = window.toolBarArea(bar);
    places.push_back({bar, area == Qt::NoToolBarArea ? Qt::TopToolBarArea : area});
  }
  const QByteArray before = window.saveState(kToolbarLayoutVersion);
  if (!window.restoreState(state, kToolbarLayoutVersion)) {
    // Qt leaves the layout alone when it refuses a state; putting the old
    // one back makes sure of it.
    window.restoreState(before, kToolbarLayoutVersion);
    return {};
  }
  for (const TPlace& p : places) {
    const bool lost = p.Bar->isFloating() ? !OnSomeScreen(p.Bar->frameGeometry())
                                          : window.toolBarArea(p.Bar) == Qt::NoToolBarArea;
    if (lost) {
      window.addToolBar(p.Area, p.Bar);
      p.Bar->show();
    }
  }
  return {};
}
