// The Options dialog against a recording target: refused sizes apply
// nothing and put the focus on the offending box, a good Apply sets every
// value once and the look only when it changed, Defaults are not applied
// until Apply, and the font/size boxes follow typing, arrows and clicks.
#include "forms/dialogs/OptionsUnit.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

class TRecordingTarget : public TOptionsTarget {
 public:
  std::string GridFontName() const override { return FGridFont; }
  int GridFontSize() const override { return FGridSize; }
  std::string CodeFontName() const override { return FCodeFont; }
  int CodeFontSize() const override { return FCodeSize; }
  int UndoLevels() const override { return FUndo; }
  std::string ToolbarLook() const override { return FLook; }
  void SetGridFont(const std::string& name, int size) override {
    Calls.push_back("grid " + name + " " + std::to_string(size));
    FGridFont = name;
    FGridSize = size;
  }
  void SetCodeFont(const std::string& name, int size) override {
    Calls.push_back("code " + name + " " + std::to_string(size));
    FCodeFont = name;
    FCodeSize = size;
  }
  void SetUndoLevels(int levels) override {
    Calls.push_back("undo " + std::to_string(levels));
    FUndo = levels;
  }
  void SetToolbarLook(const std::string& name) override {
    Calls.push_back("look " + name);
    FLook = name;
  }
  void RefreshGrid() override { Calls.push_back("refresh"); }
  void ShowError(const std::string& message) override { Errors.push_back(message); }

  Strings Calls;
  Strings Errors;
  std::string FGridFont = "DejaVu Sans";
  int FGridSize = 14;
  std::string FCodeFont = "DejaVu Sans Mono";
  int FCodeSize = 9;
  int FUndo = 40;
  std::string FLook = "OfficeXP";
};

class OptionsForm : public ::testing::Test {
 protected:
  void SetUp() override { form.show(); }
  void Type(TEditList* box, const QString& text) {
    box->Edit->selectAll();
    QTest::keyClick(box->Edit, Qt::Key_Backspace);
    QTest::keyClicks(box->Edit, text);
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  TRecordingTarget target;
  TOptionsForm form{target};
};

// A size that is not a whole number: one message, nothing applied (not even
// the other box's font), the focus on that box, and OK keeps the dialog
// open.
TEST_F(OptionsForm, RefusedSizeAppliesNothingAndFocusesTheBox) {
  struct Case {
    const char* edSize;
    const char* codeSize;
    bool editorBoxFails;
  } cases[] = {{"abc", "8", true}, {"12", "x", false}, {"", "8", true}, {"12", "9.5", false}};
  for (const Case& c : cases) {
    target.Calls.clear();
    target.Errors.clear();
    form.FormShow();
    Type(form.fEdFont, "Liberation Serif");
    Type(form.fEdSize, c.edSize);
    Type(form.fCodeSize, c.codeSize);
    Click(form.bApply);
    Click(form.bOk);
    EXPECT_EQ(target.Errors, Strings(2, "Font size should be a valid integer number")) << c.edSize << "/" << c.codeSize;
    EXPECT_EQ(target.Calls, Strings{});
    EXPECT_EQ(form.focusWidget(), c.editorBoxFails ? form.fEdSize->Edit : form.fCodeSize->Edit);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(target.FGridFont, "DejaVu Sans");
  }
}

// A good Apply sets each value once, in order, undo levels 0 included; the
// look is set only when it differs from the one in force; OK applies and
// closes.
TEST_F(OptionsForm, ApplySetsEveryValueAndTheLookOnlyWhenChanged) {
  Type(form.fEdSize, " 12");
  Type(form.fCodeFont, "Liberation Mono");
  form.fUndoLevels->selectAll();
  QTest::keyClicks(form.fUndoLevels, "0");
  form.Appearance->setCurrentIndex(form.Appearance->findText("Stripes"));
  Click(form.bApply);
  EXPECT_EQ(target.Calls, (Strings{"grid DejaVu Sans 12", "code Liberation Mono 9", "undo 0", "look Stripes",
                                   "refresh"}));
  target.Calls.clear();
  Click(form.bOk);
  EXPECT_EQ(target.Calls, (Strings{"grid DejaVu Sans 12", "code Liberation Mono 9", "undo 0", "refresh"}));
  EXPECT_EQ(target.Errors, Strings{});
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

// Defaults fill the controls only: Cancel then leaves every value alone,
// and the next showing reads the values in force again.
TEST_F(OptionsForm, DefaultsThenCancelChangesNothing) {
  EXPECT_EQ(form.Appearance->currentText(), "OfficeXP");
  EXPECT_EQ(form.fUndoLevels->value(), 40);
  Click(form.Button1);
  Click(form.Button2);
  EXPECT_EQ(form.fEdFont->Text(), "Times New Roman");
  EXPECT_EQ(form.fEdSize->Text(), "10");
  EXPECT_EQ(form.fCodeFont->Text(), "Courier New");
  EXPECT_EQ(form.fCodeSize->Text(), "8");
  EXPECT_EQ(form.fUndoLevels->value(), 100);
  EXPECT_EQ(form.Appearance->currentText(), "Default");
  Click(form.bCancel);
  EXPECT_EQ(target.Calls, Strings{});
  EXPECT_EQ(form.result(), QDialog::Rejected);

  form.show();
  EXPECT_EQ(form.fEdFont->Text(), "DejaVu Sans");
  EXPECT_EQ(form.fEdSize->Text(), "14");
  EXPECT_EQ(form.fUndoLevels->value(), 40);
  EXPECT_EQ(form.Appearance->currentText(), "OfficeXP");
}

// The box's list follows the text: a highlight only for a whole match,
// arrows step through the list and copy the entry, a click takes an entry
// and focuses the box. The size list is 7 8 9 10 11 12 13 14 16 18 20 24 32.
TEST_F(OptionsForm, EditListFollowsTypingArrowsAndClicks) {
  TEditList* box = form.fEdSize;
  Type(box, "1");
  EXPECT_EQ(box->Highlighted(), -1);
  Type(box, "12");
  EXPECT_EQ(box->Highlighted(), 5);
  QTest::keyClick(box->Edit, Qt::Key_Up);
  EXPECT_EQ(box->Text(), "11");
  EXPECT_EQ(box->Edit->selectedText(), "11");
  QTest::keyClick(box->Edit, Qt::Key_Down);
  QTest::keyClick(box->Edit, Qt::Key_Down);
  EXPECT_EQ(box->Text(), "13");
  EXPECT_EQ(box->Highlighted(), 6);

  // Nothing highlighted: the first press takes the first entry that starts
  // with the text, or else the first entry.
  Type(box, "2");
  EXPECT_EQ(box->Highlighted(), -1);
  QTest::keyClick(box->Edit, Qt::Key_Down);
  EXPECT_EQ(box->Text(), "20");
  Type(box, "5");
  QTest::keyClick(box->Edit, Qt::Key_Down);
  EXPECT_EQ(box->Text(), "7");
  QTest::keyClick(box->Edit, Qt::Key_Up);
  EXPECT_EQ(box->Text(), "7");

  // A size that is not in the list stays as typed.
  Type(box, "15");
  EXPECT_EQ(box->Highlighted(), -1);
  EXPECT_EQ(box->Text(), "15");

  form.bOk->setFocus();
  QListWidgetItem* item = box->List->item(11);
  box->List->scrollToItem(item);
  QTest::mouseClick(box->List->viewport(), Qt::LeftButton, {}, box->List->visualItemRect(item).center());
  EXPECT_EQ(box->Text(), "24");
  EXPECT_EQ(box->Edit->selectedText(), "24");
  EXPECT_EQ(form.focusWidget(), box->Edit);
}

}  // namespace
