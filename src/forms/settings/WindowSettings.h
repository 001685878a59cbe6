#pragma once
// The settings that live in the windows, and the data module that loads and
// saves all of them.
//
// The document layer gathers and applies its own values (undo depth, the
// file dialogs' folders, the environment, the grid font, the recent lists);
// here the main window adds its placement, the code preview's placement,
// visibility and font, the toolbar look and the toolbar layout.
//
// TAppData is made once the main window, the new-table dialog and the code
// preview exist, and loads everything then. It saves everything exactly once,
// at whichever comes first: the desktop session asking the program to
// commit its data, or the data module's end (after the main window closed,
// by File > Exit or its close button, while both windows still exist). A
// close the user cancels saves nothing. Whatever goes wrong is shown in one
// error box and costs nothing else: the program starts, or ends, all the
// same.
#include <QObject>
#include <optional>
#include <string>

#include "document/AppSettings.h"
#include "forms/dialogs/OptionsUnit.h"

class QSessionManager;
class TCodeForm;
class TMainForm;

// The values of both windows and of the document layer, as they are now.
// codeVisible: whether the code preview counts as shown; when empty, its
// present visibility.
void CaptureWindowSettings(const TMainForm& form, const TCodeForm* code, TAppSettings& values,
                           std::optional<bool> codeVisible = std::nullopt);
// Gives every value to its owner and shows the result: places both windows,
// shows the code preview if it was shown, sets both fonts (the grid is
// measured again) and the toolbar look.
void ApplyWindowSettings(TMainForm& form, TCodeForm* code, const TAppSettings& values);

// The Options dialog's view of the main window, the code preview and the
// undo history.
class TMainOptionsTarget : public TOptionsTarget {
 public:
  explicit TMainOptionsTarget(TMainForm& form) : FForm(form) {}
  std::string GridFontName() const override;
  int GridFontSize() const override;
  std::string CodeFontName() const override;
  int CodeFontSize() const override;
  int UndoLevels() const override;
  std::string ToolbarLook() const override;
  void SetGridFont(const std::string& name, int size) override;
  void SetCodeFont(const std::string& name, int size) override;
  void SetUndoLevels(int levels) override;
  void SetToolbarLook(const std::string& name) override;
  std::string TypesetPreamble() const override;
  void SetTypesetPreamble(const std::string& preamble) override;
  void RefreshGrid() override;
  void ShowError(const std::string& message) override;
  // The error boxes are put over this dialog.
  QWidget* Dialog = nullptr;

 private:
  TMainForm& FForm;
};

// The main window's Options dialog, made on first use and kept for the run.
TOptionsForm& OptionsDialog(TMainForm& form);

class TAppData : public QObject {
 public:
  // Loads the settings from a store made by CreateSettingsStore() and gives
  // them to the windows; what went wrong is shown once.
  TAppData(TMainForm& form, TCodeForm* code);
  // Saves the settings unless that happened already.
  ~TAppData() override;

  // Writes every setting into a store made now, so that what another editor
  // saved since this one started is merged in (its recent files); a second
  // call does nothing. What went wrong is shown once. Never throws.
  void SaveSettingsOnce();
  // The desktop session is ending: save now, for the program may be ended
  // without its windows being closed. The error box is shown only when the
  // session allows it (manager null: it does).
  void CommitData(QSessionManager* manager);
  bool Saved() const { return FSaved; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Shows the report's messages, if any, in one error box.
  void Report(const std::string& text);

  TMainForm& FForm;
  TCodeForm* FCode;
  bool FSaved = false;
  // Whether the code preview was showing when the main window was last
  // asked to close: closing hides it, but it is to come back next time.
  std::optional<bool> FCodeVisibleAtClose;
  // Off while the session forbids boxes.
  bool FShowErrors = true;
};
