#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "document/AppModule.h"
#include "forms/dialogs/ImportUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"

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
    TTextImportOptions options;
    ASSERT_TRUE(ui.ExecuteImportDialog({"a,b"}, c.warning, options));
    EXPECT_EQ(visible, c.shown);
    EXPECT_EQ(text.toStdString(), c.warning);
  }
}

namespace {

// The preview grid as "a|b / c|", rows of item texts (an absent item is "").
std::string GridText(const QTableWidget* grid) {
  QStringList rows;
  for (int r = 0; r < grid->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c) cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
    rows << cells.join('|');
  }
  return rows.join(" / ").toStdString();
}

}  // namespace

// Faults caught: the grid not showing the split the import will make, or
// not following the delimiter, merge, quoted and escape boxes; the cropping
// note split as if it were file text; the quoted box not ticked for a file
// with quoted fields (or its note not shown), or left ticked for the next
// file; bytes that are not UTF-8 dropped instead of shown as replacement
// marks.
TEST(ImportForm, PreviewGridFollowsTheBoxes) {
  TImportForm form;
  form.cComma->setChecked(true);
  form.SuggestQuoted(true);
  form.SetPreview({"\"a,b\",c_1", "\"x", "y\",z", kPreviewCroppedNote});
  EXPECT_TRUE(form.cQuoted->isChecked());
  EXPECT_FALSE(form.lQuotedNote->isHidden());
  EXPECT_EQ(GridText(form.gPreview), "a,b|c_1 / x\ny|z");

  form.cQuoted->setChecked(false);
  EXPECT_EQ(GridText(form.gPreview), "\"a|b\"|c_1 / \"x|| / y\"|z|");
  form.cComma->setChecked(false);
  form.cCustom->setChecked(true);
  QTest::keyClicks(form.Edit1, "_");
  EXPECT_EQ(GridText(form.gPreview), "\"a,b\",c|1 / \"x| / y\",z|");
  form.cCustom->setChecked(false);
  form.cEscape->setChecked(true);
  EXPECT_EQ(GridText(form.gPreview), "\"a,b\",c\\_1 / \"x / y\",z");

  form.SuggestQuoted(false);
  form.SetPreview({"a\xFF" "b"});
  EXPECT_FALSE(form.cQuoted->isChecked());
  EXPECT_TRUE(form.lQuotedNote->isHidden());
  EXPECT_EQ(form.Memo1->toPlainText(), QString::fromUtf8("a\xEF\xBF\xBD" "b"));
  EXPECT_EQ(GridText(form.gPreview), "a\xEF\xBF\xBD" "b");
}

// The options travel both ways through the window's side of the document
// interface: the suggestion in, the user's choice out. Faults caught: the
// suggestion ignored, or an unticked box (or the escape box) not reaching
// the import.
TEST(ImportForm, OptionsTravelThroughTheDialog) {
  QWidget window;
  TQtDocumentUI ui(&window);
  TImportForm* form = ui.ImportForm();
  bool tickedOnShow = false;
  QTimer::singleShot(0, form, [&] {
    tickedOnShow = form->cQuoted->isChecked();
    form->cQuoted->click();
    form->cEscape->click();
    form->CheckBox6->click();
    form->bOK->click();
  });
  TTextImportOptions options;
  options.Quoted = true;
  ASSERT_TRUE(ui.ExecuteImportDialog({"\"a\",b"}, "", options));
  EXPECT_TRUE(tickedOnShow);
  EXPECT_EQ(options.Delimiters, form->Delimiters);
  EXPECT_FALSE(options.Quoted);
  EXPECT_TRUE(options.Escape);
  EXPECT_TRUE(options.Merge);
}
