#include "forms/mainwindow/AppStart.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <memory>
#include <optional>
#include <string>

#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/Icons.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/dialogs/RecoveryUnit.h"
#include "forms/settings/WindowSettings.h"
#include "platform/JsonSettings.h"
#include "undo/UndoBuffers.h"

namespace {

// The document outlives every window: created before the first, freed after
// the last, even when the run ends with an exception.
struct TDocumentLifetime {
  TDocumentLifetime() {
    CreateUndoBuffer();
    StartAppModule();
  }
  ~TDocumentLifetime() {
    StopAppModule();
    FreeUndoBuffer();
  }
};

// The name the desktop entry, the icons and the metainfo are installed
// under.
constexpr const char* kApplicationId = "io.github.quiltor.Quiltor";

// The icon of the installed theme, so that the task bar and Alt+Tab show
// the one the application menu shows; the bundled drawing when the program
// runs uninstalled.
QIcon ApplicationIcon() { return QIcon::fromTheme(kApplicationId, LoadIcon("quiltor")); }

}  // namespace

void NameApplication() {
  ApplicationTitle = "Quiltor";
  QApplication::setApplicationName("Quiltor");
  // Wayland compositors find the window's desktop entry (and with it the
  // icon and name) by this.
  QGuiApplication::setDesktopFileName(kApplicationId);
  // No display name: on X11 the platform appends it to every window title,
  // and the titles already say what they are ("Quiltor - prices").
}

int RunEditor(int argc, char** argv) {
  QApplication app(argc, argv);
  // The program's first argument, as the user's bytes; Qt has taken its own
  // options out of argv by now.
  const std::string commandLineFile = argc > 1 ? std::string(argv[1]) : std::string();

  NameApplication();
  // The per-user settings file; every store the program makes reads it
  // afresh, so that a save sees what another editor saved meanwhile.
  SetSettingsFactory([] { return std::make_unique<TJsonSettings>(TJsonSettings::DefaultPath()); });

  // Commands show their own failures; what fails while the program sets
  // itself up or takes itself down is shown here, and ends the run.
  try {
    TDocumentLifetime document;
    // Before anything else: what an editor that did not close left behind.
    const std::optional<TRecoveryEntry> recovered = OfferRecovery(DefaultRecoveryFolder());
    // The main window first: it posts itself the events that focus the grid
    // and open the command-line file, which run once the loop starts.
    auto mainForm = std::make_unique<TMainForm>(StartUpFile(commandLineFile, recovered));
    QApplication::setWindowIcon(ApplicationIcon());
    mainForm->setWindowIcon(QApplication::windowIcon());
    auto codeForm = std::make_unique<TCodeForm>(mainForm.get());
    // The data module loads the settings into the windows that now exist,
    // and saves them when it goes, before them.
    auto appData = std::make_unique<TAppData>(*mainForm, codeForm.get());
    OptionsDialog(*mainForm);
    if (recovered) FinishRecovery(*mainForm, *recovered);
    mainForm->show();
    // Ask for the keyboard at once; without a window manager that hands it
    // out, the grid would wait for a first click.
    mainForm->activateWindow();

    const int result = QApplication::exec();

    // Reverse order of creation.
    appData.reset();
    codeForm.reset();
    mainForm.reset();
    return result;
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Quiltor", QString::fromUtf8(e.what()));
    return 1;
  }
}
