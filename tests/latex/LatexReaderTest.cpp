// The LaTeX reader: generated code reads back to the same code, hand-written
// tables read cell by cell as LaTeX typesets them, bad input is read
// sensibly or refused with the place named.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "latex/LatexFixture.h"
#include "latex/LatexReader.h"
#include "latex/TabToLatex.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- random tables

// Pieces a user can give the editor that the reader must bring back exactly,
// formats with rules of their own among them.
constexpr std::array kFormats = {"l",         "c",          "r",          "p{2cm}",          "m{1.5cm}",
                                 "b{1in}",    "X",          "S[table-format=1.2]", ">{\\bfseries}l", "c<{\\,\\%}",
                                 "r@{}",      "D{.}{.}{2}", "l!{\\quad}", "@{}l",             "!{\\vrule}c",
                                 "@{\\extracolsep{\\fill}}r", "r|", "|l", ">{\\bfseries}c", "p{2cm}|",
                                 "c||",       "|c|"};
struct TEnv {
  const char* Name;
  const char* Options;
};
constexpr std::array kEnvironments = {TEnv{"tabular", ""},         TEnv{"tabular", "[t]"},
                                      TEnv{"tabular*", "{\\textwidth}"}, TEnv{"tabularx", "{\\linewidth}"},
                                      TEnv{"array", "[c]"},         TEnv{"longtable", ""},
                                      TEnv{"longtable", "[l]"},     TEnv{"mytab", "{3cm}"},
                                      TEnv{"NiceTabular", "[hvlines]"}, TEnv{"mytab", ""}};
constexpr std::array kTexts = {"",
                               "a",
                               "Name",
                               "\\&",
                               "50\\%",
                               "$a & b$",
                               "{x & y}",
                               "\\makecell{a\\\\b}",
                               "$\\begin{aligned}a&=b\\\\c&=d\\end{aligned}$",
                               "\\begin{tabular}{@{}c@{}}x\\\\y\\end{tabular}",
                               "\\textbf{bold} text",
                               "\\verb|a&b|",
                               "two\r\nlines",
                               "\\(a&b\\)",
                               "\xc3\xa9t\xc3\xa9",
                               "\\cellcolor{red}z",
                               "\\{ \\}"};
constexpr std::array kPrefixes = {"",
                                  "\\rowcolor{gray!20}",
                                  "\\rowcolor[gray]{0.9} ",
                                  "% note\r\n",
                                  "% a\r\n\\rowcolor{red}",
                                  "\\hiderowcolors ",
                                  "\\noalign{\\smallskip}",
                                  "\\endhead\r\n",
                                  "% one\r\n% two\r\n"};
constexpr std::array kPostfixes = {"",         "[2pt]",        "% note",        "[1ex] % spaced",
                                   "\\noalign{\\vskip 1pt}", " x", "*[3pt]", "[2pt] \\hline", "\\endhead"};

template <class Array>
const char* Pick(std::mt19937& rng, const Array& items) {
  return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(rng)];
}

bool Chance(std::mt19937& rng, int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; }

void RandomTable(std::mt19937& rng, TTable& table) {
  table.Clear();
  const TEnv env = kEnvironments[std::uniform_int_distribution<size_t>(0, kEnvironments.size() - 1)(rng)];
  table.Environment = env.Name;
  table.EnvOptions = env.Options;
  const int c = std::uniform_int_distribution<int>(1, 6)(rng);
  const int r = std::uniform_int_distribution<int>(0, 6)(rng);
  for (int i = 0; i < c; ++i)
    (new TColumn(table))->Format = Pick(rng, kFormats);
  for (int i = 0; i < r; ++i) {
    auto* row = new TRow(table);
    if (Chance(rng, 30)) row->Prefix = Pick(rng, kPrefixes);
    if (Chance(rng, 30)) row->Postfix = Pick(rng, kPostfixes);
    for (int k = 0; k < c;) {
      auto* cell = new TCell(*row);
      cell->Span = Chance(rng, 20) ? std::uniform_int_distribution<int>(1, c - k)(rng) : 1;
      if (Chance(rng, 25)) cell->Align = "lcr"[std::uniform_int_distribution<int>(0, 2)(rng)];
      cell->RuleLeft = Chance(rng, 40);
      cell->RuleTop = Chance(rng, 30);
      cell->RuleRight = Chance(rng, 40);
      cell->RuleBottom = Chance(rng, 30);
      cell->SetText(Pick(rng, kTexts));
      k += cell->Span;
    }
  }
  // Blocks over rows, some with \multirow arguments of their own; a
  // rectangle that cuts a joined cell or a block is no block.
  const std::array<TBlockArgs, 4> kArgs = {TBlockArgs{}, TBlockArgs{"t", "", "*", ""},
                                               TBlockArgs{"", "2", "=", "1ex"}, TBlockArgs{"b", "", "2cm", ""}};
  for (int n = Chance(rng, 50) && r > 1 ? std::uniform_int_distribution<int>(1, 3)(rng) : 0; n > 0; --n) {
    const int left = std::uniform_int_distribution<int>(0, c - 1)(rng);
    const int top = std::uniform_int_distribution<int>(0, r - 2)(rng);
    const TCellRect rect{left, top, std::uniform_int_distribution<int>(left, c - 1)(rng),
                         std::uniform_int_distribution<int>(top + 1, r - 1)(rng)};
    try {
      JoinCells(table, rect)->SetBlockArgs(kArgs[std::uniform_int_distribution<size_t>(0, kArgs.size() - 1)(rng)]);
    } catch (const EQuiltorError&) {
    }
  }
  // Both rule styles, and now and then a float around the table. A
  // booktabs table whose row texts hold \hline mixes the styles, which the
  // reader rightly warns about.
  bool hline = false;
  for (const TRow* row : table.Rows) hline = hline || (row->Prefix + row->Postfix).find("hline") != std::string::npos;
  if (!hline && Chance(rng, 40)) table.Style.Rules = rsBooktabs;
  if (Chance(rng, 25)) {
    TTableFloat& f = table.Style.Float;
    f.Placement = Chance(rng, 70) ? "htbp" : "";
    f.Centering = Chance(rng, 70);
    f.Caption = Chance(rng, 70) ? "Results {\\em per} run" : "";
    f.Label = Chance(rng, 50) ? "tab:x" : "";
    f.CaptionBelow = Chance(rng, 30);
    f.Wide = Chance(rng, 20);
    f.TextBefore = Chance(rng, 30) ? "\\small" : "";
    f.TextAfter = Chance(rng, 20) ? "\\par\\footnotesize Note." : "";
    // A caption placed below without a caption writes a bare float, which
    // the reader rightly does not keep: the float needs something to say.
    TTableFloat belowOnly;
    belowOnly.CaptionBelow = true;
    if (!f.Active() || f == belowOnly) f.Centering = true;
  }
}

std::string Join(const std::vector<std::string>& lines, const char* lineBreak) {
  std::string text;
  for (const std::string& line : lines) text += line + lineBreak;
  return text;
}

// If the reader lost or changed any part of a table it can hold (a format
// split at the wrong place, a rule vote that comes out differently, a prefix
// blank, a postfix, a span, an alignment, a block or its arguments), the
// second generation differs.
TEST(LatexReader, GeneratedCodeReadsBackToTheSameCode) {
  std::mt19937 rng(20261207);
  TTable table, back;
  std::vector<std::string> lines, again;
  for (int i = 0; i < 1500; ++i) {
    RandomTable(rng, table);
    TableToLatex(table, lines);
    // Files written on either platform convention read the same.
    const std::string text = Join(lines, i % 2 ? "\r\n" : "\n");
    std::vector<std::string> warnings;
    try {
      warnings = ReadLatexTable(text, back);
    } catch (const EQuiltorError& e) {
      FAIL() << "table " << i << ": " << e.what() << "\n" << text;
    }
    ASSERT_EQ(TableDefect(back), "") << "table " << i << "\n" << text;
    TableToLatex(back, again);
    ASSERT_EQ(Join(again, "\n"), Join(lines, "\n")) << "table " << i;
    ASSERT_TRUE(warnings.empty()) << "table " << i << ": " << warnings.front();
  }
}

// If a "|" that the reader kept in a format could turn into a boundary rule
// when read again (which the generator drops where no cell votes for it),
// each round would lose one "|" of the column list.
TEST(LatexReader, ColumnSpecificationSurvivesRepeatedRoundTrips) {
  struct Case {
    const char* Code;
    const char* Preamble;  // the \begin line written back, every time
  };
  const Case cases[] = {
      {"\\begin{tabular}{l|@{x}|r}\n\\end{tabular}", "\\begin{tabular}{l|@{x}|r}"},
      {"\\begin{tabular}{l\\x{3}|{r}|c}\n\\end{tabular}", "\\begin{tabular}{l{3}|{r}|c}"},
      {"\\begin{tabular}{|l|[t]|r|}\n\\multicolumn{2}{c}{x} \\\\\n\\end{tabular}", "\\begin{tabular}{l|[t]|r}"},
      // Without rows no cell votes for a rule: the rules must stay anyway.
      {"\\begin{tabular}{r|l}\n\\end{tabular}", "\\begin{tabular}{r|l}"},
      {"\\begin{tabular}{|l||c|}\n\\end{tabular}", "\\begin{tabular}{|l||c|}"},
  };
  for (const Case& c : cases) {
    std::string code = c.Code;
    for (int round = 0; round < 3; ++round) {
      TTable table;
      ReadLatexTable(code, table);
      std::vector<std::string> lines;
      TableToLatex(table, lines);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.front(), c.Preamble) << c.Code << " round " << round;
      code = Join(lines, "\n");
    }
  }
}

// Hand-written code as TeX reads it, shown by the code written back. If a
// brace in a comment closed a group, a comment glued a command word to the
// next line's letters, a repetition ran once too often, a single-token
// argument were refused, or a \multicolumn aligned as its column (by the
// column's letter, "@{}l" written back as "l@{}" and "l") kept its
// \multicolumn, the code would differ.
TEST(LatexReader, HandWrittenCodeReadsAsTeXReadsIt) {
  struct Case {
    const char* Code;
    const char* Written;  // the lines written back, each ended by "\n"
  };
  const Case cases[] = {
      {"\\begin{tabular}{l % a } here\n r}\na & b \\\\\n\\end{tabular}",
       "\\begin{tabular}{lr}\na & b \\\\ \n\\end{tabular}\n"},
      {"\\begin{tabular}{l}\n\\LaTeX%\n  book \\\\\n\\end{tabular}", "\\begin{tabular}{l}\n\\LaTeX book \\\\ \n\\end{tabular}\n"},
      {"\\begin{tabular}{*3c}\n\\multicolumn2l{x} & \\multicolumn{1}c{y} \\\\\n\\end{tabular}",
       "\\begin{tabular}{ccc}\n\\multicolumn{2}{l}{x} & y \\\\ \n\\end{tabular}\n"},
      // The shortest \multicolumn cell there is.
      {"\\begin{tabular}{ll}\n\\multicolumn2rx \\\\\n\\end{tabular}",
       "\\begin{tabular}{ll}\n\\multicolumn{2}{r}{x} \\\\ \n\\end{tabular}\n"},
      {"\\begin{tabular}{l@{}l}\na & \\multicolumn{1}{l}{b} \\\\\n\\end{tabular}",
       "\\begin{tabular}{l@{}l}\na & b \\\\ \n\\end{tabular}\n"},
  };
  for (const Case& c : cases) {
    TTable table;
    ReadLatexTable(c.Code, table);
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    EXPECT_EQ(Join(lines, "\n"), c.Written) << c.Code;
  }
}

// ---------------------------------------------------------------- hand-written tables

// tests/latex/reader-data/<case>/input.tex is read (its first table, or
// the one named in table-number) and must give exactly table.txt, and the
// warnings in warnings.txt (one per line) when that file exists.
class HandWrittenTable : public testing::TestWithParam<std::string> {};

fs::path ReaderCaseDir(const std::string& name) { return fs::path(QUILTOR_TEST_DIR) / "latex" / "reader-data" / name; }

TEST_P(HandWrittenTable, ReadsCellByCell) {
  const fs::path dir = ReaderCaseDir(GetParam());
  const std::string input = ReadFileBytes(dir / "input.tex");
  size_t index = 0;
  if (fs::exists(dir / "table-number")) index = std::stoul(ReadFileBytes(dir / "table-number")) - 1;
  TTable table;
  const std::vector<std::string> warnings = ReadLatexTable(input, table, index);
  EXPECT_EQ(WriteTableFixture(table, false), ReadFileBytes(dir / "table.txt"));
  std::string expectedWarnings;
  if (fs::exists(dir / "warnings.txt")) expectedWarnings = ReadFileBytes(dir / "warnings.txt");
  std::string gotWarnings;
  for (const std::string& w : warnings) gotWarnings += w + "\n";
  EXPECT_EQ(gotWarnings, expectedWarnings);
}

INSTANTIATE_TEST_SUITE_P(Cases, HandWrittenTable,
                         testing::ValuesIn(CaseFolderNames(fs::path(QUILTOR_TEST_DIR) / "latex" / "reader-data")),
                         [](const testing::TestParamInfo<std::string>& p) { return CaseTestName(p.param); });

// ---------------------------------------------------------------- finding tables

// If the search stopped at a nested tabular's \end, took a commented-out
// table, or missed an unknown environment with a column specification, the
// list of tables would be wrong.
TEST(LatexReader, FindsTheOutermostTablesOfAPaper) {
  const std::string paper =
      "\\documentclass{article}\n"
      "\\begin{document}\n"
      "% \\begin{tabular}{ll} commented out \\end{tabular}\n"
      "\\begin{table}\\centering\n"
      "\\begin{tabular}{ll}\n"
      "a & \\begin{tabular}{c} x \\\\ y \\end{tabular} \\\\\n"
      "\\end{tabular}\n"
      "\\end{table}\n"
      "\\verb|\\begin{tabular}{l}|\n"
      "\\begin{mytab}[t]{lcr}\n"
      "1 & 2 & 3\n"
      "\\end{mytab}\n"
      "\\begin{minipage}{lc} not a table \\end{minipage}\n"
      "\\end{document}\n";
  const std::vector<TLatexTableSource> tables = FindLatexTables(paper);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].Environment, "tabular");
  EXPECT_EQ(tables[0].Line, 5);
  EXPECT_EQ(tables[0].FirstLines,
            (std::vector<std::string>{"\\begin{tabular}{ll}", "a & \\begin{tabular}{c} x \\\\ y \\end{tabular} \\\\",
                                      "\\end{tabular}"}));
  EXPECT_EQ(tables[1].Environment, "mytab");
  EXPECT_EQ(tables[1].Line, 10);
  TTable table;
  ReadLatexTable(paper, table, 1);
  EXPECT_EQ(table.EnvOptions, "[t]");
  EXPECT_EQ(table.GetCell(0, 2)->Text(), "3");
  EXPECT_THROW(
      {
        try {
          ReadLatexTable(paper, table, 2);
        } catch (const EQuiltorError& e) {
          EXPECT_STREQ(e.what(), "There is no table 3: the text holds 2 tables");
          throw;
        }
      },
      EQuiltorError);
}

// ---------------------------------------------------------------- bad input

struct TBadCase {
  const char* Name;
  const char* Text;
  const char* Message;  // exact
};

// Each would crash, hang, or be read as something else if its check were
// missing; the message must point at the place.
TEST(LatexReader, RefusesBrokenInputNamingLineAndColumn) {
  const TBadCase cases[] = {
      {"unclosed brace", "\\begin{tabular}{ll}\na & {b \\\\\nc & d\n\\end{tabular}",
       "Line 2, column 5: this { is never closed"},
      {"stray brace", "\\begin{tabular}{ll}\na & b} \\\\\n\\end{tabular}", "Line 2, column 6: this } closes no {"},
      {"missing end", "x\n\\begin{tabular}{ll}\na & b \\\\\n", "Line 2, column 1: this \\begin{tabular} has no \\end{tabular}"},
      {"no specification", "\\begin{tabular}\na & b\n\\end{tabular}",
       "Line 1, column 1: \\begin{tabular} has no column specification"},
      {"unclosed specification", "\\begin{tabular}{ll\na & b\n\\end{tabular}", "Line 1, column 16: this { is never closed"},
      {"multicolumn count", "\\begin{tabular}{ll}\n  \\multicolumn{two}{c}{x} \\\\\n\\end{tabular}",
       "Line 2, column 3: the first argument of \\multicolumn must be a number of columns (1 or more)"},
      {"multicolumn arguments", "\\begin{tabular}{ll}\n\\multicolumn{2}{c} \\\\\n\\end{tabular}",
       "Line 2, column 1: \\multicolumn needs three arguments: {columns}{format}{text}"},
      {"huge multicolumn", "\\begin{tabular}{ll}\n\\multicolumn{99999999}{c}{x} \\\\\n\\end{tabular}",
       "Line 2, column 1: \\multicolumn joins more than 1000 columns"},
      {"huge repeat", "\\begin{tabular}{*{5000}{l}}\n\\end{tabular}",
       "Line 1, column 16: the column specification gives more than 1000 columns"},
      {"bad range", "\\begin{tabular}{ll}\na & b \\\\ \\cline{2-x}\n\\end{tabular}",
       "Line 2, column 16: this is not a column range such as {2-3}"},
      {"mismatched end", "\\begin{tabular}{ll}\n\\begin{center} a & b \\end{minipage} \\\\\n\\end{tabular}",
       "Line 2, column 22: \\end{minipage} does not match the \\begin{center} at line 2, column 1"},
      // The comment goes from the cell text; the name it split must count
      // as an environment already, or the text written back would not read.
      // Kept in the text, the second one would make the cell in the code
      // written back, and its bad count refuse that code.
      {"second multicolumn", "\\begin{tabular}{ll}\n\\multicolumn{1}{c}{a} \\multicolumn{0}{c}{b} \\\\\n\\end{tabular}",
       "Line 2, column 1: a second \\multicolumn follows this \\multicolumn in its cell"},
      // Written back without its \multicolumn, the \verb would be verbatim.
      {"verb in a multicolumn", "\\begin{tabular}{ll}\n\\multicolumn{1}{l}{x \\verb} y|z| & c \\\\\n\\end{tabular}",
       "Line 2, column 1: this \\multicolumn holds a \\verb that is not closed on its line"},
      // Written back without its \multicolumn (one column of the same
      // format), each would split the cell, end the row or make a cell of
      // its own; a math that its text leaves open is no math.
      {"bare & in a multicolumn", "\\begin{tabular}{ll}\n\\multicolumn{1}{l}{$a & b} & c \\\\\n\\end{tabular}",
       "Line 2, column 1: this \\multicolumn holds a bare & in its text"},
      {"row end in a multicolumn",
       "\\begin{tabular}{ll}\na & \\multicolumn{1}{l}{b \\tabularnewline c} \\\\\n\\end{tabular}",
       "Line 2, column 5: this \\multicolumn holds a bare \\tabularnewline in its text"},
      {"multicolumn in a multicolumn",
       "\\begin{tabular}{ll}\n\\multicolumn{1}{l}{\\multicolumn{0}{c}{x}} \\\\\n\\end{tabular}",
       "Line 2, column 1: this \\multicolumn holds another \\multicolumn in its text"},
      {"multicolumn text that is no cell",
       "\\begin{tabular}{ll}\n\\multicolumn{1}{l}{\\verb|{| }} \\\\\n\\end{tabular}",
       "Line 2, column 1: this \\multicolumn holds text that does not read as a cell of its own"},
      // LaTeX cannot typeset these; read as text, they would be written
      // back as if it could.
      {"bare multicolumn", "\\begin{tabular}{ll}\n\\multicolumn & x \\\\\n\\end{tabular}",
       "Line 2, column 1: \\multicolumn needs three arguments: {columns}{format}{text}"},
      {"multicolumn without two arguments", "\\begin{tabular}{ll}\nx & \\multicolumn1 \\\\\n\\end{tabular}",
       "Line 2, column 5: \\multicolumn needs three arguments: {columns}{format}{text}"},
      {"multicolumn after text", "\\begin{tabular}{ll}\nx & t\\multicolumn{1}{c}{y} \\\\\n\\end{tabular}",
       "Line 2, column 5: this \\multicolumn does not open its cell"},
      // The generator may have to write the cell inside a \multicolumn,
      // where the brace would count.
      {"verb holding a brace", "\\begin{tabular}{ll}\nx & \\verb}} \\\\\n\\end{tabular}",
       "Line 2, column 5: this cell's \\verb holds a brace or % that would break it inside a \\multicolumn"},
      {"verb holding a comment sign", "\\begin{tabular}{ll}\nx & \\verb|%| \\\\\n\\end{tabular}",
       "Line 2, column 5: this cell's \\verb holds a brace or % that would break it inside a \\multicolumn"},
      {"comment inside an environment name", "\\begin{tabular}{ll}\na & \\begin{%x & y\nbr}z \\\\\n\\end{tabular}",
       "Line 1, column 1: this \\begin{tabular} has no \\end{tabular}"},
  };
  for (const TBadCase& c : cases) {
    TTable table;
    try {
      ReadLatexTable(c.Text, table);
      ADD_FAILURE() << c.Name << ": read without error";
    } catch (const EQuiltorError& e) {
      EXPECT_EQ(std::string(e.what()), c.Message) << c.Name;
    }
  }
  TTable table;
  EXPECT_THROW(ReadLatexTable("no table here \\begin{center}x\\end{center}", table), EQuiltorError);
}

}  // namespace
