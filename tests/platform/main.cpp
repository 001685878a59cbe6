// The platform tests run offscreen, with every per-user folder pointing into
// a temporary folder, so that no test can read or write the user's files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "common/gui/DialogWatchdog.h"
#include "common/gui/QuietPlatform.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
    const QString dir = home.filePath(QString::fromLatin1(name).toLower());
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv(name, QFile::encodeName(dir));
  }
  QStandardPaths::setTestModeEnabled(true);
  // The platform's harmless notices go; a real warning stands out.
  InstallQuietPlatformHandler();
  QApplication app(argc, argv);
  InstallDialogWatchdog();
  return RUN_ALL_TESTS();
}
