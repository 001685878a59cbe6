#pragma once
// Spreadsheet files (.xlsx, .ods) read as tables: .xlsx with liborcus's
// import filter, .ods by OdsReader. A sheet's used range becomes the table, each cell's text as the
// spreadsheet shows it: formula cells give their stored result, numbers
// follow their number format where it is a common one.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/CellBlock.h"

// True for the names of the files read here: .xlsx, .xlsm and .ods, in any
// letter case, and .xls, which is refused with a message saying what to do.
bool IsSpreadsheetFile(const std::string& path);

struct TSheetInfo {
  std::string Name;
  // The used range: from the first to the last row and column holding a value.
  int Rows = 0;
  int Columns = 0;
};

class TWorkbook {
 public:
  // Reads every sheet of the file. A file that cannot be read as a
  // spreadsheet (damaged, encrypted, of another kind) raises one message
  // naming it; so does a sheet whose used range would hold more than
  // TextLines::kMaxImportCells cells, as soon as its cells reach that far.
  explicit TWorkbook(const std::string& path);
  // The same from the file's bytes; name stands for it in messages and its
  // extension tells the kind.
  TWorkbook(std::string_view bytes, const std::string& name);
  ~TWorkbook();
  TWorkbook(const TWorkbook&) = delete;
  TWorkbook& operator=(const TWorkbook&) = delete;

  const std::vector<TSheetInfo>& Sheets() const;
  // The sheet named name, else the sheet numbered so (1-based); -1 for none.
  int FindSheet(const std::string& name) const;
  // The used range of sheet index (0-based) as a block, or the cells of
  // range ("B2:F20", "C3") when it is not empty. An empty sheet raises
  // "Sheet NAME is empty"; a range that is not one raises "Invalid range".
  TCellBlock ReadSheet(int index, const TBlockOptions& options, const std::string& range = {}) const;

  struct TImpl;

 private:
  void Load(std::string_view bytes, const std::string& name);
  std::unique_ptr<TImpl> F;
};

// The text of a number as a spreadsheet shows it under format code (the
// first section of an Excel-style code): fixed decimals, thousands
// separators, percent, scientific and dates (as ISO YYYY-MM-DD, days
// counted from 1899-12-30) are followed; anything else gives the shortest
// text that reads back as the same number.
std::string FormatCellNumber(double value, std::string_view formatCode);
// The shortest text that reads back as value ("0.1", "1234.5", "1e+300").
std::string ShortestNumberText(double value);

// ---- opening a spreadsheet file in the editor

// What opening a spreadsheet needs to ask and tell the user; the window
// implements it, tests script it.
class TSpreadsheetUI {
 public:
  virtual ~TSpreadsheetUI() = default;
  // Which sheet of the file to read (each listed with its used size) and
  // how (options hold the defaults on entry): its index, or -1 when
  // cancelled.
  virtual int ChooseSheet(const std::string& fileName, const std::vector<TSheetInfo>& sheets,
                          TBlockOptions& options) = 0;
  // What the reader changed to fit the sheet into the model, told once.
  virtual void ShowSheetWarnings(const std::vector<std::string>& warnings) = 0;
};
void SetSpreadsheetUI(TSpreadsheetUI* ui);

// Reads one sheet of the spreadsheet file at path into table (a scratch
// table), as the user chooses; without a window only a workbook of one sheet
// is read, with the default options. name is the file's name as the user
// knows it (path may be a copy kept by an interrupted save): it names the
// file in messages and its extension tells the kind. False when the user
// cancelled.
bool ReadSpreadsheetFile(TTable& table, const std::string& path, const std::string& name);
