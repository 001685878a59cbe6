#pragma once
// What the table commands ask of the selection, and the enabled, checked and
// face state of their controls. Plain C++ on the model: the window maps
// these onto its buttons and menu items at every idle pass, and the tests
// ask them of plain tables.
//
// A selection is read once for each state of it (ReadSelection) and handed
// to the queries; what the states derive from it by walking its cells is
// kept with it, so that an idle pass over an unchanged table walks nothing.
#include <cstdint>
#include <string>

#include "model/Tables.h"

// Which control holds the keyboard focus, program-wide. Most table commands
// work only while the grid has it.
enum TFocusState : uint8_t { fsNone = 0, fsGrid = 1, fsEditor = 2 };

// What Delete and Cut remove.
enum TDeleteMode : int { dmDeleteNone = 0, dmDeleteContents = 1, dmDeleteColumns = 2, dmDeleteRows = 3 };

// ---- the selection queries

// The rectangle the selection covers: whole cells for a cell selection
// (marking every cell inside it selected, as TTable::GetSelectionRect does),
// whole columns or whole rows otherwise, and Right = -1 when nothing is
// selected. Lists with gaps give the rectangle over the gaps.
TCellRect SelectionBounds(TTable& table, const TArrayOfCells& cells, const TArrayOfInteger& columns,
                          const TArrayOfInteger& rows);

// The rule bits (rbTop, rbBottom, rbInnerHorz, rbLeft, rbRight, rbInnerVert)
// that hold all over the rectangle; the edges inside a block, which never
// have rules, do not count. An inner kind needs at least one inner
// edge, so one column never has inner vertical rules nor one row inner
// horizontal ones.
int SelectionRuleFlags(const TTable& table, const TCellRect& r);

// The cells' common own alignment (0 included), or 0 when they differ or the
// list is empty.
char CommonAlignment(const TArrayOfCells& cells);
// The columns' common format, compared exactly, or empty when they differ or
// the list is empty.
std::string CommonColumnFormat(const TTable& table, const TArrayOfInteger& columns);
// All cells lie in one row (and there is at least one).
bool CellsInOneRow(const TArrayOfCells& cells);
// The cells, in reading order, are a rectangle of whole cells that holds
// at least two cells or blocks: in each row they follow each other without
// a gap, every row's part covers the same columns, the rows follow each
// other, and every block among them lies wholly inside.
bool CellsJoinable(const TArrayOfCells& cells);
// The one cell the cells make up: a single cell, or a block's top cell
// followed by the cells it covers. None for anything else.
TCell* SelectedBlock(const TArrayOfCells& cells);

struct TDeleteState {
  TDeleteMode Mode = dmDeleteNone;
  const char* Hint = "";  // "" while there is nothing to delete
};
// What Delete would remove: selected rows or columns unless they are all of
// them, else the texts of the selected cells; nothing unless the grid has the
// focus.
TDeleteState DeleteStateFor(const TTable& table, TFocusState focus, const TArrayOfCells& cells,
                            const TArrayOfInteger& columns, const TArrayOfInteger& rows);

// ---- one reading of the selection

// The table's selection (TTable::Selection): read once for each state of
// the selection and kept, so that the idle pass costs nothing while it
// stays as it is. Like SelectionBounds it completes a cell selection to the
// rectangle of whole cells, marking the cells it pulls in. Callers that
// change the table's selection while they use it take a copy.
const TSelection& ReadSelection(TTable& table);

// ---- control states

// Whether a rule pattern counts as present on a rectangle whose rule kinds
// are ruleFlags (SelectionRuleFlags): every kind of it is there. Pattern 0
// (no rules) is never present. This is the checked state of the Rules button
// for its current pattern and of each palette item for its own.
bool RulePatternPresent(int ruleFlags, int pattern);

// The two faces of the Join button.
enum TJoinFace : uint8_t { jfJoin = 0, jfSplit = 1 };

// The alignment buttons, numbered as their tags.
enum TAlignButton : uint8_t { abNone = 0, abLeft = 1, abCenter = 2, abRight = 3, abCustom = 4 };

// Which alignment button shows checked, and the custom button's caption.
struct TAlignFace {
  TAlignButton Checked = abNone;
  // The columns' common custom format, at most kCustomCaptionLimit bytes,
  // for the window to shorten to its button's width; empty unless Checked is
  // abCustom.
  std::string CustomCaption;
};
constexpr size_t kCustomCaptionLimit = 1000;

// With columns selected: the button of their common format, the custom one
// for any format but "l", "c" and "r", none when the formats differ.
// Otherwise the button of the cells' common own alignment, none for 0.
TAlignFace AlignFaceFor(const TTable& table, const TSelection& selection);

struct TCommandStates {
  bool Insert = true;  // always: with nothing selected it inserts at the table's edge
  bool Cut = false;    // also Copy: the grid has the focus and something is selected
  TDeleteState Delete;  // Delete is enabled while Delete.Mode is not dmDeleteNone
  TJoinFace JoinFace = jfJoin;
  // Split is offered whatever holds the focus; Join only to the grid.
  bool JoinEnabled = false;
  bool Rules = false;    // something is selected
  bool Borders = false;  // the Borders dialog: the same
  bool RulesChecked = false;
  bool AlignLetters = false;  // left, centre, right: cells or columns (not rows) selected
  bool AlignCustom = false;   // the column format button: columns selected
  TAlignFace Align;
};

// The states of the table commands' controls for a selection read this pass.
// rulesPattern is the Rules button's current pattern.
TCommandStates CommandStatesFor(const TTable& table, const TSelection& selection, TFocusState focus,
                                int rulesPattern);
