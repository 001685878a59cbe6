#pragma once
// OpenDocument spreadsheets (.ods) read straight from their XML: the zip's
// content.xml (the sheets and the cells' automatic styles) and styles.xml
// (the named styles and number formats). liborcus's own .ods filter counts
// neither covered cells nor percentage and currency values, so cells would
// land in the wrong columns or go missing; this reader lays them out as the
// spreadsheet does.
#include <climits>
#include <string>
#include <string_view>
#include <vector>

// A cell as the spreadsheet shows it: its text before escaping, and the
// emphasis of its style.
struct TShownCell {
  int Row = 0;
  int Column = 0;
  std::string Text;
  bool Bold = false;
  bool Italic = false;
};

struct TMergedArea {
  int Top, Left, Bottom, Right;
};

struct TShownSheet {
  std::string Name;
  std::vector<TShownCell> Cells;
  std::vector<TMergedArea> Merges;
  // The used range: the rows and columns holding a cell with text; empty
  // while Bottom < 0.
  int Top = INT_MAX, Left = INT_MAX, Bottom = -1, Right = -1;
};

// Raised as soon as a sheet's used range passes TextLines::kMaxImportCells,
// so that the cells read until then are at most that many.
struct ESheetTooLarge {
  std::string Sheet;
  long long Rows, Columns;
};

// Every sheet of the .ods file held in bytes. A damaged file (a broken zip,
// content.xml missing or not well-formed) raises a std::exception other than
// EQuiltorError; an encrypted one an EQuiltorError naming it as name; a
// sheet too large ESheetTooLarge.
std::vector<TShownSheet> ReadOdsSheets(std::string_view bytes, const std::string& name);
