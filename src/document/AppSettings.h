#pragma once
// The editor's working state between runs: every value the settings store
// keeps under "\Software\LaTeX\Quiltor", gathered in one plain struct with
// its built-in values, and the loading and saving of that struct.
//
// Keys and values (types in brackets):
//   \Software\LaTeX\Quiltor
//     "Undo Levels" [integer], "Last Open Path", "Last Save Path",
//     "Last Environment", "Last Env. Options" [string],
//     "Recovery Interval" [integer, seconds; 0 = no recovery data],
//     "New Table Rule Style" [string, "Classic" or "Booktabs"],
//     "Align Code Columns", "Package Comment Line" [boolean]
//   \Software\LaTeX\Quiltor\UI
//     "Main Window Left/Top/Width/Height", "Code Window Left/Top/Width/Height"
//     [integer, outer rectangle in screen pixels], "Code Window Visible"
//     [boolean], "Font Name", "Code Font Name", "TB Style" [string],
//     "Font Size", "Code Font Size" [integer],
//     "Typeset Preview Visible" [boolean], "Typeset Preamble" [string]
//   \Software\LaTeX\Quiltor\UI\TB            the toolbar layout (toolbar layer)
//   \Software\LaTeX\Quiltor\Recent Column Formats, ...\Recent Files
//     string values "1", "2", ... newest first
//
// The settings are read once at start-up and written once at exit; in
// between they live in their owners (the table, the undo history, the
// dialogs, the windows). Reading stops at the first value of the wrong type:
// what was read so far is in force, the rest keeps its built-in values, and
// the one message is reported to the user.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/Recovery.h"
#include "document/SLists.h"
#include "model/Tables.h"

class TSettingsStore;

inline constexpr const char* kSettingsKey = "\\Software\\LaTeX\\Quiltor";
inline constexpr const char* kSettingsUIKey = "\\Software\\LaTeX\\Quiltor\\UI";
inline constexpr const char* kToolbarLayoutKey = "\\Software\\LaTeX\\Quiltor\\UI\\TB";
inline constexpr const char* kRecentFormatsKey = "\\Software\\LaTeX\\Quiltor\\Recent Column Formats";
inline constexpr const char* kRecentFilesKey = "\\Software\\LaTeX\\Quiltor\\Recent Files";

// The toolbar looks, in the order the Options dialog lists them.
inline constexpr const char* kToolbarLooks[] = {"Default", "OfficeXP", "Stripes"};
inline constexpr int kToolbarLookCount = 3;
// Position of the look named name (any letter case) in kToolbarLooks; the
// first look when there is none of that name.
int FindToolbarLook(std::string_view name);
// The name of the look that name selects, as kToolbarLooks spells it.
std::string ToolbarLookName(std::string_view name);

struct TAppSettings {
  int UndoLevels = 100;
  std::string LastOpenPath;
  std::string LastSavePath;
  std::string LastEnvironment = "tabular";
  std::string LastEnvOptions;
  int RecoveryInterval = kDefaultRecoveryInterval;
  // Any name but "Booktabs" (letter case ignored) reads as classic.
  std::string NewTableRuleStyle = "Classic";
  bool AlignCodeColumns = false;
  bool PackageCommentLine = false;

  // Outer rectangles in screen pixels; empty when the store holds fewer than
  // all four values, and then the window keeps its own start placement.
  // Loading clamps them onto a screen (ReadPlacement).
  std::optional<TRect> MainWindow;
  std::optional<TRect> CodeWindow;
  bool CodeWindowVisible = false;

  std::string FontName = "Times New Roman";
  int FontSize = 11;
  std::string CodeFontName = "Courier New";
  int CodeFontSize = 8;
  // The typeset preview panel, and the user's preamble for its document.
  bool TypesetVisible = false;
  std::string TypesetPreamble;
  // The toolbar look's name; after loading always one of kToolbarLooks.
  std::string ToolbarStyle = "OfficeXP";

  TSList RecentFormats{8};
  TSList RecentFiles{9, true};
};

// What a load or save met that the user must be told, once each: the
// store's own trouble with its file (set aside as damaged), then the error
// that stopped the work ("Invalid data type for 'Font Size'", "Cannot create
// file ...").
struct TSettingsReport {
  // False when an error stopped the work part-way; the toolbar layout step
  // is then skipped.
  bool Completed = true;
  std::vector<std::string> Messages;
  // The messages as one text for one error box, blank lines between them;
  // empty when there is nothing to say.
  std::string Text() const;
};

// The screens' rectangles in screen pixels, the primary screen first.
using TScreenRects = std::vector<TRect>;

// Reads one window's placement from the open key: the values name + " Left",
// " Top", " Width" and " Height". Empty unless all four exist. The rectangle
// is clamped onto the screen that holds its centre (the primary one when
// none does): left and top up to the screen's, width and height from 10 up
// to the screen's, then moved left and up until it ends within the screen.
// A value of the wrong type raises "Invalid data type for '%s'".
std::optional<TRect> ReadPlacement(const TSettingsStore& key, const std::string& name, const TScreenRects& screens);
// Writes the four values of a placement into the open key.
void WritePlacement(TSettingsStore& key, const std::string& name, const TRect& rect);
// The clamping alone; with no screens the rectangle is returned unchanged.
TRect ClampPlacement(int left, int top, int width, int height, const TScreenRects& screens);

// Reads every value that exists in the store into values, in the order
// above; values without a stored value keep what they hold. Raises nothing:
// the report says what went wrong.
TSettingsReport LoadSettings(TSettingsStore& store, TAppSettings& values, const TScreenRects& screens);

// Writes every value, creating the keys. Give it a store made at save time
// (CreateSettingsStore()), so that it sees what another editor saved since
// this one started: the recent files written are this editor's list first,
// then the entries of the stored list that it lacks, up to its MaxCount.
// Everything else is written as this editor has it. The store is closed at
// the end, which writes it through; a failure is in the report.
TSettingsReport SaveSettings(TSettingsStore& store, const TAppSettings& values);

// The recent-files merge on its own: mine first, then the entries of stored
// that mine lacks (compared as mine compares), while fewer than mine's
// MaxCount.
TSList MergeRecentFiles(const TSList& mine, const std::vector<std::string>& stored);

// The values that live in the document layer, taken from and given to their
// owners: the undo history's MaxLevels, the file dialogs' folders, the
// document table's environment, options and font, the two recent lists.
// Windows, the code font and the toolbar look are the window's to gather
// and apply.
void CaptureDocumentSettings(TAppSettings& values);
void ApplyDocumentSettings(const TAppSettings& values);
