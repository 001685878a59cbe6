// The settings through the real window and a real settings file in a
// temporary folder: loaded once at start-up into every owner, saved once at
// the end (never on a cancelled close, once when the session ends first),
// and every failure told once without stopping the start or the end.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <csignal>
#include <memory>

#include <sys/resource.h>

#include "common/gui/WindowFixture.h"
#include "document/AppSettings.h"
#include "forms/dialogs/OptionsUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "forms/settings/ToolbarLooks.h"
#include "forms/preview/TypesetPanel.h"
#include "forms/settings/WindowPlacement.h"
#include "forms/settings/WindowSettings.h"
#include "platform/JsonSettings.h"

namespace {

class SettingsWiring : public WindowFixture {
 protected:
  // The window is started by each test, once the file is in place.
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    Path = Dir.filePath("LaTeX/Quiltor.json");
    UsePath(Path);
  }
  void TearDown() override {
    Data.reset();
    Stop();
    SetSettingsFactory(nullptr);
  }

  void UsePath(const QString& path) {
    SetSettingsFactory([path] { return std::make_unique<TJsonSettings>(path); });
  }

  // Start-up as the program does it: document, main window, code preview,
  // then the data module, then the window shows.
  void Launch() {
    CreateUndoBuffer();
    StartAppModule();
    Form = new TMainForm();
    Code = new TCodeForm(Form);
    Script.OnDocumentReplaced = [this] { Form->DocumentUI()->DocumentReplaced(); };
    SetDocumentUI(&Script);
    Data = std::make_unique<TAppData>(*Form, Code);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }

  // The user closes the window; the program ends if it closed.
  bool CloseWindow() {
    const bool closed = Form->close();
    if (closed) {
      Data.reset();
      Stop();
    }
    return closed;
  }

  void WriteFile(const QByteArray& text) {
    QDir().mkpath(QFileInfo(Path).path());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QTemporaryDir Dir;
  QString Path;
  std::unique_ptr<TAppData> Data;
};

// If start-up forgot to apply a built-in value, or the end forgot a key, or
// wrote a number as text, this fails.
TEST_F(SettingsWiring, FirstRunHasTheBuiltInsAndTheEndWritesEveryKey) {
  Launch();
  EXPECT_EQ(UndoBuffer->MaxLevels, 100);
  EXPECT_EQ(Table().Environment, "tabular");
  EXPECT_EQ(Table().FontName, "Times New Roman");
  EXPECT_EQ(Table().FontSize, 11);
  EXPECT_EQ(Code->CodeFontName(), "Courier New");
  EXPECT_EQ(Code->CodeFontSize(), 8);
  EXPECT_EQ(ToolbarLookInForce(*Form), "OfficeXP");
  EXPECT_EQ(Form->Standard->styleSheet(), ToolbarLookStyleSheet("OfficeXP"));
  EXPECT_FALSE(Code->isVisible());
  EXPECT_TRUE(Script.Errors.empty());
  ASSERT_TRUE(CloseWindow());

  TJsonSettings file(Path);
  ASSERT_TRUE(file.OpenKeyReadOnly(kSettingsKey));
  EXPECT_EQ(file.GetValueNames(),
            (std::vector<std::string>{"Align Code Columns", "Last Env. Options", "Last Environment", "Last Open Path",
                                      "Last Save Path", "New Table Rule Style", "Package Comment Line",
                                      "Recovery Interval", "Undo Levels"}));
  ASSERT_TRUE(file.OpenKeyReadOnly(kSettingsUIKey));
  for (const char* window : {"Main Window", "Code Window"})
    for (const char* part : {" Left", " Top", " Width", " Height"})
      EXPECT_NO_THROW(file.ReadInteger(std::string(window) + part)) << window << part;
  EXPECT_EQ(file.ReadString("TB Style"), "OfficeXP");
  EXPECT_EQ(file.ReadInteger("Font Size"), 11);
  EXPECT_EQ(file.ReadInteger("Code Font Size"), 8);
  EXPECT_EQ(file.ReadString("Code Font Name"), "Courier New");
  EXPECT_FALSE(file.ReadBool("Typeset Preview Visible"));
  EXPECT_EQ(file.ReadString("Typeset Preamble"), "");
  EXPECT_EQ(file.GetValueNames().size(), 16u);
  EXPECT_TRUE(file.OpenKeyReadOnly(kToolbarLayoutKey) && file.ValueExists(kToolbarLayoutValue));
  EXPECT_TRUE(file.KeyExists(kRecentFormatsKey));
  EXPECT_TRUE(file.KeyExists(kRecentFilesKey));
  file.CloseKey();
  QFile text(Path);
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  const QByteArray json = text.readAll();
  EXPECT_TRUE(json.contains("\"Code Window Visible\": false"));
  EXPECT_TRUE(json.contains("\"Undo Levels\": 100"));
}

// If the Options dialog of the window changed nothing visible, or a value
// was lost on the way through the file, this fails: the undo depth, both
// fonts and the look (through View > Options...), the placement, the code
// preview, a hidden toolbar and the recent files all come back.
TEST_F(SettingsWiring, EverythingChangedComesBackAfterARestart) {
  Launch();
  Cell(0, 0)->SetText("Wg");
  Form->RefreshGrid();
  const int rowHeight = Cell(0, 0)->BoundsRect.Bottom - Cell(0, 0)->BoundsRect.Top;
  QTimer::singleShot(0, [this] {
    TOptionsForm& d = OptionsDialog(*Form);
    d.fEdFont->SetText("Liberation Sans");
    d.fEdSize->SetText("20");
    d.fCodeFont->SetText("Liberation Mono");
    d.fCodeSize->SetText("12");
    d.fUndoLevels->setValue(0);
    d.Appearance->setCurrentIndex(d.Appearance->findText("Stripes"));
    QTest::mouseClick(d.bOk, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnViewOptions));
  // In force at once.
  EXPECT_EQ(UndoBuffer->MaxLevels, 0);
  EXPECT_GT(Cell(0, 0)->BoundsRect.Bottom - Cell(0, 0)->BoundsRect.Top, rowHeight);
  EXPECT_EQ(Code->Memo->font().pointSize(), 12);
  EXPECT_EQ(Form->Standard->styleSheet(), ToolbarLookStyleSheet("Stripes"));

  const TRect mainRect{25, 35, 585, 455};
  const TRect codeRect{300, 200, 700, 500};
  PlaceWindow(*Form, mainRect);
  PlaceWindow(*Code, codeRect);
  ASSERT_TRUE(Run(Form->bViewCode));
  Form->Formatting->hide();
  RecentFiles->AddToTop("/data/a.qtor");
  RecentFiles->AddToTop("/data/b.qtor");
  RecentFormats->AddToTop("p{2cm}");
  OpenDialog.InitialDir = "/data/in";
  Table().Environment = "array";
  ASSERT_TRUE(CloseWindow());

  Launch();
  EXPECT_TRUE(Script.Errors.empty());
  EXPECT_EQ(UndoBuffer->MaxLevels, 0);
  EXPECT_EQ(Table().FontName, "Liberation Sans");
  EXPECT_EQ(Table().FontSize, 20);
  Cell(0, 0)->SetText("Wg");
  Form->RefreshGrid();
  EXPECT_GT(Cell(0, 0)->BoundsRect.Bottom - Cell(0, 0)->BoundsRect.Top, rowHeight);
  EXPECT_EQ(Code->CodeFontName(), "Liberation Mono");
  EXPECT_EQ(Code->CodeFontSize(), 12);
  EXPECT_EQ(ToolbarLookInForce(*Form), "Stripes");
  EXPECT_EQ(Form->Standard->styleSheet(), ToolbarLookStyleSheet("Stripes"));
  EXPECT_EQ(OuterRect(*Form), mainRect);
  EXPECT_EQ(OuterRect(*Code), codeRect);
  EXPECT_TRUE(Code->isVisible());
  EXPECT_FALSE(Code->Memo->toPlainText().isEmpty());
  EXPECT_FALSE(Form->Formatting->isVisible());
  EXPECT_TRUE(Form->Standard->isVisible());
  EXPECT_EQ(RecentFiles->Items(), (std::vector<std::string>{"/data/b.qtor", "/data/a.qtor"}));
  EXPECT_EQ(RecentFormats->Items(), std::vector<std::string>{"p{2cm}"});
  EXPECT_EQ(OpenDialog.InitialDir, "/data/in");
  EXPECT_EQ(Table().Environment, "array");
}

// The typeset panel and the code window are shown and hidden on their own:
// if either's visibility were saved from the other's, one of these two
// restarts would bring it back wrong.
TEST_F(SettingsWiring, TypesetPanelAndCodeWindowKeepTheirOwnVisibility) {
  for (const bool codeShown : {true, false}) {
    SCOPED_TRACE(codeShown ? "code window shown, panel hidden" : "panel shown, code window hidden");
    Launch();
    ASSERT_TRUE(Form->TypesetPanel);
    if (codeShown) {
      ASSERT_TRUE(Run(Form->bViewCode));
    }
    Form->TypesetPanel->setVisible(!codeShown);
    ASSERT_TRUE(CloseWindow());
    {
      TJsonSettings stored(Path);
      ASSERT_TRUE(stored.OpenKeyReadOnly(kSettingsUIKey));
      EXPECT_EQ(stored.ReadBool("Code Window Visible"), codeShown);
      EXPECT_EQ(stored.ReadBool("Typeset Preview Visible"), !codeShown);
    }
    Launch();
    EXPECT_EQ(Code->isVisible(), codeShown);
    EXPECT_EQ(!Form->TypesetPanel->isHidden(), !codeShown);
    if (Code->isVisible()) Code->hide();
    ASSERT_TRUE(CloseWindow());
  }
}

// If the window saved through a store read at start-up, the recent files
// another editor saved meanwhile would be wiped; this fails then.
TEST_F(SettingsWiring, TheLastEditorToEndKeepsTheOthersRecentFiles) {
  Launch();
  {
    TJsonSettings other(Path);
    TAppSettings theirs;
    theirs.RecentFiles.AddToTop("/other/b.qtor");
    ASSERT_TRUE(SaveSettings(other, theirs).Completed);
  }
  RecentFiles->AddToTop("/mine/a.qtor");
  ASSERT_TRUE(CloseWindow());
  TJsonSettings file(Path);
  TAppSettings loaded;
  ASSERT_TRUE(LoadSettings(file, loaded, {}).Completed);
  EXPECT_EQ(loaded.RecentFiles.Items(), (std::vector<std::string>{"/mine/a.qtor", "/other/b.qtor"}));
}

// If a close the user cancels saved, or the session's request saved twice
// (once more when the window closes after it), this fails.
TEST_F(SettingsWiring, SavedOnceAtTheEndAndNeverOnACancelledClose) {
  Launch();
  Cell(0, 0)->SetText("x");
  RecordUndo("Typing x");
  Script.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(Form->close());
  EXPECT_FALSE(QFile::exists(Path));
  EXPECT_FALSE(Data->Saved());

  Data->CommitData(nullptr);
  EXPECT_TRUE(QFile::exists(Path));
  ASSERT_TRUE(QFile::remove(Path));
  Script.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(CloseWindow());
  EXPECT_FALSE(QFile::exists(Path));
}

// If a wrong-typed value stopped the start, was told more than once, or
// the values after it were taken anyway, this fails; so too if a damaged
// file was told again at the end.
TEST_F(SettingsWiring, BadFilesAreToldOnceAndTheProgramGoesOn) {
  WriteFile(R"({"\\Software\\LaTeX\\Quiltor": {"Undo Levels": 7, "Last Open Path": 5},
               "\\Software\\LaTeX\\Quiltor\\UI": {"Font Size": 20, "TB Style": "stripes"}})");
  Launch();
  EXPECT_EQ(Script.Errors, std::vector<std::string>{"Invalid data type for 'Last Open Path'"});
  EXPECT_EQ(UndoBuffer->MaxLevels, 7);
  EXPECT_EQ(Table().FontSize, 11);
  EXPECT_EQ(ToolbarLookInForce(*Form), "OfficeXP");
  Script.Errors.clear();
  ASSERT_TRUE(CloseWindow());

  WriteFile("{ not json");
  Launch();
  ASSERT_EQ(Script.Errors.size(), 1u);
  EXPECT_TRUE(QFile::exists(Path + ".bad"));
  Script.Errors.clear();
  Data.reset();
  EXPECT_TRUE(Script.Errors.empty());
  TJsonSettings file(Path);
  EXPECT_TRUE(file.KeyExists(kSettingsUIKey));
}

// If a settings file that cannot be written stopped the window from
// closing, or went untold, this fails.
TEST_F(SettingsWiring, AnUnwritableFileIsToldAndTheWindowStillCloses) {
  Launch();
  EXPECT_TRUE(Script.Errors.empty());
  EXPECT_TRUE(Form->close());
  {
    // No file may grow beyond a few bytes while the settings are saved
    // (permissions do not stop root, which the tests run as).
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &limit);
    Data.reset();
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
  }
  ASSERT_EQ(Script.Errors.size(), 1u);
  EXPECT_EQ(Script.Errors[0], "Cannot create file " + Path.toStdString());
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(QFile::exists(Path));
  Script.Errors.clear();
}

}  // namespace
