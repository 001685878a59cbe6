// The Row Prefix/Postfix dialog: what it shows and what it gives back.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "forms/dialogs/RowPrefixUnit.h"

// A multi-line prefix is stored with CR LF, whether the stored text came in
// with CR LF (shown as two lines, no stray CR) or the user typed the break.
TEST(RowPrefixForm, LineBreaksShownAsLinesAndGivenBackAsCrLf) {
  TRowPrefixForm form;
  QString shownPrefix, shownPostfix;
  QTimer::singleShot(0, &form, [&] {
    shownPrefix = form.Memo1->toPlainText();
    shownPostfix = form.Memo2->toPlainText();
    EXPECT_EQ(form.focusWidget(), form.Memo1);
    form.Memo2->setFocus();
    form.Memo2->moveCursor(QTextCursor::End);
    QTest::keyClick(form.Memo2, Qt::Key_Return);
    QTest::keyClicks(form.Memo2, "\\hline");
    QTest::keyClick(form.Memo2, Qt::Key_Return, Qt::ShiftModifier);  // a line separator, not a paragraph
    QTest::keyClicks(form.Memo2, "%");
    form.bOK->click();
  });
  std::string prefix = "\\rowcolor{gray}\r\n\\color{red}";
  std::string postfix = "\\\\[2pt]";
  ASSERT_TRUE(form.Execute(prefix, postfix));
  EXPECT_EQ(shownPrefix.toStdString(), "\\rowcolor{gray}\n\\color{red}");
  EXPECT_EQ(shownPostfix.toStdString(), "\\\\[2pt]");
  EXPECT_EQ(prefix, "\\rowcolor{gray}\r\n\\color{red}");
  EXPECT_EQ(postfix, "\\\\[2pt]\r\n\\hline\r\n%");

  QTimer::singleShot(0, &form, [&] {
    form.Memo1->setPlainText("changed");
    form.bCancel->click();
  });
  std::string kept = "kept";
  EXPECT_FALSE(form.Execute(kept, postfix));
  EXPECT_EQ(kept, "kept");
}
