// The converter on spreadsheet and HTML input: what it writes, warns and
// refuses, run as a build pipeline runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../model/FileTestUtil.h"

namespace {

std::string Sample(const std::string& name) { return std::string(QUILTOR_TEST_DIR) + "/document/data/sheets/" + name; }

struct TRun {
  std::vector<std::string> Args;
  int Status;
  std::string Out;  // exact standard output, or "" when not checked
  std::string Err;  // a part of standard error ("" when it must be empty)
};

// Faults caught: spreadsheet or HTML input not recognised by its name or
// by --from, --sheet, --range and --table ignored or misapplied, the row
// merge not warned about, a missing sheet or a damaged file reported
// without naming it, spreadsheet options accepted for other input,
// spreadsheet output accepted that nothing writes.
TEST(ConverterSheets, SpreadsheetAndHtmlInput) {
  TTempDir dir;
  WriteBytes(dir.File("page.txt"), "<table><tr><td colspan=2>a &amp; b</td></tr><tr><td>1</td><td>2</td></tr></table>");
  WriteBytes(dir.File("bad.xlsx"), "not a zip");
  WriteBytes(dir.File("t.csv"), "a,b\n");
  WriteBytes(dir.File("old.xls"), "\xD0\xCF\x11\xE0");
  const std::string book =
      "\\begin{tabular}{lllll}\n"
      "\\textbf{Sample} & \\multicolumn{2}{l}{\\textbf{Measured}} & \\textbf{Share} & \\textbf{Date} \\\\ \n"
      " & \\textit{mass (g)} & \\textit{cost \\$} &  &  \\\\ \n"
      "Ünïcødé α\\_1 & 0.50 & 1,234,567.89 & 12.5\\% & 2024-02-29 \\\\ \n"
      "Total \\& 100\\% & 1.50 & 0.333333333333333 & 25.0\\% &  \\\\ \n"
      "\\end{tabular}\n";
  const TRun runs[] = {
      {{"--latex", Sample("book.xlsx")}, 0, book, ""},
      {{"--latex", Sample("book.ods")}, 0, book, ""},
      {{"--latex", dir.File("old.xls")}, 1, "", "Cannot open old.xls: workbooks in the old Excel format (.xls)"},
      {{"--latex", "--sheet=Notes", Sample("book.xlsx")}, 0, "\\begin{tabular}{l}\nn \\\\ \n\\end{tabular}\n", ""},
      {{"--latex", "--sheet", "2", "--range", "A1:B1", Sample("book.xlsx")},
       0,
       "\\begin{tabular}{ll}\nn &  \\\\ \n\\end{tabular}\n",
       ""},
      {{"--latex", "--range=C4:D5", "--no-escape", Sample("book.xlsx")},
       0,
       "\\begin{tabular}{ll}\n0.50 & 1,234,567.89 \\\\ \n1.50 & 0.333333333333333 \\\\ \n\\end{tabular}\n",
       ""},
      {{"--latex", "--from=html", dir.File("page.txt")},
       0,
       "\\begin{tabular}{ll}\n\\multicolumn{2}{l}{a \\& b} \\\\ \n1 & 2 \\\\ \n\\end{tabular}\n",
       ""},
      {{"--latex", "--table=2", Sample("web-table.html")}, 0, "", ""},
      {{"--latex", "--table=3", Sample("web-table.html")}, 1, "", "web-table.html: There is no table 3: the text holds 2"},
      {{"--latex", "--sheet=Missing", Sample("book.xlsx")}, 1, "", "book.xlsx has no sheet Missing; its sheets: Results, Notes"},
      {{"--latex", "--range=A1-B2", Sample("book.xlsx")}, 1, "", "Invalid range A1-B2"},
      {{"--latex", dir.File("bad.xlsx")}, 1, "", "Cannot open bad.xlsx: the file is damaged"},
      {{"--latex", "--sheet=1", dir.File("t.csv")}, 2, "", "'--sheet' belongs to spreadsheet input"},
      {{"--latex", "--no-escape", dir.File("t.csv")}, 2, "", "'--no-escape' belongs to spreadsheet and HTML input"},
      {{"--convert", dir.File("t.csv"), dir.File("t.xlsx")}, 2, "", "cannot tell the output type"},
  };
  for (const TRun& run : runs) {
    std::string command = QUILTOR_EXE;
    for (const std::string& arg : run.Args) command += " '" + arg + "'";
    command += " >" + dir.File("out") + " 2>" + dir.File("err");
    const int status = std::system(command.c_str());
    const std::string out = ReadBytes(dir.File("out")), err = ReadBytes(dir.File("err"));
    EXPECT_EQ(WEXITSTATUS(status), run.Status) << command << "\n" << err;
    if (!run.Out.empty()) {
      EXPECT_EQ(out, run.Out) << command;
    }
    if (run.Err.empty()) {
      EXPECT_EQ(err, "") << command;
    } else {
      EXPECT_NE(err.find(run.Err), std::string::npos) << command << "\n" << err;
    }
  }
  // --convert writes the same cells as a file.
  ASSERT_EQ(std::system((std::string(QUILTOR_EXE) + " --convert --range=B4:C4 " + Sample("book.xlsx") + " " +
                         dir.File("row.csv"))
                            .c_str()),
            0);
  EXPECT_EQ(ReadBytes(dir.File("row.csv")), "Ünïcødé α\\_1,0.50\r\n");
}

}  // namespace
