// The toolbar looks and the stored toolbar layout: three looks that differ
// on screen and leave nothing behind when switched, a layout that survives
// the settings file, and damaged layouts that never lose a toolbar.
#include "forms/settings/ToolbarLooks.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "document/Settings.h"
#include "platform/JsonSettings.h"

namespace {

// A window shaped like the editor's: a menu bar and two named toolbars on
// top, one of them with a split button.
struct TToolbarWindow {
  TToolbarWindow() {
    window.menuBar()->addMenu("&File")->addAction("E&xit");
    for (const char* name : {"Standard", "Formatting"}) {
      auto* bar = new QToolBar(name, &window);
      bar->setObjectName(name);
      for (const char* text : {"New", "Open", "Save"}) bar->addAction(text);
      bar->addSeparator();
      window.addToolBar(Qt::TopToolBarArea, bar);
      bars.push_back(bar);
    }
    auto* split = new QToolButton(bars[1]);
    split->setDefaultAction(new QAction("Rules", split));
    split->setMenu(new QMenu(split));
    split->setPopupMode(QToolButton::MenuButtonPopup);
    bars[1]->addWidget(split);
    window.resize(500, 300);
    window.show();
  }
  QImage Picture(int bar) { return bars[static_cast<size_t>(bar)]->grab().toImage(); }

  QMainWindow window;
  std::vector<QToolBar*> bars;
};

// The looks must be told apart at a glance (three different pictures of the
// same toolbar), an unknown name gives the first look, and going back to
// the first look after another gives exactly the first picture again.
TEST(ToolbarLooks, LooksDifferAndSwitchingBackLeavesNoResidue) {
  TToolbarWindow w;
  const QImage plain = w.Picture(1);
  std::vector<QImage> pictures;
  for (const char* look : kToolbarLooks) {
    EXPECT_EQ(ApplyToolbarLook(w.window, look), look);
    EXPECT_EQ(ToolbarLookInForce(w.window), look);
    pictures.push_back(w.Picture(1));
  }
  EXPECT_EQ(pictures[0], plain);
  EXPECT_NE(pictures[1], pictures[0]);
  EXPECT_NE(pictures[2], pictures[0]);
  EXPECT_NE(pictures[2], pictures[1]);

  EXPECT_EQ(ApplyToolbarLook(w.window, "stripes"), "Stripes");
  EXPECT_EQ(ApplyToolbarLook(w.window, "no such look"), "Default");
  EXPECT_EQ(w.Picture(1), plain);
  EXPECT_EQ(w.window.menuBar()->styleSheet(), "");
}

// A layout saved through the settings file comes back in a fresh window
// from a fresh store: the moved toolbar is on its new side, the hidden one
// hidden, in the stored order.
TEST(ToolbarLooks, LayoutSurvivesARestartThroughTheFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("LaTeX/Quiltor.json");
  {
    TToolbarWindow w;
    w.window.addToolBar(Qt::LeftToolBarArea, w.bars[1]);
    w.bars[0]->hide();
    TJsonSettings store(path);
    EXPECT_EQ(SaveToolbarLayout(w.window, store), "");
  }
  TToolbarWindow w;
  TJsonSettings store(path);
  EXPECT_EQ(RestoreToolbarLayout(w.window, store), "");
  EXPECT_EQ(w.window.toolBarArea(w.bars[1]), Qt::LeftToolBarArea);
  EXPECT_EQ(w.window.toolBarArea(w.bars[0]), Qt::TopToolBarArea);
  EXPECT_TRUE(w.bars[0]->isHidden());
  EXPECT_FALSE(store.HasOpenKey());
}

// Damaged, truncated, foreign and wrongly typed layouts: the start goes on
// with every toolbar shown and docked where it was; only the wrong type is
// worth a message.
TEST(ToolbarLooks, DamagedLayoutNeverLosesAToolbar) {
  QByteArray good;
  {
    TToolbarWindow w;
    w.window.addToolBar(Qt::BottomToolBarArea, w.bars[0]);
    good = w.window.saveState(kToolbarLayoutVersion);
  }
  auto flipped = [&](qsizetype at) {
    QByteArray b = good;
    b[at] = static_cast<char>(b[at] ^ 0x5A);
    return b;
  };
  // The same layout with Formatting floating far off every screen. A
  // toolbar's entry is its name, a shown flag (1 byte), its position and
  // size (4 bytes each), then its floating rectangle packed in two numbers:
  // bit 0 of the first says floating, then 16 bits of x + 32767 and 16 of
  // width; the second holds y + 32767 and the height.
  QByteArray offScreen = good;
  {
    const QByteArray name = QByteArray::fromRawData(reinterpret_cast<const char*>(u"Formatting"), 20);
    QByteArray utf16be;
    for (qsizetype i = 0; i < name.size(); i += 2) utf16be.append(name[i + 1]).append(name[i]);
    const qsizetype at = good.indexOf(utf16be) + utf16be.size() + 1 + 4 + 4;
    ASSERT_GT(at, 20);
    const quint32 x = 2767, y = 2767;  // -30000 on screen
    const quint32 packed[2] = {(((100u << 16) | x) << 1) | 1u, (30u << 16) | y};
    for (int n = 0; n < 2; ++n)
      for (int k = 0; k < 4; ++k) offScreen[at + 4 * n + k] = static_cast<char>((packed[n] >> (24 - 8 * k)) & 0xff);
  }
  struct Case {
    const char* what;
    QByteArray bytes;
  } cases[] = {
      {"floating off every screen", offScreen},
      {"truncated", good.left(good.size() / 2)},
      {"first byte", flipped(0)},
      {"version", flipped(7)},
      {"inside", flipped(good.size() / 3)},
      {"near the end", flipped(good.size() - 9)},
      {"junk", QByteArray(64, '\xff')},
  };
  for (const Case& c : cases) {
    TToolbarWindow w;
    TMemorySettings store;
    ASSERT_TRUE(store.OpenKey(kToolbarLayoutKey, true));
    store.WriteBinaryData(kToolbarLayoutValue, std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    store.CloseKey();
    EXPECT_EQ(RestoreToolbarLayout(w.window, store), "") << c.what;
    for (QToolBar* bar : w.bars) {
      if (bar->isFloating())
        EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().intersects(bar->frameGeometry())) << c.what;
      else
        EXPECT_NE(w.window.toolBarArea(bar), Qt::NoToolBarArea) << c.what;
      EXPECT_FALSE(bar->isHidden()) << c.what;
    }
  }

  TToolbarWindow w;
  TMemorySettings store;
  ASSERT_TRUE(store.OpenKey(kToolbarLayoutKey, true));
  store.WriteString(kToolbarLayoutValue, "top");
  EXPECT_EQ(RestoreToolbarLayout(w.window, store), "Invalid data type for 'Layout'");
  EXPECT_FALSE(store.HasOpenKey());
  for (QToolBar* bar : w.bars) {
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(w.window.toolBarArea(bar), Qt::TopToolBarArea);
  }
}

}  // namespace
