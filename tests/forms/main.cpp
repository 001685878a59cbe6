// The GUI tests run without a screen and without touching the user's files:
// the offscreen platform unless told otherwise, and temporary XDG folders.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "common/gui/DialogWatchdog.h"
#include "common/gui/QuietPlatform.h"
#include "typeset/TypesetRunner.h"

int main(int argc, char** argv) {
  // The typeset preview draws its pictures in a copy of the program itself.
  if (argc == 2 && std::strcmp(argv[1], kRasteriseChildArgument) == 0) return RasteriseChildMain(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QTemporaryDir xdg;
  if (!xdg.isValid()) return 2;
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
    const QByteArray dir = (xdg.path() + "/" + name).toLocal8Bit();
    QDir().mkpath(QString::fromLocal8Bit(dir));
    setenv(name, dir.constData(), 1);
  }
  chmod((xdg.path() + "/XDG_RUNTIME_DIR").toLocal8Bit().constData(), 0700);
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  // The platform's harmless notices go; a real warning stands out.
  InstallQuietPlatformHandler();
  QApplication app(argc, argv);
  InstallDialogWatchdog();
  return RUN_ALL_TESTS();
}
