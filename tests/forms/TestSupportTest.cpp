// The shared test support itself: a command that is disabled must not run
// through the window fixture, the output filter must let every message
// through but the platform's known notices, and a dialog nobody answers
// must fail the test instead of hanging it.
#include <gtest/gtest-spi.h>

#include <QMessageBox>
#include <QSignalSpy>

#include "common/gui/DialogWatchdog.h"
#include "common/gui/QuietPlatform.h"
#include "common/gui/WindowFixture.h"

namespace {

using TestSupportTest = WindowFixture;

// If Run triggered whatever it was given, tests would pass for commands a
// user cannot reach in that state.
TEST_F(TestSupportTest, RunRefusesADisabledCommand) {
  // Unmodified at start-up: Save is disabled.
  QSignalSpy save(Form->bSave, &QAction::triggered);
  const ::testing::AssertionResult refused = Run(Form->bSave);
  EXPECT_FALSE(refused);
  EXPECT_NE(std::string(refused.message()).find("\"&Save\" is disabled"), std::string::npos) << refused.message();
  EXPECT_EQ(save.count(), 0);

  // The states are brought up to date first: a change made since the last
  // idle moment enables Save, and Run runs it through its button.
  Cell(0, 0)->SetText("x");
  RecordUndo("Typing x");
  Script.SaveChoices = {""};
  EXPECT_TRUE(Run(Form->bSave));
  EXPECT_EQ(save.count(), 1);
  EXPECT_EQ(Script.SaveProposals.size(), 1u) << "the save dialog was asked for a name";
}

// Without the watchdog this test would wait on the box until the test
// runner killed the whole suite.
TEST(DialogWatchdog, FailsAndClosesADialogNobodyAnswers) {
  SetDialogWatchdogLimit(200);
  QMessageBox box(QMessageBox::Question, "Unexpected", "Nobody answers this.");
  EXPECT_NONFATAL_FAILURE(box.exec(), "an unexpected dialog stayed open: QMessageBox \"Unexpected\"");
  SetDialogWatchdogLimit(15000);
}

// A filter that matched too much would hide the real warnings it is there
// to make stand out.
TEST(QuietPlatform, DropsOnlyTheKnownNotices) {
  struct Case {
    QtMsgType Type;
    const char* Message;
    bool Dropped;
  };
  const Case cases[] = {
      {QtWarningMsg, "This plugin does not support propagateSizeHints()", true},
      {QtWarningMsg, "This plugin does not support raise()", true},
      {QtWarningMsg, "This plugin does not support grabbing the keyboard", true},
      {QtWarningMsg, "This plugin does not support setParent()", false},
      {QtWarningMsg, "This plugin does not support raise() on this window", false},
      {QtCriticalMsg, "This plugin does not support raise()", false},
      {QtWarningMsg, "QPainter::begin: Paint device returned engine == 0, type: 3", false},
      {QtWarningMsg, "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsHarmlessPlatformNotice(c.Type, QString::fromLatin1(c.Message)), c.Dropped) << c.Message;
}

}  // namespace
