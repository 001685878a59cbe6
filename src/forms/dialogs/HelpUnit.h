#pragma once
// The user guide, bundled with the program as HTML pages and shown in a
// window of its own, and the About box.
#include <QWidget>

class QTextBrowser;

class THelpForm : public QWidget {
  Q_OBJECT
 public:
  explicit THelpForm(QWidget* mainWindow);

  // Shows the guide's page name (a file of the guide, "index.html" for its
  // table of contents).
  void ShowPage(const QString& name);

  QTextBrowser* Browser;
};

// The version of this build, "0.1.0".
QString ProgramVersion();

// Creates the About box, shows it modally and destroys it.
void ShowAboutBox(QWidget* parent);
