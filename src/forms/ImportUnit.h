#pragma once
// The "Text Import" dialog: the user picks the cell delimiters of a delimited
// text file while looking at the start of it. Created once and reused, so the
// check boxes keep their states from one import to the next within a run.
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TImportForm : public QDialog {
  Q_OBJECT
 public:
  explicit TImportForm(QWidget* parent = nullptr);

  // Fills the read-only preview, one entry per line.
  void SetPreview(const std::vector<std::string>& lines);
  // Shows a warning about the file above the preview (a NUL byte cuts it
  // short); an empty text hides the warning.
  void SetWarning(const std::string& text);
  // Builds Delimiters from the check boxes; runs when OK confirms the dialog.
  void XButton1Click();

  // The delimiter characters chosen when the dialog was last confirmed.
  std::string Delimiters;

  QGroupBox* GroupBox1;
  QCheckBox* cComma;
  QCheckBox* cSemicolon;
  QCheckBox* cSpace;
  QCheckBox* cAmpersand;
  QCheckBox* cTab;
  QCheckBox* cCustom;
  QLineEdit* Edit1;
  QCheckBox* CheckBox6;
  QLabel* Label1;
  QLabel* lWarning;
  QPlainTextEdit* Memo1;
  QPushButton* bOK;
  QPushButton* bCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void cCustomClick();
};
