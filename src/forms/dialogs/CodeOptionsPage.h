#pragma once
// The Options dialog's "Code" page: the rule style new tables start with,
// and how the generated code is laid out.
#include <QWidget>

class QCheckBox;
class QComboBox;

// The page, with its controls handed back: ruleStyle lists "Classic" and
// "Booktabs" in the order of TRuleStyle.
QWidget* CreateCodePage(QComboBox*& ruleStyle, QCheckBox*& alignColumns, QCheckBox*& packageComment);
