#include "forms/dialogs/CodeOptionsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

QWidget* CreateCodePage(QComboBox*& ruleStyle, QCheckBox*& alignColumns, QCheckBox*& packageComment) {
  auto* page = new QWidget;
  page->setObjectName("Code");
  ruleStyle = new QComboBox(page);
  ruleStyle->setObjectName("fNewRuleStyle");
  ruleStyle->addItem("Classic");
  ruleStyle->addItem("Booktabs");
  auto* styleLabel = new QLabel("Rule &style for new tables:", page);
  styleLabel->setBuddy(ruleStyle);
  alignColumns = new QCheckBox("&Align code columns", page);
  alignColumns->setObjectName("fAlignCode");
  alignColumns->setToolTip("Pad the cells with blanks so that the & of all rows line up");
  packageComment = new QCheckBox("&Packages as a comment line above the code", page);
  packageComment->setObjectName("fPackageComment");
  packageComment->setToolTip("Start the code with % \\usepackage{...} for the packages it needs");
  auto* grid = new QGridLayout(page);
  grid->addWidget(styleLabel, 0, 0);
  grid->addWidget(ruleStyle, 0, 1);
  grid->addWidget(alignColumns, 1, 0, 1, 2);
  grid->addWidget(packageComment, 2, 0, 1, 2);
  grid->setRowStretch(3, 1);
  return page;
}
