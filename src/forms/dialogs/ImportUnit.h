#pragma once
// The "Text Import" dialog: the user picks the cell delimiters of a delimited
// text file while looking at the start of it, and sees the cells they give
// in a small grid below. Created once and reused, so the check boxes keep
// their states from one import to the next within a run; only the quoted
// box follows each file (SuggestQuoted).
#include <QDialog>
#include <string>
#include <vector>

#include "model/Tables.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class TImportForm : public QDialog {
  Q_OBJECT
 public:
  explicit TImportForm(QWidget* parent = nullptr);

  // Fills the read-only preview, one entry per line, and the grid. A last
  // line that is the cropping note is shown but not split into cells.
  void SetPreview(const std::vector<std::string>& lines);
  // Ticks "Fields in double quotes" when the file shows quoted fields, with
  // a note saying why; unticks it otherwise.
  void SuggestQuoted(bool detected);
  // The choice as the import takes it (Delimiters as of the last OK).
  TTextImportOptions Options() const;
  // The delimiters the check boxes give now.
  std::string CheckedDelimiters() const;
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
  QCheckBox* cQuoted;
  QLabel* lQuotedNote;
  QCheckBox* cEscape;
  QLabel* Label1;
  QLabel* lWarning;
  QPlainTextEdit* Memo1;
  QLabel* lCells;
  // The first kPreviewRows records of the preview, split as the import
  // will split them.
  QTableWidget* gPreview;
  static constexpr int kPreviewRows = 20;
  static constexpr int kPreviewColumns = 100;
  QPushButton* bOK;
  QPushButton* bCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void cCustomClick();
  void UpdatePreviewGrid();

  // The preview lines that hold file text (the cropping note left out),
  // joined by line feeds.
  std::string FPreviewText;
};
