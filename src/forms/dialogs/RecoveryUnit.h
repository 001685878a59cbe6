#pragma once
// The start-up offer of recovery data: before any window, the documents left
// behind by editors that ended without closing them (a crash, a kill, a
// power cut) are listed with the time of their last recovery save, and each
// can be recovered, saved elsewhere or discarded. Whatever the user leaves
// untouched is offered again at the next start.
#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/Recovery.h"

class QPushButton;
class QTreeWidget;
class TDocumentUI;
class TMainForm;

class TRecoveryForm : public QDialog {
 public:
  // ui: asks for the Save As name and shows failures; none: real dialogs.
  TRecoveryForm(std::vector<TRecoveryEntry> entries, TDocumentUI* ui = nullptr, QWidget* parent = nullptr);
  ~TRecoveryForm() override;

  // Recover: the selected entry becomes the document once the windows are
  // up; the dialog closes, the others stay for the next start.
  void bRecoverClick();
  // Save As...: the selected entry's table goes to a file the user names;
  // the entry is removed once the file is written.
  void bSaveAsClick();
  // Discard: after a confirmation, the selected entry is removed.
  void bDiscardClick();

  // The entry to recover, if Recover was chosen.
  const std::optional<TRecoveryEntry>& Chosen() const { return FChosen; }
  // The entries still listed.
  const std::vector<TRecoveryEntry>& Entries() const { return FEntries; }

  QTreeWidget* List;
  QPushButton* bRecover;
  QPushButton* bSaveAs;
  QPushButton* bDiscard;
  QPushButton* bClose;

 private:
  // The selected entry's index, -1 for none.
  int Selected() const;
  void RemoveEntry(int index);
  void ShowError(const std::string& message);
  void UpdateButtons();

  std::vector<TRecoveryEntry> FEntries;
  std::optional<TRecoveryEntry> FChosen;
  std::unique_ptr<TDocumentUI> FOwnUI;
  TDocumentUI* FUI;
};

// The start-up step: scans folder (damaged entries are moved aside and
// reported in one box), and when entries are left shows the dialog. Returns
// the entry chosen for Recover.
std::optional<TRecoveryEntry> OfferRecovery(const std::string& folder);

// The file to open once the windows are up: the program's argument, made
// absolute (the names the program keeps must mean the same file from any
// folder), or none when the recovered entry is that file - Recover was its
// open, and opening it again would put the file's older content over the
// recovered changes. Any other file opens after the save question, as an
// open always does.
std::string StartUpFile(const std::string& argument, const std::optional<TRecoveryEntry>& recovered);

// Once the windows are up and the settings applied: the chosen entry becomes
// the document (modified, under its original name) and this editor goes on
// writing its recovery data into that entry, which goes once the changes
// are saved. A failure is shown, and the entry is kept.
void FinishRecovery(TMainForm& form, const TRecoveryEntry& entry);
