// The standalone document around a table, and tracing TeX's errors back to
// the table's rows and cells, checked against the real pdflatex.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/PdfLatex.h"
#include "latex/TabToLatex.h"
#include "latex/TypesetDocument.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

namespace fs = std::filesystem;

// rows of cells, each cell "text" in a column "l".
void MakeTable(TTable& table, const std::vector<std::vector<std::string>>& rows) {
  const size_t columns = rows.empty() ? 0 : rows.front().size();
  for (size_t c = 0; c < columns; ++c) new TColumn(table);
  for (const auto& texts : rows) {
    TRow* row = table.AddRow();
    for (size_t c = 0; c < texts.size(); ++c) (*row)[static_cast<int>(c)]->SetText(texts[c]);
  }
}

TTypesetDocument DocumentOf(const TTable& table, const std::string& preamble = "") {
  std::vector<std::string> lines;
  TableToLatex(table, lines);
  return BuildTypesetDocument(lines, preamble);
}

bool Installed(const std::string& package) {
  return std::system(("kpsewhich " + package + ".sty >/dev/null 2>&1").c_str()) == 0;
}

// Runs pdflatex on text and returns its log; ok tells whether a PDF came out.
std::string TypesetLog(const std::string& text, bool& ok) {
  std::string dirTemplate = (fs::temp_directory_path() / "quiltor-typeset-XXXXXX").string();
  if (!mkdtemp(dirTemplate.data())) return "";
  const fs::path dir = dirTemplate;
  std::ofstream(dir / "table.tex", std::ios::binary) << text;
  const std::string command = "cd '" + dir.string() + "' && '" + PdfLatexPath() +
                              "' -no-shell-escape -interaction=nonstopmode -halt-on-error table.tex"
                              " </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(dir / "table.pdf");
  std::stringstream log;
  log << std::ifstream(dir / "table.log", std::ios::binary).rdbuf();
  fs::remove_all(dir);
  return log.str();
}

// If detection missed a package, the table's commands would be undefined;
// if it over-detected, the plain case would load packages it does not need.
TEST(TypesetDocument, LoadsWhatTheCodeNeedsAndCompiles) {
  ASSERT_FALSE(PdfLatexPath().empty());
  struct Case {
    const char* Format;  // of the first column
    const char* Text;    // of the first cell
    const char* Package; // expected; "" none at all
    const char* Options;
  } cases[] = {
      {"l", "plain", "", ""},
      {"p{2cm}", "abc", "", ""},
      {"m{2cm}", "middle", "array", ""},
      {">{\\bfseries}l", "bold", "array", ""},
      {"l", "\\toprule x", "booktabs", ""},
      {"l", "\\multirow{2}{*}{x}", "multirow", ""},
      {"l", "\\rowcolor{gray} x", "xcolor", "table"},
      {"l", "\\textcolor{red}{x}", "xcolor", ""},
      {"S", "1.5", "siunitx", ""},
      {"l", "\\num{12345}", "siunitx", ""},
      {"l!{\\quad}", "bang", "array", ""},
      {"D{.}{.}{2}", "1.5", "dcolumn", ""},
      {"l", "\\makecell{a\\\\b}", "makecell", ""},
      {"l", "\\checkmark", "amssymb", ""},
      {"l", "$\\text{a}$", "amsmath", ""},
      {"l", "\\diagbox{a}{b}", "diagbox", ""},
  };
  for (const Case& c : cases) {
    TTable table;
    MakeTable(table, {{c.Text, "b"}, {"c", "d"}});
    table.Columns[0]->Format = c.Format;
    const TTypesetDocument doc = DocumentOf(table);
    if (!*c.Package) {
      EXPECT_EQ(doc.Text.find("\\usepackage"), std::string::npos) << c.Format << " " << doc.Text;
    } else {
      const std::string options = *c.Options ? std::string("[") + c.Options + "]" : "";
      EXPECT_NE(doc.Text.find("\\usepackage" + options + "{" + c.Package + "}"), std::string::npos)
          << c.Text << "\n" << doc.Text;
    }
    bool ok = false;
    const std::string log = TypesetLog(doc.Text, ok);
    if (!*c.Package || Installed(c.Package)) {
      EXPECT_TRUE(ok) << c.Text << "\n" << doc.Text << "\n" << FirstLatexError(log).Message;
    } else {
      // Not installed: the run fails, and says which package is missing.
      EXPECT_EQ(MissingPackages(log), std::vector<std::string>{c.Package}) << log;
    }
  }
}

TEST(TypesetDocument, TabularxAndLongtableCompile) {
  ASSERT_FALSE(PdfLatexPath().empty());
  for (const char* environment : {"tabularx", "longtable", "array", "tabulary", "NiceTabular", "NiceArray"}) {
    TTable table;
    MakeTable(table, {{"a", "b"}});
    table.Environment = environment;
    if (std::string(environment) == "tabularx") {
      table.EnvOptions = "{5cm}";
      table.Columns[1]->Format = "X";
    }
    if (std::string(environment) == "tabulary") {
      table.EnvOptions = "{5cm}";
      table.Columns[1]->Format = "L";
    }
    const TTypesetDocument doc = DocumentOf(table, "\\newcommand{\\mine}{x}");
    bool ok = false;
    const std::string log = TypesetLog(doc.Text, ok);
    EXPECT_TRUE(ok) << environment << "\n" << doc.Text << "\n" << FirstLatexError(log).Message;
  }
}

// If the preview left multirow out, or the code of a block were no LaTeX
// (a \multirow argument out of place, a \cline range through the block, an
// empty \multicolumn with a wrong count), the preview would fail.
TEST(TypesetDocument, BlocksCompile) {
  ASSERT_FALSE(PdfLatexPath().empty());
  if (!Installed("multirow")) GTEST_SKIP() << "multirow is not installed";
  for (const TRuleStyle style : {rsClassic, rsBooktabs}) {
    TTable table;
    MakeTable(table, {{"Group", "Head", "", "x"}, {"", "", "", "y"}, {"", "a", "b", "z"}, {"", "c", "d", "w"}});
    for (TRow* row : table.Rows)
      for (TCell* cell : *row) cell->RuleLeft = cell->RuleTop = cell->RuleRight = cell->RuleBottom = 1;
    table.Style.Rules = style;
    JoinCells(table, {0, 0, 0, 3});
    TCell* head = JoinCells(table, {1, 0, 2, 1});
    head->Align = 'c';
    head->SetBlockArgs({"t", "2", "=", "-1ex"});
    ASSERT_EQ(TableDefect(table), "");
    const TTypesetDocument doc = DocumentOf(table);
    EXPECT_NE(doc.Text.find("{multirow}"), std::string::npos) << doc.Text;
    bool ok = false;
    const std::string log = TypesetLog(doc.Text, ok);
    EXPECT_TRUE(ok) << doc.Text << "\n" << FirstLatexError(log).Message;
  }
}

// If the line or offset arithmetic were off by one, the error would be put
// on the wrong row or cell.
TEST(TypesetDocument, TracesErrorsToRowAndCell) {
  ASSERT_FALSE(PdfLatexPath().empty());
  struct Case {
    std::vector<std::vector<std::string>> Rows;
    bool Rules;
    int JoinRow;  // row whose first two cells are joined; -1 none
    int Row, Cell, Column;
    const char* Message;
  } cases[] = {
      {{{"a", "b", "c"}, {"d", "e", "\\foo"}}, false, -1, 1, 2, 2, "Undefined control sequence."},
      {{{"a", "b}", "c"}, {"d", "e", "f"}}, true, -1, 0, 1, 1, ""},
      {{{"a", "b", "c"}, {"d", "e{", "f"}, {"g", "h", "i"}}, true, -1, 1, 1, 1, ""},
      {{{"a", "b", "c"}, {"x", "y", "z"}, {"d", "one\ntwo \\nosuchmacro", "f"}}, true, -1, 2, 1, 1,
       "Undefined control sequence."},
      // After a joined cell the grid's column is not the cell's place.
      {{{"a", "b", "c"}, {"joined \\baz", "", "f"}}, true, 1, 1, 1, 2, "Undefined control sequence."},
      {{{"a", "b", "c"}, {"d", "e", "f"}, {"a-very-long-text-that-makes-tex-shorten-the-context-line", "b",
                                            "yet-more-text-to-push-the-error-point-far-right \\qux"}},
       false, -1, 2, 2, 2, "Undefined control sequence."},
  };
  for (const Case& c : cases) {
    TTable table;
    MakeTable(table, c.Rows);
    if (c.Rules) table.SetRules(TCellRect{0, 0, table.ColCount() - 1, table.RowCount() - 1}, 63, 1);
    if (c.JoinRow >= 0) {
      TRow& row = *table.Rows[c.JoinRow];
      row[0]->Span = 2;
      row.Delete(1);
      row[0]->SetText("joined");
      row[1]->SetText("\\baz");
    }
    const TTypesetDocument doc = DocumentOf(table);
    bool ok = true;
    const std::string log = TypesetLog(doc.Text, ok);
    ASSERT_FALSE(ok) << doc.Text;
    const TLatexError error = FirstLatexError(log);
    ASSERT_TRUE(error.Found) << log;
    if (*c.Message) {
      EXPECT_EQ(error.Message, c.Message);
    }
    const TErrorPlace place = LocateLatexError(doc, table, error);
    EXPECT_EQ(place.Row, c.Row) << doc.Text << "\nerror at line " << error.Line << ": " << error.Context;
    EXPECT_EQ(place.Cell, c.Cell) << doc.Text << "\nerror at line " << error.Line << ": " << error.Context;
    const std::string shown = DescribeLatexFailure(doc, table, log);
    EXPECT_EQ(place.Column, c.Column);
    EXPECT_EQ(shown.rfind("Row " + std::to_string(c.Row + 1) + ", column " + std::to_string(c.Column + 1) + ": ", 0), 0u)
        << shown;
  }
}

// Errors outside the rows are named by where they are, and a file the
// sandbox refused is told in TeX's own words: otherwise the user would see
// a bare message, or "LaTeX failed without an error message".
TEST(TypesetDocument, NamesWhereAnErrorOutsideTheCellsIs) {
  ASSERT_FALSE(PdfLatexPath().empty());
  struct Case {
    const char* Format;
    const char* Preamble;
    const char* Expected;
  } cases[] = {
      {"Q", "", "Column format: "},
      {"l", "\\nosuchmacro", "Preamble: Undefined control sequence."},
      {"l", "\\AtBeginDocument{\\pdfximage{/nonexistent.pdf}}", "pdfTeX error: "},
  };
  for (const Case& c : cases) {
    TTable table;
    MakeTable(table, {{"a"}});
    table.Columns[0]->Format = c.Format;
    const TTypesetDocument doc = DocumentOf(table, c.Preamble);
    bool ok = true;
    const std::string log = TypesetLog(doc.Text, ok);
    ASSERT_FALSE(ok) << doc.Text;
    const std::string shown = DescribeLatexFailure(doc, table, log);
    EXPECT_EQ(shown.rfind(c.Expected, 0), 0u) << shown;
  }
  TTable table;
  MakeTable(table, {{"a"}});
  const std::string refused = DescribeLatexFailure(
      DocumentOf(table), table,
      "kpathsea: open(\"/dev/null\", O_WRONLY): Permission denied\n!pdfTeX error: pdflatex (file ecrm1000): Font "
      "ecrm1000 at 600 not found\n");
  EXPECT_EQ(refused, "pdfTeX error: pdflatex (file ecrm1000): Font ecrm1000 at 600 not found (kpathsea: "
                     "open(\"/dev/null\", O_WRONLY): Permission denied: the file is outside what a table may read or "
                     "write)");
}

// A late result must never replace a newer one on show.
TEST(TypesetDocument, ResultOrderDropsOlderResults) {
  TResultOrder order;
  const uint64_t first = order.NextRequest();
  const uint64_t second = order.NextRequest();
  EXPECT_TRUE(order.Accept(second));
  EXPECT_FALSE(order.Accept(first));
  EXPECT_FALSE(order.Accept(second));  // shown already
  EXPECT_FALSE(order.Accept(second + 1));  // never requested
  EXPECT_EQ(order.Shown(), second);
}

}  // namespace
