#pragma once
// The "Float" dialog (Table > Float...): whether the table sits in a table
// float, and the float's placement, centering, caption, label and caption
// position. Text the float held around the tabular when it was read from
// a document is shown read-only: it is written back as it was.
#include <QDialog>

#include "model/Tables.h"

class QCheckBox;
class QLabel;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TFloatForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFloatForm(QWidget* parent = nullptr);

  // Shows tableFloat (a table without a float is offered one placed htbp
  // and centred) and, after OK (true), writes back what the dialog holds:
  // no float at all when "In a table float" is off.
  bool Execute(TTableFloat& tableFloat);

  QGroupBox* fInFloat;  // checkable: the float's fields live inside it
  QLineEdit* fCaption;
  QLineEdit* fLabel;
  QLineEdit* fPlacement;
  QCheckBox* fCentering;
  QCheckBox* fWide;
  QRadioButton* fCaptionAbove;
  QRadioButton* fCaptionBelow;
  QPlainTextEdit* fTextBefore;  // read-only
  QPlainTextEdit* fTextAfter;   // read-only
  QLabel* KeptTextLabel;
  QPushButton* bOK;
  QPushButton* bCancel;

 protected:
  void showEvent(QShowEvent* event) override;
};
