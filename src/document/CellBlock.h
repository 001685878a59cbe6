#pragma once
// A block of cells brought in from outside (a spreadsheet's sheet, an HTML
// table): texts ready for the table and its joined cells. The
// spreadsheet and HTML readers make blocks; a block becomes a whole table
// (File > Open, the converter) or lands in one (Paste).
#include <string>
#include <vector>

#include "model/Tables.h"

// How the texts of a block are made from what the reader found.
struct TBlockOptions {
  // Bold and italic cells become \textbf{..} and \textit{..}.
  bool KeepEmphasis = true;
  // LaTeX special characters are escaped (EscapeLatexSpecials): text from
  // a spreadsheet or a web page is data, never LaTeX.
  bool Escape = true;
};

// A piece of cell text as the table holds it: escaped and wrapped as the
// options say.
std::string StyledText(std::string_view text, bool bold, bool italic, const TBlockOptions& options);

struct TBlockCell {
  std::string Text;
  int Span = 1;     // columns covered, this one included
  int RowSpan = 1;  // rows covered, this one included
};

struct TCellBlock {
  // Every row's spans add up to Columns. A cell joined over RowSpan rows
  // keeps, in each row below it, an empty cell of the same Span in its
  // column, where the table's block keeps its covered cells.
  int Columns = 0;
  std::vector<std::vector<TBlockCell>> Rows;
  // What the reader changed to fit the block into the model, for the user.
  std::vector<std::string> Warnings;

  bool Empty() const { return Rows.empty() || Columns == 0; }
};

// Builds a block row by row from a grid whose joined areas are given as
// rectangles.
class TBlockBuilder {
 public:
  TBlockBuilder(int rows, int columns);
  // The cell at (row, column), 0-based within the block.
  void SetText(int row, int column, std::string text);
  // A merged area; the text of cells it covers other than its top-left one
  // is dropped. Areas that reach outside the block are cut to it; an area
  // that overlaps one given before is not merged.
  void Merge(int top, int left, int bottom, int right);
  // The finished block; the warnings count the areas not merged.
  TCellBlock Finish();

 private:
  struct TSlot {
    std::string Text;
    int Span = 1;
    int RowSpan = 1;
    bool Covered = false;  // right of an area's first column: no cell of its own
    bool InArea = false;
  };
  int FRows;
  int FColumns;
  std::vector<TSlot> FSlots;
  int FOverlaps = 0;
};

// The table becomes the block: its content cleared, one column per block
// column (format "l"), one row per block row, its joins made.
void BlockToTable(const TCellBlock& block, TTable& table);

// Pastes the block with its top-left corner at (left, top) as PasteText does
// (the table grows, joined cells and blocks under the block are split, the
// block ends up selected, every block cell gets its text) and then joins the
// cells that the block joins. Returns the block's rectangle.
TCellRect PasteBlock(TTable& table, int left, int top, const TCellBlock& block);
