// The main window's typeset preview: the panel and View > Typeset Preview.
#include "document/AppModule.h"
#include "forms/MainUnit.h"
#include "forms/TypesetPanel.h"

void TMainForm::CreateTypesetPanel() {
  // The panel reads the document table when it typesets, so it follows
  // whatever the table holds then.
  TypesetPanel = new TTypesetPanel(&CurrentTable, this);
  TypesetPanel->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::RightDockWidgetArea, TypesetPanel);
  TypesetPanel->hide();
  // Closing the panel by its own button unchecks the command at once.
  connect(TypesetPanel, &QDockWidget::visibilityChanged, this,
          [this] { bViewTypeset->setChecked(TypesetPanel->isVisible()); });
}

void TMainForm::mnViewTypesetClick() {
  TypesetPanel->setVisible(!TypesetPanel->isVisible());
  // The user goes on typing where they were.
  activateWindow();
}
