// The main window driven offscreen: start-up state, the idle-time command
// states, the cell editor's write-through, closing with unsaved changes, the
// code preview, the command guard and the view of a large table. State is
// read back from the model and the widgets, never from pixels.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/gui/WindowFixture.h"
#include "document/AppModule.h"
#include "forms/mainwindow/AppStart.h"
#include "forms/preview/CodeUnit.h"
#include "forms/dialogs/HelpUnit.h"
#include "forms/dialogs/ImportUnit.h"
#include "forms/mainwindow/MainActions.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/preview/TypesetPanel.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "latex/TabToLatex.h"
#include "model/Errors.h"
#include "model/TableFile.h"
#include "undo/UndoBuffers.h"

namespace {

std::string FromQ(const QString& s) { return s.toStdString(); }

using MainFormTest = WindowFixture;

TEST_F(MainFormTest, StartUpState) {
  EXPECT_EQ(Table().RowCount(), 4);
  EXPECT_EQ(Table().ColCount(), 4);
  EXPECT_EQ(Table().CurrentCell, nullptr);
  EXPECT_EQ(FocusState, fsGrid) << "the deferred event focuses the grid";
  EXPECT_TRUE(Table().HasFocus);
  EXPECT_EQ(Form->Panel2->text(), "");
  EXPECT_FALSE(Form->Editor->isEnabled());
  EXPECT_EQ(Form->Editor->text(), "");
  EXPECT_EQ(Form->windowTitle(), "Quiltor");

  Form->UpdateCommandStates();
  for (QAction* a : {Form->bSave, Form->bUndo, Form->bRedo, Form->bCut, Form->bCopy, Form->bPaste, Form->bDelete,
                     Form->mnDelete, Form->bRules, Form->mnBorders, Form->mnRowPrefix, Form->bJoin, Form->bAlignLeft,
                     Form->bAlignCenter, Form->bAlignRight, Form->bAlignCustom})
    EXPECT_FALSE(a->isEnabled()) << FromQ(a->text());
  for (QAction* a : {Form->bNew, Form->bOpen, Form->mnSaveAs, Form->bCopyLatex, Form->bViewCode, Form->bInsert})
    EXPECT_TRUE(a->isEnabled()) << FromQ(a->text());
  EXPECT_EQ(Form->bUndo->toolTip(), "Can't Undo");
  EXPECT_EQ(Form->bRedo->toolTip(), "Can't Redo");
  EXPECT_FALSE(Form->bViewCode->isChecked());
}

TEST_F(MainFormTest, ToolbarsAndIcons) {
  for (QToolBar* bar : {Form->Standard, Form->Formatting}) {
    EXPECT_FALSE(bar->objectName().isEmpty());
    EXPECT_TRUE(bar->isMovable());
    EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      // Widgets on the bar are labels or split buttons with a face action.
      QWidget* w = bar->widgetForAction(a);
      if (auto* button = qobject_cast<QToolButton*>(w)) {
        QAction* face = button->defaultAction() ? button->defaultAction() : a;
        EXPECT_FALSE(face->icon().isNull()) << FromQ(face->toolTip());
      } else {
        EXPECT_TRUE(qobject_cast<QLabel*>(w)) << "only labels go without an image";
      }
    }
  }
  for (QAction* a : Form->RuleItems) EXPECT_FALSE(a->icon().isNull());
  for (QAction* a : Form->InsertItems) EXPECT_FALSE(a->icon().isNull());
}

// Every action of the table has a place a user can reach, and no key is
// given to two of them: Qt runs neither of two actions that share a key.
TEST_F(MainFormTest, EveryActionIsPlacedAndEveryKeyIsItsOwn) {
  std::map<QString, std::string> keys;
  for (const TActionSpec& spec : MainActionTable()) {
    QAction* a = Form->*spec.Action;
    const std::string name = spec.Caption;
    bool placed = false;
    for (QObject* o : a->associatedObjects())
      placed = placed || qobject_cast<QMenu*>(o) || qobject_cast<QToolButton*>(o) || qobject_cast<QToolBar*>(o);
    EXPECT_TRUE(placed) << name;
    for (const QKeySequence& k : a->shortcuts()) {
      const auto [it, fresh] = keys.emplace(k.toString(), name);
      // The menu entry and the button of one command may share the action;
      // two actions may not share a key.
      EXPECT_TRUE(fresh) << k.toString().toStdString() << ": " << it->second << " and " << name;
    }
  }
  EXPECT_FALSE(keys.empty());
}

TEST_F(MainFormTest, IdleUpdateFollowsChanges) {
  Cell(0, 0)->SetText("x");
  RecordUndo("Typing x");
  RunUntilIdle();
  EXPECT_TRUE(Form->bSave->isEnabled()) << "the idle hook enabled Save";
  EXPECT_TRUE(Form->bUndo->isEnabled());
  EXPECT_EQ(Form->bUndo->toolTip(), "Undo Typing x");
  MarkSaved();
  RunUntilIdle();
  EXPECT_FALSE(Form->bSave->isEnabled());
}

TEST_F(MainFormTest, EditorFocusDisablesGridCommands) {
  Cell(0, 0)->SetText("a");
  Cell(0, 1)->SetText("b");
  RecordUndo("Typing");
  MarkSaved();
  QGuiApplication::clipboard()->setText("clip");
  SelectCells({Cell(0, 0), Cell(0, 1)});
  Form->SetCurrentCell(Cell(0, 0));
  Form->UpdateCommandStates();
  for (QAction* a : {Form->bUndo, Form->bCut, Form->bCopy, Form->bPaste, Form->bDelete, Form->bJoin})
    EXPECT_TRUE(a->isEnabled()) << "grid focused: " << FromQ(a->text());

  FocusEditor();
  ASSERT_EQ(FocusState, fsEditor);
  Form->UpdateCommandStates();
  for (QAction* a : {Form->bUndo, Form->bRedo, Form->bCut, Form->bCopy, Form->bPaste, Form->bDelete, Form->mnDelete,
                     Form->bJoin})
    EXPECT_FALSE(a->isEnabled()) << "editor focused: " << FromQ(a->text());
  for (QAction* a : {Form->bRules, Form->mnBorders, Form->bAlignLeft, Form->bAlignCenter, Form->bAlignRight})
    EXPECT_TRUE(a->isEnabled()) << "editor focused: " << FromQ(a->text());
  EXPECT_EQ(Form->DeleteMode(), dmDeleteNone);
  EXPECT_EQ(Form->bDelete->statusTip(), "");
}

TEST_F(MainFormTest, DeleteModes) {
  Cell(2, 2)->SetText("text");
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Select;
    int Mode;
    const char* Hint;
  };
  const std::vector<Case> cases = {
      {"rows 1 and 2", [](TTable& t) { t.SelectRowRange(1, 2); }, dmDeleteRows, "Delete Rows"},
      {"every row", [](TTable& t) { t.SelectRowRange(0, 3); }, dmDeleteNone, ""},
      {"column 1", [](TTable& t) { t.SelectColumn(1); }, dmDeleteColumns, "Delete Columns"},
      {"every column", [](TTable& t) { t.SelectColumnRange(0, 3); }, dmDeleteNone, ""},
      {"one empty cell", [](TTable& t) { t.SelectCell(t.GetCell(0, 0)); }, dmDeleteNone, ""},
      {"one cell with text", [](TTable& t) { t.SelectCell(t.GetCell(2, 2)); }, dmDeleteContents,
       "Delete Cell Contents"},
      {"two empty cells",
       [](TTable& t) {
         t.SelectCell(t.GetCell(0, 0));
         t.SelectCell(t.GetCell(0, 1));
       },
       dmDeleteContents, "Delete Cell Contents"},
  };
  for (const Case& c : cases) {
    Table().ClearSelection();
    c.Select(Table());
    Form->UpdateCommandStates();
    EXPECT_EQ(Form->DeleteMode(), c.Mode) << c.Name;
    EXPECT_EQ(FromQ(Form->bDelete->statusTip()), c.Hint) << c.Name;
    EXPECT_EQ(Form->bDelete->isEnabled(), c.Mode != dmDeleteNone) << c.Name;
    // The menu entry follows, with the Del key only while it can act.
    EXPECT_EQ(Form->mnDelete->isEnabled(), c.Mode != dmDeleteNone) << c.Name;
    EXPECT_EQ(Form->mnDelete->shortcut().isEmpty(), c.Mode == dmDeleteNone) << c.Name;
    Form->bTableClick();
    EXPECT_EQ(FromQ(Form->mnDelete->text()), c.Mode ? c.Hint : "Delete") << c.Name;
  }
}

TEST_F(MainFormTest, JoinSplitFace) {
  TCell* joined = JoinCells(1, 1, 2);
  SelectCells({joined});
  EXPECT_EQ(Form->bJoin->text(), "Split");
  EXPECT_EQ(Form->bJoin->toolTip(), "Split Selected Cell");
  EXPECT_EQ(Form->JoinImage(), TMainForm::kSplitImage);
  EXPECT_TRUE(Form->bJoin->isEnabled());
  Form->SetCurrentCell(joined);
  FocusEditor();
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bJoin->isEnabled()) << "a joined cell can be split while the editor has the focus";
  Form->FocusGrid();

  struct Case {
    const char* Name;
    std::vector<std::pair<int, int>> Cells;
    bool Enabled;
  };
  const std::vector<Case> cases = {
      {"two neighbours", {{0, 0}, {0, 1}}, true},
      {"neighbours next to a joined cell", {{1, 0}, {1, 1}}, true},
      {"a column over two rows", {{0, 0}, {1, 0}}, true},
      {"one cell", {{0, 0}}, false},
      // The selection is read as the rectangle the screen shows: the gap fills.
      {"a gap", {{0, 0}, {0, 2}}, true},
  };
  for (const Case& c : cases) {
    Table().ClearSelection();
    for (auto [row, col] : c.Cells) Table().SelectCell(Cell(row, col));
    Form->UpdateCommandStates();
    EXPECT_EQ(Form->bJoin->text(), "Join") << c.Name;
    EXPECT_EQ(Form->bJoin->toolTip(), "Merge Selected Cells") << c.Name;
    EXPECT_EQ(Form->JoinImage(), TMainForm::kJoinImage) << c.Name;
    EXPECT_EQ(Form->bJoin->isEnabled(), c.Enabled) << c.Name;
  }
}

TEST_F(MainFormTest, AlignmentButtons) {
  struct Case {
    const char* Name;
    std::vector<std::string> Formats;  // of columns 0, 1, ... which get selected
    QAction* TMainForm::*Checked;      // none when null
    const char* Caption;
  };
  const std::vector<Case> cases = {
      {"l and l", {"l", "l"}, &TMainForm::bAlignLeft, ""},
      {"l and c", {"l", "c"}, nullptr, ""},
      {"c", {"c"}, &TMainForm::bAlignCenter, ""},
      {"r and r", {"r", "r"}, &TMainForm::bAlignRight, ""},
      {"p{20pt}", {"p{20pt}"}, &TMainForm::bAlignCustom, "p{20pt}"},
      {"l and p{2cm}", {"l", "p{2cm}"}, nullptr, ""},
  };
  QAction* TMainForm::*const buttons[] = {&TMainForm::bAlignLeft, &TMainForm::bAlignCenter, &TMainForm::bAlignRight,
                                          &TMainForm::bAlignCustom};
  for (const Case& c : cases) {
    Table().ClearSelection();
    for (size_t i = 0; i < c.Formats.size(); ++i) {
      Table().Columns[static_cast<int>(i)]->Format = c.Formats[i];
      Table().SelectColumn(static_cast<int>(i));
    }
    Form->UpdateCommandStates();
    for (auto b : buttons) {
      EXPECT_TRUE((Form->*b)->isEnabled()) << c.Name;
      EXPECT_EQ((Form->*b)->isChecked(), b == c.Checked) << c.Name << " " << FromQ((Form->*b)->text());
    }
    EXPECT_EQ(FromQ(Form->bAlignCustom->text()), c.Caption) << c.Name;
  }

  // A long format is shortened to fit the button.
  Table().ClearSelection();
  Table().Columns[0]->Format = "p{" + std::string(200, 'w') + "}";
  Table().SelectColumn(0);
  Form->UpdateCommandStates();
  const QString caption = Form->bAlignCustom->text();
  EXPECT_TRUE(caption.endsWith(QChar(0x2026)));
  EXPECT_LE(QFontMetrics(Form->font()).horizontalAdvance(caption), 80);

  // Cells: their own common alignment; the custom button needs columns.
  Table().ClearSelection();
  Cell(0, 0)->Align = 'c';
  Cell(0, 1)->Align = 'c';
  SelectCells({Cell(0, 0), Cell(0, 1)});
  EXPECT_TRUE(Form->bAlignCenter->isChecked());
  EXPECT_FALSE(Form->bAlignCustom->isEnabled());
  Cell(0, 1)->Align = 0;
  Form->UpdateCommandStates();
  for (auto b : buttons) EXPECT_FALSE((Form->*b)->isChecked());

  // Rows: no alignment at all.
  Table().ClearSelection();
  Table().SelectRow(0);
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->bAlignLeft->isEnabled());
  EXPECT_TRUE(Form->mnRowPrefix->isEnabled());
  Table().ClearSelection();
  Table().SelectColumn(0);
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->mnRowPrefix->isEnabled());
}

TEST_F(MainFormTest, StatusTextForJoinedCell) {
  // Starts in the second column of the third row and spans three columns.
  TCell* joined = JoinCells(2, 1, 3);
  Form->SetCurrentCell(joined);
  EXPECT_EQ(Form->Panel2->text(), " Col: 2-4   Row: 3");
  Form->SetCurrentCell(Cell(0, 3));
  EXPECT_EQ(Form->Panel2->text(), " Col: 4   Row: 1");
  Form->SetCurrentCell(nullptr);
  EXPECT_EQ(Form->Panel2->text(), "");
}

TEST_F(MainFormTest, RulesOfAFullyRuledCell) {
  TCell* c = Cell(1, 1);
  c->RuleLeft = c->RuleTop = c->RuleRight = c->RuleBottom = 255;
  SelectCells({c});
  EXPECT_EQ(Form->SelectionRuleFlags(Form->GetSelectionBounds()), 27);
  EXPECT_FALSE(Form->bRules->isChecked()) << "all rules include inner ones, which one cell never has";
  Form->bRules->setData(27);
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bRules->isChecked());
}

TEST_F(MainFormTest, PartlySelectedJoinedCellIsTakenIn) {
  JoinCells(1, 1, 2);  // columns 1 and 2 of row 1
  Table().ClearSelection();
  Table().SelectCell(Cell(0, 2));
  Table().SelectCell(Cell(1, 2));  // the joined cell
  Form->UpdateCommandStates();
  EXPECT_TRUE(Cell(0, 1)->Selected) << "the rectangle grew to the joined cell's first column";
  EXPECT_EQ(Table().GetSelectedCells().size(), 3u);
}

TEST_F(MainFormTest, EditorWritesThroughToTheCurrentCellOnly) {
  Cell(0, 0)->SetText("first");
  Cell(1, 0)->SetText("second");
  RecordUndo("Texts");
  Form->RefreshGrid();
  Form->SetCurrentCell(Cell(0, 0));
  EXPECT_TRUE(Form->Editor->isEnabled());
  EXPECT_EQ(Form->Editor->text(), "first");
  Form->SetCurrentCell(Cell(1, 0));
  EXPECT_EQ(Form->Editor->text(), "second");
  EXPECT_EQ(Cell(0, 0)->Text(), "first") << "loading the next cell must not overwrite the old one";
  EXPECT_EQ(Cell(1, 0)->Text(), "second");

  FocusEditor();
  QTest::keyClick(Form->Editor, Qt::Key_End);
  QTest::keyClicks(Form->Editor, "xy");
  EXPECT_EQ(Cell(1, 0)->Text(), "secondxy") << "every keystroke goes into the cell";
  const int steps = UndoCount();
  Form->FocusGrid();
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), "Typing secondxy");

  Form->SetCurrentCell(nullptr);
  EXPECT_FALSE(Form->Editor->isEnabled());
  EXPECT_EQ(Form->Editor->text(), "");
  EXPECT_EQ(Cell(1, 0)->Text(), "secondxy") << "emptying the idle editor writes nowhere";

  // Undo goes back to the text before the edit, and leaves no current cell.
  Form->SetCurrentCell(Cell(1, 0));
  ASSERT_TRUE(Run(Form->bUndo));
  EXPECT_EQ(Cell(1, 0)->Text(), "second");
  EXPECT_EQ(Table().CurrentCell, nullptr);
  EXPECT_FALSE(Form->Editor->isEnabled());
  EXPECT_EQ(Form->Panel2->text(), "");
  ASSERT_TRUE(Run(Form->bRedo));
  EXPECT_EQ(Cell(1, 0)->Text(), "secondxy");
}

// The Edit menu names the steps as it opens: none at start-up; during
// typing it ends the edit first, so the typed text is the step it names.
TEST_F(MainFormTest, EditMenuCommitsTheEditFirst) {
  auto openEdit = [this] {
    Form->mnEdit->popup(QPoint(0, 0));
    Form->mnEdit->hide();
    // The offscreen platform does not give the activation back itself.
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form));
  };
  openEdit();
  EXPECT_EQ(Form->mnUndo->text(), "Can't &Undo");
  EXPECT_EQ(Form->mnRedo->text(), "Can't &Redo");
  EXPECT_FALSE(Form->mnUndo->isEnabled());
  EXPECT_FALSE(Form->mnRedo->isEnabled());

  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  QTest::keyClicks(Form->Editor, "q");
  ASSERT_EQ(FocusState, fsEditor);
  openEdit();
  EXPECT_EQ(Form->focusWidget(), Form->ScrollBox);
  EXPECT_TRUE(Form->mnUndo->isEnabled());
  EXPECT_EQ(Form->mnUndo->text(), "&Undo Typing q");
  EXPECT_EQ(Form->mnRedo->text(), "Can't &Redo");
  EXPECT_FALSE(Form->mnRedo->isEnabled());
}

// Rules and Split leave the editor focused. If they did not end the edit
// first, the typed text would land inside their undo step and the
// "Typing" step recorded later would undo nothing.
TEST_F(MainFormTest, TypingBeforeRulesOrSplitIsAStepOfItsOwn) {
  for (const bool split : {false, true}) {
    SCOPED_TRACE(split ? "Split" : "Rules");
    Stop();
    Start();
    TCell* cell = split ? JoinCells(0, 0, 2) : Cell(0, 0);
    SelectCells({cell});
    Form->SetCurrentCell(cell);
    FocusEditor();
    QTest::keyClicks(Form->Editor, "abc");
    ASSERT_TRUE(Run(split ? Form->bJoin : Form->bRules));
    EXPECT_EQ(UndoCaption(0), split ? "Split" : "Rules");
    EXPECT_EQ(UndoCaption(1), "Typing abc");
    Form->FocusGrid();
    ASSERT_TRUE(Run(Form->bUndo));
    EXPECT_EQ(Cell(0, 0)->Text(), "abc");
    EXPECT_EQ(Cell(0, 0)->Span, split ? 2 : 1);
    EXPECT_EQ(Cell(0, 0)->RuleTop, 0);
    ASSERT_TRUE(Run(Form->bUndo));
    EXPECT_EQ(Cell(0, 0)->Text(), "");
  }
}

TEST_F(MainFormTest, SetCurrentCellScrollsIntoView) {
  NewDocument(80, 80);
  Form->RefreshGrid();
  TCell* far = Cell(79, 79);
  Form->SetCurrentCell(far);
  const TRect v = Form->VisibleRect();
  const TRect& b = far->BoundsRect;
  EXPECT_GE(b.Left, v.Left);
  EXPECT_LE(b.Right, v.Right);
  EXPECT_GE(b.Top, v.Top);
  EXPECT_LE(b.Bottom, v.Bottom);
  Form->SetCurrentCell(Cell(0, 0));
  EXPECT_EQ(Form->VisibleRect().Left, Cell(0, 0)->BoundsRect.Left);
  EXPECT_EQ(Form->VisibleRect().Top, Cell(0, 0)->BoundsRect.Top);
}

TEST_F(MainFormTest, BitmapIsTheViewNotTheTable) {
  NewDocument(1000, 1000);
  Form->RefreshGrid();
  EXPECT_GT(Table().PixelWidth, 10000);
  const QSize view = Form->PaintBox->size();
  EXPECT_EQ(Form->Bitmap().deviceIndependentSize().toSize(), view);
  Form->SetCurrentCell(Cell(999, 999));
  EXPECT_EQ(Form->Bitmap().deviceIndependentSize().toSize(), view);
  EXPECT_EQ(Form->VisibleRect().Right, Cell(999, 999)->BoundsRect.Right);
  EXPECT_EQ(Form->VisibleRect().Bottom, Cell(999, 999)->BoundsRect.Bottom);
}

TEST_F(MainFormTest, CloseQuestion) {
  Cell(0, 0)->SetText("changed");
  RecordUndo("Typing changed");

  Script.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(Form->close());
  EXPECT_TRUE(Form->isVisible());
  ASSERT_EQ(Script.Questions.size(), 1u);
  EXPECT_EQ(Script.Questions.back(), "Confirm|" + SaveChangesText(Table().Title));
  EXPECT_EQ(Cell(0, 0)->Text(), "changed");

  // Yes on a document without a file asks for a name; cancelling that keeps
  // the window open.
  Script.Answers = {TSaveAnswer::Yes};
  Script.SaveChoices = {""};
  EXPECT_FALSE(Form->close());
  EXPECT_EQ(Script.SaveProposals.size(), 1u);

  Script.Answers = {TSaveAnswer::No};
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(Script.SaveProposals.size(), 1u) << "No closes without saving";
  EXPECT_EQ(Script.Questions.size(), 3u);
}

TEST_F(MainFormTest, UnmodifiedDocumentClosesWithoutQuestion) {
  EXPECT_TRUE(Form->close());
  EXPECT_TRUE(Script.Questions.empty());
}

TEST_F(MainFormTest, CodePreviewFollowsChangesWhileVisible) {
  auto latex = [] {
    std::vector<std::string> lines;
    TableToLatex(*CurrentTable, lines);
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    return text;
  };
  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  Form->mnViewCodeClick();
  ASSERT_TRUE(Code->isVisible());
  EXPECT_EQ(FocusState, fsEditor) << "showing the preview leaves the focus in the editor";
  EXPECT_EQ(FromQ(Code->Memo->toPlainText()), latex());
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bViewCode->isChecked());

  QTest::keyClick(Form->Editor, Qt::Key_A);
  EXPECT_NE(FromQ(Code->Memo->toPlainText()).find("a"), std::string::npos);
  EXPECT_EQ(FromQ(Code->Memo->toPlainText()), latex()) << "follows each keystroke";

  Form->mnViewCodeClick();
  ASSERT_FALSE(Code->isVisible());
  const QString stale = Code->Memo->toPlainText();
  QTest::keyClicks(Form->Editor, "bcd");
  EXPECT_EQ(Code->Memo->toPlainText(), stale) << "nothing is generated while hidden";
  Form->mnViewCodeClick();
  EXPECT_EQ(FromQ(Code->Memo->toPlainText()), latex()) << "showing regenerates at once";

  Code->close();
  EXPECT_FALSE(Code->isVisible()) << "closing hides";
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->bViewCode->isChecked());
}

TEST_F(MainFormTest, CopyAsLatexCode) {
  Cell(0, 0)->SetText("a");
  ASSERT_TRUE(Run(Form->bCopyLatex));
  std::vector<std::string> lines;
  TableToLatex(Table(), lines);
  std::string expected;
  for (size_t i = 0; i < lines.size(); ++i) expected += (i ? "\r\n" : "") + lines[i];
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
  EXPECT_EQ(UndoCount(), 0);
}

TEST_F(MainFormTest, SelectAllAndGridToggle) {
  ASSERT_TRUE(Run(Form->mnSelectAll));
  EXPECT_EQ(Table().GetSelectedCells().size(), 16u);
  EXPECT_EQ(Table().SelectionMode, smNone);
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bCut->isEnabled());
  EXPECT_TRUE(Form->mnBorders->isEnabled());

  const bool grid = Table().ShowGrid;
  ASSERT_TRUE(Run(Form->mnViewGrid));
  EXPECT_NE(Table().ShowGrid, grid);
  Form->mnViewClick();
  EXPECT_EQ(Form->mnViewGrid->isChecked(), Table().ShowGrid);
  ASSERT_TRUE(Run(Form->mnViewStdToolbar));
  Form->mnViewClick();
  EXPECT_FALSE(Form->mnViewStdToolbar->isChecked());
  EXPECT_TRUE(Form->mnViewFmtToolbar->isChecked());
}

TEST_F(MainFormTest, GuardShowsTheMessageAndGoesOn) {
  Form->RunCommand([] { throw EQuiltorError("Stream read error"); });
  Form->RunCommand([] { throw std::runtime_error("something else"); });
  EXPECT_EQ(Script.Errors, (std::vector<std::string>{"Stream read error", "something else"}));

  // A real command failing half-way: a damaged file from the recent list.
  QTemporaryDir dir;
  const QString path = dir.filePath("damaged.qtor");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("this is not a table");
  f.close();
  Cell(0, 0)->SetText("kept");
  Form->RunCommand([&] { Form->MRUListClick(path.toStdString()); });
  EXPECT_EQ(Script.Errors.size(), 3u);
  EXPECT_EQ(Cell(0, 0)->Text(), "kept");
  EXPECT_TRUE(Form->isVisible());
  Script.Errors.clear();
}

TEST_F(MainFormTest, RecentFilesInTheFileMenu) {
  RecentFiles->AddToTop("/tmp/one.qtor");
  RecentFiles->AddToTop("/tmp/a&b.qtor");
  Form->mnFileClick();
  ASSERT_EQ(Form->MRUListItems.size(), 2);
  EXPECT_EQ(Form->MRUListItems[0]->text(), "&1 /tmp/a&&b.qtor");
  EXPECT_EQ(Form->MRUListItems[1]->data().toString(), "/tmp/one.qtor");
  const QList<QAction*> items = Form->mnFile->actions();
  EXPECT_LT(items.indexOf(Form->mnSaveAs), items.indexOf(Form->MRUListItems[0]));
  EXPECT_LT(items.indexOf(Form->MRUListItems[1]), items.indexOf(Form->mnExit));
  Form->mnFileClick();
  EXPECT_EQ(Form->MRUListItems.size(), 2) << "refilled, not appended";
}

// The file named on the command line is open once the window is up; a name
// that is no file is ignored.
TEST_F(MainFormTest, CommandLineFile) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("prices.qtor").toStdString();
  Cell(2, 3)->SetText("42");
  Script.SaveChoices = {path};
  ASSERT_TRUE(SaveDocumentAs());
  Stop();

  Start(path);
  EXPECT_EQ(Cell(2, 3)->Text(), "42");
  EXPECT_EQ(Table().Title, "prices");
  Stop();

  Start(dir.filePath("missing.qtor").toStdString());
  EXPECT_EQ(Cell(2, 3)->Text(), "");
  EXPECT_EQ(Table().Title, "Untitled");
  EXPECT_TRUE(Script.Errors.empty());
}

}  // namespace

namespace {

// A menu takes the keyboard while it is open. The grid's commands in it must
// stay usable, and opening the Edit menu over an edit ends the edit.
TEST_F(MainFormTest, OpenMenuKeepsTheGridFocused) {
  Cell(0, 0)->SetText("a");
  SelectCells({Cell(0, 0)});
  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  QTest::keyClick(Form->Editor, Qt::Key_End);
  QTest::keyClicks(Form->Editor, "b");
  ASSERT_EQ(FocusState, fsEditor);

  Form->mnEdit->popup(Form->mapToGlobal(QPoint(10, 10)));
  RunUntilIdle();
  EXPECT_TRUE(Form->mnEdit->isVisible());
  EXPECT_EQ(FocusState, fsGrid);
  EXPECT_EQ(UndoCaption(0), "Typing ab");
  EXPECT_TRUE(Form->bCut->isEnabled()) << "Cut in the open menu";
  EXPECT_TRUE(Form->bCopy->isEnabled());
  Form->mnEdit->hide();
  RunUntilIdle();
  EXPECT_EQ(FocusState, fsGrid);
  EXPECT_EQ(QApplication::focusWidget(), Form->ScrollBox);
  EXPECT_TRUE(Form->bCut->isEnabled());
}

}  // namespace

namespace {

// The guide ships inside the program: every page and every link between
// pages must be there.
TEST_F(MainFormTest, HelpGuideIsBundled) {
  Form->mnHelpTopicsClick();
  auto* help = Form->findChild<THelpForm*>();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->Browser->documentTitle(), "Quiltor Help");
  QStringList pages = {"index.html"};
  QStringList seen;
  while (!pages.isEmpty()) {
    const QString page = pages.takeFirst();
    if (seen.contains(page)) continue;
    seen << page;
    QFile file(":/help/" + page);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << page.toStdString();
    help->ShowPage(page);
    EXPECT_FALSE(help->Browser->documentTitle().isEmpty()) << page.toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    static const QRegularExpression link("href=\"([a-z]+\\.html)\"");
    for (auto it = link.globalMatch(html); it.hasNext();) pages << it.next().captured(1);
  }
  EXPECT_EQ(seen.size(), 5);

  // Every key the menus show is in the guide.
  QString guide;
  for (const QString& page : seen) {
    QFile file(":/help/" + page);
    if (file.open(QIODevice::ReadOnly)) guide += QString::fromUtf8(file.readAll());
  }
  // Submenus (Table > Alignment, Rules) included.
  QList<QMenu*> menus = {Form->mnFile, Form->mnEdit, Form->mnTable, Form->mnView, Form->mnHelp};
  int keyCount = 0;
  while (!menus.isEmpty()) {
    for (QAction* a : menus.takeFirst()->actions()) {
      if (a->menu()) menus << a->menu();
      for (const QKeySequence& keys : a->shortcuts()) {
        ++keyCount;
        EXPECT_TRUE(guide.contains("<kbd>" + keys.toString() + "</kbd>")) << keys.toString().toStdString();
      }
    }
  }
  // Join, the three alignments and the two pastes have keys too.
  EXPECT_GE(keyCount, 17);
}

}  // namespace

namespace {

// Save while a cell is being edited saves the edit: from the keyboard, the
// toolbar and Save As alike, with no idle moment between the typing and
// the command.
TEST_F(MainFormTest, SaveEndsTheEditFirst) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("prices.qtor").toStdString();
  // The first save names the file; Save As below asks again.
  Script.SaveChoices = {path, path};
  ASSERT_TRUE(SaveDocumentAs());
  // Save As onto the file it has asks before replacing it.
  Script.AskAnswers = {0};
  struct Case {
    const char* Name;
    std::function<void()> Save;
  };
  const Case cases[] = {
      {"Ctrl+S", [&] { QTest::keyClick(Form->Editor, Qt::Key_S, Qt::ControlModifier); }},
      {"the toolbar button", [&] { ASSERT_TRUE(Run(Form->bSave)); }},
      {"Save As", [&] { ASSERT_TRUE(Run(Form->mnSaveAs)); }},
  };
  int column = 0;
  for (const Case& c : cases) {
    Form->SetCurrentCell(Cell(1, column));
    FocusEditor();
    QTest::keyClicks(Form->Editor, c.Name);
    c.Save();
    EXPECT_FALSE(DocumentModified()) << c.Name;
    EXPECT_EQ(UndoCaption(0), TypingCaption(c.Name)) << c.Name;
    TTable saved;
    LoadTableFile(saved, path);
    EXPECT_EQ(saved.GetCell(1, column)->Text(), c.Name) << c.Name;
    ++column;
  }
  EXPECT_TRUE(Script.Errors.empty()) << Script.Errors.front();

  // Nothing typed, nothing changed: Save writes nothing.
  const size_t dialogs = Script.SaveProposals.size();
  Form->FocusGrid();
  QFile::remove(QString::fromStdString(path));
  QTest::keyClick(Form->ScrollBox, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
  EXPECT_EQ(Script.SaveProposals.size(), dialogs);
}

// Window titles are the captions alone. The platform appends an
// application display name, where one is set, to every title on X11
// ("Code Preview — Quiltor"), so none may be set: then the display name
// follows the application's name.
TEST_F(MainFormTest, WindowTitlesAreTheCaptionsAlone) {
  NameApplication();
  EXPECT_EQ(QCoreApplication::applicationName(), "Quiltor");
  QCoreApplication::setApplicationName("Probe");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Probe") << "a display name was set";
  QCoreApplication::setApplicationName("Quiltor");

  SetDocumentUI(Form->DocumentUI());
  Table().Title = "prices";
  UpdateCaption();
  SetDocumentUI(&Script);
  EXPECT_EQ(Form->windowTitle(), "Quiltor - prices");
  EXPECT_EQ(Code->windowTitle(), "Code Preview");
  TImportForm import(Form);
  EXPECT_EQ(import.windowTitle(), "Text Import");
}

// An undo caption holding a TAB (a cell loaded with one, then typed in)
// shows on one line in the Edit menu and the hints: a TAB would open the
// menu's shortcut column.
TEST_F(MainFormTest, UndoCaptionsShowOnOneLine) {
  Cell(0, 0)->SetText("a\tb");
  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  QTest::keyClick(Form->Editor, Qt::Key_End);
  QTest::keyClicks(Form->Editor, "c");
  Form->mnEditClick();
  EXPECT_EQ(UndoCaption(0), "Typing a\tbc") << "the history keeps the caption";
  EXPECT_EQ(Form->mnUndo->text(), "&Undo Typing a bc");
  Form->UpdateCommandStates();
  EXPECT_EQ(Form->bUndo->toolTip(), "Undo Typing a bc");
  ASSERT_TRUE(Run(Form->bUndo));
  Form->mnEditClick();
  EXPECT_EQ(Form->mnRedo->text(), "&Redo Typing a bc");
  Form->UpdateCommandStates();
  EXPECT_EQ(Form->bRedo->toolTip(), "Redo Typing a bc");
}

// Paste needs text on the clipboard.
TEST_F(MainFormTest, PasteFollowsTheClipboard) {
  SelectCells({Cell(1, 1)});
  QGuiApplication::clipboard()->clear();
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->bPaste->isEnabled());
  QGuiApplication::clipboard()->setText("x");
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bPaste->isEnabled());
}

// A cell text with a line break takes two lines of the preview; the lines
// below it must still be replaced where they are.
TEST_F(MainFormTest, CodePreviewAfterACellWithALineBreak) {
  NewDocument(2, 3);
  Cell(0, 0)->SetText("A");
  Cell(0, 1)->SetText("line one\nline two");
  Cell(1, 0)->SetText("B");
  Cell(1, 1)->SetText("x");
  Form->mnViewCodeClick();
  ASSERT_TRUE(Code->isVisible());
  Form->SetCurrentCell(Cell(1, 1));
  FocusEditor();
  QTest::keyClicks(Form->Editor, "y");
  std::vector<std::string> lines;
  TableToLatex(Table(), lines);
  QStringList expected;
  for (const std::string& l : lines) expected << QString::fromStdString(l);
  EXPECT_EQ(Code->Memo->toPlainText(), expected.join('\n'));
  EXPECT_TRUE(Code->Memo->toPlainText().contains("line two")) << Code->Memo->toPlainText().toStdString();
  Form->mnViewCodeClick();
}

}  // namespace

// The grid keeps Tab, so without F6 the typeset panel's buttons are out of
// the keyboard's reach.
TEST_F(MainFormTest, F6AndEscapeMoveBetweenGridAndTypesetPanel) {
  ASSERT_TRUE(Run(Form->bViewTypeset));
  RunUntilIdle();
  ASSERT_EQ(Form->focusWidget(), Form->ScrollBox);
  QTest::keyClick(Form->ScrollBox, Qt::Key_F6);
  EXPECT_TRUE(Form->TypesetPanel->isAncestorOf(Form->focusWidget()));
  QTest::keyClick(Form->focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(Form->focusWidget(), Form->ScrollBox);
  QTest::keyClick(Form->ScrollBox, Qt::Key_F6);
  QTest::keyClick(Form->focusWidget(), Qt::Key_F6);
  EXPECT_EQ(Form->focusWidget(), Form->ScrollBox);
}
