#pragma once
// The table editing commands: insert, delete and cut, join and split, rules
// and borders, cell alignment and column formats. One function per command.
// Each reads the selection the table holds, changes the table through the
// model's operations and says what happened; it touches no window, no
// clipboard and no undo history.
//
// The caller finishes every command the same way: when Caption is set it
// records one undo step with it, then applies the current-cell change, then
// refreshes. A command that returns no caption changed nothing (the
// selection aside: reading it completes a cell selection to whole cells),
// so there is nothing to record.
//
// The controls' enabled and checked states are in commands/CommandStates.h.
#include <cstdint>
#include <optional>
#include <string>

#include "commands/CommandStates.h"
#include "model/Tables.h"

class TSList;

// What the command asks of the current cell (the one the cell editor shows).
enum TCurrentChange : uint8_t {
  ccKeep = 0,  // leave it
  ccNone = 1,  // no cell is current any more. The table's CurrentCell may
               // already be none (the model clears it when it removes that
               // cell); the editor must still be emptied and disabled
  ccCell = 2,  // make Cell current
};

struct TCommandResult {
  // The undo caption; none when nothing changed.
  std::optional<std::string> Caption;
  TCurrentChange Current = ccKeep;
  TCell* Cell = nullptr;  // with ccCell

  bool Changed() const { return Caption.has_value(); }
};
// A command never leaves CurrentCell pointing at a cell it freed. The text
// of the current cell can change (Delete cell contents, Join), so the caller
// reloads the editor from CurrentCell after a command that changed the
// table, even when the current cell stayed the same.

// ---- insert

// The insertion kinds, numbered as the tags of the Insert items.
enum TInsertKind : int { ikRowAbove = 0, ikRowBelow = 1, ikColumnBefore = 2, ikColumnAfter = 3 };

// Inserts a row above the selection's top row or below its bottom row, or a
// column before its left or after its right column ("Insert Row", "Insert
// Column"). The selection bounds cover whole joined cells; with nothing
// selected the reference is the whole table, so the new row or column comes
// first or last. A table without rows (columns) gets its first one. Any
// other kind changes nothing.
TCommandResult InsertRowCol(TTable& table, int kind);

// ---- delete and cut

// Removes what mode says (computed by DeleteStateFor at the last idle pass):
// the texts of the selected cells ("Delete cell contents", recorded even
// when they were empty already), the selected columns or rows from the
// highest index down ("Delete column" for one, "Delete columns" for more;
// the same for rows), or nothing for dmDeleteNone. Removing columns or rows
// ends the current cell. Cut takes the same steps after the caller has
// copied the selection, with "Cut cell contents", "Cut column(s)" and "Cut
// row(s)". The table never loses its last row or column: a stale mode that
// would remove every one of them changes nothing.
TCommandResult DeleteSelection(TTable& table, TDeleteMode mode, bool cut);

// ---- join and split

// With one selected joined cell or block (SelectedBlock): splits it
// (SplitCell, SplitBlock), the pieces selected with it, the current cell
// kept ("Split"). With joinable cells (CellsJoinable): joins them into the
// first one, which takes the first non-empty text and alignment 'c'; in one
// row it takes the sum of the spans and keeps its own rules, over several
// rows it becomes a block with the rules of the rectangle's outline
// (JoinCells). It alone is selected and becomes current ("Join"). Anything
// else changes nothing.
TCommandResult JoinOrSplit(TTable& table);

// ---- rules and borders

// Toggles a rule pattern (rule bits) on the selection bounds: pattern 0
// clears every kind; a pattern present all over the bounds
// (RulePatternPresent) is switched off; otherwise it is switched on (flags
// 255). Always "Rules", also when no flag changed; nothing without a
// selection.
TCommandResult ApplyRulePattern(TTable& table, int pattern);

// The Borders dialog's OK: every rule kind of the selection bounds is
// cleared, then the kinds in mask are switched on ("Borders", also without a
// change). The dialog opens with SelectionRuleFlags of the bounds; its
// Cancel is no command. Nothing without a selection.
TCommandResult ApplyBorders(TTable& table, int mask);

// ---- alignment and column formats

// Which path an alignment button takes: whole columns selected set the
// columns' format, anything else the cells' own alignment.
bool AlignsColumns(const TTable& table);

// The cell path: align is the letter of the clicked button ('l', 'c', 'r')
// when the click left it checked, 0 (follow the column) when it unchecked it
// (CellAlignFor). Every cell lying wholly inside the columns of the
// completed selection rectangle gets it, except that a joined cell never
// gets 0. "Align" only when a cell changed.
TCommandResult AlignCells(TTable& table, char align);
// The letter of an alignment button in its new checked state: 'l', 'c' or
// 'r' when checked, 0 when unchecked or for any other button.
char CellAlignFor(TAlignButton button, bool nowChecked);

// The column path: every selected column gets format (compared exactly);
// "Align" only when a column changed. A format other than "l", "c" and "r"
// goes to the top of recentFormats even when no column changed. An empty
// format (a cancelled or empty dialog) changes nothing.
TCommandResult SetColumnFormat(TTable& table, const std::string& format, TSList& recentFormats);
// The format an alignment button sets on columns: "l", "c", "r" for the
// three letters, empty for the custom button (which asks with the dialog).
std::string ColumnFormatFor(TAlignButton button);
// Entry k (from 1) of the recent formats, as the custom drop-down's item
// with tag k sets it; empty when the list is shorter.
std::string RecentFormatAt(const TSList& recentFormats, int k);
