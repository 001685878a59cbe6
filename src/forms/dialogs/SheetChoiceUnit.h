#pragma once
// Opening a spreadsheet in the editor: the dialog that asks which sheet to
// read (each listed with its used size) and how its cells become text, and
// the window's side of TSpreadsheetUI, which shows that dialog and the
// reader's warnings.
#include <QDialog>
#include <QObject>
#include <vector>

#include "document/SpreadsheetFile.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

class TSheetChoiceForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSheetChoiceForm(QWidget* parent = nullptr);

  // One entry per sheet, "Name (R rows x C columns)" or "Name (empty)"; the
  // first sheet that is not empty is selected; the boxes show options. The
  // index of the chosen sheet, -1 when cancelled; options then hold the
  // boxes' state.
  int Execute(const std::string& fileName, const std::vector<TSheetInfo>& sheets, TBlockOptions& options);

  QLabel* lPrompt;
  QListWidget* fSheets;
  QCheckBox* cbEmphasis;
  QCheckBox* cbEscape;
  QPushButton* bOK;
  QPushButton* bCancel;

 private:
  void UpdateOk();
};

// Installed for the lifetime of its parent window (SetSpreadsheetUI), and
// taken out again when the window goes.
class TQtSpreadsheetUI : public QObject, public TSpreadsheetUI {
  Q_OBJECT
 public:
  explicit TQtSpreadsheetUI(QWidget* window);
  ~TQtSpreadsheetUI() override;

  int ChooseSheet(const std::string& fileName, const std::vector<TSheetInfo>& sheets,
                  TBlockOptions& options) override;
  void ShowSheetWarnings(const std::vector<std::string>& warnings) override;

 private:
  QWidget* FWindow;
  TSheetChoiceForm* FForm;
};
