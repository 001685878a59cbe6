#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "forms/ImportUnit.h"
#include "forms/QtDocumentUI.h"

namespace {

struct Combo {
  bool comma, semicolon, space, ampersand, tab, custom;
  const char* edit;
  const char* expected;
};

}  // namespace

TEST(ImportForm, DelimitersFollowTheCheckBoxesInFixedOrder) {
  const Combo combos[] = {
      {true, false, false, false, false, false, "", ","},
      {false, false, false, false, false, false, "", ""},
      {false, false, false, false, false, true, "", ""},  // custom with an empty edit adds nothing
      {false, false, false, false, false, true, ":", ":"},
      {false, false, true, false, true, false, "", " \t"},
      {true, true, true, true, true, true, "|", ",; &\t|"},
      {false, false, false, false, false, false, "|", ""},  // text left in the edit, box unchecked
  };
  TImportForm form;
  for (const Combo& c : combos) {
    form.cComma->setChecked(c.comma);
    form.cSemicolon->setChecked(c.semicolon);
    form.cSpace->setChecked(c.space);
    form.cAmpersand->setChecked(c.ampersand);
    form.cTab->setChecked(c.tab);
    form.cCustom->setChecked(c.custom);
    form.Edit1->setEnabled(true);
    form.Edit1->clear();
    QTest::keyClicks(form.Edit1, c.edit);
    form.cCustom->setChecked(!c.custom);
    form.cCustom->setChecked(c.custom);
    form.XButton1Click();
    EXPECT_EQ(form.Delimiters, c.expected) << c.expected;
  }
}

TEST(ImportForm, CustomEditFollowsItsBoxAndTakesOnlySingleByteCharacters) {
  TImportForm form;
  EXPECT_TRUE(form.cComma->isChecked());
  EXPECT_FALSE(form.Edit1->isEnabled());
  QTest::mouseClick(form.cCustom, Qt::LeftButton);
  EXPECT_TRUE(form.Edit1->isEnabled());
  QKeyEvent accented(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("é"));
  QApplication::sendEvent(form.Edit1, &accented);
  EXPECT_EQ(form.Edit1->text(), "");
  QTest::keyClicks(form.Edit1, ";x");
  EXPECT_EQ(form.Edit1->text(), ";");  // at most one character
  QTest::mouseClick(form.cCustom, Qt::LeftButton);
  EXPECT_FALSE(form.Edit1->isEnabled());
}

TEST(ImportForm, OkBuildsDelimitersAndKeepsStatesForTheNextImport) {
  TImportForm form;
  form.SetPreview({"a,b", "c"});
  EXPECT_EQ(form.Memo1->toPlainText(), "a,b\nc");
  EXPECT_TRUE(form.Memo1->isReadOnly());
  form.cTab->setChecked(true);
  QWidget* focused = nullptr;
  QTimer::singleShot(0, &form, [&] {
    focused = form.focusWidget();
    form.bOK->click();
  });
  EXPECT_EQ(form.exec(), QDialog::Accepted);
  EXPECT_EQ(focused, form.bOK);
  EXPECT_EQ(form.Delimiters, ",\t");
  // Cancel keeps the last confirmed delimiters and the check states.
  form.cSemicolon->setChecked(true);
  QTimer::singleShot(0, &form, [&] { form.bCancel->click(); });
  EXPECT_EQ(form.exec(), QDialog::Rejected);
  EXPECT_EQ(form.Delimiters, ",\t");
  EXPECT_TRUE(form.cSemicolon->isChecked());
}

// The warning about a NUL byte reaches the dialog and is seen only when there
// is one; the next file without it must not show a stale warning.
TEST(ImportForm, WarningShownOnlyWhenTheFileHasOne) {
  QWidget window;
  TQtDocumentUI ui(&window);
  TImportForm* form = ui.ImportForm();
  struct Case {
    std::string warning;
    bool shown;
  };
  for (const Case& c : {Case{"The file is cut at byte 6", true}, Case{"", false}}) {
    SCOPED_TRACE(c.warning);
    bool visible = !c.shown;
    QString text;
    QTimer::singleShot(0, form, [&] {
      visible = form->lWarning->isVisible();
      text = form->lWarning->text();
      form->bOK->click();
    });
    std::string delimiters;
    bool merge = false;
    ASSERT_TRUE(ui.ExecuteImportDialog({"a,b"}, c.warning, delimiters, merge));
    EXPECT_EQ(visible, c.shown);
    EXPECT_EQ(text.toStdString(), c.warning);
  }
}
