// The editor's settings across a restart: saved through one settings file
// object, read back by a fresh one from the same file, every value with its
// type; and a window placed from a stored rectangle reports it back.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "document/AppSettings.h"
#include "forms/settings/WindowPlacement.h"
#include "platform/JsonSettings.h"

namespace {

TEST(AppSettingsRestart, EveryValueComesBackFromTheFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("LaTeX/Quiltor.json");
  const TScreenRects screens = {TRect{0, 0, 1920, 1080}};

  TAppSettings saved;
  saved.UndoLevels = 7;
  saved.LastOpenPath = "/home/u/in/";
  saved.LastSavePath = "/home/u/out/";
  saved.LastEnvironment = "array";
  saved.LastEnvOptions = "[t]";
  saved.MainWindow = TRect{200, 100, 900, 600};
  saved.CodeWindow = TRect{60, 400, 560, 700};
  saved.CodeWindowVisible = true;
  saved.FontName = "Liberation Sans";
  saved.FontSize = 13;
  saved.CodeFontName = "Liberation Mono";
  saved.CodeFontSize = 10;
  saved.ToolbarStyle = "Stripes";
  saved.RecentFiles.AddToTop("/home/u/b.qtor");
  saved.RecentFiles.AddToTop("/home/u/\xe4.qtor");  // not UTF-8
  saved.RecentFormats.AddToTop("p{3cm}");
  {
    TJsonSettings store(path);
    const TSettingsReport report = SaveSettings(store, saved);
    ASSERT_TRUE(report.Completed) << report.Text();
  }

  TJsonSettings fresh(path);
  TAppSettings loaded;
  const TSettingsReport report = LoadSettings(fresh, loaded, screens);
  ASSERT_TRUE(report.Completed) << report.Text();
  EXPECT_EQ(loaded.UndoLevels, 7);
  EXPECT_EQ(loaded.LastOpenPath, saved.LastOpenPath);
  EXPECT_EQ(loaded.LastSavePath, saved.LastSavePath);
  EXPECT_EQ(loaded.LastEnvironment, "array");
  EXPECT_EQ(loaded.LastEnvOptions, "[t]");
  EXPECT_EQ(loaded.MainWindow, saved.MainWindow);
  EXPECT_EQ(loaded.CodeWindow, saved.CodeWindow);
  EXPECT_TRUE(loaded.CodeWindowVisible);
  EXPECT_EQ(loaded.FontName, "Liberation Sans");
  EXPECT_EQ(loaded.FontSize, 13);
  EXPECT_EQ(loaded.CodeFontName, "Liberation Mono");
  EXPECT_EQ(loaded.CodeFontSize, 10);
  EXPECT_EQ(loaded.ToolbarStyle, "Stripes");
  EXPECT_EQ(loaded.RecentFiles.Items(), saved.RecentFiles.Items());
  EXPECT_EQ(loaded.RecentFormats.Items(), saved.RecentFormats.Items());

  // Numbers are stored as numbers: a text "7" would not read back above, and
  // another program reading the file sees the type too.
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("\"Undo Levels\": 7"));
}

TEST(AppSettingsRestart, PlacedWindowReportsTheStoredRectangle) {
  QWidget window;
  const TRect stored{120, 80, 620, 480};
  PlaceWindow(window, stored);
  window.show();
  EXPECT_EQ(OuterRect(window), stored);
  EXPECT_FALSE(ScreenRects().empty());
}

}  // namespace
