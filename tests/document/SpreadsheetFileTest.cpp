// Spreadsheet files read as tables: cells as the spreadsheet shows them,
// merged areas as joins, and one clear refusal for what cannot be read.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/ScriptedUI.h"
#include "document/AppModule.h"
#include "document/BlockText.h"
#include "document/SpreadsheetFile.h"
#include "model/Errors.h"
#include "model/FileTestUtil.h"
#include "undo/UndoBuffers.h"

namespace {

std::string Sample(const std::string& name) { return std::string(QUILTOR_TEST_DIR) + "/document/data/sheets/" + name; }

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EQuiltorError& e) {
    return e.what();
  }
  return "no error";
}

// Faults caught: a format's decimals not followed (0.5 shown as 0.5, or
// a stored 0.5000000001 shown in full), rounding that keeps a minus sign on
// zero, thousands grouped wrongly, a percentage not scaled, the exponent
// written as C prints it, a date shown as its serial number or in the
// code's own order instead of ISO, the 1900 leap-year offset wrong, a
// literal dropped, and "General" giving more digits than read back or a
// whole number in exponent form (921410 as 9.2141e+05).
TEST(SpreadsheetNumbers, ShownAsTheirFormatSays) {
  struct Case {
    double Value;
    const char* Code;
    const char* Shown;
  } cases[] = {
      {0.5, "0.00", "0.50"},
      {0.5000000001, "0.00", "0.50"},
      {-0.001, "0.00", "0.00"},
      {2.5, "0", "3"},
      {1.005, "0.00", "1.01"},
      {0.125, "0.00", "0.13"},
      {99.996, "0.00", "100.00"},
      {1e-7, "0.00", "0.00"},
      {1234567.891, "#,##0.00", "1,234,567.89"},
      {-1234.5, "#,##0.0", "-1,234.5"},
      {999, "#,##0", "999"},
      {0.125, "0.0%", "12.5%"},
      {0.5, "0%", "50%"},
      {12345.678, "0.00E+00", "1.23E+04"},
      {0.000123, "0.0E+0", "1.2E-4"},
      {1.5, "0.0#", "1.5"},
      {1.2345, "0.0#", "1.23"},
      {3.5, "\"$\"#,##0.00", "$3.50"},
      {2, "0.00\" kg\"", "2.00 kg"},
      {-2, "0.00;(0.00)", "-2.00"},
      {45000, "yyyy-mm-dd", "2023-03-15"},
      {45000, "DD.MM.YYYY", "2023-03-15"},
      {60, "m/d/yy", "1900-02-28"},
      {61, "m/d/yy", "1900-03-01"},
      {45000.5, "yyyy-mm-dd hh:mm", "2023-03-15 12:00"},
      {0.75, "h:mm:ss", "18:00:00"},
      {0.1, "General", "0.1"},
      {0.1 + 0.2, "", "0.30000000000000004"},
      {1e20, "", "1e+20"},
      {921410, "", "921410"},
      {-1.5e-5, "General", "-0.000015"},
      {123456789012, "", "123456789012"},
      {123456789, "@", "123456789"},
      {0.5, "# ?/?", "0.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatCellNumber(c.Value, c.Code), c.Shown) << c.Value << " as " << c.Code;
}

// Faults caught: sheets missing or misnamed, the used size counting the
// leading empty row and column, a formula read as its text or recomputed
// instead of its stored result, a number format or bold/italic lost or put
// on the wrong cell, LaTeX specials left bare, Unicode mangled, a merged
// header not joined over columns or rows (or its neighbours shifted).
TEST(SpreadsheetFile, XlsxSheetShowsWhatTheSpreadsheetShows) {
  const TWorkbook book(Sample("book.xlsx"));
  ASSERT_EQ(book.Sheets().size(), 2u);
  EXPECT_EQ(book.Sheets()[0].Name, "Results");
  EXPECT_EQ(book.Sheets()[0].Rows, 4);
  EXPECT_EQ(book.Sheets()[0].Columns, 5);
  EXPECT_EQ(book.Sheets()[1].Name, "Notes");
  EXPECT_EQ(book.FindSheet("Notes"), 1);
  EXPECT_EQ(book.FindSheet("2"), 1);
  EXPECT_EQ(book.FindSheet("3"), -1);

  const TCellBlock block = book.ReadSheet(0, TBlockOptions());
  EXPECT_EQ(BlockRows(block), (std::vector<std::string>{
                                  "\\textbf{Sample}^2 | \\textbf{Measured}<2> | \\textbf{Share} | \\textbf{Date}",
                                  " | \\textit{mass (g)} | \\textit{cost \\$} |  | ",
                                  "Ünïcødé α\\_1 | 0.50 | 1,234,567.89 | 12.5\\% | 2024-02-29",
                                  "Total \\& 100\\% | 1.50 | 0.333333333333333 | 25.0\\% | ",
                              }));
  EXPECT_TRUE(block.Warnings.empty());

  TBlockOptions bare;
  bare.KeepEmphasis = false;
  bare.Escape = false;
  EXPECT_EQ(BlockRows(book.ReadSheet(0, bare, "B4:C5")),
            (std::vector<std::string>{"Ünïcødé α_1 | 0.50", "Total & 100% | 1.50"}));
  // A range reaching past the used one keeps its size.
  EXPECT_EQ(BlockRows(book.ReadSheet(1, bare, "A1:B2")), (std::vector<std::string>{"n | ", " | "}));
}

// Faults caught: an ods sheet's cells shifted right of a merged area (a
// covered cell not counted), a cell that names no style not taking its
// column's (0.50 shown as 0.5), percentages and dates lost or shown as
// stored, styles looked up in the wrong list (bold lost), and the two file
// kinds of the same workbook giving different tables.
TEST(SpreadsheetFile, OdsShowsWhatTheXlsxOfTheSameWorkbookShows) {
  for (const char* name : {"book", "plain"}) {
    const TWorkbook ods(Sample(std::string(name) + ".ods"));
    ASSERT_EQ(ods.Sheets().size(), 2u) << name;
    EXPECT_EQ(ods.Sheets()[1].Name, "Notes");
    const TCellBlock block = ods.ReadSheet(0, TBlockOptions());
    if (std::string(name) == "book") {
      const TWorkbook xlsx(Sample("book.xlsx"));
      EXPECT_EQ(BlockRows(block), BlockRows(xlsx.ReadSheet(0, TBlockOptions())));
      EXPECT_EQ(block.Warnings, xlsx.ReadSheet(0, TBlockOptions()).Warnings);
      EXPECT_EQ(BlockRows(ods.ReadSheet(1, TBlockOptions())), BlockRows(xlsx.ReadSheet(1, TBlockOptions())));
    } else {
      EXPECT_EQ(BlockRows(block), (std::vector<std::string>{
                                      "\\textbf{Sample} | \\textbf{Measured} |  | \\textbf{Share} | \\textbf{Date}",
                                      " | \\textit{mass (g)} | \\textit{cost \\$} |  | ",
                                      "Ünïcødé α\\_1 | 0.50 | 1,234,567.89 | 0.13 | 2024-02-29",
                                      "Total \\& 100\\% | 1.50 | 0.333333333333333 | 0.25 | ",
                                  }));
    }
  }
}

// Faults caught: a damaged or foreign file crashing the filter or opening
// as an empty table, an encrypted workbook reported as merely damaged, a
// sheet far beyond the cell limit read (and its memory taken) before the
// refusal, an empty sheet opening as an empty table, a bad range accepted,
// an .xls workbook reported as damaged instead of told what to do.
TEST(SpreadsheetFile, UnreadableFilesGetOneClearMessage) {
  TTempDir dir;
  const std::string xlsx = Bytes(Sample("book.xlsx"));
  struct Case {
    const char* Name;
    std::string Content;
    const char* Message;
  } cases[] = {
      {"cut.xlsx", xlsx.substr(0, xlsx.size() / 2),
       "Cannot open cut.xlsx: the file is damaged or is not a spreadsheet of its kind"},
      {"text.xlsx", "just some text\n", "Cannot open text.xlsx: the file is damaged or is not a spreadsheet of its kind"},
      {"empty.ods", "", "Cannot open empty.ods: the file is damaged or is not a spreadsheet of its kind"},
      {"xlsx-named.ods", xlsx, "Cannot open xlsx-named.ods: the file is damaged or is not a spreadsheet of its kind"},
      {"locked.xlsx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
       "Cannot open locked.xlsx: the workbook is password-protected or in the old binary format. Save it as .xlsx "
       "or .ods without a password, then open it again."},
      {"old.XLS", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
       "Cannot open old.XLS: workbooks in the old Excel format (.xls) cannot be read. Save it as .xlsx or .ods in a "
       "spreadsheet program, then open that."},
      {"huge.xlsx", Bytes(Sample("huge-range.xlsx")),
       "Cannot open huge.xlsx: sheet Huge uses more than 1048576 rows by 16384 columns, more than the 33554432 cells "
       "a table can hold"},
  };
  for (const Case& c : cases) {
    WriteBytes(dir.File(c.Name), c.Content);
    EXPECT_EQ(ErrorOf([&] { TWorkbook book(dir.File(c.Name)); }), c.Message);
  }
  const TWorkbook book(Sample("book.xlsx"));
  EXPECT_EQ(ErrorOf([&] { book.ReadSheet(0, TBlockOptions(), "B2-C3"); }), "Invalid range B2-C3: give it as B2:F20");
  EXPECT_EQ(ErrorOf([&] { book.ReadSheet(0, TBlockOptions(), "A0:B1"); }), "Invalid range A0:B1: give it as B2:F20");
}

class TScriptedSheets : public TSpreadsheetUI {
 public:
  int ChooseSheet(const std::string& fileName, const std::vector<TSheetInfo>& sheets,
                  TBlockOptions& options) override {
    Asked = fileName + ":" + std::to_string(sheets.size());
    options.KeepEmphasis = false;
    return Answer;
  }
  void ShowSheetWarnings(const std::vector<std::string>& warnings) override { Warnings = warnings; }
  int Answer = 0;
  std::string Asked;
  std::vector<std::string> Warnings;
};

class SpreadsheetOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateUndoBuffer();
    StartAppModule();
    SetDocumentUI(&UI);
    SetSpreadsheetUI(&Sheets);
  }
  void TearDown() override {
    SetSpreadsheetUI(nullptr);
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
  }
  TScriptedUI UI;
  TScriptedSheets Sheets;
};

// Faults caught: the spreadsheet becoming the document's file (Save would
// write a native table over the workbook), the user's sheet and options
// not followed, the warnings not shown, and a failed or cancelled open
// changing the document.
TEST_F(SpreadsheetOpenTest, OpensTheChosenSheetAsAnUnnamedDocument) {
  Sheets.Answer = 1;
  ASSERT_TRUE(OpenFile(Sample("book.xlsx")));
  EXPECT_EQ(Sheets.Asked, "book.xlsx:2");
  EXPECT_EQ(TableRows(*CurrentTable), (std::vector<std::string>{"n"}));
  EXPECT_EQ(CurrentTable->FileName, "");
  EXPECT_EQ(CurrentTable->Title, "book");

  Sheets.Answer = 0;
  ASSERT_TRUE(OpenFile(Sample("book.xlsx")));
  EXPECT_EQ(TableRows(*CurrentTable),
            (std::vector<std::string>{"Sample^2 | Measured<2> | Share | Date", "^ | mass (g) | cost \\$ |  | ",
                                      "Ünïcødé α\\_1 | 0.50 | 1,234,567.89 | 12.5\\% | 2024-02-29",
                                      "Total \\& 100\\% | 1.50 | 0.333333333333333 | 25.0\\% | "}));
  EXPECT_EQ(TableDefect(*CurrentTable), "");
  EXPECT_TRUE(Sheets.Warnings.empty());

  TTempDir dir;
  WriteBytes(dir.File("bad.xlsx"), "PK\x03\x04 not really");
  EXPECT_EQ(ErrorOf([&] { OpenFile(dir.File("bad.xlsx")); }),
            "Cannot open bad.xlsx: the file is damaged or is not a spreadsheet of its kind");
  // Not taken for a file of the program's own format.
  WriteBytes(dir.File("old.xls"), "\xD0\xCF\x11\xE0");
  EXPECT_EQ(ErrorOf([&] { OpenFile(dir.File("old.xls")); }).substr(0, 58),
            "Cannot open old.xls: workbooks in the old Excel format (.x");
  Sheets.Answer = -1;
  EXPECT_FALSE(OpenFile(Sample("book.xlsx")));
  EXPECT_EQ(TableRows(*CurrentTable)[0], "Sample^2 | Measured<2> | Share | Date");
  EXPECT_EQ(CurrentTable->Title, "book");
}

}  // namespace
