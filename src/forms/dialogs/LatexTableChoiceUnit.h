#pragma once
// Reading LaTeX in the editor: the dialog that asks which of several tables
// to read (each shown by its first lines), and the window's side of
// TLatexTableUI, which shows that dialog and the reader's warnings. The
// same dialog asks which table of a file Save As replaces.
#include <QDialog>
#include <QObject>
#include <vector>

#include "document/DocumentFiles.h"

class QLabel;
class QListWidget;
class QPushButton;

class TLatexTableChoiceForm : public QDialog {
  Q_OBJECT
 public:
  explicit TLatexTableChoiceForm(QWidget* parent = nullptr);

  // Shows one entry per table, "Table N, line L" over its first lines, the
  // first entry selected. The index of the chosen table, -1 when cancelled.
  int Execute(const std::vector<TLatexTableSource>& tables);
  // The same for Save As into fileName: the index of the table to replace,
  // TDocumentUI::kAppendTable for "Add at End", -1 when cancelled.
  int ExecuteReplace(const std::string& fileName, const std::vector<TLatexTableSource>& tables);

  QLabel* lPrompt;
  QListWidget* fTables;
  QPushButton* bOK;
  QPushButton* bAppend;
  QPushButton* bCancel;

 private:
  int Run(const std::vector<TLatexTableSource>& tables);
};

// Installed for the lifetime of its parent window (SetLatexTableUI), and
// taken out again when the window goes.
class TQtLatexTableUI : public QObject, public TLatexTableUI {
  Q_OBJECT
 public:
  explicit TQtLatexTableUI(QWidget* window);
  ~TQtLatexTableUI() override;

  int ChooseLatexTable(const std::vector<TLatexTableSource>& tables) override;
  // One warning box with every warning, each on its own paragraph.
  void ShowLatexWarnings(const std::vector<std::string>& warnings) override;

 private:
  QWidget* FWindow;
  TLatexTableChoiceForm* FForm;
};
