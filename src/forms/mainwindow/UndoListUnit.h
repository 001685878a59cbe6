#pragma once
// The drop-down list of the Undo (or Redo) split button: the captions of the
// nearest steps, newest first, and a label under them that counts the steps
// a click would take. Pointing at entry k highlights entries 0 to k; a click
// on it takes k + 1 steps at once. From the keyboard, Down and Up extend and
// shrink the highlighted range, Enter chooses it and Escape closes the list.
//
// The list holds no history of its own. The window attaches it to the
// button (QToolButton::setMenu), refills it from aboutToShow each time it
// opens (ending a cell edit first, so the typed text is the newest step),
// and takes the steps from Chosen.
#include <QMenu>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QWidgetAction;

class TUndoList : public QMenu {
  Q_OBJECT
 public:
  // redo picks the side the label names ("Undo 3 actions", "Redo 3 actions").
  explicit TUndoList(bool redo, QWidget* parent = nullptr);

  // Rebuilds the list, one entry per caption with every control character
  // shown as a blank, and highlights entry 0. The list is at least as wide
  // as "Undo 999 actions" in windowFont.
  void Fill(const std::vector<std::string>& captions, const QFont& windowFont);
  // Highlights entries 0 to k (k brought into the list; -1 for an empty one)
  // and sets the label.
  void Highlight(int k);
  // The last highlighted entry, -1 when none.
  int Highlighted() const { return FHighlighted; }
  // Closes the list and reports HistoryStepsFor(k): k + 1, or 0 for a click
  // beside the entries, after which the window only refreshes.
  void Choose(int k);

  QListWidget* List;
  QLabel* Label;  // UndoLabelItem / RedoLabelItem

 signals:
  void Chosen(int steps);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool FRedo;
  int FHighlighted = -1;
  int FFills = 0;
  QWidgetAction* FAction;
};
