#pragma once
// The drop-down palette of the Rules split button: the rule patterns as
// image buttons in two rows, a line between the rows, each button with its
// pattern's name as tool tip and checked while the window says the pattern
// is present. A click on a button, or Enter or Space on the one that has
// the keyboard, closes the palette and triggers the pattern's action; the
// arrow keys move between the buttons, Escape closes.
//
// The palette holds no state of the table. The actions are the window's
// (their tags are the rule sets); the palette shows their images, names and
// checked states each time it opens.
#include <QList>
#include <QMenu>
#include <span>

class QAction;
class QToolButton;

class TRulesPalette : public QMenu {
  Q_OBJECT
 public:
  // items in the order shown, perRow of them in each row.
  TRulesPalette(std::span<QAction* const> items, int perRow, QWidget* parent = nullptr);

  int Count() const { return static_cast<int>(FButtons.size()); }
  QToolButton* Button(int i) const { return FButtons[i]; }
  // The button that has, or gets when the palette opens, the keyboard.
  int Current() const { return FCurrent; }
  void SetCurrent(int i);
  // Closes the palette, then triggers item i.
  void Choose(int i);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The palette's keys; false for a key it leaves to the menu.
  bool PaletteKey(int key);

  QList<QAction*> FItems;
  QList<QToolButton*> FButtons;
  int FPerRow;
  int FCurrent = 0;
};
