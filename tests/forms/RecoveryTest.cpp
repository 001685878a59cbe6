// Recovery data as the user meets it: an editor killed with SIGKILL after
// its recovery write leaves the edit behind for the next start, and the
// entry goes whenever nothing is unsaved any more.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "../model/FileTestUtil.h"
#include "common/gui/WindowFixture.h"
#include "document/DocumentFiles.h"
#include "document/Recovery.h"
#include "document/Settings.h"
#include "forms/mainwindow/RecoveryController.h"
#include "forms/dialogs/RecoveryUnit.h"
#include "forms/settings/WindowSettings.h"
#include "model/TableFile.h"

namespace {

// Every window test writes its recovery data into a state folder of its
// own, never the user's; a child started by the kill test shares its
// parent's.
char gStateHome[64] = "/tmp/quiltor-state-XXXXXX";

const char* StateHome() { return gStateHome; }

[[maybe_unused]] const bool kStateHomeSet = [] {
  if (const char* given = std::getenv("QUILTOR_TEST_CHILD_STATE")) {
    std::snprintf(gStateHome, sizeof gStateHome, "%s", given);
  } else {
    if (!::mkdtemp(gStateHome)) std::abort();
    // A plain buffer, so that it is still there when this runs at exit.
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(gStateHome, ignored);
    });
  }
  return ::setenv("XDG_STATE_HOME", gStateHome, 1) == 0;
}();

std::string Folder() { return DefaultRecoveryFolder(); }

size_t FilesInFolder() {
  std::error_code ec;
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(Folder(), ec); !ec && it != std::filesystem::directory_iterator();
       ++it)
    n += it->is_regular_file() ? 1 : 0;
  return n;
}

class RecoveryTest : public WindowFixture {
 protected:
  void SetUp() override {
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
    RecoveryInterval = kDefaultRecoveryInterval;
    WindowFixture::SetUp();
  }
  void TearDown() override {
    WindowFixture::TearDown();
    RecoveryInterval = kDefaultRecoveryInterval;
  }

  // Types text into cell (0, 0) on the grid, as a user does, and leaves the
  // editor with Enter unless keepEditing.
  void TypeIntoFirstCell(const char* text, bool keepEditing = false) {
    Click(Centre(Cell(0, 0)));
    // The first key moves the focus into the editor, which takes the rest.
    QTest::keyClicks(Form->ScrollBox, std::string(text, 1).c_str());
    QTest::keyClicks(Form->Editor, text + 1);
    if (!keepEditing) QTest::keyClick(Form->Editor, Qt::Key_Return);
  }
  TRecoveryController& Recovery() { return Form->Recovery(); }

  TTempDir Docs;
};

// ---------------------------------------------------------------- the killed editor

// The child's half of the kill test: open the document (or none), edit it,
// wait for the recovery write to be through, say so, and wait to be killed.
TEST_F(RecoveryTest, DISABLED_ChildEditsAndWaits) {
  const char* file = std::getenv("QUILTOR_TEST_CHILD_FILE");
  const char* ready = std::getenv("QUILTOR_TEST_CHILD_READY");
  ASSERT_TRUE(file && ready);
  ::alarm(120);  // a parent that never kills does not leave this running
  if (*file) {
    ASSERT_TRUE(OpenFile(file));
  }
  Form->RefreshGrid();
  RecoveryInterval = 1;
  TypeIntoFirstCell("kept");
  while (Recovery().Writer().WriteCount() == 0) QTest::qWait(20);
  WriteBytes(ready, "ready");
  for (;;) QTest::qWait(100);
}

// The next start finds what the killed editor wrote, and Recover brings it
// back modified under its original name, without touching the file.
TEST_F(RecoveryTest, KilledEditorLeavesItsEditForTheNextStart) {
  const std::string original = Docs.File("prices.qtor");
  {
    TTable t;
    new TColumn(t);
    t.AddRow();
    t.GetCell(0, 0)->SetText("old");
    SaveTableFile(t, original);
  }
  for (const std::string& file : {original, std::string()}) {
    SCOPED_TRACE(file.empty() ? "untitled" : "named");
    const std::string originalBytes = ReadBytes(original);
    const std::string ready = Docs.File("ready");
    std::filesystem::remove(ready);
    const pid_t child = ::fork();
    if (child == 0) {
      ::setenv("QUILTOR_TEST_CHILD_STATE", StateHome(), 1);
      ::setenv("QUILTOR_TEST_CHILD_FILE", file.c_str(), 1);
      ::setenv("QUILTOR_TEST_CHILD_READY", ready.c_str(), 1);
      const int log = ::open(Docs.File("child.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(log, 1);
      ::dup2(log, 2);
      ::execl("/proc/self/exe", "test_forms", "--gtest_also_run_disabled_tests",
              "--gtest_filter=RecoveryTest.DISABLED_ChildEditsAndWaits", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    bool exited = false;
    while (!std::filesystem::exists(ready) && !exited) {
      exited = ::waitpid(child, &status, WNOHANG) == child;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(exited) << "the child ended before its recovery write:\n" << ReadBytes(Docs.File("child.log"));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
    ASSERT_EQ(scan.Entries.size(), 1u);
    EXPECT_TRUE(scan.Damaged.empty());
    const TRecoveryEntry entry = scan.Entries[0];
    EXPECT_EQ(entry.Info.FileName, file);
    EXPECT_EQ(entry.Info.Pid, child);

    RecoverDocument(entry);
    Form->RefreshGrid();
    EXPECT_EQ(Cell(0, 0)->Text(), "kept");
    EXPECT_TRUE(DocumentModified());
    EXPECT_EQ(Table().FileName, file);
    EXPECT_EQ(Table().Title, file.empty() ? "Untitled" : "prices");
    EXPECT_EQ(ReadBytes(original), originalBytes) << "recovering wrote the original";
    DiscardRecoveryEntry(entry);
    if (!file.empty()) {
      // Save writes the recovered edit to the original.
      EXPECT_TRUE(Run(Form->bSave));
      TTable saved;
      LoadTableFile(saved, original);
      EXPECT_EQ(saved.GetCell(0, 0)->Text(), "kept");
    }
  }
}

// ---------------------------------------------------------------- when the entry goes

// Each way of letting go of the unsaved changes removes the entry at once;
// a crash right after would otherwise offer changes the user settled.
TEST_F(RecoveryTest, NoEntryOnceNothingIsUnsaved) {
  const std::string file = Docs.File("t.qtor");
  struct Case {
    const char* Name;
    std::function<void()> Act;
  };
  const Case cases[] = {
      {"save", [&] { EXPECT_TRUE(Run(Form->bSave)); }},
      {"undo to the saved state", [&] { EXPECT_TRUE(Run(Form->bUndo)); }},
      {"open another after No",
       [&] {
         Script.Answers = {TSaveAnswer::No};
         Form->RunCommand([&] { OpenFile(file); });
         Form->RefreshGrid();
       }},
      {"No at close", [&] {
         Script.Answers = {TSaveAnswer::No};
         EXPECT_TRUE(Form->close());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Stop();
    Start();
    Table().FileName = file;
    Table().Title = "t";
    SaveTableFile(Table(), file);
    TypeIntoFirstCell("x");
    Recovery().WriteNow(true);
    ASSERT_EQ(FilesInFolder(), 3u);
    c.Act();
    EXPECT_FALSE(Recovery().Writer().HasEntry());
    EXPECT_EQ(FilesInFolder(), 0u);
  }
}

// Text typed into a saved document's cell is unsaved before the editor is
// left: it is written, and the next keystroke does not take it away again.
TEST_F(RecoveryTest, EditUnderWayCountsAsUnsaved) {
  TypeIntoFirstCell("ab", true);
  ASSERT_FALSE(DocumentModified());
  Recovery().WriteNow(true);
  QTest::keyClicks(Form->Editor, "c");
  EXPECT_TRUE(Recovery().Writer().HasEntry());
  TRecoveryScan none = ScanRecoveryFolder(Folder(), false);
  EXPECT_TRUE(none.Entries.empty()) << "the entry of a running editor was offered";
  TTable written;
  LoadTableFile(written, Recovery().Writer().DataPath());
  EXPECT_EQ(written.GetCell(0, 0)->Text(), "ab");
}

TEST_F(RecoveryTest, IntervalZeroWritesNothing) {
  RecoveryInterval = 0;
  TypeIntoFirstCell("x");
  EXPECT_FALSE(Recovery().Armed());
  Recovery().WriteNow(true);
  EXPECT_EQ(Recovery().Writer().WriteCount(), 0);
  EXPECT_EQ(FilesInFolder(), 0u);
}

// The desktop session ending may kill the editor without closing its
// window: the unsaved changes are written at once, not an interval later.
TEST_F(RecoveryTest, SessionEndWritesAtOnce) {
  SetSettingsFactory([] { return std::make_unique<TMemorySettings>(); });
  {
    TAppData data(*Form, Code);
    TypeIntoFirstCell("x");
    EXPECT_EQ(FilesInFolder(), 0u);
    data.CommitData(nullptr);
    EXPECT_EQ(FilesInFolder(), 3u);
  }
  SetSettingsFactory(nullptr);
}

// A folder that cannot be written is reported once, not at every interval
// while the user goes on typing.
TEST_F(RecoveryTest, WriteFailureIsShownOnce) {
  const std::string notAFolder = Docs.File("file");
  WriteBytes(notAFolder, "");
  TRecoveryController recovery([] { return true; }, notAFolder + "/recovery");
  for (int i = 0; i < 2; ++i) {
    recovery.WriteNow(true);
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(Script.Errors.size(), 1u);
  EXPECT_EQ(Script.Errors[0].rfind("Cannot write the recovery data: Cannot create folder " + notAFolder, 0), 0u)
      << Script.Errors[0];
  Script.Errors.clear();
}

// An entry of an editor that ended, holding "recovered" for file.
TRecoveryEntry EndedEditorsEntry(TTable& table, const std::string& file) {
  {
    TRecoveryWriter ended(Folder());
    table.GetCell(0, 0)->SetText("recovered");
    ended.Submit(Snapshots::TSnapshot::Capture(table, nullptr), TRecoveryInfo{file, "t", 0, 0});
    ended.Flush();
  }
  table.GetCell(0, 0)->SetText("");
  std::vector<TRecoveryEntry> entries = ScanRecoveryFolder(Folder(), true).Entries;
  EXPECT_EQ(entries.size(), 1u);
  return entries.empty() ? TRecoveryEntry{} : entries[0];
}

// The entry a document is recovered from is written on by this editor (one
// entry, never two copies of the same changes) and goes once the changes
// are saved - with recovery data off too.
TEST_F(RecoveryTest, RecoveredEntryGoesOnceSaved) {
  const std::string file = Docs.File("t.qtor");
  for (const int interval : {kDefaultRecoveryInterval, 0}) {
    SCOPED_TRACE(interval);
    Stop();
    Start();
    SaveTableFile(Table(), file);
    const TRecoveryEntry entry = EndedEditorsEntry(Table(), file);
    RecoveryInterval = interval;
    FinishRecovery(*Form, entry);
    EXPECT_EQ(Cell(0, 0)->Text(), "recovered");
    TypeIntoFirstCell("more");
    Recovery().WriteNow(true);
    EXPECT_EQ(FilesInFolder(), 3u);
    EXPECT_EQ(Recovery().Writer().DataPath(), entry.DataPath);
    EXPECT_TRUE(Run(Form->bSave));
    EXPECT_EQ(FilesInFolder(), 0u);
  }
}

// Answering No to the save question - another file opened over the
// recovered document, the window closed, every change undone - must not
// delete the recovered work: it stays for the next start, with what was
// typed since.
TEST_F(RecoveryTest, RecoveredWorkSurvivesNo) {
  const std::string file = Docs.File("t.qtor"), other = Docs.File("other.qtor");
  struct Case {
    const char* Name;
    std::function<void()> Act;
  };
  const Case cases[] = {
      {"open another after No",
       [&] {
         Script.Answers = {TSaveAnswer::No};
         Form->RunCommand([&] { OpenFile(other); });
       }},
      {"No at close",
       [&] {
         Script.Answers = {TSaveAnswer::No};
         EXPECT_TRUE(Form->close());
       }},
      {"undo to the file's state", [&] { EXPECT_TRUE(Run(Form->bUndo)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Stop();
    Start();
    SaveTableFile(Table(), file);
    SaveTableFile(Table(), other);
    {
      const TRecoveryEntry entry = EndedEditorsEntry(Table(), file);
      FinishRecovery(*Form, entry);
    }
    Recovery().WriteNow(true);
    c.Act();
    Stop();
    const TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
    ASSERT_EQ(scan.Entries.size(), 1u);
    TTable back;
    LoadRecoveryData(scan.Entries[0], back);
    EXPECT_EQ(back.GetCell(0, 0)->Text(), "recovered");
    DiscardRecoveryEntry(scan.Entries[0]);
  }
  Start();
}

// Started with a file after a crash (as a file manager starts it), Recover
// of that same file is its open: opening it as well would show the save
// question at once and, on No, put the file's old content over the
// recovered work. The name on the command line may be relative.
TEST_F(RecoveryTest, RecoverOfTheCommandLineFileIsItsOpen) {
  const std::string file = Docs.File("t.qtor"), other = Docs.File("other.qtor");
  TRecoveryEntry entry;
  entry.Info.FileName = file;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(Docs.Path());
  EXPECT_EQ(StartUpFile("t.qtor", entry), "");
  EXPECT_EQ(StartUpFile("./t.qtor", entry), "");
  EXPECT_EQ(StartUpFile(file, entry), "");
  std::filesystem::create_directory(Docs.File("sub"));
  WriteBytes(file, "");
  EXPECT_EQ(StartUpFile("sub/../t.qtor", entry), "");
  EXPECT_EQ(StartUpFile("other.qtor", entry), other);
  EXPECT_EQ(StartUpFile("t.qtor", std::nullopt), file);
  entry.Info.FileName.clear();  // an untitled document was recovered
  EXPECT_EQ(StartUpFile("t.qtor", entry), file);
  EXPECT_EQ(StartUpFile("", entry), "");
  std::filesystem::current_path(cwd);
}

// ---------------------------------------------------------------- the start-up dialog

// Save As writes the entry's table where the user says and removes the
// entry; Discard asks first and removes it; the dialog closes when nothing
// is left, with nothing chosen to recover.
TEST_F(RecoveryTest, DialogSavesAsAndDiscards) {
  for (const char* text : {"first", "second"}) {
    TRecoveryWriter writer(Folder());
    Cell(0, 0)->SetText(text);
    writer.Submit(Snapshots::TSnapshot::Capture(Table(), nullptr), TRecoveryInfo{"", "Untitled", 0, 0});
    writer.Flush();
  }
  TRecoveryForm form(ScanRecoveryFolder(Folder(), true).Entries, &Script);
  ASSERT_EQ(form.List->topLevelItemCount(), 2);
  EXPECT_EQ(form.List->topLevelItem(0)->text(0), "Untitled");

  const std::string target = Docs.File("saved.qtor");
  Script.SaveChoices = {target};
  form.List->setCurrentItem(form.List->topLevelItem(0));
  form.bSaveAsClick();
  ASSERT_EQ(form.Entries().size(), 1u);
  TTable saved;
  LoadTableFile(saved, target);
  const std::string savedText = saved.GetCell(0, 0)->Text();
  EXPECT_TRUE(savedText == "first" || savedText == "second");

  Answer<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  form.bDiscardClick();
  EXPECT_TRUE(form.Entries().empty());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.Chosen());
  EXPECT_EQ(FilesInFolder(), 0u);
}

}  // namespace
