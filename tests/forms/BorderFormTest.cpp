// The Borders dialog as the user drives it: what it shows for the mask it is
// given, how buttons, bars and presets change the mask, and what OK and
// Cancel hand back.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <vector>

#include "forms/dialogs/BorderUnit.h"

namespace {

struct Pair {
  int Bit;
  QToolButton* Button;
  TRuleBar* Bar;
};

std::vector<Pair> Pairs(TBorderForm& f) {
  return {{1, f.bTop, f.rTop},       {2, f.bBottom, f.rBottom}, {4, f.bVCenter, f.rVCenter},
          {8, f.bLeft, f.rLeft},     {16, f.bRight, f.rRight},  {32, f.bHCenter, f.rHCenter}};
}

// The bits whose button is checked and whose bar is on, as two masks.
std::pair<int, int> Shown(TBorderForm& f) {
  int buttons = 0, bars = 0;
  for (const Pair& p : Pairs(f)) {
    if (p.Button->isChecked()) buttons |= p.Bit;
    if (p.Bar->On()) bars |= p.Bit;
  }
  return {buttons, bars};
}

}  // namespace

// The dialog is reused: each opening must show the mask it is given, not
// what the last one ended with.
TEST(BorderForm, EveryOpeningShowsTheGivenMask) {
  TBorderForm form;
  for (int given : {63, 1, 0}) {
    SCOPED_TRACE(given);
    std::pair<int, int> shown{-1, -1};
    QTimer::singleShot(0, &form, [&] {
      shown = Shown(form);
      form.bOK->click();
    });
    int mask = given;
    ASSERT_TRUE(form.Execute(mask));
    EXPECT_EQ(shown, std::make_pair(given, given));
  }
}

// A button or a bar switches its own rule and leaves the other five alone; a
// bar answers any mouse button.
TEST(BorderForm, ButtonsAndBarsToggleExactlyTheirBit) {
  TBorderForm form;
  form.Mask = 42;
  form.show();
  const Qt::MouseButton mouse[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
  int k = 0;
  for (const Pair& p : Pairs(form)) {
    SCOPED_TRACE(p.Bit);
    QTest::mouseClick(p.Button, Qt::LeftButton);
    EXPECT_EQ(form.Mask, 42 ^ p.Bit);
    EXPECT_EQ(Shown(form), std::make_pair(42 ^ p.Bit, 42 ^ p.Bit));
    QTest::mousePress(p.Bar, mouse[k++ % 3], Qt::NoModifier, p.Bar->rect().center());
    EXPECT_EQ(form.Mask, 42);
    EXPECT_EQ(Shown(form), std::make_pair(42, 42));
  }
}

TEST(BorderForm, PresetsSetAllBorderAndNone) {
  TBorderForm form;
  form.show();
  struct Case {
    QToolButton* Preset;
    int Mask;
  };
  for (const Case& c : {Case{form.bAll, 63}, Case{form.bBorder, 27}, Case{form.bNone, 0}}) {
    SCOPED_TRACE(c.Mask);
    form.Mask = 36;
    QTest::mouseClick(c.Preset, Qt::LeftButton);
    EXPECT_EQ(form.Mask, c.Mask);
    EXPECT_EQ(Shown(form), std::make_pair(c.Mask, c.Mask));
  }
}

// OK hands back the choice, also made from the keyboard alone (Space on a
// button, Enter for OK); Cancel hands back nothing, whatever was changed.
TEST(BorderForm, OkReturnsTheChoiceCancelLeavesTheMask) {
  TBorderForm form;
  int mask = 1;
  QTimer::singleShot(0, &form, [&] {
    form.bBottom->setFocus();
    QTest::keyClick(form.bBottom, Qt::Key_Space);
    QTest::keyClick(form.bBottom, Qt::Key_Return);
  });
  EXPECT_TRUE(form.Execute(mask));
  EXPECT_EQ(mask, 3);

  QTimer::singleShot(0, &form, [&] {
    form.bAll->click();
    form.bCancel->click();
  });
  EXPECT_FALSE(form.Execute(mask));
  EXPECT_EQ(mask, 3);
}
