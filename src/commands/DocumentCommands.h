#pragma once
// The commands that act on the document as a whole or on whole rows: New,
// the table environment, and the rows' prefix and postfix texts. Each takes
// what its dialog gave; the dialogs themselves live in the forms.
//
// ChangeEnvironment and SetRowPrefixPostfix follow the table commands'
// contract (commands/TableCommands.h): they change the table and return the
// undo caption for the caller to record. New is a document operation: it may
// ask about unsaved changes and records its own undo step.
#include <string>
#include <string_view>
#include <vector>

#include "commands/TableCommands.h"
#include "model/Tables.h"

// ---- the table environment

// The sizes a new table may have, in rows and in columns.
constexpr int kMinTableSize = 1;
constexpr int kMaxTableSize = 1000;
int ClampTableSize(int n);

// The three choices of the environment dialog.
enum TEnvironmentKind : uint8_t { ekTabular = 0, ekArray = 1, ekCustom = 2 };

// The choice that shows an environment name: exactly "tabular" or exactly
// "array" (case matters: "Tabular" is a name of its own), else custom.
TEnvironmentKind EnvironmentKindOf(const std::string& name);
// The name a choice stands for; the custom name is taken as typed, empty
// included.
std::string EnvironmentName(TEnvironmentKind kind, const std::string& customName);
// The dialog's three preview lines: "\begin{name}options{cols}", "...",
// "\end{name}". "{cols}" stands for the column specification, which the
// dialog does not know.
std::vector<std::string> EnvironmentPreview(const std::string& name, const std::string& options);

// New, after the dialog's OK: NewDocument asks about unsaved changes and
// empties the document to rows x cols (each clamped to 1..1000); then the
// table gets the environment and options, "New Table" is recorded and the
// document counts as saved. The history is kept: the new table is one more
// step. False when the user declined at the save question: then nothing has
// changed. A failure while the new table is built restores the document that
// was there (content, file name, title) before it is passed on.
bool NewTable(int rows, int cols, const std::string& environment, const std::string& options);

// Environment..., after the dialog's OK: sets the table's environment and
// options. Always "Change Environment", also when both stay the same, so
// that the user's OK is one step in the history.
TCommandResult ChangeEnvironment(TTable& table, const std::string& environment, const std::string& options);

// ---- row prefix and postfix

struct TRowPrefixPostfix {
  std::string Prefix;
  std::string Postfix;
  bool operator==(const TRowPrefixPostfix&) const = default;
};

// Whether the command is offered: something is selected and no column is.
bool RowPrefixEnabled(const TSelection& selection);

// What the dialog shows for the rows bounds.Top to bounds.Bottom: a field
// holds the top row's text when every row of the range has the same
// (compared exactly), else it is empty. The two fields are judged apart.
TRowPrefixPostfix CommonRowPrefixPostfix(const TTable& table, const TCellRect& bounds);

// The dialog's OK for the rows bounds.Top to bounds.Bottom, the selection
// bounds read when the dialog opened (a cell selection acts on every row a
// selected cell lies in): both texts go to every row of the range, the field
// the user did not touch too. Nothing changes, and no step is recorded, when
// both texts equal what the dialog showed (CommonRowPrefixPostfix of the same
// bounds), or when nothing is selected. Line breaks are stored as CR LF
// whatever was typed ("Row prefix/postfix").
TCommandResult SetRowPrefixPostfix(TTable& table, const TCellRect& bounds, const TRowPrefixPostfix& typed);

// text with every line break (CR LF, a lone LF, a lone CR) written as CR LF.
std::string WithCrLf(const std::string& text);
// text with every line break written as a lone LF, as text boxes hold it.
std::string WithLf(const std::string& text);

// ---- Paste LaTeX Code

// Edit > Paste LaTeX Code: the table in text (its only one, or the one the
// user picks, DocumentFiles' TLatexTableUI) replaces the whole content of
// table, which keeps its file name and title, so that Save writes the file
// the user is working on. "Paste LaTeX code", no cell current. Cancelling
// the choice changes nothing and records nothing; text without a table
// raises "No LaTeX table found in the clipboard", code the reader refuses
// its message; either way the table is untouched.
TCommandResult PasteLatexCode(TTable& table, std::string_view text);
