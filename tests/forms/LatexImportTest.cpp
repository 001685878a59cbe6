// LaTeX tables into the editor: File > Open of a .tex file (the choice among
// several tables, the warnings), and Edit > Paste LaTeX Code with its undo.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>

#include "common/gui/WindowFixture.h"
#include "document/AppModule.h"
#include "forms/dialogs/LatexTableChoiceUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"

namespace {

class LatexImportTest : public WindowFixture {
 protected:
  std::string Put(const std::string& name, const std::string& text) {
    const std::string path = (Dir.path() + "/" + QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const TRow* row : Table().Rows)
      for (const TCell* c : *row) texts.push_back(c->Text());
    return texts;
  }
  QTemporaryDir Dir;
};

const char kPaper[] =
    "\\section{Results}\n"
    "\\begin{tabular}{ll}\n"
    "a & b \\\\\n"
    "\\end{tabular}\n"
    "\n"
    "\\begin{tabular}{|l|r|}\n"
    "\\hline\n"
    "Name & 1 \\\\\n"
    "\\end{tabular}\n";

// If the choice were not offered, the wrong table read, or a cancelled
// choice still replaced the document, the table would show it. The document
// is the chosen table of the paper, and the recent files say which.
TEST_F(LatexImportTest, OpenAsksWhichTableOfSeveral) {
  const std::string paper = Put("paper.tex", kPaper);
  const std::vector<std::string> before = Texts();

  Script.OpenChoices.push_back(paper);
  Answer<TLatexTableChoiceForm>([](TLatexTableChoiceForm& form) { form.bCancel->click(); });
  ASSERT_TRUE(Run(Form->bOpen));
  EXPECT_EQ(Texts(), before);

  QStringList shown;
  Script.OpenChoices.push_back(paper);
  Answer<TLatexTableChoiceForm>([&shown](TLatexTableChoiceForm& form) {
    for (int i = 0; i < form.fTables->count(); ++i) shown << form.fTables->item(i)->text();
    form.fTables->setCurrentRow(1);
    form.bOK->click();
  });
  ASSERT_TRUE(Run(Form->bOpen));
  EXPECT_EQ(shown, (QStringList{"Table 1, line 2\n    \\begin{tabular}{ll}\n    a & b \\\\\n    \\end{tabular}",
                                "Table 2, line 6\n    \\begin{tabular}{|l|r|}\n    \\hline\n    Name & 1 \\\\\n"
                                "    \\end{tabular}"}));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Name", "1"}));
  EXPECT_TRUE(Cell(0, 0)->RuleTop && Cell(0, 0)->RuleLeft && Cell(0, 1)->RuleRight);
  EXPECT_EQ(Table().FileName, paper);
  EXPECT_EQ(Script.Caption, "Quiltor - paper.tex (table 2)");
  EXPECT_EQ(RecentFiles->Items().front(), RecentEntry(paper, 2));
}

// If the window did not reach the in-place save, Ctrl+S would write the
// native format over the paper, or ask for a name.
TEST_F(LatexImportTest, SaveWritesTheTableBackInPlace) {
  const std::string paper = Put("paper.tex", kPaper);
  Script.OpenChoices.push_back(paper);
  Answer<TLatexTableChoiceForm>([](TLatexTableChoiceForm& form) {
    form.fTables->setCurrentRow(1);
    form.bOK->click();
  });
  ASSERT_TRUE(Run(Form->bOpen));
  Cell(0, 0)->SetText("Named");
  RecordUndo("Typing Named");
  ASSERT_TRUE(Run(Form->bSave));
  std::ifstream in(paper, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string before(kPaper);
  const size_t second = before.find("\\begin{tabular}{|l|r|}");
  EXPECT_EQ(saved.substr(0, second), before.substr(0, second));
  EXPECT_EQ(saved.substr(second), "\\begin{tabular}{|l|r|}\n\\hline\nNamed & 1 \\\\\n\\end{tabular}\n");
  EXPECT_FALSE(DocumentModified());
}

// If the window's answers were mapped to the wrong buttons, "No" would
// replace a file and "Add at End" would cancel.
TEST_F(LatexImportTest, WindowQuestionsAnswerWithTheButtonChosen) {
  TQtDocumentUI ui(Form);
  Answer<QMessageBox>([](QMessageBox& box) {
    for (QAbstractButton* b : box.buttons())
      if (b->text() == "&No") b->click();
  });
  EXPECT_EQ(ui.Ask("Quiltor", ReplaceFileText("/x/a.qtor"), {"&Yes", "&No"}), 1);
  Answer<QMessageBox>([](QMessageBox& box) { box.reject(); });
  EXPECT_EQ(ui.Ask("Quiltor", "?", {"Use Text Format", "Save as Quiltor Table...", "Cancel"}), 2);

  const std::vector<TLatexTableSource> tables =
      FindLatexTables(std::string(kPaper) + "\\begin{tabular}{c}\nz \\\\\n\\end{tabular}\n");
  ASSERT_EQ(tables.size(), 3u);
  QString prompt;
  Answer<TLatexTableChoiceForm>([&prompt](TLatexTableChoiceForm& form) {
    prompt = form.lPrompt->text();
    form.bAppend->click();
  });
  EXPECT_EQ(ui.ChooseTableToReplace("paper.tex", tables), TDocumentUI::kAppendTable);
  EXPECT_TRUE(prompt.startsWith("paper.tex already holds LaTeX tables."));
  // The third table: its index must not be taken for the other button.
  Answer<TLatexTableChoiceForm>([](TLatexTableChoiceForm& form) {
    form.fTables->setCurrentRow(2);
    form.bOK->click();
  });
  EXPECT_EQ(ui.ChooseTableToReplace("paper.tex", tables), 2);
  // Opening shows the same dialog without the button.
  Answer<TLatexTableChoiceForm>([](TLatexTableChoiceForm& form) {
    EXPECT_TRUE(form.bAppend->isHidden());
    form.bCancel->click();
  });
  EXPECT_EQ(TLatexTableChoiceForm(Form).Execute(tables), -1);
}

// If the warnings were lost, or shown once per row, the user would not
// learn (or learn too often) that short rows were filled.
TEST_F(LatexImportTest, OpenShowsTheReadersWarningsOnce) {
  const std::string path = Put("short.tex", "\\begin{tabular}{lll}\nx & y & z \\\\\nu \\\\\nv\n\\end{tabular}\n");
  Script.OpenChoices.push_back(path);
  int boxes = 0;
  QString text;
  Answer<QMessageBox>([&](QMessageBox& box) {
    ++boxes;
    text = box.text();
    box.accept();
  });
  ASSERT_TRUE(Run(Form->bOpen));
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(text, "Rows 2-3 have fewer cells than the table has columns: the rest was filled with empty cells.");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"x", "y", "z", "u", "", "", "v", "", ""}));
}

// If the grid did not take the keyboard back when the choice among the
// tables closes, keys and Undo would stay dead until the user clicked into
// the grid, whether the choice opened a table, was cancelled, or chose a
// table that cannot be read.
TEST_F(LatexImportTest, GridHasTheKeyboardAfterTheChoice) {
  const std::string paper = Put("broken.tex", std::string(kPaper) + "\\begin{tabular}{ll}\nx & y \\\\\n");
  struct Case {
    const char* Name;
    int Choose;  // the table chosen (0-based), -1 to cancel
    size_t Errors;
  };
  for (const Case& c : {Case{"opened", 0, 0}, Case{"cancelled", -1, 0}, Case{"failed", 2, 1}}) {
    Script.OpenChoices.push_back(paper);
    Answer<TLatexTableChoiceForm>([&c](TLatexTableChoiceForm& form) {
      if (c.Choose < 0) {
        form.bCancel->click();
        return;
      }
      form.fTables->setCurrentRow(c.Choose);
      form.bOK->click();
    });
    ASSERT_TRUE(Run(Form->bOpen)) << c.Name;
    EXPECT_EQ(Script.Errors.size(), c.Errors) << c.Name;
    Script.Errors.clear();
    // The window system hands the activation over in its own events.
    RunUntilIdle();
    EXPECT_EQ(QApplication::focusWidget(), Form->ScrollBox) << c.Name;
    EXPECT_EQ(FocusState, fsGrid) << c.Name;
  }
}

// If Paste LaTeX Code took more than one undo step, lost the file name, or
// touched the table when the clipboard holds no table, undo and the error
// would show it.
TEST_F(LatexImportTest, PasteLatexCodeIsOneUndoStep) {
  Cell(0, 0)->SetText("old");
  RecordUndo("Typing old");
  Table().FileName = "/somewhere/prices.qtor";
  Table().Title = "prices";
  QGuiApplication::clipboard()->setText("\\begin{tabular}{c|c}\n\\multicolumn{2}{c}{Head} \\\\\nl & r \\\\\n\\end{tabular}");
  ASSERT_TRUE(Run(Form->mnPasteLatex));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Head", "l", "r"}));
  EXPECT_EQ(Cell(0, 0)->Span, 2);
  EXPECT_EQ(Table().FileName, "/somewhere/prices.qtor");
  EXPECT_EQ(UndoCaption(0), "Paste LaTeX code");

  ASSERT_TRUE(Run(Form->mnUndo));
  EXPECT_EQ(Table().ColCount(), 4);
  EXPECT_EQ(Cell(0, 0)->Text(), "old");

  QGuiApplication::clipboard()->setText("plain words, no table");
  ASSERT_TRUE(Run(Form->mnPasteLatex));
  EXPECT_EQ(Script.Errors, (std::vector<std::string>{"No LaTeX table found in the clipboard"}));
  Script.Errors.clear();
  EXPECT_EQ(Cell(0, 0)->Text(), "old");
  EXPECT_EQ(Form->mnPasteLatex->shortcut(), QKeySequence("Ctrl+Shift+V"));
}

}  // namespace
