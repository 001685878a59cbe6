// The table's style from the window: Table > Rule Style and its toolbar
// toggle with their one-time notice, Table > Float..., and the code
// preview's package line.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "common/gui/WindowFixture.h"
#include "forms/dialogs/FloatUnit.h"
#include "undo/UndoBuffers.h"

namespace {

using StyleFormTest = WindowFixture;

// If the notice came on every switch, or never, or the menu and toggle
// disagreed with the table, this fails.
TEST_F(StyleFormTest, RuleStyleMenuToggleAndNoticeOnce) {
  Table().GetCell(1, 1)->RuleLeft = 255;
  int notices = 0;
  Answer<QMessageBox>([&notices](QMessageBox& box) {
    ++notices;
    box.accept();
  });
  ASSERT_TRUE(Run(Form->mnRuleBooktabs));
  EXPECT_EQ(Table().Style.Rules, rsBooktabs);
  EXPECT_EQ(UndoCaption(0), "Rule Style");
  Form->UpdateCommandStates();
  EXPECT_TRUE(Form->bBooktabs->isChecked());
  EXPECT_TRUE(Form->mnRuleBooktabs->isChecked());
  EXPECT_FALSE(Form->mnRuleClassic->isChecked());

  ASSERT_TRUE(Run(Form->bBooktabs));
  EXPECT_EQ(Table().Style.Rules, rsClassic);
  ASSERT_TRUE(Run(Form->bBooktabs));
  EXPECT_EQ(Table().Style.Rules, rsBooktabs);
  QApplication::processEvents();
  EXPECT_EQ(notices, 1);

  Form->bUndoClick();
  EXPECT_EQ(Table().Style.Rules, rsClassic) << "undo restores the style";
}

// The dialog offers a float to a table without one; OK stores what the
// user typed; unchecking the box takes the float away. The code preview
// shows the float and names the package booktabs needs.
TEST_F(StyleFormTest, FloatDialogAndCodePreview) {
  Table().Style.Rules = rsBooktabs;
  Table().GetCell(0, 0)->RuleTop = 255;
  Answer<TFloatForm>([](TFloatForm& f) {
    EXPECT_TRUE(f.fInFloat->isChecked());
    EXPECT_EQ(f.fPlacement->text(), "htbp");
    EXPECT_TRUE(f.fCentering->isChecked());
    EXPECT_FALSE(f.fTextBefore->isVisibleTo(&f)) << "nothing was kept from a document";
    QTest::keyClicks(f.fCaption, "Error rates");
    f.fLabel->setText("tab:err");
    f.fCaptionBelow->setChecked(true);
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnFloat));
  const TTableFloat& fl = Table().Style.Float;
  EXPECT_EQ(fl.Caption, "Error rates");
  EXPECT_EQ(fl.Label, "tab:err");
  EXPECT_EQ(fl.Placement, "htbp");
  EXPECT_TRUE(fl.Centering);
  EXPECT_TRUE(fl.CaptionBelow);
  EXPECT_EQ(UndoCaption(0), "Float");

  ASSERT_TRUE(Run(Form->bViewCode));
  const QString code = CodeForm->Memo->toPlainText();
  EXPECT_TRUE(code.startsWith("\\begin{table}[htbp]\n\\centering\n\\begin{tabular}")) << code.toStdString();
  EXPECT_TRUE(code.endsWith("\\caption{Error rates}\n\\label{tab:err}\n\\end{table}")) << code.toStdString();
  EXPECT_EQ(CodeForm->StatusLine->text(), "Packages: booktabs");

  Answer<TFloatForm>([](TFloatForm& f) {
    f.fInFloat->setChecked(false);
    QTest::mouseClick(f.bOK, Qt::LeftButton);
  });
  ASSERT_TRUE(Run(Form->mnFloat));
  EXPECT_FALSE(Table().Style.Float.Active());
  EXPECT_TRUE(CodeForm->Memo->toPlainText().startsWith("\\begin{tabular}"));
}

}  // namespace
