#pragma once
// The window's side of the document operations: real message boxes, file
// dialogs and the Text Import dialog.
#include <functional>

#include "document/DocumentUI.h"

class QWidget;
class TImportForm;
class TLatexTableChoiceForm;

class TQtDocumentUI : public TDocumentUI {
 public:
  explicit TQtDocumentUI(QWidget* window);
  ~TQtDocumentUI() override;

  TSaveAnswer AskSaveChanges(const std::string& caption, const std::string& text) override;
  bool ExecuteOpenDialog(TFileDialog& dialog) override;
  bool ExecuteSaveDialog(TFileDialog& dialog) override;
  bool ExecuteImportDialog(const std::vector<std::string>& preview, const std::string& warning,
                           TTextImportOptions& options) override;
  int Ask(const std::string& caption, const std::string& text, const std::vector<std::string>& buttons) override;
  int ChooseTableToReplace(const std::string& fileName, const std::vector<TLatexTableSource>& tables) override;
  void SetCaption(const std::string& caption) override;
  void ShowError(const std::string& message) override;
  void DocumentReplaced() override;

  TImportForm* ImportForm() const { return FImportForm; }
  // Called when an opened file replaced the document's content.
  std::function<void()> OnDocumentReplaced;

 private:
  bool ExecuteFileDialog(TFileDialog& dialog, bool save);
  QWidget* FWindow;
  TImportForm* FImportForm;
  TLatexTableChoiceForm* FTableChoice;
};
