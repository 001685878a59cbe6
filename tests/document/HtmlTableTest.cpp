// HTML tables, from the clipboard or a file: the cells a browser shows, with
// their joins and emphasis, and their paste into a table.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "document/BlockText.h"
#include "document/HtmlTable.h"
#include "model/Errors.h"
#include "model/TableEdit.h"

namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(QUILTOR_TEST_DIR) + "/document/data/sheets/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

using TRows = std::vector<std::string>;

// Faults caught: colspan or rowspan not joined or its following cells
// shifted, a rowspan's column not kept free in the rows below, areas that
// overlap joined anyway (the row's spans no longer add up), white space not
// collapsed as a browser does, an entity left encoded, <br> and block ends
// lost, emphasis lost or its \textbf wrapped around a space, LaTeX specials
// or text in an entity left bare, nested tables' rows taken for the outer
// table's, a bad span value trusted.
TEST(HtmlTable, CellsAsTheBrowserLaysThemOut) {
  struct Case {
    const char* Html;
    TRows Rows;
    size_t Warnings;
  } cases[] = {
      {"<table><tr><td>a</td><td>b</td></tr><tr><td colspan=2>c</td></tr></table>", {"a | b", "c<2>"}, 0},
      {"<table><tr><td rowspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>", {"a^2 | b", " | c"}, 0},
      {"<table><tr><td rowspan=2 colspan=2>a</td><td>b</td></tr><tr><td>c</td></tr></table>", {"a<2>^2 | b", "<2> | c"}, 0},
      {"<table><tr><td>a</td><td rowspan=2>b</td></tr><tr><td colspan=2>c</td></tr></table>", {"a | b^2", "c | "}, 1},
      {"<table><tr><td>  two\n  words </td><td>x&amp;y&nbsp;&lt;z&gt; &euro;5 &#x3b1;</td></tr></table>",
       {"two words | x\\&y\u00a0<z> €5 α"}, 0},
      {"<table><tr><td>one<br>two<p>three</p>four</td></tr></table>", {"one\ntwo\nthree\nfour"}, 0},
      {"<table><tr><td>a <b>bold</b> and <em>it</em></td><td><strong><i>both</i></strong></td></tr></table>",
       {"a \\textbf{bold} and \\textit{it} | \\textbf{\\textit{both}}"}, 0},
      {"<table><tr><td style='font-weight: 700'>w</td><td><span style=\"font-style:italic;\">s</span></td>"
       "<th>h</th><td style='font-weight:normal'>n</td></tr></table>",
       {"\\textbf{w} | \\textit{s} | \\textbf{h} | n"}, 0},
      {"<table><tr><td>50% of $3 #1 a_b {c} ~ ^ \\</td></tr></table>",
       {"50\\% of \\$3 \\#1 a\\_b \\{c\\} \\textasciitilde{} \\textasciicircum{} \\textbackslash{}"}, 0},
      {"<table><tr><td>out<table><tr><td>in</td></tr></table></td><td>x</td></tr></table>", {"out\nin | x"}, 0},
      {"<table><tr><td colspan=0>a</td><td colspan=junk>b</td><td colspan=99999>c</td></tr></table>",
       {"a | b | c<1000>"}, 0},
      {"<table><tr><td>short</td></tr><tr><td>a</td><td>b</td></tr></table>", {"short | ", "a | b"}, 0},
  };
  for (const Case& c : cases) {
    const TCellBlock block = ReadHtmlTable(c.Html, 0, TBlockOptions());
    EXPECT_EQ(BlockRows(block), c.Rows) << c.Html;
    EXPECT_EQ(block.Warnings.size(), c.Warnings) << c.Html;
  }
}

// Faults caught: the formats real programs write misread — Calc's
// clipboard (rowspan, colspan, <b>/<i>, <br> in empty cells), Excel's
// (bold and italic by classes of a style sheet), a web page's
// head and body sections, caption and entities, and --table counting.
TEST(HtmlTable, SpreadsheetClipboardAndWebPage) {
  const std::string calc = Sample("calc-clipboard.html");
  EXPECT_EQ(CountHtmlTables(calc), 2);
  EXPECT_EQ(BlockRows(ReadHtmlTable(calc, 0, TBlockOptions())),
            (TRows{"\\textbf{Sample}^2 | \\textbf{Measured}<2> | \\textbf{Share} | \\textbf{Date}",
                   " | \\textit{mass (g)} | \\textit{cost \\$} |  | ",
                   "Ünïcødé α\\_1 | 0.50 | 1,234,567.89 | 12.5\\% | 29.02.2024",
                   "Total \\& 100\\% | 1.50 | 0.333333333333333 | 25.0\\% | "}));

  const std::string web = Sample("web-table.html");
  TBlockOptions plain;
  plain.KeepEmphasis = false;
  EXPECT_EQ(BlockRows(ReadHtmlTable(web, 1, plain)),
            (TRows{"Site^2 | Yield\u00a0(t/ha)<2> | Notes^2", " | 2022 | 2023 | ", "North \\& East | 3.5 | 4.1 | dry spring\nlate harvest",
                   "South | no data<2> | 50\\% loss <est.>", "Café “plot” | 2.0 | 2.2 | a\\_b \\textasciitilde{} c"}));
  EXPECT_EQ(BlockRows(ReadHtmlTable(web, 0, plain)), (TRows{"layout only"}));

  // Excel: emphasis by classes of its style sheet; the td rule, the
  // commented-out rule and the overridden one must not apply, the inline
  // style wins over the class.
  EXPECT_EQ(BlockRows(ReadHtmlTable(Sample("excel-clipboard.html"), 0, TBlockOptions())),
            (TRows{"\\textbf{Sample} | \\textbf{Measured}<2> | \\textbf{\\textit{Share}}",
                   "x\\_1 | \\textit{mass (g)} | 0.50 | \\textbf{\\textit{both}}", "off | inline | a \\& b | \\textbf{run}"}));

  auto error = [](const std::string& html, int index) {
    try {
      ReadHtmlTable(html, index, TBlockOptions());
    } catch (const EQuiltorError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error(web, 2), "There is no table 3: the text holds 2");
  EXPECT_EQ(error("<p>no table here</p>", 0), "No HTML table found");
  EXPECT_EQ(error("<table></table>", 0), "The HTML table has no cells");
}

// Faults caught: a pasted block not joined where the HTML joins, a join
// that leaves the row's spans not adding up, an existing joined cell under
// the block left joined, the table not grown, text outside the block
// changed, a layout table pasted instead of the data, a rowspan not made a
// block or a block under the paste left half overwritten, and a page
// without a table changing the table.
TEST(HtmlTable, PasteKeepsTheJoins) {
  TTable table;
  TCellBlock four;
  four.Columns = 3;
  four.Rows = {{{"x", 1}, {"y", 1}, {"z", 1}}, {{"u", 1}, {"v", 1}, {"w", 1}}};
  BlockToTable(four, table);
  table.GetCell(1, 0)->Span = 2;
  table.Rows[1]->Delete(1);  // row 1: "u" over two columns, then "w"

  std::vector<std::string> warnings;
  ASSERT_TRUE(PasteHtmlTable(table, 1, 1,
                             "<table><tr><td colspan=2><b>H</b></td><td>c</td></tr>"
                             "<tr><td>a</td><td>b</td><td>d</td></tr></table>",
                             warnings));
  EXPECT_EQ(TableRows(table), (TRows{"x | y | z | ", "u | \\textbf{H}<2> | c", " | a | b | d"}));
  EXPECT_TRUE(warnings.empty());
  for (const TRow* row : table.Rows) {
    int columns = 0;
    for (const TCell* cell : *row) columns += cell->Span;
    EXPECT_EQ(columns, table.ColCount());
  }
  ASSERT_TRUE(PasteHtmlTable(table, 0, 2, "<table><tr><td>layout</td></tr></table><table><tr><td>p</td><td>q</td></tr></table>",
                             warnings));
  EXPECT_EQ(TableRows(table)[2], "p | q | b | d");
  // A rowspan lands as a block; a block the paste reaches into is split.
  JoinCells(table, {3, 0, 3, 1});
  ASSERT_TRUE(PasteHtmlTable(table, 2, 1, "<table><tr><td rowspan=2>R</td><td>s</td></tr><tr><td>t</td></tr></table>",
                             warnings));
  EXPECT_EQ(TableRows(table), (TRows{"x | y | z | ", "u | \\textbf{H} | R^2 | s", "p | q | ^ | t"}));
  EXPECT_EQ(TableDefect(table), "");
  EXPECT_FALSE(PasteHtmlTable(table, 0, 0, "<p>text only</p>", warnings));
  EXPECT_EQ(table.GetCell(0, 0)->Text(), "x");
}

}  // namespace
