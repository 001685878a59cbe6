// Tables of LaTeX files edited where they live, and the questions Save and
// Save As ask before they replace anything.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/ScriptedUI.h"
#include "model/FileTestUtil.h"
#include "document/AppModule.h"
#include "document/DocumentFiles.h"
#include "document/PaperTable.h"
#include "latex/TabToLatex.h"
#include "undo/UndoBuffers.h"

namespace fs = std::filesystem;

namespace {

// The file helpers of the model's tests, under the names used here.
std::string ReadFile(const fs::path& p) { return ReadBytes(p.string()); }
void WriteFile(const fs::path& p, const std::string& data) { WriteBytes(p.string(), data); }

std::string Crlf(std::string s) {
  std::string out;
  for (const char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A paper with three tables; the second sits in a float with a caption.
const std::string kPaper =
    "\\documentclass{article}\n"
    "\\begin{document}\n"
    "Intro % a comment\n"
    "\\begin{tabular}{ll}\n"
    "a & b \\\\\n"
    "\\end{tabular}\n"
    "\n"
    "\\begin{table}[h]\n"
    "  \\centering\n"
    "  \\begin{tabular}{|l|r|}\n"
    "  \\hline\n"
    "  x & 1 \\\\\n"
    "  y & 2 \\\\\n"
    "  \\hline\n"
    "  \\end{tabular}\n"
    "  \\caption{Prices}\n"
    "\\end{table}\n"
    "\n"
    "\\begin{tabular}{c}\n"
    "z \\\\\n"
    "\\end  {tabular}\n"
    "\\end{document}\n";

class PaperTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("quiltor-paper-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    CreateUndoBuffer();
    StartAppModule();
    SetDocumentUI(&UI);
    SaveDialog.FilterIndex = 1;
    SaveDialog.InitialDir = "";
  }
  void TearDown() override {
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
    fs::remove_all(Dir);
  }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  void Edit(int r, int c, const std::string& text) {
    CurrentTable->GetCell(r, c)->SetText(text);
    RecordUndo("Typing " + text);
  }
  // The source of table number (1-based) of bytes.
  static std::string TableSource(const std::string& bytes, int number) {
    const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
    const TLatexTableSource& t = tables.at(static_cast<size_t>(number - 1));
    return bytes.substr(t.Begin, TableSourceEnd(bytes, t) - t.Begin);
  }
  // Everything but table number's source.
  static std::pair<std::string, std::string> Around(const std::string& bytes, int number) {
    const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
    const TLatexTableSource& t = tables.at(static_cast<size_t>(number - 1));
    return {bytes.substr(0, t.Begin), bytes.substr(TableSourceEnd(bytes, t))};
  }

  fs::path Dir;
  TScriptedUI UI;
};

}  // namespace

// If the splice moved a byte outside the table, or wrote LF into a CR LF
// paper, or dropped the byte-order mark, the text around the table differs.
TEST_F(PaperTableTest, SaveChangesOnlyTheTablesBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    int table;
    int changedLines;  // a diff shows these alone: the code keeps the source's layout
  } cases[] = {
      {"lf.tex", kPaper, 2, 1},
      {"crlf.tex", Crlf(kPaper), 2, 1},
      {"utf8.tex", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\n" + kPaper + "\xE2\x80\x94 Ende\n", 2, 1},
      {"latin1.tex", "Gr\xFC\xDF" "e\n" + kPaper, 3, 2},  // and "\end  {" in Quiltor's style
      {"last.tex", "\\begin{tabular}{l}\nq\\\\\n\\end{tabular}", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Path(c.name), c.bytes);
    ASSERT_TRUE(OpenFile(Path(c.name), c.table));
    EXPECT_EQ(UI.Caption, std::string("Quiltor - ") + c.name + " (table " + std::to_string(c.table) + ")");
    Edit(0, 0, "new");
    ASSERT_TRUE(SaveDocument());
    EXPECT_FALSE(DocumentModified());
    const std::string saved = ReadFile(Path(c.name));
    EXPECT_EQ(Around(saved, c.table), Around(c.bytes, c.table));
    const std::string source = TableSource(saved, c.table);
    EXPECT_NE(source.find("new"), std::string::npos);
    std::istringstream was(c.bytes), now(saved);
    int changed = 0;
    for (std::string a, b; std::getline(was, a) && std::getline(now, b);) changed += a != b;
    EXPECT_EQ(changed, c.changedLines);
    const bool crlf = c.bytes.find("\r\n") != std::string::npos;
    EXPECT_EQ(source.find('\n') != std::string::npos && source.find("\r\n") != std::string::npos, crlf);
    const std::vector<TLatexTableSource> old = FindPaperTables(c.bytes);
    const TLatexTableSource& t = old[static_cast<size_t>(c.table - 1)];
    EXPECT_EQ(TableCode(*CurrentTable, CodeLayoutOf(c.bytes, t.Begin, TableSourceEnd(c.bytes, t)), false), source);
    // A second save finds the table where the first one put it.
    Edit(0, 0, "newer");
    ASSERT_TRUE(SaveDocument());
    EXPECT_EQ(Around(ReadFile(Path(c.name)), c.table), Around(c.bytes, c.table));
    EXPECT_TRUE(UI.Asked.empty());
  }
}

// A paper's \multirow tables read as blocks. If the code written back for
// an unedited block differed from what the paper says (its arguments, the
// \multicolumn around it, the empty cells below, the \cline or \cmidrule
// beside it), saving one changed cell elsewhere would rewrite more lines of
// the paper than that cell's, and would ask about approximations.
TEST_F(PaperTableTest, MultirowTablesKeepTheirLines) {
  const std::string paper =
      "\\documentclass{article}\n"
      "\\usepackage{multirow,booktabs}\n"
      "\\begin{document}\n"
      "\\begin{tabular}{|l|l|l|}\n"
      "\\hline\n"
      "\\multirow{2}{*}{Group} & x & 1 \\\\\n"
      "\\cline{2-3}\n"
      " & y & 2 \\\\\n"
      "\\hline\n"
      "\\multicolumn{2}{|c|}{\\multirow[t]{2}{=}[1ex]{Wide}} & 3 \\\\\n"
      "\\cline{3-3}\n"
      "\\multicolumn{2}{|c|}{} & 4 \\\\\n"
      "\\hline\n"
      "u & v & 5 \\\\\n"
      "\\hline\n"
      "\\end{tabular}\n"
      "\n"
      "\\begin{table}[t]\n"
      "  \\centering\n"
      "  \\begin{tabular}{llr}\n"
      "  \\toprule\n"
      "  \\multirow{3}{*}{Model} & a & 1 \\\\\n"
      "  \\cmidrule(l){2-3}\n"
      "   & b & 2 \\\\\n"
      "   & c & 3 \\\\\n"
      "  \\bottomrule\n"
      "  \\end{tabular}\n"
      "\\end{table}\n"
      "\\end{document}\n";
  struct Case {
    int table;
    int row, col;  // the cell edited, outside the blocks
  } cases[] = {{1, 4, 2}, {2, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    WriteFile(Path("m.tex"), paper);
    ASSERT_TRUE(OpenFile(Path("m.tex"), c.table));
    ASSERT_EQ(TableDefect(*CurrentTable), "");
    ASSERT_GT(CurrentTable->GetCell(0, 0)->RowSpan, 1);
    Edit(c.row, c.col, "new");
    ASSERT_TRUE(SaveDocument());
    EXPECT_TRUE(UI.Asked.empty()) << UI.Asked.front();
    const std::string saved = ReadFile(Path("m.tex"));
    std::istringstream was(paper), now(saved);
    int changed = 0;
    std::string diff;
    for (std::string a, b; std::getline(was, a) && std::getline(now, b);) {
      if (a != b) diff += "was: " + a + "\nnow: " + b + "\n";
      changed += a != b;
    }
    EXPECT_EQ(changed, 1) << diff;
    UI.Asked.clear();
  }
}

// The table's float is read with it. Saved back, the float must be written
// once: a second float inside the paper's own cannot typeset, and a float
// the user changed must replace the old one, not sit beside it.
TEST_F(PaperTableTest, FloatOfThePaperIsWrittenOnce) {
  const auto count = [](const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
  };
  WriteFile(Path("f.tex"), kPaper);
  ASSERT_TRUE(OpenFile(Path("f.tex"), 2));
  ASSERT_EQ(CurrentTable->Style.Float.Caption, "Prices");
  Edit(0, 0, "cell");
  ASSERT_TRUE(SaveDocument());
  std::string saved = ReadFile(Path("f.tex"));
  EXPECT_EQ(count(saved, "\\begin{table}"), 1);
  EXPECT_EQ(Around(saved, 2), Around(kPaper, 2));

  CurrentTable->Style.Float.Caption = "Costs";
  RecordUndo("Float");
  ASSERT_TRUE(SaveDocument());
  saved = ReadFile(Path("f.tex"));
  EXPECT_EQ(count(saved, "\\begin{table}"), 1);
  EXPECT_EQ(count(saved, "\\end{table}"), 1);
  EXPECT_EQ(count(saved, "Prices"), 0);
  EXPECT_EQ(count(saved, "\\caption{Costs}"), 1);
  EXPECT_NE(saved.find("\\end{document}"), std::string::npos);
  // And the next save finds the table again where the float moved it.
  Edit(0, 0, "again");
  ASSERT_TRUE(SaveDocument());
  EXPECT_TRUE(UI.Asked.empty());
  EXPECT_EQ(count(ReadFile(Path("f.tex")), "\\begin{table}"), 1);
}

// If Save did not look at the file again, another program's change would
// be overwritten without a word, or the table written at its old offset.
TEST_F(PaperTableTest, ChangedPaperAsksAndFindsTheTableAnew) {
  WriteFile(Path("p.tex"), kPaper);
  ASSERT_TRUE(OpenFile(Path("p.tex"), 2));
  Edit(0, 0, "edited");
  const std::string changed = "% added by a colleague\n" + kPaper;
  WriteFile(Path("p.tex"), changed);

  UI.AskAnswers = {1};  // No
  EXPECT_FALSE(SaveDocument());
  ASSERT_EQ(UI.Asked.size(), 1u);
  EXPECT_EQ(UI.Asked[0], "p.tex was changed by another program since it was opened. Replace table 2 anyway?");
  EXPECT_EQ(ReadFile(Path("p.tex")), changed);
  EXPECT_TRUE(DocumentModified());

  UI.AskAnswers = {0};  // Yes
  ASSERT_TRUE(SaveDocument());
  const std::string saved = ReadFile(Path("p.tex"));
  EXPECT_EQ(Around(saved, 2), Around(changed, 2));
  EXPECT_NE(TableSource(saved, 2).find("edited"), std::string::npos);

  // The table gone: Save says so and offers Save As.
  WriteFile(Path("p.tex"), "no tables any more\n");
  Edit(0, 0, "again");
  UI.AskAnswers = {0};
  UI.SaveChoices = {Path("copy.qtor")};
  ASSERT_TRUE(SaveDocument());
  EXPECT_EQ(UI.Asked.back(), "Table 2 can no longer be found in p.tex. Save the table under another name?");
  EXPECT_EQ(UI.SaveProposals.back(), (std::pair<std::string, int>{"p.tex", 5}));
  EXPECT_EQ(ReadFile(Path("p.tex")), "no tables any more\n");
  EXPECT_EQ(CurrentTable->FileName, Path("copy.qtor"));
}

// If the style warning were missing, booktabs rules and comments would
// vanish from a paper unannounced; if it came at every save, it would nag.
TEST_F(PaperTableTest, ApproximationsAreToldOnceBeforeTheFirstSave) {
  const std::string paper =
      "\\begin{tabular}{ll}\n\\toprule\na % in a cell\n & b \\\\ % kept\n\\midrule\nc & d \\\\\n% own line\n"
      "\\bottomrule\n\\end{tabular}\n";
  WriteFile(Path("b.tex"), paper);
  ASSERT_TRUE(OpenFile(Path("b.tex")));
  Edit(0, 0, "A");
  UI.AskAnswers = {1};  // Cancel
  EXPECT_FALSE(SaveDocument());
  EXPECT_EQ(ReadFile(Path("b.tex")), paper);
  ASSERT_EQ(UI.Asked.size(), 1u);
  EXPECT_EQ(UI.Asked[0],
            "Saving rewrites table 1 of b.tex in Quiltor's style: 2 comments are dropped.");
  UI.AskAnswers = {0};  // Save
  ASSERT_TRUE(SaveDocument());
  Edit(0, 0, "AA");
  ASSERT_TRUE(SaveDocument());
  EXPECT_EQ(UI.Asked.size(), 2u);
}

// If Save As wrote the native format under .tex, or replaced a paper whole,
// the paper would be lost; into a paper it replaces the chosen table only.
TEST_F(PaperTableTest, SaveAsIntoAPaperReplacesOrAppendsOneTable) {
  Edit(0, 0, "mine");
  // A new .tex file gets the code alone, with a final line break.
  UI.SaveChoices = {Path("alone.tex")};
  ASSERT_TRUE(SaveDocumentAs());
  std::vector<std::string> lines;
  TableToLatex(*CurrentTable, lines);
  std::string expected;
  for (const std::string& l : lines) expected += l + "\n";
  EXPECT_EQ(ReadFile(Path("alone.tex")), expected);
  EXPECT_EQ(UI.Caption, "Quiltor - alone.tex (table 1)");

  WriteFile(Path("paper.tex"), Crlf(kPaper));
  UI.SaveChoices = {Path("paper.tex"), Path("paper.tex")};
  UI.TableChoices = {-1, 1};  // cancelled: back to the dialog; then table 2
  ASSERT_TRUE(SaveDocumentAs());
  EXPECT_EQ(UI.TableChoiceFiles, (std::vector<std::string>{"paper.tex", "paper.tex"}));
  std::string saved = ReadFile(Path("paper.tex"));
  EXPECT_EQ(Around(saved, 2), Around(Crlf(kPaper), 2));
  const std::vector<TLatexTableSource> old = FindPaperTables(Crlf(kPaper));
  EXPECT_EQ(TableSource(saved, 2), TableCode(*CurrentTable, CodeLayoutOf(Crlf(kPaper), old[1].Begin,
                                                                         TableSourceEnd(Crlf(kPaper), old[1]))));
  EXPECT_EQ(TableSource(saved, 1), TableSource(Crlf(kPaper), 1));
  EXPECT_EQ(UI.Caption, "Quiltor - paper.tex (table 2)");
  EXPECT_EQ((*RecentFiles)[0], RecentEntry(Path("paper.tex"), 2));

  // Added at the end, it becomes table 4, and Save goes there.
  const std::string before = saved;
  UI.SaveChoices = {Path("paper.tex")};
  UI.TableChoices = {TDocumentUI::kAppendTable};
  ASSERT_TRUE(SaveDocumentAs());
  saved = ReadFile(Path("paper.tex"));
  ASSERT_EQ(FindPaperTables(saved).size(), 4u);
  EXPECT_TRUE(saved.starts_with(before));
  EXPECT_EQ(UI.Caption, "Quiltor - paper.tex (table 4)");
  Edit(0, 0, "last");
  ASSERT_TRUE(SaveDocument());
  EXPECT_NE(TableSource(ReadFile(Path("paper.tex")), 4).find("last"), std::string::npos);
  EXPECT_TRUE(ReadFile(Path("paper.tex")).starts_with(before));
  EXPECT_TRUE(UI.Asked.empty());
}

// If Save As replaced files silently, a slip in the dialog would destroy
// a file; No must leave it as it was and return to the dialog.
TEST_F(PaperTableTest, SaveAsAsksBeforeReplacingAFile) {
  WriteFile(Path("old.qtor"), "precious");
  Edit(0, 0, "x");
  UI.SaveChoices = {Path("old.qtor"), ""};
  UI.AskAnswers = {1};  // No
  EXPECT_FALSE(SaveDocumentAs());
  EXPECT_EQ(UI.Asked, (std::vector<std::string>{"old.qtor already exists. Do you want to replace it?"}));
  EXPECT_EQ(UI.SaveProposals.size(), 2u);
  EXPECT_EQ(ReadFile(Path("old.qtor")), "precious");
  EXPECT_TRUE(DocumentModified());

  UI.SaveChoices = {Path("old.qtor")};
  UI.AskAnswers = {0};
  ASSERT_TRUE(SaveDocumentAs());
  EXPECT_NE(ReadFile(Path("old.qtor")), "precious");
}

// If the question were missing, a ruled table saved as CSV would lose its
// look unannounced; if it came for a plain grid, it would nag for nothing.
TEST_F(PaperTableTest, TextFormatQuestionOnlyWhenSomethingIsLost) {
  Edit(0, 0, "plain");
  UI.SaveChoices = {Path("plain.csv")};
  ASSERT_TRUE(SaveDocumentAs());
  EXPECT_TRUE(UI.Asked.empty());

  CurrentTable->SetRules({0, 0, 1, 0}, 2, 1);
  RecordUndo("Rules");
  UI.AskAnswers = {2};  // Cancel
  EXPECT_FALSE(SaveDocument());
  ASSERT_EQ(UI.Asked.size(), 1u);
  EXPECT_EQ(UI.Asked[0],
            "plain.csv cannot keep the table's rules, joins, formats and environment. Keep the text format, or save "
            "as a Quiltor table?");
  EXPECT_TRUE(DocumentModified());

  // "Save as Quiltor Table..." opens the save dialog on the native type.
  UI.AskAnswers = {1};
  UI.SaveChoices = {Path("plain.qtor")};
  ASSERT_TRUE(SaveDocument());
  EXPECT_EQ(UI.SaveProposals.back(), (std::pair<std::string, int>{"plain", 1}));
  EXPECT_EQ(CurrentTable->FileName, Path("plain.qtor"));
  EXPECT_EQ(ReadFile(Path("plain.csv")), "plain,,,\r\n,,,\r\n,,,\r\n,,,\r\n");
}

// If Save did not compare the file with the one it last read or wrote,
// another program's work would be overwritten without a word.
TEST_F(PaperTableTest, FileChangedOnDiskAsksBeforeSave) {
  Edit(0, 0, "v1");
  UI.SaveChoices = {Path("prices.qtor")};
  ASSERT_TRUE(SaveDocumentAs());
  Edit(0, 0, "v2");
  WriteFile(Path("prices.qtor"), "someone else's");
  UI.AskAnswers = {1};
  EXPECT_FALSE(SaveDocument());
  EXPECT_EQ(UI.Asked, (std::vector<std::string>{"prices.qtor was changed by another program. Save anyway?"}));
  EXPECT_EQ(ReadFile(Path("prices.qtor")), "someone else's");
  UI.AskAnswers = {0};
  ASSERT_TRUE(SaveDocument());
  Edit(0, 0, "v3");
  ASSERT_TRUE(SaveDocument());  // its own save is no change by another
  EXPECT_EQ(UI.Asked.size(), 2u);
}

// If the link did not follow the document's name, undo across an Open
// would leave a paper's table bound to another file, or Save would write
// the native format into the paper.
TEST_F(PaperTableTest, UndoAcrossAnOpenBringsBackTheLink) {
  WriteFile(Path("p.tex"), kPaper);
  WriteFile(Path("q.csv"), "1,2\r\n");
  ASSERT_TRUE(OpenFile(Path("p.tex"), 3));
  Edit(0, 0, "paper");
  UI.AskAnswers = {};
  UI.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(OpenFile(Path("q.csv")));
  EXPECT_EQ(CurrentPaper(), nullptr);
  UndoSteps(1);
  ASSERT_NE(CurrentPaper(), nullptr);
  EXPECT_EQ(CurrentPaper()->Number, 3);
  ASSERT_TRUE(SaveDocument());
  const std::string saved = ReadFile(Path("p.tex"));
  EXPECT_EQ(Around(saved, 3), Around(kPaper, 3));
  EXPECT_NE(TableSource(saved, 3).find("paper"), std::string::npos);
}

TEST_F(PaperTableTest, RecentEntriesAndRecoveryOpenTheirTable) {
  WriteFile(Path("p.tex"), kPaper);
  const std::string entry = RecentEntry(Path("p.tex"), 2);
  EXPECT_EQ(RecentEntryCaption(entry), Path("p.tex") + ", table 2");
  EXPECT_EQ(RecentEntryPath(Path("p.tex")), Path("p.tex"));
  // No choice asked: the entry names the table.
  ASSERT_TRUE(OpenRecentFile(entry));
  EXPECT_EQ(CurrentTable->GetCell(0, 0)->Text(), "x");
  EXPECT_EQ((*RecentFiles)[0], entry);

  // A recovered table knows its paper by number only.
  LinkRecoveredPaper(Path("p.tex"), 3);
  Edit(0, 0, "recovered");
  ASSERT_TRUE(SaveDocument());
  const std::string saved = ReadFile(Path("p.tex"));
  EXPECT_EQ(Around(saved, 3), Around(kPaper, 3));
  EXPECT_NE(TableSource(saved, 3).find("recovered"), std::string::npos);
}

// If a binary file were read as LaTeX, Save would splice into bytes it
// cannot keep; the refusal comes with a message naming the file.
TEST_F(PaperTableTest, UnfitFilesAreRefused) {
  WriteFile(Path("nul.tex"), std::string("\\begin{tabular}{l}\na\\\\\n\\end{tabular}\0x", 37));
  WriteFile(Path("big.tex"), "");
  ASSERT_EQ(::truncate(Path("big.tex").c_str(), kMaxPaperBytes + 1), 0);
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"nul.tex", "it holds NUL bytes"},
      {"big.tex", "it is larger than 64 MiB"},
  };
  for (const auto& c : cases) {
    try {
      OpenFile(Path(c.name));
      ADD_FAILURE() << c.name << " opened";
    } catch (const EQuiltorError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(CurrentTable->Title, "Untitled");
}

// If the merge lost the table's look, regenerating a paper's table from
// data would undo the author's formatting.
// A block has one text and covered cells none. If the data's text where a
// block covers a cell were written into the covered cell, a row copied from
// a last row inside a block stayed covered, or a block reached past rows
// removed, the table would be inconsistent; if the text were dropped, data
// would be lost.
TEST(MergeCellTexts, BlocksKeepOneTextAndEndWithTheTable) {
  const char* paper = "\\begin{tabular}{ll}\n\\multirow{3}{*}{A} & 1 \\\\\n & 2 \\\\\n & 3 \\\\\n\\end{tabular}";
  struct Case {
    const char* Data;
    std::vector<std::string> Rows;  // the rows written
  } cases[] = {
      {"G & x \\\\\nH & y \\\\\n & z \\\\\n",
       {"\\multirow{3}{*}{G H} & x \\\\ ", " & y \\\\ ", " & z \\\\ "}},
      {"G & x \\\\\n & y \\\\\n & z \\\\\nI & w \\\\\n",
       {"\\multirow{3}{*}{G} & x \\\\ ", " & y \\\\ ", " & z \\\\ ", "I & w \\\\ "}},
      {"G & x \\\\\n & y \\\\\n", {"\\multirow{2}{*}{G} & x \\\\ ", " & y \\\\ "}},
      {"G & x \\\\\n", {"G & x \\\\ "}},
  };
  for (const Case& c : cases) {
    TTable table, data;
    ReadLatexTable(paper, table);
    ReadLatexTable(std::string("\\begin{tabular}{ll}\n") + c.Data + "\\end{tabular}", data);
    MergeCellTexts(table, data);
    EXPECT_EQ(TableDefect(table), "") << c.Data;
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), c.Rows) << c.Data;
  }
}

TEST(MergeCellTexts, KeepsTheLookAndFollowsTheDataSize) {
  TTable table;
  ReadLatexTable("\\begin{tabular}{|l|r|}\n\\hline\n\\multicolumn{2}{c}{Head}\\\\\n\\hline\na & 1\\\\\n\\hline\n"
                 "\\end{tabular}",
                 table);
  TTable data;
  ReadLatexTable("\\begin{tabular}{lll}\nH & h2 & h3\\\\\nb & 2 & x\\\\\nc & 3 & y\\\\\n\\end{tabular}", data);
  MergeCellTexts(table, data);
  std::vector<std::string> lines;
  TableToLatex(table, lines);
  // The new column copies the last one's format and rules (the joined
  // header has none on its right); the new row has no rule above it, since
  // the one above the last row is the header's.
  EXPECT_EQ(lines, (std::vector<std::string>{"\\begin{tabular}{|l|rr|}", "\\hline",
                                             "\\multicolumn{2}{c}{H} & \\multicolumn{1}{r}{h3} \\\\ ", "\\hline",
                                             "b & \\multicolumn{1}{r|}{2} & x \\\\ ",
                                             "c & \\multicolumn{1}{r|}{3} & y \\\\ ", "\\hline", "\\end{tabular}"}));
  // Fewer rows: the closing rule moves up with the end.
  TTable fewer;
  ReadLatexTable("\\begin{tabular}{l}\nonly\\\\\n\\end{tabular}", fewer);
  MergeCellTexts(table, fewer);
  lines.clear();
  TableToLatex(table, lines);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"\\hline", "\\multicolumn{2}{c}{only} &  \\\\ ", "\\hline", "\\end{tabular}"}));
}
