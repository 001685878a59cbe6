// New, Table > Environment..., Row Prefix/Postfix... and the Undo list,
// driven from the window as a user drives them: the command, its dialog
// answered once it is up, then the table, the history and the window read
// back. What the dialogs do on their own is NewFormTest's, RowPrefixFormTest's
// and UndoListTest's; here it is the wiring between them and the document.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "common/gui/WindowFixture.h"
#include "forms/dialogs/NewTableUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "forms/dialogs/RowPrefixUnit.h"
#include "forms/mainwindow/UndoListUnit.h"

namespace {

class DocumentDialogsTest : public WindowFixture {
 protected:
  void AnswerNew(int cols, int rows, QRadioButton* TNewForm::*choice, const char* options, bool ok) {
    Answer<TNewForm>([=](TNewForm& f) {
      f.ColCount->setValue(cols);
      f.RowCount->setValue(rows);
      QTest::mouseClick(f.*choice, Qt::LeftButton);
      f.fOptions->setText(options);
      QTest::mouseClick(ok ? f.bOK : f.bCancel, Qt::LeftButton);
    });
  }
  std::string Environment() { return Table().Environment + Table().EnvOptions; }
};

// A Cancel at the save question leaves everything as it was; the sizes and
// the environment chosen then are offered again, and the next New builds
// them.
TEST_F(DocumentDialogsTest, NewThroughTheDialog) {
  Cell(0, 0)->SetText("old");
  RecordUndo("Typing old");
  Table().FileName = "/tmp/old.qtor";
  Table().Title = "old";
  const int steps = UndoCount();

  AnswerNew(3, 2, &TNewForm::fArray, "[t]", true);
  Script.Answers = {TSaveAnswer::Cancel};
  ASSERT_TRUE(Run(Form->bNew));
  EXPECT_EQ(Script.Questions.size(), 1u);
  EXPECT_EQ(Table().RowCount(), 4);
  EXPECT_EQ(Cell(0, 0)->Text(), "old");
  EXPECT_EQ(Environment(), "tabular");
  EXPECT_EQ(Table().FileName, "/tmp/old.qtor");
  EXPECT_EQ(Table().Title, "old");
  EXPECT_EQ(UndoCount(), steps);
  EXPECT_EQ(UndoCaption(0), "Typing old");
  EXPECT_TRUE(DocumentModified());

  std::vector<int> offered;
  Answer<TNewForm>([&offered](TNewForm& f) {
    offered = {f.ColCount->value(), f.RowCount->value()};
    EXPECT_FALSE(f.fSizePanel->isHidden());
    EXPECT_EQ(f.windowTitle(), "Create New Table");
    QTest::keyClick(&f, Qt::Key_Return);
  });
  Script.Answers = {TSaveAnswer::No};
  ASSERT_TRUE(Run(Form->bNew));
  EXPECT_EQ(offered, (std::vector<int>{3, 2}));
  EXPECT_EQ(Table().RowCount(), 2);
  EXPECT_EQ(Table().ColCount(), 3);
  EXPECT_EQ(Environment(), "tabular") << "the dialog starts from the table's environment";
  EXPECT_EQ(Table().Title, "Untitled");
  EXPECT_EQ(UndoCaption(0), "New Table");
  EXPECT_EQ(UndoCount(), steps + 1) << "the old document stays in the history";
  EXPECT_FALSE(DocumentModified());
  EXPECT_EQ(Script.Caption, "Quiltor - Untitled");

  AnswerNew(2, 5, &TNewForm::fArray, "[t]", true);
  ASSERT_TRUE(Run(Form->bNew));
  EXPECT_EQ(Environment(), "array[t]");
  EXPECT_EQ(Table().RowCount(), 5);
}

// The dialog shows the table's environment; OK records the step even when
// nothing changed, Cancel records nothing.
// Cancel at New's save question is a dialog path like any other: without
// the keyboard back, Undo, Cut and Copy would stay disabled until a click.
TEST_F(DocumentDialogsTest, CancelAtNewsSaveQuestionGivesTheGridTheKeyboard) {
  Form->SetCurrentCell(Cell(0, 0));
  FocusEditor();
  QTest::keyClicks(Form->Editor, "x");
  // The real question box, which takes the keyboard as the user sees it.
  SetDocumentUI(Form->DocumentUI());
  std::function<void()> cancelBox = [&cancelBox] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->reject();
    else
      QTimer::singleShot(10, cancelBox);
  };
  Answer<TNewForm>([&cancelBox](TNewForm& f) {
    QTimer::singleShot(0, cancelBox);
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  const bool ran = Run(Form->bNew);
  SetDocumentUI(&Script);
  ASSERT_TRUE(ran);
  EXPECT_EQ(Cell(0, 0)->Text(), "x");
  QCoreApplication::processEvents();
  EXPECT_EQ(FocusState, fsGrid);
  EXPECT_EQ(QApplication::focusWidget(), Form->ScrollBox);
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bUndo->isEnabled());
}

TEST_F(DocumentDialogsTest, EnvironmentDialog) {
  Table().Environment = "array";
  Table().EnvOptions = "[t]";
  const int steps = UndoCount();
  Answer<TNewForm>([](TNewForm& f) {
    EXPECT_EQ(f.windowTitle(), "Table Environment");
    EXPECT_TRUE(f.fSizePanel->isHidden());
    EXPECT_TRUE(f.fArray->isChecked());
    EXPECT_FALSE(f.fCustomName->isEnabled());
    EXPECT_EQ(f.fOptions->text(), "[t]");
    EXPECT_EQ(f.fPreview->toPlainText(), "\\begin{array}[t]{cols}\n...\n\\end{array}");
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnEnvironment));
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), "Change Environment");
  EXPECT_EQ(Environment(), "array[t]");

  Answer<TNewForm>([](TNewForm& f) {
    QTest::mouseClick(f.fCustom, Qt::LeftButton);
    f.fCustomName->setText("longtable");
    QTest::mouseClick(f.bCancel, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnEnvironment));
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(Environment(), "array[t]");
}

// Two rows with one prefix and two postfixes: the prefix is shown, the
// postfix box is empty. A prefix of two lines is stored with CR LF, in both
// rows, and the grid marks the rows.
TEST_F(DocumentDialogsTest, RowPrefixDialog) {
  for (int r : {1, 2}) Table().Rows[r]->Prefix = "\\hline";
  Table().Rows[1]->Postfix = "[2pt]";
  Table().Rows[2]->Postfix = "[4pt]";
  SelectCells({Cell(1, 3), Cell(2, 0)});
  Answer<TRowPrefixForm>([](TRowPrefixForm& f) {
    EXPECT_EQ(f.Memo1->toPlainText(), "\\hline");
    EXPECT_EQ(f.Memo2->toPlainText(), "");
    f.Memo1->clear();
    f.Memo1->setFocus();
    QTest::keyClicks(f.Memo1, "a");
    QTest::keyClick(f.Memo1, Qt::Key_Return);
    QTest::keyClicks(f.Memo1, "b");
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnRowPrefix));
  EXPECT_EQ(UndoCaption(0), "Row prefix/postfix");
  for (int r : {1, 2}) {
    EXPECT_EQ(Table().Rows[r]->Prefix, "a\r\nb") << r;
    EXPECT_EQ(Table().Rows[r]->Postfix, "") << r;
  }
  EXPECT_EQ(Table().Rows[0]->Prefix, "");
  // The red mark in the left margin, beside row 1 and not row 0.
  const auto mark = [this](int r) {
    const TRect& b = Table().Rows[r]->BoundsRect;
    return Form->Bitmap().pixelColor(Table().Margin - 3, (b.Top + b.Bottom) / 2);
  };
  EXPECT_EQ(mark(1), QColor(Qt::red));
  EXPECT_NE(mark(0), QColor(Qt::red));
}

// Twelve steps: the Undo button's own drop-down lists nine, newest first;
// the ninth undoes nine steps in one go, and the list then offers three.
TEST_F(DocumentDialogsTest, UndoListOfTheButton) {
  for (int i = 1; i <= 12; ++i) {
    Cell(0, 0)->SetText(std::to_string(i));
    RecordUndo("Step " + std::to_string(i));
  }
  Form->RefreshGrid();
  Form->UpdateCommandStates();
  QToolButton* button = Form->bUndoButton;
  ASSERT_TRUE(button->isEnabled());
  // The arrow part, as the style lays it out.
  QStyleOptionToolButton option;
  option.initFrom(button);
  option.features = QStyleOptionToolButton::MenuButtonPopup;
  option.subControls = QStyle::SC_ToolButton | QStyle::SC_ToolButtonMenu;
  const QPoint arrow =
      button->style()->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButtonMenu, button).center();

  std::vector<std::string> listed;
  auto open = [&](std::function<void(TUndoList&)> act) {
    QTimer::singleShot(0, [&listed, act] {
      auto* list = qobject_cast<TUndoList*>(QApplication::activePopupWidget());
      ASSERT_NE(list, nullptr) << "the list did not open";
      listed.clear();
      for (int i = 0; i < list->List->count(); ++i) listed.push_back(list->List->item(i)->text().toStdString());
      act(*list);
    });
    QTest::mousePress(button, Qt::LeftButton, {}, arrow);
    QTest::mouseRelease(button, Qt::LeftButton, {}, arrow);
  };
  open([](TUndoList& list) {
    QWidget* entries = list.List->viewport();
    const QPoint ninth = list.List->visualItemRect(list.List->item(8)).center();
    QTest::mouseMove(entries, ninth);
    QTest::mouseClick(entries, Qt::LeftButton, {}, ninth);
  });
  ASSERT_EQ(listed.size(), 9u);
  EXPECT_EQ(listed.front(), "Step 12");
  EXPECT_EQ(listed.back(), "Step 4");
  EXPECT_EQ(Cell(0, 0)->Text(), "3");
  EXPECT_EQ(UndoCount(), 3);
  EXPECT_EQ(RedoCaption(0), "Step 4");

  // The grid has the keyboard back once the list has closed.
  RunUntilIdle();
  open([](TUndoList& list) { QTest::keyClick(&list, Qt::Key_Escape); });
  EXPECT_EQ(listed, (std::vector<std::string>{"Step 3", "Step 2", "Step 1"}));
  EXPECT_EQ(UndoCount(), 3);
}

}  // namespace
