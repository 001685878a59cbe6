#pragma once
// The one open document and its file commands. All operations work on
// CurrentTable and return true when the action took place; cancelling is
// silent, failures raise EQuiltorError with the message to show, and leave
// the document as it was.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/DocumentUI.h"
#include "document/SLists.h"
#include "latex/CodePackages.h"
#include "model/Tables.h"

extern TTable* CurrentTable;
// The Options' choices for the code (alignment, the package comment line).
extern TCodePreferences CodePreferences;
// The rule style a new table starts with (Options).
extern TRuleStyle NewTableRules;
extern TSList* RecentFiles;    // at most 9, newest first
extern TSList* RecentFormats;  // at most 8, newest first

// The dialogs of the document: their folders, selected types and default
// extensions live for the whole run (and are stored in the settings).
extern TFileDialog OpenDialog;
extern TFileDialog SaveDialog;

// Creates the document state: CurrentTable, the recent lists, a new 4 x 4
// document recorded as "Initial State". The undo history must exist already.
void StartAppModule();
// Frees what StartAppModule created.
void StopAppModule();

// The interface through which the user is asked; none until the window sets
// it (the caption refresh then does nothing, questions answer Cancel).
void SetDocumentUI(TDocumentUI* ui);
TDocumentUI* DocumentUI();
// How many times this run wrote the document to its file (Save, Save As,
// the save question's Yes): a change tells that the edits so far are safe.
int DocumentSaves();

// Application title used in the caption ("Quiltor").
extern std::string ApplicationTitle;

void UpdateCaption();
bool QuerySaveChanges();
bool NewDocument(int rows, int cols);
bool SaveDocument();
bool SaveDocumentAs();
bool OpenDocument();
// A name that names nothing gives false without a message; anything but a
// regular file (a FIFO, a device, a folder) is refused with an error before
// anything is asked or changed. The document keeps the name made absolute.
// A file with a copy left by a save cut short (InPlaceBackupName) offers
// the copy; opened from it, or imported with its texts changed (escaped,
// cut at a NUL), the document stays unnamed, so that Save asks for a name.
bool OpenFile(const std::string& fileName);
// A click on a recent-file entry: opens it and moves it to the top of the
// list whatever the result.
bool OpenRecentFile(const std::string& fileName);

// The dialogs' type-change events: set the default extension for the entry.
void OpenDialogTypeChange(int filterIndex);
void SaveDialogTypeChange(int filterIndex);

// The text of the unsaved-changes question and the import preview note.
std::string SaveChangesText(const std::string& title);
// The Text Import dialog's warning about a file whose text a NUL byte at
// offset ends early.
std::string NulCutWarning(int64_t offset);
extern const char* const kPreviewCroppedNote;
// Whether the Text Import dialog ticks "Fields in double quotes" by itself:
// the preview lines show a field in quotes after one of the delimiters that
// spreadsheets write (TextLines::HasQuotedFields).
bool PreviewShowsQuotedFields(const std::vector<std::string>& lines);
constexpr int kPreviewLines = 200;
constexpr size_t kPreviewBytes = 1 << 20;
