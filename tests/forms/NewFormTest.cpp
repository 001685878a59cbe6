// The New / Environment dialog driven as the user drives it.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "forms/dialogs/NewTableUnit.h"

namespace {

// Runs action once the dialog is up (modal), then presses OK or Cancel.
void WhileShown(TNewForm& form, bool ok, const std::function<void()>& action) {
  QTimer::singleShot(0, &form, [&form, ok, action] {
    action();
    (ok ? form.bOK : form.bCancel)->click();
  });
}

QString Preview(const TNewForm& form) { return form.fPreview->toPlainText(); }

}  // namespace

// The controls follow the table's environment each time; a case-blind match
// would show "Tabular" as Tabular and give back "tabular".
TEST(NewForm, EnvironmentControlsLoadedFromTheTable) {
  struct Case {
    const char* Env;
    const char* Options;
    QRadioButton* TNewForm::*Checked;
    bool NameEnabled;
    const char* Preview;
  };
  const Case cases[] = {
      {"array", "[t]", &TNewForm::fArray, false, "\\begin{array}[t]{cols}\n...\n\\end{array}"},
      {"longtable", "", &TNewForm::fCustom, true, "\\begin{longtable}{cols}\n...\n\\end{longtable}"},
      {"Tabular", "", &TNewForm::fCustom, true, "\\begin{Tabular}{cols}\n...\n\\end{Tabular}"},
      {"tabular", "", &TNewForm::fTabular, false, "\\begin{tabular}{cols}\n...\n\\end{tabular}"},
  };
  TNewForm form;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Env);
    bool checked = false, nameEnabled = !c.NameEnabled;
    QString options, preview;
    QWidget* focused = nullptr;
    WhileShown(form, true, [&] {
      checked = (form.*c.Checked)->isChecked();
      nameEnabled = form.fCustomName->isEnabled();
      options = form.fOptions->text();
      preview = Preview(form);
      focused = form.focusWidget();
    });
    std::string env = c.Env, opts = c.Options;
    ASSERT_TRUE(form.ExecuteEnvironment(env, opts));
    EXPECT_TRUE(checked);
    EXPECT_EQ(nameEnabled, c.NameEnabled);
    EXPECT_EQ(options.toStdString(), c.Options);
    EXPECT_EQ(preview.toStdString(), c.Preview);
    EXPECT_EQ(focused, form.bOK);
    EXPECT_EQ(env, c.Env);  // OK without a change gives back what was there
    EXPECT_EQ(opts, c.Options);
  }
}

// Every keystroke and every radio click shows in the preview, and the choice
// comes back on OK but not on Cancel.
TEST(NewForm, PreviewFollowsTheControlsAndOkReturnsTheChoice) {
  TNewForm form;
  WhileShown(form, true, [&] {
    QTest::mouseClick(form.fCustom, Qt::LeftButton);
    EXPECT_TRUE(form.fCustomName->isEnabled());
    EXPECT_EQ(Preview(form).toStdString(), "\\begin{tabular*}{cols}\n...\n\\end{tabular*}");
    form.fOptions->setFocus();
    QTest::keyClicks(form.fOptions, "{5");
    EXPECT_EQ(Preview(form).section('\n', 0, 0).toStdString(), "\\begin{tabular*}{5{cols}");
    QTest::keyClicks(form.fOptions, "cm}");
    QTest::mouseClick(form.fArray, Qt::LeftButton);
    EXPECT_FALSE(form.fCustomName->isEnabled());
  });
  std::string env = "tabular", opts;
  int rows = 0, cols = 0;
  ASSERT_TRUE(form.ExecuteNew(rows, cols, env, opts));
  EXPECT_EQ(env, "array");
  EXPECT_EQ(opts, "{5cm}");

  WhileShown(form, false, [&] { QTest::mouseClick(form.fCustom, Qt::LeftButton); });
  env = "tabular";
  opts = "";
  EXPECT_FALSE(form.ExecuteEnvironment(env, opts));
  EXPECT_EQ(env, "tabular");
  EXPECT_EQ(opts, "");
}

// The sizes typed for one New are offered for the next, also after an
// Environment... in between, which hides the size fields only while it runs.
TEST(NewForm, SizesOfferedAgainAndSizePanelBackAfterEnvironment) {
  TNewForm form;
  std::string env = "tabular", opts;
  int rows = 0, cols = 0;
  WhileShown(form, true, [&] {
    EXPECT_TRUE(form.fSizePanel->isVisible());
    EXPECT_EQ(form.windowTitle(), "Create New Table");
    form.ColCount->setValue(7);
    form.RowCount->setFocus();
    form.RowCount->selectAll();
    QTest::keyClicks(form.RowCount, "1000");  // the largest table; a spin box's own limit is 99
  });
  ASSERT_TRUE(form.ExecuteNew(rows, cols, env, opts));
  EXPECT_EQ(cols, 7);
  EXPECT_EQ(rows, 1000);

  form.RowCount->setValue(3);
  int newHeight = form.height();
  int environmentHeight = 0;
  WhileShown(form, true, [&] {
    EXPECT_FALSE(form.fSizePanel->isVisible());
    EXPECT_EQ(form.windowTitle(), "Table Environment");
    environmentHeight = form.height();
  });
  ASSERT_TRUE(form.ExecuteEnvironment(env, opts));
  EXPECT_LT(environmentHeight, newHeight);  // the dialog fits what it shows

  WhileShown(form, false, [&] {
    EXPECT_TRUE(form.fSizePanel->isVisible());
    EXPECT_EQ(form.windowTitle(), "Create New Table");
    EXPECT_EQ(form.ColCount->value(), 7);
    EXPECT_EQ(form.RowCount->value(), 3);
  });
  rows = cols = -1;
  EXPECT_FALSE(form.ExecuteNew(rows, cols, env, opts));
  EXPECT_EQ(rows, -1);  // Cancel writes nothing
}
