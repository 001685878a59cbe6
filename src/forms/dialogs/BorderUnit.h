#pragma once
// The "Borders" dialog: the user chooses the complete set of rules of a
// rectangle of cells on a picture of a two-by-two table. The set is a mask of
// rule bits: top 1, bottom 2, inner horizontal 4, left 8, right 16, inner
// vertical 32. Each rule can be switched by pressing its bar in the picture
// (with any mouse button) or by its toggle button, which is also the way from
// the keyboard. Created once and reused.
#include <QDialog>
#include <QWidget>
#include <array>

class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

// One bar of the picture: filled black while its rule is on, white while it
// is off, always with a white rim of 3 pixels, so an off bar nearly vanishes
// on the light grey panel. Pressing it with any mouse button emits MouseDown;
// it takes no keyboard focus.
class TRuleBar : public QWidget {
  Q_OBJECT
 public:
  explicit TRuleBar(QWidget* parent = nullptr);
  bool On() const { return FOn; }
  void SetOn(bool on);

 signals:
  void MouseDown();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool FOn = false;
};

class TBorderForm : public QDialog {
  Q_OBJECT
 public:
  explicit TBorderForm(QWidget* parent = nullptr);

  // Shows the dialog modally with mask, centred on the parent. True when it
  // was closed with OK; mask then holds the user's choice. Cancel leaves mask
  // unchanged and returns false.
  bool Execute(int& mask);

  // The rule set being edited.
  int Mask = 0;

  QFrame* Panel;  // the light grey picture holding the six bars
  TRuleBar* rTop;
  TRuleBar* rBottom;
  TRuleBar* rVCenter;  // the horizontal bar through the middle
  TRuleBar* rLeft;
  TRuleBar* rRight;
  TRuleBar* rHCenter;  // the vertical bar through the middle
  QToolButton* bTop;
  QToolButton* bVCenter;
  QToolButton* bBottom;
  QToolButton* bLeft;
  QToolButton* bHCenter;
  QToolButton* bRight;
  QLabel* Label1;  // "Presets:"
  QToolButton* bAll;
  QToolButton* bBorder;
  QToolButton* bNone;
  QPushButton* bOK;
  QPushButton* bCancel;

  // Mask xor the bit of the toggle button, of the pressed bar; Mask := the
  // preset's value. Each then shows the new mask.
  void DoClick(QToolButton* button);
  void DoMouseDown(TRuleBar* bar);
  void DoPreset(QToolButton* preset);
  // Shows every button and bar as Mask says.
  void ShowMask();
  // On: the button has a white face and checks, the bar is black. Off: the
  // button takes its parent's colour, the bar is white.
  void ShowRuleState(QToolButton* button, TRuleBar* bar, bool on);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct TRule {
    int Bit;
    QToolButton* Button;
    TRuleBar* Bar;
  };
  std::array<TRule, 6> FRules{};
};
