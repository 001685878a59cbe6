// The table commands driven through the window as a user drives them: the
// golden cases of the command layer (tests/commands/data) loaded into the
// document and run by clicking their buttons, palette items, list entries
// and dialogs; then what only the window does - the split buttons' faces,
// the Del key, Cut's copy, the palette's checks, the dialogs, the recent
// formats list - and a failing command that must leave nothing behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/CaseCommand.h"
#include "common/PdfLatex.h"
#include "common/TableFixture.h"
#include "common/gui/WindowFixture.h"
#include "document/SLists.h"
#include "forms/dialogs/BorderUnit.h"
#include "forms/dialogs/ColumnFmtUnit.h"
#include "forms/mainwindow/RulesPalette.h"
#include "latex/TabToLatex.h"

namespace fs = std::filesystem;

namespace {

fs::path CaseDir() { return fs::path(QUILTOR_TEST_DIR) / "commands" / "data"; }

class TableCommandsTest : public WindowFixture {
 protected:
  // Puts a case's table, selection, current cell and recent formats into
  // the document, as the history's current state.
  void LoadCase(const fs::path& file) {
    TTable scratch;
    std::vector<std::string> recent;
    LoadTableFixture(file, scratch, &recent);
    Form->SetCurrentCell(nullptr);
    Table().Assign(scratch);
    Table().SelectionMode = scratch.SelectionMode;
    RecentFormats->Clear();
    for (const std::string& f : recent) RecentFormats->Add(f);
    RecordUndo("Load");
    Form->RefreshGrid();
    if (const TCell* c = scratch.CurrentCell) Form->SetCurrentCell(Cell(c->RowIndex(), c->ColIndex()));
    Form->FocusGrid();
  }

  // The palette item of a rule pattern.
  QAction* RuleItem(int pattern) {
    for (QAction* a : Form->RuleItems)
      if (a->data().toInt() == pattern) return a;
    throw std::runtime_error("no palette item for pattern " + std::to_string(pattern));
  }

  // Opens a drop-down list as its arrow does, and closes it again: what it
  // holds is what the user would see.
  static QList<QAction*> OpenList(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    QList<QAction*> items = menu->actions();
    menu->hide();
    return items;
  }

  // Opens the Rules palette as its arrow does and reads which patterns it
  // shows checked, in its order.
  std::vector<bool> OpenPalette() {
    Form->RulesPalette->popup(QPoint(0, 0));
    std::vector<bool> checked;
    for (int i = 0; i < Form->RulesPalette->Count(); ++i) checked.push_back(Form->RulesPalette->Button(i)->isChecked());
    Form->RulesPalette->hide();
    return checked;
  }

  // Chooses mask with the preset "None" and the six toggle buttons.
  void AnswerBorders(int mask, bool ok) {
    Answer<TBorderForm>([mask, ok](TBorderForm& f) {
      QTest::mouseClick(f.bNone, Qt::LeftButton);
      const std::pair<int, QToolButton*> toggles[] = {{rbTop, f.bTop},     {rbBottom, f.bBottom},
                                                      {rbInnerHorz, f.bVCenter}, {rbLeft, f.bLeft},
                                                      {rbRight, f.bRight}, {rbInnerVert, f.bHCenter}};
      for (auto [bit, button] : toggles)
        if (mask & bit) QTest::mouseClick(button, Qt::LeftButton);
      QTest::mouseClick(ok ? f.bOK : f.bCancel, Qt::LeftButton);
    });
  }
  void AnswerColumnFormat(const std::string& text, bool ok) {
    Answer<TColumnFmtForm>([text, ok](TColumnFmtForm& f) {
      f.Edit1->setText(QString::fromStdString(text));
      QTest::mouseClick(ok ? f.bOK : f.bCancel, Qt::LeftButton);
    });
  }

  // Runs a case's command the way a user gives it.
  ::testing::AssertionResult Perform(const TCaseCommand& c) {
    const std::string& a = c.Argument;
    if (c.Name == "insert") return Run(Form->InsertItems[std::stoi(a)]);
    if (c.Name == "delete") return Run(Form->bDelete);
    if (c.Name == "cut") return Run(Form->bCut);
    if (c.Name == "join") return Run(Form->bJoin);
    if (c.Name == "rules") return Run(RuleItem(std::stoi(a)));
    if (c.Name == "borders") {
      AnswerBorders(std::stoi(a), true);
      return Run(Form->mnBorders);
    }
    if (c.Name == "align-cells") {
      Form->UpdateCommandStates();
      // 0 is a click on the button that is checked now.
      for (QAction* b : {Form->bAlignLeft, Form->bAlignCenter, Form->bAlignRight}) {
        const char letter = b == Form->bAlignLeft ? 'l' : b == Form->bAlignCenter ? 'c' : 'r';
        if (a == "0" ? b->isChecked() : a[0] == letter) return Run(b);
      }
      return ::testing::AssertionFailure() << "no button gives " << a;
    }
    if (c.Name == "column-format") {
      if (a == "l") return Run(Form->bAlignLeft);
      if (a == "c") return Run(Form->bAlignCenter);
      if (a == "r") return Run(Form->bAlignRight);
      // A recent format is picked from the list, any other typed.
      for (QAction* item : OpenList(Form->AlignCustomMenu))
        if (item->text().toStdString() == a) return Run(item);
      AnswerColumnFormat(a, true);
      return Run(Form->mnNewFormat);
    }
    return ::testing::AssertionFailure() << "unknown command " << c.Name;
  }
};

// ---------------------------------------------------------------- golden cases

class GoldenCaseTest : public TableCommandsTest, public ::testing::WithParamInterface<std::string> {};

// The window must reach the same table as the command layer does (a wrong
// sender mapping, a lost selection, a wrong mode, a current cell left on a
// freed cell would all show here), record the step under its caption, and
// undo it back to the table before.
TEST_P(GoldenCaseTest, GivesAfterAndUndoGivesBefore) {
  const fs::path dir = CaseDir() / GetParam();
  const TCaseCommand command = ReadCaseCommand(dir / "command.txt");
  SCOPED_TRACE(ReadFileBytes(dir / "command.txt"));
  LoadCase(dir / "before.txt");
  const std::string before = WriteTableFixture(Table(), false);
  const int steps = UndoCount();

  const ::testing::AssertionResult ran = Perform(command);
  // A command with nothing to do may be disabled outright.
  if (command.ExpectStep) {
    ASSERT_TRUE(ran);
  }
  if (ran) {
    EXPECT_EQ(WriteTableFixture(Table(), true, &RecentFormats->Items()), ReadFileBytes(dir / "after.txt"));
  }
  if (!command.ExpectStep) {
    EXPECT_EQ(UndoCount(), steps);
    EXPECT_EQ(WriteTableFixture(Table(), false), before);
    return;
  }
  ASSERT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), command.Caption);
  // After a dialog the window is active again, with the grid focused, once
  // the events have run, as before the user's next click.
  RunUntilIdle();
  ASSERT_TRUE(Run(Form->bUndo));
  EXPECT_EQ(WriteTableFixture(Table(), false), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCaseTest, ::testing::ValuesIn(CaseFolderNames(CaseDir())),
                         [](const auto& c) { return CaseTestName(c.param); });

// ---------------------------------------------------------------- the runner

// A command that fails part way must not leave its half-done change in the
// table, unrecorded and with the document counted unchanged.
TEST_F(TableCommandsTest, FailedCommandLeavesNothingBehind) {
  Cell(1, 1)->SetText("kept");
  RecordUndo("Typing kept");
  MarkSaved();
  Form->SetCurrentCell(Cell(1, 1));
  const std::string before = WriteTableFixture(Table(), false);
  const int steps = UndoCount();

  Form->RunCommand([this] {
    Form->RunTableCommand([](TTable& t) -> TCommandResult {
      t.InsertRow(0, false);
      t.GetCell(2, 1)->SetText("half done");
      throw std::runtime_error("Out of memory");
    });
  });
  EXPECT_EQ(Script.Errors, std::vector<std::string>{"Out of memory"});
  Script.Errors.clear();
  EXPECT_EQ(WriteTableFixture(Table(), false), before);
  EXPECT_EQ(UndoCount(), steps);
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(Table().CurrentCell, nullptr);
  EXPECT_FALSE(Form->Editor->isEnabled());
  EXPECT_TRUE(Form->Editor->text().isEmpty());
}

// ---------------------------------------------------------------- insert, delete, cut

// The button part repeats the insertion chosen last from its list.
TEST_F(TableCommandsTest, InsertButtonRepeatsTheLastChoice) {
  EXPECT_EQ(Form->bInsert->text(), "Row Below");
  Cell(1, 2)->SetText("c2");
  SelectCells({Cell(1, 1)});
  ASSERT_TRUE(Run(Form->InsertItems[ikColumnAfter]));
  EXPECT_EQ(Form->bInsert->text(), "Column After");
  EXPECT_EQ(Form->bInsert->toolTip(), "Insert Column After");
  EXPECT_EQ(Form->bInsert->data().toInt(), ikColumnAfter);
  EXPECT_EQ(Cell(1, 3)->Text(), "c2");
  ASSERT_TRUE(Run(Form->bInsert));
  EXPECT_EQ(Table().ColCount(), 6);
  EXPECT_EQ(Cell(1, 4)->Text(), "c2") << "the second column also went after column 1";
  EXPECT_EQ(UndoCaption(0), "Insert Column");
}

// Del deletes from the grid while there is something to delete, and is
// left to the cell editor otherwise.
TEST_F(TableCommandsTest, DelKeyOnlyWhileDeleteIsEnabled) {
  Cell(1, 1)->SetText("x");
  SelectCells({Cell(1, 1)});
  EXPECT_EQ(Form->mnDelete->shortcut(), QKeySequence(Qt::Key_Delete));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Delete);
  EXPECT_EQ(Cell(1, 1)->Text(), "");
  EXPECT_EQ(UndoCaption(0), "Delete cell contents");
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->mnDelete->isEnabled()) << "one empty cell";
  EXPECT_TRUE(Form->mnDelete->shortcut().isEmpty());

  Cell(0, 0)->SetText("abc");
  SelectCells({Cell(0, 0)});
  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  Form->UpdateCommandStates();
  Form->Editor->setCursorPosition(0);
  QTest::keyClick(Form->Editor, Qt::Key_Delete);
  EXPECT_EQ(Cell(0, 0)->Text(), "bc") << "Del edits the text in the editor";
}

// Cut copies first; with nothing it may delete (every row selected) it
// copies only. Ctrl+X on the grid cuts.
TEST_F(TableCommandsTest, CutCopiesAndDeletesByMode) {
  for (int r = 0; r < 4; ++r) Cell(r, 0)->SetText("r" + std::to_string(r));
  Table().SelectRowRange(0, 3);
  const std::string before = WriteTableFixture(Table(), false);
  const int steps = UndoCount();
  QApplication::clipboard()->clear();
  ASSERT_TRUE(Run(Form->bCut));
  EXPECT_EQ(QApplication::clipboard()->text(), "r0\t\t\t\r\nr1\t\t\t\r\nr2\t\t\t\r\nr3\t\t\t");
  EXPECT_EQ(WriteTableFixture(Table(), false), before);
  EXPECT_EQ(UndoCount(), steps);

  Table().ClearSelection();
  Table().SelectRowRange(1, 2);
  QTest::keyClick(Form->ScrollBox, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "r1\t\t\t\r\nr2\t\t\t");
  ASSERT_EQ(Table().RowCount(), 2);
  EXPECT_EQ(Cell(1, 0)->Text(), "r3");
  EXPECT_EQ(UndoCaption(0), "Cut rows");
}

// ---------------------------------------------------------------- rules and borders

// The palette shows, as it opens, which of its patterns hold all over the
// selection; the button part repeats the pattern chosen last.
TEST_F(TableCommandsTest, RulesPaletteChecksWhatIsPresent) {
  TCell* c = Cell(1, 1);
  SelectCells({c});
  ASSERT_TRUE(Run(RuleItem(rbLeft | rbTop | rbRight | rbBottom)));
  EXPECT_TRUE(c->RuleLeft && c->RuleTop && c->RuleRight && c->RuleBottom);
  EXPECT_EQ(Form->bRules->data().toInt(), 27);
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bRules->isChecked());
  std::vector<bool> shown = OpenPalette();
  for (int i = 0; i < 10; ++i) {
    const int tag = Form->RuleItems[i]->data().toInt();
    const bool side = tag == 27 || tag == rbTop || tag == rbBottom || tag == rbLeft || tag == rbRight;
    EXPECT_EQ(shown[i], side) << tag;
  }

  // Present, so the button part switches it off, with the facing flags.
  ASSERT_TRUE(Run(Form->bRules));
  EXPECT_FALSE(c->RuleLeft || c->RuleTop || c->RuleRight || c->RuleBottom);
  EXPECT_FALSE(Cell(1, 0)->RuleRight);
  EXPECT_FALSE(Cell(0, 1)->RuleBottom);
  EXPECT_EQ(OpenPalette(), std::vector<bool>(10, false));
}

// The palette is images only, in its fixed order with a line after the
// fifth, each named by its tool tip; the arrows move between the patterns
// and Enter applies one, Escape closes without applying any.
TEST_F(TableCommandsTest, RulesPaletteImagesAndKeys) {
  TRulesPalette* palette = Form->RulesPalette;
  ASSERT_EQ(palette->Count(), 10);
  const int order[10] = {63, 27, 1, 8, 4, 0, 36, 2, 16, 32};
  SelectCells({Cell(1, 1), Cell(1, 2), Cell(2, 1), Cell(2, 2)});
  palette->popup(QPoint(0, 0));
  for (int i = 0; i < 10; ++i) {
    QToolButton* b = palette->Button(i);
    EXPECT_EQ(Form->RuleItems[i]->data().toInt(), order[i]);
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_FALSE(b->icon().isNull());
    EXPECT_EQ(b->toolTip(), Form->RuleItems[i]->toolTip());
    EXPECT_FALSE(b->toolTip().isEmpty());
    // Two rows of five, the second below the first.
    EXPECT_EQ(b->y() > palette->Button(0)->y(), i >= 5) << i;
  }
  palette->hide();

  // From "all" (the button part's pattern): right, then down is "inner".
  palette->popup(QPoint(0, 0));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(palette->Current(), 6);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_FALSE(palette->isVisible());
  EXPECT_EQ(Form->bRules->data().toInt(), 36);
  EXPECT_TRUE(Cell(1, 1)->RuleRight && Cell(1, 1)->RuleBottom && !Cell(1, 1)->RuleTop);
  const int steps = UndoCount();
  palette->popup(QPoint(0, 0));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(palette->isVisible());
  EXPECT_EQ(UndoCount(), steps);
}

// OK replaces the rules with the dialog's choice, which starts from the
// rules present; Cancel changes nothing and records nothing.
TEST_F(TableCommandsTest, BordersDialogOkAndCancel) {
  SelectCells({Cell(1, 1), Cell(1, 2)});
  ASSERT_TRUE(Run(RuleItem(rbTop)));
  const int steps = UndoCount();
  const std::string ruled = WriteTableFixture(Table(), false);

  int shown = -1;
  Answer<TBorderForm>([&shown](TBorderForm& f) {
    shown = f.Mask;
    QTest::mouseClick(f.bCancel, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnBorders));
  EXPECT_EQ(shown, rbTop) << "the dialog opens with the rules present";
  EXPECT_EQ(WriteTableFixture(Table(), false), ruled);
  EXPECT_EQ(UndoCount(), steps);

  AnswerBorders(rbBottom, true);
  ASSERT_TRUE(Run(Form->mnBorders));
  EXPECT_FALSE(Cell(1, 1)->RuleTop);
  EXPECT_FALSE(Cell(0, 2)->RuleBottom) << "the facing flag above went too";
  EXPECT_TRUE(Cell(1, 1)->RuleBottom && Cell(1, 2)->RuleBottom);
  EXPECT_EQ(UndoCaption(0), "Borders");
}

// ---------------------------------------------------------------- alignment and formats

// A joined cell keeps its letter when its button is clicked off; nothing is
// recorded, and the button shows checked again at the next idle pass.
TEST_F(TableCommandsTest, JoinedCellKeepsItsLetter) {
  TCell* joined = JoinCells(0, 0, 2);
  const int steps = UndoCount();
  Form->UpdateCommandStates();
  ASSERT_TRUE(Form->bAlignCenter->isChecked());
  ASSERT_TRUE(Run(Form->bAlignCenter));
  EXPECT_FALSE(Form->bAlignCenter->isChecked()) << "the click unchecked it";
  EXPECT_EQ(joined->Align, 'c');
  EXPECT_EQ(UndoCount(), steps);
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bAlignCenter->isChecked());
}

// The custom button's list is built afresh each time it opens: the recent
// formats, newest first, then "New Format...". The button part asks with
// the dialog, prefilled with the selected columns' common format.
TEST_F(TableCommandsTest, CustomFormatListAndDialog) {
  RecentFormats->Clear();
  RecentFormats->Add("p{2cm}");
  RecentFormats->Add("c|");
  Table().SelectColumnRange(0, 1);
  auto texts = [](const QList<QAction*>& items) {
    std::vector<std::string> out;
    for (const QAction* a : items) out.push_back(a->text().toStdString() + "/" + a->data().toString().toStdString());
    return out;
  };
  const QList<QAction*> items = OpenList(Form->AlignCustomMenu);
  EXPECT_EQ(texts(items), (std::vector<std::string>{"p{2cm}/1", "c|/2", "New Format.../0"}));
  ASSERT_TRUE(Run(items[1]));
  EXPECT_EQ(Table().Columns[0]->Format, "c|");
  EXPECT_EQ(Table().Columns[1]->Format, "c|");
  EXPECT_EQ(UndoCaption(0), "Align");
  EXPECT_EQ(texts(OpenList(Form->AlignCustomMenu)), (std::vector<std::string>{"c|/1", "p{2cm}/2", "New Format.../0"}));

  std::string prefilled = "?";
  Answer<TColumnFmtForm>([&prefilled](TColumnFmtForm& f) {
    prefilled = f.Edit1->text().toStdString();
    f.Edit1->setText("p{3cm}");
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->bAlignCustom));
  EXPECT_EQ(prefilled, "c|");
  EXPECT_EQ(Table().Columns[1]->Format, "p{3cm}");
  EXPECT_EQ((*RecentFormats)[0], "p{3cm}");
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bAlignCustom->isChecked());
  EXPECT_EQ(Form->bAlignCustom->text(), "p{3cm}");

  const int steps = UndoCount();
  AnswerColumnFormat("p{4cm}", false);
  ASSERT_TRUE(Run(Form->bAlignCustom));
  EXPECT_EQ(Table().Columns[1]->Format, "p{3cm}") << "cancelled";
  EXPECT_EQ(UndoCount(), steps);
}

// ---------------------------------------------------------------- a whole table

// A results table made from the window alone - typing, insert, join, rules,
// alignment - gives code LaTeX accepts.
TEST_F(TableCommandsTest, TableBuiltInTheWindowCompiles) {
  auto type = [this](int row, int col, const char* text) {
    // The first key on the grid starts the edit; the rest go to the editor.
    Click(Centre(Cell(row, col)));
    QTest::keyClicks(Form->ScrollBox, QString::fromUtf8(text, 1));
    QTest::keyClicks(Form->Editor, QString::fromUtf8(text + 1));
    QTest::keyClick(Form->Editor, Qt::Key_Return);
  };
  // Four columns to start with: one goes.
  Table().SelectColumn(3);
  ASSERT_TRUE(Run(Form->bDelete));
  type(0, 0, "Method");
  type(0, 1, "Error");
  JoinCells(0, 1, 2);
  type(1, 0, "A");
  type(1, 1, "0.12");
  type(1, 2, "3.4");
  type(2, 0, "$B_1$");
  type(2, 1, "0.5");
  type(2, 2, "12");
  SelectCells({Cell(1, 0)});
  ASSERT_TRUE(Run(Form->InsertItems[ikRowBelow]));
  type(2, 0, "C");
  // The header ruled above and below, a rule under the last row.
  SelectCells({Cell(0, 0), Cell(0, 1)});
  ASSERT_TRUE(Run(RuleItem(rbTop)));
  ASSERT_TRUE(Run(RuleItem(rbBottom)));
  Table().ClearSelection();
  Table().SelectRow(Table().RowCount() - 1);
  ASSERT_TRUE(Run(RuleItem(rbBottom)));
  // The number columns right-aligned.
  Table().ClearSelection();
  Table().SelectColumnRange(1, 2);
  ASSERT_TRUE(Run(Form->bAlignRight));

  std::vector<std::string> lines;
  TableToLatex(Table(), lines);
  std::string code;
  for (const std::string& l : lines) code += l + "\n";
  EXPECT_NE(code.find("\\begin{tabular}{lrr}"), std::string::npos) << code;
  EXPECT_NE(code.find("\\multicolumn{2}{c}{Error}"), std::string::npos) << code;
  EXPECT_EQ(PdfLatexErrors(LatexDocument(code)), "") << code;
}

}  // namespace
