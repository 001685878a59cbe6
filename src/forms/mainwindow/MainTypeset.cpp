// The main window's typeset preview: the panel and View > Typeset Preview.
#include <QAction>
#include <QApplication>
#include <QShortcut>

#include "document/AppModule.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/preview/TypesetPanel.h"

void TMainForm::CreateTypesetPanel() {
  // The panel reads the document table when it typesets, so it follows
  // whatever the table holds then.
  TypesetPanel = new TTypesetPanel(&CurrentTable, this);
  TypesetPanel->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::RightDockWidgetArea, TypesetPanel);
  TypesetPanel->hide();
  // Closing the panel by its own button unchecks the command at once. The
  // panel is also hidden while the window is being destroyed, so the handler
  // must not reach the window itself.
  connect(TypesetPanel, &QDockWidget::visibilityChanged, bViewTypeset,
          [command = bViewTypeset, panel = TypesetPanel] { command->setChecked(panel->isVisible()); });

  // The grid keeps Tab for itself, so F6 moves between the grid and the
  // panel, as between the panes of other programs, and Escape in the panel
  // goes back to the grid.
  auto* nextPane = new QAction(this);
  nextPane->setShortcut(Qt::Key_F6);
  connect(nextPane, &QAction::triggered, this, [this] {
    if (TypesetPanel->isAncestorOf(QApplication::focusWidget())) ScrollBox->setFocus(Qt::ShortcutFocusReason);
    else if (TypesetPanel->isVisible()) TypesetPanel->setFocus(Qt::ShortcutFocusReason);
  });
  addAction(nextPane);
  auto* back = new QShortcut(Qt::Key_Escape, TypesetPanel, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(back, &QShortcut::activated, this, [this] { ScrollBox->setFocus(Qt::ShortcutFocusReason); });
}

void TMainForm::mnViewTypesetClick() {
  TypesetPanel->setVisible(!TypesetPanel->isVisible());
  // The user goes on typing where they were.
  activateWindow();
}
