#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/ScriptedUI.h"
#include "model/FileTestUtil.h"
#include "document/AppModule.h"
#include "document/AppSettings.h"
#include "document/DocumentFiles.h"
#include "document/Recovery.h"
#include "model/AtomicFile.h"
#include "latex/TabToLatex.h"
#include "undo/UndoBuffers.h"

namespace fs = std::filesystem;

namespace {

// The file helpers of the model's tests, under the names used here.
std::string ReadFile(const fs::path& p) { return ReadBytes(p.string()); }
void WriteFile(const fs::path& p, const std::string& data) { WriteBytes(p.string(), data); }

bool IsNative(const std::string& bytes) { return bytes.size() > 4 && bytes[3] == 0x01; }

class AppModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("quiltor-doc-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    CreateUndoBuffer();
    StartAppModule();
    SetDocumentUI(&UI);
    OpenDialog.FilterIndex = SaveDialog.FilterIndex = 1;
    OpenDialog.DefaultExt = SaveDialog.DefaultExt = "";
    OpenDialog.InitialDir = SaveDialog.InitialDir = "";
  }
  void TearDown() override {
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
    fs::remove_all(Dir);
  }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  // An edit as the commands make one: change the table, then record it.
  void Edit(const std::string& text) {
    CurrentTable->GetCell(0, 0)->SetText(text);
    RecordUndo("Typing " + text);
  }
  std::string Cell(int r, int c) const { return CurrentTable->GetCell(r, c)->Text(); }

  fs::path Dir;
  TScriptedUI UI;
};

}  // namespace

TEST_F(AppModuleTest, StartsWithAnUnmodifiedFourByFourUntitledDocument) {
  EXPECT_EQ(CurrentTable->RowCount(), 4);
  EXPECT_EQ(CurrentTable->ColCount(), 4);
  EXPECT_EQ(CurrentTable->Title, "Untitled");
  EXPECT_EQ(CurrentTable->FileName, "");
  EXPECT_EQ(UndoCount(), 0);
  EXPECT_EQ(UndoBuffer->EntryAt(0)->Caption, "Initial State");
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(UI.Caption, "");  // no window yet when the document was made
  // A command-line file that does not exist changes nothing and asks nothing.
  Edit("x");
  EXPECT_FALSE(OpenFile(Path("missing.qtor")));
  EXPECT_TRUE(UI.Questions.empty());
  EXPECT_EQ(CurrentTable->Title, "Untitled");
  EXPECT_EQ(Cell(0, 0), "x");
}

TEST_F(AppModuleTest, SaveOfANewDocumentAsksForANameThenSavesNatively) {
  Edit("a");
  UI.SaveChoices = {"", Path("t.qtor")};
  EXPECT_FALSE(SaveDocument());
  ASSERT_EQ(UI.SaveProposals.size(), 1u);
  EXPECT_EQ(UI.SaveProposals[0], (std::pair<std::string, int>{"Untitled", 1}));
  EXPECT_TRUE(DocumentModified());
  EXPECT_FALSE(fs::exists(Path("t.qtor")));

  EXPECT_TRUE(SaveDocument());
  EXPECT_TRUE(IsNative(ReadFile(Path("t.qtor"))));
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(CurrentTable->FileName, Path("t.qtor"));
  EXPECT_EQ(UI.Caption, "Quiltor - t");
  EXPECT_EQ(SaveDialog.InitialDir, Dir.string() + "/");
  EXPECT_EQ((*RecentFiles)[0], Path("t.qtor"));

  // Saving again goes straight to the file, and the document is saved.
  Edit("b");
  EXPECT_TRUE(SaveDocument());
  EXPECT_EQ(UI.SaveProposals.size(), 2u);
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(UI.Caption, "Quiltor - t");
  EXPECT_TRUE(NewDocument(1, 1));  // nothing left to ask about
  EXPECT_TRUE(UI.Questions.empty());
}

TEST_F(AppModuleTest, FormatFollowsTheExactExtension) {
  struct Case {
    const char* name;
    const char* expected;  // text written, or nullptr for the native format
  } cases[] = {
      {"a.csv", "a,b,,\r\n"},
      {"a.txt", "a\tb\t\t\r\n"},
      // The native format only under its own extension, which names the
      // program knows no format for get.
      {"a.TXT", nullptr},
      {"a.CSV", nullptr},
      {"a", nullptr},
  };
  NewDocument(1, 4);
  CurrentTable->GetCell(0, 0)->SetText("a");
  CurrentTable->GetCell(0, 1)->SetText("b");
  RecordUndo("Typing");
  for (const Case& c : cases) {
    UI.SaveChoices = {Path(c.name)};
    ASSERT_TRUE(SaveDocumentAs()) << c.name;
    const std::string bytes = ReadFile(Path(c.expected ? c.name : std::string(c.name) + ".qtor"));
    if (c.expected) EXPECT_EQ(bytes, c.expected) << c.name;
    else EXPECT_TRUE(IsNative(bytes)) << c.name;
  }
}

TEST_F(AppModuleTest, SaveAsFromACsvDocumentProposesItsNameAndType) {
  WriteFile(Path("prices.csv"), "apple,1.20\r\npear,0.80\r\n");
  ASSERT_TRUE(OpenFile(Path("prices.csv")));
  EXPECT_EQ(CurrentTable->Title, "prices");
  UI.SaveChoices = {Path("table.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  EXPECT_EQ(UI.SaveProposals[0], (std::pair<std::string, int>{"prices.csv", 2}));
  EXPECT_EQ(UI.Caption, "Quiltor - table");
  EXPECT_TRUE(IsNative(ReadFile(Path("table.qtor"))));
}

TEST_F(AppModuleTest, SaveOfADeletedFileAsksLikeSaveAs) {
  UI.SaveChoices = {Path("gone.txt")};
  ASSERT_TRUE(SaveDocumentAs());
  fs::remove(Path("gone.txt"));
  Edit("x");
  UI.SaveChoices = {""};
  EXPECT_FALSE(SaveDocument());
  ASSERT_EQ(UI.SaveProposals.size(), 2u);
  EXPECT_EQ(UI.SaveProposals[1], (std::pair<std::string, int>{"gone", 3}));
}

TEST_F(AppModuleTest, UnsavedChangesQuestionOnNewAndOpen) {
  UI.SaveChoices = {Path("other.qtor")};
  ASSERT_TRUE(SaveDocumentAs());  // a file to open
  Edit("changed");
  const std::string question = "Confirm|Contents of other has been changed. \r\nDo you want to save changes?";


  // Cancel: nothing happens.
  UI.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(NewDocument(2, 3));
  EXPECT_EQ(UI.Questions.back(), question);
  EXPECT_EQ(Cell(0, 0), "changed");
  UI.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(OpenFile(Path("other.qtor")));
  EXPECT_EQ(Cell(0, 0), "changed");

  // No: the changes are dropped.
  UI.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(OpenFile(Path("other.qtor")));
  EXPECT_EQ(Cell(0, 0), "");
  EXPECT_FALSE(DocumentModified());

  // Yes on a new document shows the save dialog; cancelling it cancels New.
  ASSERT_TRUE(NewDocument(2, 3));  // unmodified: no question
  EXPECT_EQ(CurrentTable->ColCount(), 3);
  EXPECT_EQ(CurrentTable->RowCount(), 2);
  EXPECT_EQ(CurrentTable->FileName, "");
  Edit("new");
  UI.Answers = {TSaveAnswer::Yes};
  UI.SaveChoices = {""};
  EXPECT_FALSE(NewDocument(5, 5));
  EXPECT_EQ(Cell(0, 0), "new");
  EXPECT_EQ(CurrentTable->ColCount(), 3);

  // Yes with a successful save goes on.
  UI.Answers = {TSaveAnswer::Yes};
  UI.SaveChoices = {Path("saved.qtor")};
  ASSERT_TRUE(OpenFile(Path("other.qtor")));
  EXPECT_TRUE(fs::exists(Path("saved.qtor")));
  EXPECT_EQ(CurrentTable->Title, "other");
}

// The state before the save differs from the file: closing or replacing it
// must ask, or the change is lost. Redoing back to the saved state needs no
// question.
TEST_F(AppModuleTest, UndoingPastTheSaveAsksAgain) {
  Edit("a");
  UI.SaveChoices = {Path("s.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  UndoSteps(1);
  EXPECT_TRUE(DocumentModified());
  UI.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(NewDocument(1, 1));
  EXPECT_EQ(UI.Questions.size(), 1u);
  RedoSteps(1);
  EXPECT_FALSE(DocumentModified());
  EXPECT_TRUE(NewDocument(1, 1));
  EXPECT_EQ(UI.Questions.size(), 1u);
}

// Undo and redo across an open or a new table bring back the name of the
// document each state belongs to, so that Save writes where the content came
// from; a state of another document than the saved one counts as modified.
TEST_F(AppModuleTest, UndoAcrossOpenAndNewBringsBackTheDocumentsName) {
  Edit("B");
  UI.SaveChoices = {Path("b.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  Edit("A");
  UI.SaveChoices = {Path("a.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  const std::string fileB = ReadFile(Path("b.qtor"));

  ASSERT_TRUE(OpenFile(Path("b.qtor")));
  UndoSteps(1);
  EXPECT_EQ(Cell(0, 0), "A");
  EXPECT_EQ(CurrentTable->FileName, Path("a.qtor"));
  EXPECT_EQ(CurrentTable->Title, "a");
  EXPECT_EQ(UI.Caption, "Quiltor - a");
  EXPECT_TRUE(DocumentModified());
  ASSERT_TRUE(SaveDocument());  // to a.qtor, not over the opened file
  EXPECT_EQ(ReadFile(Path("b.qtor")), fileB);
  EXPECT_FALSE(DocumentModified());

  RedoSteps(1);
  EXPECT_EQ(Cell(0, 0), "B");
  EXPECT_EQ(CurrentTable->FileName, Path("b.qtor"));
  EXPECT_EQ(UI.Caption, "Quiltor - b");
  EXPECT_TRUE(DocumentModified());  // the last save was of a.qtor

  // Save As renames the opened document's states, not those before the open.
  UI.SaveChoices = {Path("c.csv")};
  ASSERT_TRUE(SaveDocumentAs());
  Edit("C");
  UndoSteps(1);
  EXPECT_EQ(CurrentTable->FileName, Path("c.csv"));
  EXPECT_FALSE(DocumentModified());
  UndoSteps(1);
  EXPECT_EQ(CurrentTable->FileName, Path("a.qtor"));

  // New Table starts a document of its own.
  RedoSteps(2);
  UI.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(NewDocument(2, 2));
  RecordUndo("New Table");
  MarkSaved();
  UndoSteps(1);
  EXPECT_EQ(Cell(0, 0), "C");
  EXPECT_EQ(CurrentTable->FileName, Path("c.csv"));
  EXPECT_EQ(UI.Caption, "Quiltor - c");
  EXPECT_TRUE(DocumentModified());
  RedoSteps(1);
  EXPECT_EQ(CurrentTable->FileName, "");
  EXPECT_EQ(UI.Caption, "Quiltor - Untitled");
  EXPECT_FALSE(DocumentModified());
}

TEST_F(AppModuleTest, RecentFilesNewestFirstWithoutDuplicates) {
  std::vector<std::string> names;
  for (int i = 0; i < 10; ++i) {
    names.push_back(Path("f" + std::to_string(i) + ".qtor"));
    UI.SaveChoices = {names.back()};
    ASSERT_TRUE(SaveDocumentAs());
  }
  ASSERT_EQ(RecentFiles->Count(), 9);
  EXPECT_EQ((*RecentFiles)[0], names[9]);
  EXPECT_EQ((*RecentFiles)[8], names[1]);  // the first file was pushed out

  ASSERT_TRUE(OpenFile(names[5]));
  EXPECT_EQ((*RecentFiles)[0], names[5]);
  EXPECT_EQ(RecentFiles->Count(), 9);

  // A recent entry whose file is gone still moves to the top.
  fs::remove(names[3]);
  EXPECT_FALSE(OpenRecentFile(names[3]));
  EXPECT_EQ(RecentFiles->Count(), 9);
  EXPECT_EQ((*RecentFiles)[0], names[3]);

  // Names differing only in letter case are two files here.
  std::string upper = names[4];
  upper.replace(upper.size() - 7, 2, "F4");
  UI.SaveChoices = {upper};
  ASSERT_TRUE(SaveDocumentAs());
  ASSERT_TRUE(OpenRecentFile(names[4]));
  EXPECT_EQ(CurrentTable->FileName, names[4]);
  EXPECT_EQ((*RecentFiles)[0], names[4]);
  EXPECT_EQ((*RecentFiles)[1], upper);
}

TEST_F(AppModuleTest, DamagedFileLeavesDocumentAndHistoryAlone) {
  UI.SaveChoices = {Path("ok.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  std::string bytes = ReadFile(Path("ok.qtor"));
  WriteFile(Path("bad.qtor"), bytes.substr(0, bytes.size() - 6));
  Edit("mine");
  const int undo = UndoCount();

  UI.Answers = {TSaveAnswer::No};
  EXPECT_THROW(OpenFile(Path("bad.qtor")), EQuiltorError);
  EXPECT_EQ(Cell(0, 0), "mine");
  EXPECT_EQ(CurrentTable->Title, "ok");
  EXPECT_EQ(CurrentTable->FileName, Path("ok.qtor"));
  EXPECT_EQ(UndoCount(), undo);
  EXPECT_EQ(UI.Replaced, 0);
  EXPECT_EQ((*RecentFiles)[0], Path("ok.qtor"));
}

TEST_F(AppModuleTest, FailedSaveKeepsNameTitleCaptionAndModifiedState) {
  UI.SaveChoices = {Path("doc.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  const std::string caption = UI.Caption;
  Edit("x");
  UI.SaveChoices = {Path("no-such-folder/x.csv")};
  EXPECT_THROW(SaveDocumentAs(), EQuiltorError);
  EXPECT_EQ(CurrentTable->FileName, Path("doc.qtor"));
  EXPECT_EQ(CurrentTable->Title, "doc");
  EXPECT_EQ(UI.Caption, caption);
  EXPECT_TRUE(DocumentModified());
}

TEST_F(AppModuleTest, TextOpenShowsAPreviewCroppedAfter200Lines) {
  for (int n : {200, 201}) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "line" + std::to_string(i) + "\n";
    const std::string name = Path("lines" + std::to_string(n) + ".txt");
    WriteFile(name, text);
    UI.ImportDelimiters = "\t";
    ASSERT_TRUE(OpenFile(name));
    const std::vector<std::string>& p = UI.Previews.back();
    ASSERT_EQ(p.size(), n == 200 ? 200u : 201u);
    EXPECT_EQ(p[199], "line200");
    if (n == 201) {
      EXPECT_EQ(p[200], "... contents of the file has been cropped for faster preview.");
    }
    EXPECT_EQ(CurrentTable->RowCount(), n);  // the import itself reads every line
  }
}

TEST_F(AppModuleTest, TextOpenImportsWithTheChosenDelimiters) {
  CurrentTable->Environment = "array";
  WriteFile(Path("data.csv"), "a;b,c\r\nd");
  WriteFile(Path("empty.csv"), "");
  EXPECT_FALSE(OpenFile(Path("empty.csv")));  // no lines: no dialog, no change
  EXPECT_TRUE(UI.Previews.empty());

  UI.ImportOk = false;
  EXPECT_FALSE(OpenFile(Path("data.csv")));
  EXPECT_EQ(CurrentTable->ColCount(), 4);

  UI.ImportOk = true;
  UI.ImportDelimiters = ";";
  ASSERT_TRUE(OpenFile(Path("data.csv")));
  EXPECT_EQ(UI.Previews.back(), (std::vector<std::string>{"a;b,c", "d"}));
  EXPECT_EQ(CurrentTable->ColCount(), 2);
  EXPECT_EQ(Cell(0, 1), "b,c");
  EXPECT_EQ(Cell(1, 1), "");
  EXPECT_EQ(CurrentTable->Environment, "tabular");
  EXPECT_EQ(UndoCaption(0), "Opening file");
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(UI.Replaced, 1);

  // Opening is a step of its own: undo brings the old content back, with
  // the old document's name.
  UndoSteps(1);
  EXPECT_EQ(CurrentTable->ColCount(), 4);
  EXPECT_EQ(CurrentTable->FileName, "");
  EXPECT_EQ(CurrentTable->Title, "Untitled");
}

// A NUL byte ends the imported text; the dialog tells where, and only then.
TEST_F(AppModuleTest, TextOpenWarnsAboutANulByte) {
  WriteFile(Path("nul.csv"), std::string("a,b\r\nc\0,d\r\ne\r\n", 11));
  WriteFile(Path("clean.csv"), "a,b\r\n");
  ASSERT_TRUE(OpenFile(Path("clean.csv")));
  EXPECT_EQ(UI.Warnings.back(), "");
  ASSERT_TRUE(OpenFile(Path("nul.csv")));
  EXPECT_EQ(UI.Warnings.back(), NulCutWarning(6));
  EXPECT_NE(UI.Warnings.back().find("cut at byte 6"), std::string::npos);
  EXPECT_EQ(CurrentTable->RowCount(), 2);
}

// A name typed without extension in the Open dialog means the file of the
// selected type, unless a file of exactly that name exists.
TEST_F(AppModuleTest, OpenDialogTriesTheDefaultExtension) {
  UI.SaveChoices = {Path("fancy.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  OpenDialog.DefaultExt = "qtor";
  UI.OpenChoices = {Path("fancy")};
  ASSERT_TRUE(OpenDocument());
  EXPECT_EQ(CurrentTable->FileName, Path("fancy.qtor"));

  fs::copy_file(Path("fancy.qtor"), Path("fancy"));
  UI.OpenChoices = {Path("fancy")};
  ASSERT_TRUE(OpenDocument());
  EXPECT_EQ(CurrentTable->FileName, Path("fancy"));
}

// A FIFO would block the window for good and /dev/zero would fill the
// memory: only regular files open. Each case runs in a child under an alarm,
// so that a regression fails instead of hanging the suite.
TEST_F(AppModuleTest, NonRegularFilesAreRefusedBeforeAnything) {
  ASSERT_EQ(::mkfifo(Path("pipe.qtor").c_str(), 0600), 0);
  UI.SaveChoices = {Path("mine.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  Edit("mine");
  for (const std::string& name : {Path("pipe.qtor"), std::string("/dev/zero"), Path("")}) {
    SCOPED_TRACE(name);
    for (const bool recent : {false, true}) {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::alarm(10);
        int code = 0;
        try {
          recent ? OpenRecentFile(name) : OpenFile(name);
          code = 1;  // no error raised
        } catch (const EQuiltorError& e) {
          if (std::string(e.what()).rfind("Cannot open file " + name, 0) != 0) code = 2;
        }
        if (!UI.Questions.empty()) code = 3;
        if (Cell(0, 0) != "mine" || CurrentTable->FileName != Path("mine.qtor") || !DocumentModified() ||
            UndoCaption(0) != "Typing mine" || UI.Replaced != 0)
          code = 4;
        ::_exit(code);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
      EXPECT_EQ(WEXITSTATUS(status), 0) << (recent ? "recent file" : "open");
    }
  }
}

TEST_F(AppModuleTest, DialogTypeChangesSetTheDefaultExtension) {
  const char* open[] = {"qtor", "qtor", "csv", "qtor"};
  const char* save[] = {"qtor", "csv", "txt", "qtor"};
  for (int i = 1; i <= 4; ++i) {
    OpenDialogTypeChange(i);
    SaveDialogTypeChange(i);
    EXPECT_EQ(OpenDialog.DefaultExt, open[i - 1]);
    EXPECT_EQ(SaveDialog.DefaultExt, save[i - 1]);
  }
  EXPECT_EQ(FileTitle("/a/b.c/name.tar.gz"), "name.tar");
  EXPECT_EQ(ExtractFileExt("/a/b.c/name"), "");
  EXPECT_EQ(ExtractFilePath("/a/b.c/name"), "/a/b.c/");
}

namespace {

// pdflatex's verdict on a tabular inside the smallest document; "" when it
// compiled, else its error lines. A machine without pdflatex fails: a
// skipped check would look like a passed one.
std::string PdfLatexErrors(const fs::path& dir, const std::vector<std::string>& code) {
  std::string doc = "\\documentclass{article}\n\\begin{document}\n";
  for (const std::string& line : code) doc += line + "\n";
  doc += "\\end{document}\n";
  WriteFile(dir / "case.tex", doc);
  const std::string command = "cd '" + dir.string() +
                              "' && pdflatex -interaction=nonstopmode -halt-on-error -no-shell-escape case.tex"
                              " </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(dir / "case.pdf")) return "";
  std::string errors;
  std::istringstream log(ReadFile(dir / "case.log"));
  for (std::string line; std::getline(log, line);)
    if (line.rfind("!", 0) == 0) errors += line + "\n";
  return (errors.empty() ? "pdflatex failed (is it installed?)\n" : errors) + doc;
}

}  // namespace

// What a spreadsheet writes: a byte-order mark, quotes only around the
// cells that hold a comma, a quote or a line break. Faults caught: the
// quoted box not ticked by itself (the 3-column export would open as 5
// columns, with quote marks in the cells); a plain file ticked; the escape
// choice not reaching the import; special characters reaching the LaTeX
// unescaped, where pdflatex fails on them.
TEST_F(AppModuleTest, SpreadsheetCsvOpensAsTheSameGridAndItsLatexCompiles) {
  const std::string csv =
      "\xEF\xBB\xBFProduct,Price,Note\r\n"
      "Kiwis & Co,50%,\"green, \"\"fresh\"\"\r\nand sweet\"\r\n"
      "x_1,$3,\"#{tag} ~ ^ \\\"\r\n"
      ",,\r\n";
  WriteFile(Path("export.csv"), csv);
  ASSERT_TRUE(OpenFile(Path("export.csv")));
  ASSERT_EQ(UI.QuotedSuggested.size(), 1u);
  EXPECT_TRUE(UI.QuotedSuggested[0]);
  const std::vector<std::vector<std::string>> grid = {
      {"Product", "Price", "Note"},
      {"Kiwis & Co", "50%", "green, \"fresh\"\r\nand sweet"},
      {"x_1", "$3", "#{tag} ~ ^ \\"},
      {"", "", ""}};
  ASSERT_EQ(CurrentTable->RowCount(), 4);
  ASSERT_EQ(CurrentTable->ColCount(), 3);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Cell(r, c), grid[static_cast<size_t>(r)][static_cast<size_t>(c)]) << r << "," << c;

  UI.ImportEscape = true;
  ASSERT_TRUE(OpenFile(Path("export.csv")));
  EXPECT_EQ(Cell(2, 2), "\\#\\{tag\\} \\textasciitilde{} \\textasciicircum{} \\textbackslash{}");
  std::vector<std::string> latex;
  TableToLatex(*CurrentTable, latex);
  const fs::path tex = Dir / "tex";
  fs::create_directories(tex);
  EXPECT_EQ(PdfLatexErrors(tex, latex), "");

  WriteFile(Path("plain.csv"), "He said \"hi\",x\r\n");
  ASSERT_TRUE(OpenFile(Path("plain.csv")));
  EXPECT_FALSE(UI.QuotedSuggested.back());
  EXPECT_EQ(Cell(0, 0), "He said \"hi\"");
}

namespace {

// Runs in folder, then returns to the folder it came from.
class TInFolder {
 public:
  explicit TInFolder(const fs::path& folder) : FOld(fs::current_path()) { fs::current_path(folder); }
  ~TInFolder() { fs::current_path(FOld); }

 private:
  fs::path FOld;
};

void SaveOneCellTable(const std::string& path, const std::string& text) {
  TTable t;
  new TColumn(t);
  t.AddRow();
  t.GetCell(0, 0)->SetText(text);
  WriteDocumentFile(t, path);
}

std::string FirstCellOf(const std::string& path) {
  TTable t;
  ReadNativeFile(t, path);
  return t.GetCell(0, 0)->Text();
}

}  // namespace

// A name kept as given (relative) names another file once the program
// runs in another folder: the document, the recent files, Save As and the
// recovery data must all hold the absolute name. A recovered document is
// saved to its own file, not to the file of that name in this run's folder.
TEST_F(AppModuleTest, FileNamesAreKeptAbsolute) {
  fs::create_directories(Dir / "a/tables");
  fs::create_directories(Dir / "b/tables");
  SaveOneCellTable(Path("a/tables/t.qtor"), "a");
  SaveOneCellTable(Path("b/tables/t.qtor"), "b");
  const std::string recoveryFolder = Path("recovery");
  {
    TInFolder in(Dir / "a");
    ASSERT_TRUE(OpenFile("tables/./t.qtor"));
    EXPECT_EQ(CurrentTable->FileName, Path("a/tables/t.qtor"));
    EXPECT_EQ((*RecentFiles)[0], Path("a/tables/t.qtor"));
    Edit("edited");
    // What the window's recovery writes for the document.
    TRecoveryWriter writer(recoveryFolder);
    writer.Submit(Snapshots::TSnapshot::Capture(*CurrentTable, nullptr),
                  TRecoveryInfo{CurrentTable->FileName, CurrentTable->Title, 0, 0});
    writer.Flush();
    UI.SaveChoices = {"copy.qtor"};
    ASSERT_TRUE(SaveDocumentAs());
    EXPECT_EQ(CurrentTable->FileName, Path("a/copy.qtor"));
  }
  TInFolder in(Dir / "b");
  const TRecoveryScan scan = ScanRecoveryFolder(recoveryFolder, true);
  ASSERT_EQ(scan.Entries.size(), 1u);
  EXPECT_EQ(RecoveryListing(scan).find("a/tables/t.qtor") != std::string::npos, true);
  RecoverDocument(scan.Entries[0]);
  ASSERT_TRUE(SaveDocument());
  EXPECT_EQ(FirstCellOf(Path("a/tables/t.qtor")), "edited");
  EXPECT_EQ(FirstCellOf(Path("b/tables/t.qtor")), "b");

  // A name stored relative by an older version names no certain file:
  // Save asks for one.
  TRecoveryEntry old = scan.Entries[0];
  old.Info.FileName = "tables/t.qtor";
  RecoverDocument(old);
  EXPECT_EQ(CurrentTable->FileName, "");
  UI.SaveChoices = {""};
  EXPECT_FALSE(SaveDocument());
  EXPECT_EQ(FirstCellOf(Path("b/tables/t.qtor")), "b");
}

// If an import that changed the texts kept the file's name, Save would
// write the changes (escapes, or the end cut at a NUL) over the source.
TEST_F(AppModuleTest, ImportThatChangedTheTextsLeavesTheDocumentUnnamed) {
  WriteFile(Path("data.csv"), "a&b,c\r\n");
  WriteFile(Path("nul.csv"), std::string("a,b\r\nc\0,d\r\n", 11));
  struct Case {
    const char* File;
    bool Escape;
    bool Named;
  } cases[] = {{"data.csv", false, true}, {"data.csv", true, false}, {"nul.csv", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.File) + (c.Escape ? " escaped" : ""));
    UI.ImportEscape = c.Escape;
    ASSERT_TRUE(OpenFile(Path(c.File)));
    EXPECT_EQ(CurrentTable->FileName, c.Named ? Path(c.File) : "");
    EXPECT_EQ(CurrentTable->Title, FileTitle(c.File));
  }
  EXPECT_EQ(Cell(0, 0), "a");
  Edit("x");
  UI.SaveChoices = {""};
  EXPECT_FALSE(SaveDocument());
  EXPECT_EQ(ReadFile(Path("data.csv")), "a&b,c\r\n");
  EXPECT_EQ(UI.SaveProposals.back().first, "nul");
}

// A copy left beside a file by an in-place save that was cut short is the
// file's last whole content: the open says so and offers it. Taken, the
// document is unnamed (Save must not silently put it over the file).
TEST_F(AppModuleTest, CopyLeftByACutSaveIsOffered) {
  const std::string file = Path("t.qtor");
  SaveOneCellTable(file, "mixed");
  SaveOneCellTable(InPlaceBackupName(file), "whole");
  Edit("unsaved");
  UI.Answers = {TSaveAnswer::No, TSaveAnswer::Cancel};
  EXPECT_FALSE(OpenFile(file));
  EXPECT_EQ(Cell(0, 0), "unsaved");
  ASSERT_EQ(UI.Questions.size(), 2u);
  EXPECT_EQ(UI.Questions[1].rfind("Interrupted Save|A save of t.qtor was cut short", 0), 0u) << UI.Questions[1];

  UI.Answers = {TSaveAnswer::No, TSaveAnswer::Yes};
  ASSERT_TRUE(OpenFile(file));
  EXPECT_EQ(Cell(0, 0), "whole");
  EXPECT_EQ(CurrentTable->FileName, "");
  EXPECT_EQ(CurrentTable->Title, "t");

  UI.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(OpenFile(file));
  EXPECT_EQ(Cell(0, 0), "mixed");
  EXPECT_EQ(CurrentTable->FileName, file);
  EXPECT_TRUE(UI.Answers.empty());
}

// If the start-up state were recorded before the settings gave the
// document its environment, undoing the first edit would take the
// environment back to the built-in one.
TEST_F(AppModuleTest, UndoOfTheFirstEditKeepsTheSettingsEnvironment) {
  TAppSettings values;
  values.LastEnvironment = "array";
  values.LastEnvOptions = "[t]";
  ApplyDocumentSettings(values);
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(UndoBuffer->Count(), 1);
  Edit("x");
  UndoSteps(1);
  EXPECT_EQ(Cell(0, 0), "");
  EXPECT_EQ(CurrentTable->Environment, "array");
  EXPECT_EQ(CurrentTable->EnvOptions, "[t]");
  EXPECT_FALSE(DocumentModified());
}
