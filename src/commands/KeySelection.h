#pragma once
// Moving the current cell and extending the selection from the keyboard.
// Plain C++ on the model: the grid view maps its keys onto these and shows
// the result. A keyboard selection is the same kind of selection the mouse
// makes - a rectangle of cells from the current cell, a range of rows from
// the row anchor, a range of columns from the column anchor - so every
// command that reads the selection treats both alike.
#include <cstdint>

#include "model/Tables.h"

enum TGridKey : uint8_t {
  gkLeft,
  gkRight,
  gkUp,
  gkDown,
  gkHome,      // the row's first cell
  gkEnd,       // the row's last cell
  gkFirst,     // Ctrl+Home: the table's first cell
  gkLast,      // Ctrl+End: the table's last cell
  gkPageUp,    // a page of rows up
  gkPageDown,  // a page of rows down
};

// Where a key moves the place (row, col) to. The arrows step off the cell
// or block that covers the place (Right past its span, Down past its last
// row) and give -1 for the row when that leaves the table; the other keys
// stop at the table's edges. pageRows
// is the number of rows a page moves, at least 1.
struct TCellPlace {
  int Row = -1;
  int Col = -1;
};
TCellPlace KeyTarget(const TTable& table, TCellPlace from, TGridKey key, int pageRows);

// The cell a plain key makes current: from the current cell; without one,
// the table's last cell for Ctrl+End, the first row's last for End, else the
// first cell. A place inside a block gives the block's own cell. Null when
// the key leads out of the table.
TCell* MoveTarget(const TTable& table, TGridKey key, int pageRows);

// Shift with a key: the selection's far end moves and the selection becomes
// everything between the anchor and it. For a cell selection the anchor is
// the current cell and the far end the corner of the selected rectangle
// opposite it; for rows (columns) the anchor is the row (column) anchor, and
// keys across them do nothing. False when there is nothing to extend from
// (no current cell and no rows or columns selected).
bool ExtendSelection(TTable& table, TGridKey key, int pageRows);

// The corner of a cell selection opposite the current cell: the end Shift
// with a key moves. Row -1 without a current cell.
TCellPlace SelectionFarEnd(TTable& table);

// Shift+Space and Ctrl+Space: the rows (columns) the selection or the
// current cell covers become a row (column) selection anchored at the
// current cell's row (column), or at the first of them. False when there is
// nothing to take them from.
bool SelectRowsOfSelection(TTable& table);
bool SelectColumnsOfSelection(TTable& table);
