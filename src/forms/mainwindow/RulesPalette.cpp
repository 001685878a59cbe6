#include "forms/mainwindow/RulesPalette.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>

TRulesPalette::TRulesPalette(std::span<QAction* const> items, int perRow, QWidget* parent)
    : QMenu(parent), FPerRow(std::max(perRow, 1)) {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(3, 3, 3, 3);
  grid->setSpacing(2);
  int row = 0;
  for (QAction* item : items) {
    const int i = static_cast<int>(FButtons.size());
    if (i > 0 && i % FPerRow == 0) {
      // A line between two rows of patterns.
      auto* line = new QFrame(box);
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      grid->addWidget(line, ++row, 0, 1, FPerRow);
      ++row;
    }
    auto* button = new QToolButton(box);
    button->setObjectName(item->objectName().isEmpty() ? QString("RuleButton%1").arg(i) : item->objectName());
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->installEventFilter(this);
    // A plain button, not the action's own: the palette must be closed
    // before the pattern is applied, and the action's checked state is the
    // window's to set.
    connect(button, &QToolButton::clicked, this, [this, i] { Choose(i); });
    grid->addWidget(button, row, i % FPerRow);
    FItems.append(item);
    FButtons.append(button);
  }
  auto* action = new QWidgetAction(this);
  action->setDefaultWidget(box);
  addAction(action);
}

void TRulesPalette::SetCurrent(int i) {
  if (FButtons.isEmpty()) return;
  FCurrent = std::clamp(i, 0, Count() - 1);
  if (isVisible()) FButtons[FCurrent]->setFocus(Qt::TabFocusReason);
}

void TRulesPalette::Choose(int i) {
  if (i < 0 || i >= Count()) return;
  FCurrent = i;
  close();
  FItems[i]->trigger();
}

void TRulesPalette::showEvent(QShowEvent* event) {
  // The window has just set the items' checked states (aboutToShow).
  for (int i = 0; i < Count(); ++i) {
    QToolButton* button = FButtons[i];
    const QAction* item = FItems[i];
    button->setIcon(item->icon());
    button->setToolTip(item->toolTip());
    button->setAccessibleName(item->toolTip());
    button->setCheckable(item->isCheckable());
    button->setChecked(item->isChecked());
  }
  QMenu::showEvent(event);
  SetCurrent(FCurrent);
}

bool TRulesPalette::PaletteKey(int key) {
  switch (key) {
    case Qt::Key_Left: SetCurrent(FCurrent - 1); return true;
    case Qt::Key_Right: SetCurrent(FCurrent + 1); return true;
    case Qt::Key_Up:
      if (FCurrent >= FPerRow) SetCurrent(FCurrent - FPerRow);
      return true;
    case Qt::Key_Down:
      if (FCurrent + FPerRow < Count()) SetCurrent(FCurrent + FPerRow);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: Choose(FCurrent); return true;
    default: return false;
  }
}

void TRulesPalette::keyPressEvent(QKeyEvent* event) {
  if (PaletteKey(event->key())) return;
  QMenu::keyPressEvent(event);  // Escape closes
}

bool TRulesPalette::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* button = qobject_cast<QToolButton*>(watched);
    const int i = static_cast<int>(FButtons.indexOf(button));
    if (i >= 0) {
      FCurrent = i;
      if (PaletteKey(static_cast<QKeyEvent*>(event)->key())) return true;
    }
  } else if (event->type() == QEvent::FocusIn) {
    const int i = static_cast<int>(FButtons.indexOf(qobject_cast<QToolButton*>(watched)));
    if (i >= 0) FCurrent = i;
  }
  return QMenu::eventFilter(watched, event);
}
