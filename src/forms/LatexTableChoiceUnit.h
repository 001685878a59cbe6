#pragma once
// Reading LaTeX in the editor: the dialog that asks which of several tables
// to read (each shown by its first lines), and the window's side of
// TLatexTableUI, which shows that dialog and the reader's warnings.
#include <QDialog>
#include <QObject>
#include <vector>

#include "document/DocumentFiles.h"

class QListWidget;
class QPushButton;

class TLatexTableChoiceForm : public QDialog {
  Q_OBJECT
 public:
  explicit TLatexTableChoiceForm(QWidget* parent = nullptr);

  // Shows one entry per table, "Table N, line L" over its first lines, the
  // first entry selected. The index of the chosen table, -1 when cancelled.
  int Execute(const std::vector<TLatexTableSource>& tables);

  QListWidget* fTables;
  QPushButton* bOK;
  QPushButton* bCancel;
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
