#pragma once
// The "Row Prefix/Postfix" dialog: two multi-line boxes for the LaTeX text
// written before and after the cells of the selected rows. Created once and
// reused; it has no logic of its own beyond the text boxes, the command
// (SetRowPrefixPostfix) decides what changes.
#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

class TRowPrefixForm : public QDialog {
  Q_OBJECT
 public:
  explicit TRowPrefixForm(QWidget* parent = nullptr);

  // Shows prefix and postfix (the rows' common values) and, after OK (true),
  // writes back what the boxes hold, each line break as CR LF. After Cancel
  // (false) nothing is written.
  bool Execute(std::string& prefix, std::string& postfix);

  QPlainTextEdit* Memo1;  // prefix
  QPlainTextEdit* Memo2;  // postfix
  QPushButton* bOK;
  QPushButton* bCancel;

 protected:
  void showEvent(QShowEvent* event) override;
};
