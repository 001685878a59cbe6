#pragma once
// Table edits behind the clipboard commands: the selection as cell text,
// pasting cell text, and splitting a joined cell. Plain operations on the
// model; the window only reads and writes the clipboard around them.
//
// Cell text on the clipboard: a TAB between the fields of a row, CR LF
// between rows, no quoting. A cell that spans n columns is followed by n - 1
// further TABs, so that every column of the table takes one field and the
// columns of later cells line up. A block across rows gives its text once,
// in its top row; the cells it covers below give empty fields.
#include <optional>
#include <string>
#include <string_view>

#include "model/Tables.h"

// Joins rect, which must consist of whole cells (a cell or block that sticks
// out of it makes the call throw EQuiltorError before anything changes),
// into one cell: a block over rect's rows when they are several. The
// top-left cell becomes the joined cell and keeps its text, alignment,
// arguments and top and left rules; it takes the right rule of the top
// row's last cell, and the block's bottom rule is the bottom row's first
// cell's. The other cells of the top row are removed and each lower row
// keeps one covered cell. The joined cell's Selected flag is given to the
// covered cells. Returns the joined cell.
TCell* JoinCells(TTable& table, const TCellRect& rect);

// Gives a block (cell is its top cell or one it covers) back as single
// cells, in place: every row's part of it is split like SplitCell does, the
// top cell keeps the text, and the pieces in the rows below are empty and
// selected. The block's rules stay on its outline; inside it there are
// none. A cell joined over one row only is split like SplitCell does.
// Returns the top-left cell.
TCell* SplitBlock(TCell& cell);

// Breaks a joined cell into Span single-column cells in place. The cell keeps
// its text, alignment and rules and becomes the first of them; the new cells
// follow it in its row with empty text, the column's alignment, the joined
// cell's top, right and bottom rules, a left rule equal to its right rule,
// and selected. A cell of span 1 is left alone.
void SplitCell(TCell& cell);

// The selection as clipboard text, from the first kind of selection that is
// not empty: cells (row-major; a new row starts a new line), else whole rows,
// else whole columns (one field per selected column in every row; a column
// covered by a cell that starts further left gives an empty field). None
// when nothing is selected; a selection of empty
// cells gives the separators alone, possibly the empty text.
std::optional<std::string> SelectionAsText(const TTable& table);

// Appends count columns after the last one, exactly as count calls of
// InsertColumn(ColCount() - 1, true) would, in one walk over the rows: each
// row's last cell is repeated with empty text and its right rule on both
// sides of every new cell.
void AppendColumns(TTable& table, int count);

// Pastes clipboard text into table with the block's top-left corner at
// column left, row top (which must lie in the table). Lines end at CR LF, LF
// or CR and fields at TABs, as in text import; the block is as high as the
// text has lines and as wide as its longest line has fields.
//
// Spreadsheets put a cell that holds a line break or a TAB on the clipboard
// in double quotes, its quotes doubled. Text that reads as such
// (TextLines::IsQuotedCellText: every field that opens with a quote closes
// properly before a TAB, a line break or the end, and one of them holds a
// line break or a TAB) is split with quoted fields, so that a multi-line
// spreadsheet cell lands in one cell; a line is then a record, which may
// span several lines of the text. Any other text, a leading quote
// included, is split plainly. With escape, LaTeX special characters in the
// fields are escaped (EscapeLatexSpecials) as they are pasted.
// The selection
// is cleared; the table grows by repeating its last column and row until the
// block fits; every joined cell and every block across rows that the block
// touches is split and every cell of the block is selected (pieces of a
// split cell or block outside the block too); then
// each field becomes the text of its cell. Cells for which a line has no
// field keep their text. Returns the block (empty when the text has no
// fields). A paste that would grow the table beyond
// TextLines::kMaxImportCells cells is refused before anything changes.
TCellRect PasteText(TTable& table, int left, int top, std::string_view text, bool escape = false);
