#pragma once
// Everything the document operations need to ask the user goes through this
// interface: the window implements it with real dialogs, tests script it.
#include <string>
#include <vector>

#include "latex/LatexReader.h"
#include "model/Tables.h"

enum class TSaveAnswer { Yes, No, Cancel };

// One entry of a file dialog's type list.
struct TFileType {
  const char* Description;  // "Quiltor data (*.qtor)"
  const char* Patterns;     // "*.qtor;*.csv"
  const char* DefaultExt;   // extension added to a typed name without one, no dot
};

// A file dialog that keeps its state between uses within a run.
struct TFileDialog {
  explicit TFileDialog(std::vector<TFileType> types) : Types(std::move(types)) {}
  std::vector<TFileType> Types;
  int FilterIndex = 1;     // selected entry of Types, 1-based
  std::string DefaultExt;  // the selected type's extension; empty until first used
  std::string InitialDir;  // folder with its trailing separator; empty = current
  std::string FileName;    // proposed name before, chosen full path after Execute

  // The user selected entry filterIndex (1-based) of Types: its extension
  // becomes the default one. An index outside Types changes nothing.
  void TypeChange(int filterIndex) {
    if (filterIndex >= 1 && filterIndex <= static_cast<int>(Types.size()))
      DefaultExt = Types[static_cast<size_t>(filterIndex - 1)].DefaultExt;
  }
};

class TDocumentUI {
 public:
  virtual ~TDocumentUI() = default;
  // Yes/No/Cancel question with a question icon; closing the box is Cancel.
  virtual TSaveAnswer AskSaveChanges(const std::string& caption, const std::string& text) = 0;
  // Runs a file dialog; false when cancelled. The default extension follows
  // the selected type from the start. On success dialog.FileName holds the
  // chosen path (a save dialog adds the default extension to a name typed
  // without one; an open dialog leaves that to the caller, since a file of
  // exactly the typed name may exist), and FilterIndex/DefaultExt are those
  // of the type selected last.
  virtual bool ExecuteOpenDialog(TFileDialog& dialog) = 0;
  virtual bool ExecuteSaveDialog(TFileDialog& dialog) = 0;
  // The Text Import dialog with the preview lines (the last one may be the
  // cropping note, kPreviewCroppedNote) and a warning about the file (empty
  // for none). On entry options.Quoted is true exactly when the preview shows
  // quoted fields: the dialog ticks its box for them and says why, and the
  // user may untick it. False unless confirmed with OK; then options holds
  // the user's choice.
  virtual bool ExecuteImportDialog(const std::vector<std::string>& preview, const std::string& warning,
                                   TTextImportOptions& options) = 0;
  // A question with the buttons given (captions with "&" accelerators), the
  // first one the default; the answer is the index of the button chosen.
  // Closing the box (Escape) chooses the last button.
  virtual int Ask(const std::string& caption, const std::string& text, const std::vector<std::string>& buttons) = 0;
  // Save As into fileName, an existing LaTeX file with these tables: which
  // of them the table replaces (its index), kAppendTable to add it at the
  // file's end, or -1 when cancelled.
  static constexpr int kAppendTable = -2;
  virtual int ChooseTableToReplace(const std::string& fileName, const std::vector<TLatexTableSource>& tables) = 0;
  // The main window's caption.
  virtual void SetCaption(const std::string& caption) = 0;
  // An error box with the message; the program goes on.
  virtual void ShowError(const std::string& message) = 0;
  // The document's content was replaced (opened): redraw it.
  virtual void DocumentReplaced() = 0;
};
