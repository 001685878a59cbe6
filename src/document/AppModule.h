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
#include "document/PaperTable.h"
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

// For a document that is a table of a LaTeX file: the link to it, through
// which Save puts the table back in place of its source in that file; none
// for any other document. The link follows the document's name, so that
// undo across an Open brings back the link of the state's own document.
TPaperLink* CurrentPaper();

// A recent-files entry for table number (1-based) of a LaTeX file, and back:
// the path alone for a whole file (number 0). The number follows a line
// break, which no file name the user picks holds.
std::string RecentEntry(const std::string& path, int number);
std::string RecentEntryPath(const std::string& entry, int* number = nullptr);
// How an entry is shown in the menu: "paper.tex, table 2" for a table.
std::string RecentEntryCaption(const std::string& entry);
// "paper.tex (table 2)": a table of a paper as the caption names it.
std::string PaperTitle(const std::string& path, int number);

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
// number picks a table of a LaTeX file without asking (0: ask among several).
bool OpenFile(const std::string& fileName, int number = 0);
// After Recover of a document that was table number of the LaTeX file path:
// Save puts it back there, finding the table by its number.
void LinkRecoveredPaper(const std::string& path, int number);

// The questions' texts.
std::string ReplaceFileText(const std::string& fileName);
std::string ChangedOnDiskText(const std::string& fileName);
std::string PaperChangedText(const std::string& fileName, int number);
std::string TextFormatText(const std::string& fileName);
// A click on a recent-file entry (RecentEntry): opens it and moves it to the top of the
// list whatever the result.
bool OpenRecentFile(const std::string& entry);

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
