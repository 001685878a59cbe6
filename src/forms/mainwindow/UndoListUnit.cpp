#include "forms/mainwindow/UndoListUnit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>

#include "commands/HistoryList.h"
#include "forms/grid/GridQueries.h"
#include "platform/QtText.h"

TUndoList::TUndoList(bool redo, QWidget* parent) : QMenu(parent), FRedo(redo) {
  setObjectName(redo ? "RedoList" : "UndoList");
  auto* box = new QWidget(this);
  List = new QListWidget(box);
  List->setObjectName(redo ? "RedoListItems" : "UndoListItems");
  // The menu keeps the keyboard; the list only shows and is pointed at.
  List->setFocusPolicy(Qt::NoFocus);
  List->setSelectionMode(QAbstractItemView::MultiSelection);
  List->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  List->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  List->viewport()->setMouseTracking(true);
  List->viewport()->installEventFilter(this);
  Label = new QLabel(redo ? "Redo 999 Actions" : "Undo 999 Actions", box);
  Label->setObjectName(redo ? "RedoLabelItem" : "UndoLabelItem");
  Label->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addWidget(List);
  layout->addWidget(Label);
  FAction = new QWidgetAction(this);
  FAction->setDefaultWidget(box);
  addAction(FAction);
}

void TUndoList::Fill(const std::vector<std::string>& captions, const QFont& windowFont) {
  List->clear();
  for (const std::string& caption : captions) List->addItem(ToQ(ShownCaption(caption)));
  // Wide enough for the label at its longest, and for the captions.
  const int labelWidth = QFontMetrics(windowFont).horizontalAdvance("Undo 999 actions");
  const int captionsWidth = List->count() > 0 ? List->sizeHintForColumn(0) + 2 * List->frameWidth() : 0;
  List->setMinimumWidth(std::max(labelWidth, captionsWidth));
  // Every entry in view: the list never holds more than a few.
  const int rows = std::max(List->count(), 1);
  const int rowHeight = List->count() > 0 ? List->sizeHintForRow(0) : List->fontMetrics().height();
  List->setFixedHeight(rows * rowHeight + 2 * List->frameWidth());
  List->parentWidget()->adjustSize();
  // A changed action makes the menu measure its contents again.
  FAction->setText(QString::number(++FFills));
  Highlight(0);
}

void TUndoList::Highlight(int k) {
  k = std::min(k, List->count() - 1);
  if (k < 0 && List->count() > 0) k = 0;
  FHighlighted = k;
  for (int i = 0; i < List->count(); ++i) List->item(i)->setSelected(i <= k);
  Label->setText(ToQ(HistoryLabelText(HistoryStepsFor(k), FRedo)));
}

void TUndoList::Choose(int k) {
  close();
  emit Chosen(HistoryStepsFor(k < List->count() ? k : -1));
}

void TUndoList::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Down:
      Highlight(FHighlighted + 1);
      return;
    case Qt::Key_Up:
      Highlight(std::max(FHighlighted - 1, 0));
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Choose(FHighlighted);
      return;
    default:
      QMenu::keyPressEvent(event);  // Escape closes
  }
}

bool TUndoList::eventFilter(QObject* watched, QEvent* event) {
  if (watched != List->viewport()) return QMenu::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove: {
      const QModelIndex index = List->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
      if (index.isValid()) Highlight(index.row());
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return true;  // the range follows the pointer, not the list's own selection
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return true;
      const QModelIndex index = List->indexAt(mouse->position().toPoint());
      Choose(index.isValid() ? index.row() : -1);
      return true;
    }
    default:
      return QMenu::eventFilter(watched, event);
  }
}
