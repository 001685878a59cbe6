// The file dialogs as the user drives them: pick a type in the real (non
// native) QFileDialog, type a name without extension, press Enter, and see
// which file the document operation ends up with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>

#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "undo/UndoBuffers.h"

namespace fs = std::filesystem;

namespace {

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("quiltor-dialog-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    CreateUndoBuffer();
    StartAppModule();
    SetDocumentUI(&UI);
    for (TFileDialog* d : {&OpenDialog, &SaveDialog}) {
      d->FilterIndex = 1;
      d->DefaultExt.clear();
      d->InitialDir = Dir.string() + "/";
    }
  }
  void TearDown() override {
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
    fs::remove_all(Dir);
  }

  // Once the dialog runs: choose type entry `type` (1-based) with the keyboard
  // as a user would, type `name` and confirm with Enter.
  void Answer(int type, const QString& name) {
    QTimer::singleShot(0, &Window, [this, type, name] {
      auto* fd = Window.findChild<QFileDialog*>();
      ASSERT_NE(fd, nullptr);
      auto* combo = fd->findChild<QComboBox*>("fileTypeCombo");
      auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
      if (!combo || !edit) {
        ADD_FAILURE() << "the dialog's type list or name box is missing";
        fd->reject();
        return;
      }
      // The name box must have the focus, as the user's typing gives it: only
      // then does typing replace a file selected in the list.
      fd->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(fd));
      QTest::keyClick(combo, Qt::Key_Home);
      for (int i = 1; i < type; ++i) QTest::keyClick(combo, Qt::Key_Down);
      EXPECT_EQ(combo->currentIndex(), type - 1);
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, name);
      QTest::keyClick(edit, Qt::Key_Return);
      if (fd->isVisible()) fd->reject();  // not accepted: fail rather than hang
    });
  }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }

  fs::path Dir;
  QWidget Window;
  TQtDocumentUI UI{&Window};
};

// The type chosen in Save As decides the extension of a name typed without
// one; "All files" means the native format, so the file shows in the next
// Open under "All supported formats".
TEST_F(FileDialogTest, SaveAsAddsTheChosenTypesExtension) {
  struct Case {
    int type;
    const char* typed;
    const char* saved;
    TFileFormat format;
  };
  const Case cases[] = {
      {2, "fancy2", "fancy2.csv", TFileFormat::Csv},
      {3, "tabs", "tabs.txt", TFileFormat::Tab},
      {4, "any", "any.qtor", TFileFormat::Native},
      {1, "plain", "plain.qtor", TFileFormat::Native},
      {2, "given.txt", "given.txt", TFileFormat::Tab},  // a typed extension wins
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Answer(c.type, c.typed);
    ASSERT_TRUE(SaveDocumentAs());
    EXPECT_EQ(CurrentTable->FileName, Path(c.saved));
    EXPECT_EQ(FormatOfFile(CurrentTable->FileName), c.format);
    EXPECT_TRUE(fs::is_regular_file(Path(c.saved)));
    EXPECT_EQ(SaveDialog.FilterIndex, c.type);
  }
}

// In Open, a name typed without extension finds the file of the chosen type
// when no file of exactly that name exists.
TEST_F(FileDialogTest, OpenTriesTheChosenTypesExtension) {
  WriteDocumentFile(*CurrentTable, Path("fancy.qtor"));
  struct Case {
    int type;
    const char* typed;
    const char* opened;
  };
  const Case cases[] = {
      {2, "fancy", "fancy.qtor"},
      {1, "fancy", "fancy.qtor"},
      {4, "fancy", "fancy.qtor"},
      {2, "fancy.qtor", "fancy.qtor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    CurrentTable->FileName.clear();
    Answer(c.type, c.typed);
    ASSERT_TRUE(OpenDocument());
    EXPECT_EQ(CurrentTable->FileName, Path(c.opened));
    EXPECT_EQ(OpenDialog.FilterIndex, c.type);
  }
  // Text files: the default extension is "csv".
  Answer(3, "fancy");
  ASSERT_TRUE(UI.ExecuteOpenDialog(OpenDialog));
  EXPECT_EQ(OpenDialog.FileName, Path("fancy"));
  EXPECT_EQ(OpenDialog.DefaultExt, "csv");
}

}  // namespace
