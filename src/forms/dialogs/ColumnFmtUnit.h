#pragma once
// The "Column Format" dialog: the user types a LaTeX column specification
// such as p{20pt} or picks one of the recently used ones. Created once and
// reused.
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "document/SLists.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TColumnFmtForm : public QDialog {
  Q_OBJECT
 public:
  explicit TColumnFmtForm(QWidget* parent = nullptr);

  // Edit1 := format, ListBox1 := the entries of recent in order; shows the
  // dialog modally, centred on the parent. On OK format := the text of Edit1
  // exactly as it stands and the result is true; Cancel returns false and
  // leaves format unchanged.
  bool Execute(std::string& format, const TSList& recent);

  QLabel* Label1;  // "Column format:"
  QLineEdit* Edit1;
  QLabel* Label2;  // "Recent formats:"
  QListWidget* ListBox1;
  QPushButton* bOK;
  QPushButton* bCancel;

  // Focuses Edit1 with all of its text selected.
  void FormShow();
  // Copies the selected entry of ListBox1, if any, into Edit1.
  void ListBox1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The bytes last put into Edit1 (the given format or a picked entry) and
  // how Edit1 shows them. Bytes that are no UTF-8 cannot be shown unchanged;
  // while Edit1 still shows them untouched, OK gives back the bytes.
  std::string FPut;
  QString FPutShown;
  std::vector<std::string> FEntries;
};
