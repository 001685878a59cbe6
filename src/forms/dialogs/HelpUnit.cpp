#include "forms/dialogs/HelpUnit.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "forms/mainwindow/Icons.h"

#ifndef QUILTOR_VERSION
#error "the build defines QUILTOR_VERSION"
#endif

THelpForm::THelpForm(QWidget* mainWindow) : QWidget(mainWindow, Qt::Window) {
  InitQuiltorResources();
  setObjectName("HelpForm");
  setWindowTitle("Quiltor Help");
  resize(640, 560);

  Browser = new QTextBrowser(this);
  Browser->setObjectName("Browser");
  Browser->setOpenExternalLinks(true);
  Browser->setSearchPaths({":/help"});

  auto* back = new QPushButton("&Back", this);
  auto* contents = new QPushButton("&Contents", this);
  auto* close = new QPushButton("Close", this);
  back->setEnabled(false);
  connect(back, &QPushButton::clicked, Browser, &QTextBrowser::backward);
  connect(Browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(contents, &QPushButton::clicked, this, [this] { ShowPage("index.html"); });
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(contents);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Browser, 1);
  layout->addLayout(buttons);

  ShowPage("index.html");
}

void THelpForm::ShowPage(const QString& name) { Browser->setSource(QUrl("qrc:/help/" + name)); }

QString ProgramVersion() { return QStringLiteral(QUILTOR_VERSION); }

void ShowAboutBox(QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowTitle("About Quiltor");
  box.setIconPixmap(LoadIcon("quiltor").pixmap(40, 40));
  box.setTextFormat(Qt::RichText);
  box.setText(QStringLiteral("<h3>Quiltor</h3><p>Version %1</p>").arg(ProgramVersion()));
  box.setInformativeText(
      "A desktop editor for LaTeX tables: draw the table on a grid and copy "
      "the matching tabular code.");
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}
