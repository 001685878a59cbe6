// Cells joined across rows in the code: the generator's \multirow, and the
// reader's blocks from the \multirow people write.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "latex/LatexReader.h"
#include "latex/TabToLatex.h"
#include "latex/TypesetDocument.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

// Three columns "l" and rows of texts a, b, c / d, e, f / ...
void LetterTable(TTable& table, int rows) {
  for (int i = 0; i < 3; ++i) new TColumn(table);
  char letter = 'a';
  for (int i = 0; i < rows; ++i) {
    TRow* row = table.AddRow();
    for (TCell* cell : *row) cell->SetText(std::string(1, letter++));
  }
}

void RuleEverything(TTable& table) {
  for (TRow* row : table.Rows)
    for (TCell* cell : *row) cell->RuleLeft = cell->RuleTop = cell->RuleRight = cell->RuleBottom = 1;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// If the top row lost its \multirow or its arguments, a covered cell wrote
// text or a \multicolumn without the block's sides, or a rule line ran
// through a block (\hline instead of \cline pieces, one \cmidrule over the
// block), the code would differ; typeset, it would strike through the
// block's text.
TEST(BlockLatex, GeneratorWritesMultirowAndLeavesTheInsideEmpty) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Make;
    const char* Code;
  };
  const Case cases[] = {
      {"label over three rows",
       [](TTable& t) { JoinCells(t, {0, 0, 0, 2}); },
       "\\begin{tabular}{lll}\n"
       "\\multirow{3}{*}{a} & b & c \\\\ \n"
       " & e & f \\\\ \n"
       " & h & i \\\\ \n"
       "\\end{tabular}\n"},
      {"arguments kept",
       [](TTable& t) {
         TCell* block = JoinCells(t, {2, 1, 2, 2});
         block->SetBlockArgs({"t", "2", "2cm", "1ex"});
       },
       "\\begin{tabular}{lll}\n"
       "a & b & c \\\\ \n"
       "d & e & \\multirow[t]{2}[2]{2cm}[1ex]{f} \\\\ \n"
       "g & h &  \\\\ \n"
       "\\end{tabular}\n"},
      {"wide block with its alignment",
       [](TTable& t) { JoinCells(t, {0, 0, 1, 1})->Align = 'c'; },
       "\\begin{tabular}{lll}\n"
       "\\multicolumn{2}{c}{\\multirow{2}{*}{a}} & c \\\\ \n"
       "\\multicolumn{2}{c}{} & f \\\\ \n"
       "g & h & i \\\\ \n"
       "\\end{tabular}\n"},
      {"rules broken around the block",
       [](TTable& t) {
         RuleEverything(t);
         JoinCells(t, {1, 0, 1, 1});
       },
       "\\begin{tabular}{|l|l|l|}\n"
       "\\hline\n"
       "a & \\multirow{2}{*}{b} & c \\\\ \n"
       "\\cline{1-1}\\cline{3-3}\n"
       "d &  & f \\\\ \n"
       "\\hline\n"
       "g & h & i \\\\ \n"
       "\\hline\n"
       "\\end{tabular}\n"},
      {"wide block keeps its sides below",
       [](TTable& t) {
         // Enough single cells that the preamble gets every rule by the vote.
         t.AddRow();
         t.AddRow();
         RuleEverything(t);
         JoinCells(t, {1, 1, 2, 2});
       },
       "\\begin{tabular}{|l|l|l|}\n"
       "\\hline\n"
       "a & b & c \\\\ \n"
       "\\hline\n"
       "d & \\multicolumn{2}{l|}{\\multirow{2}{*}{e}} \\\\ \n"
       "\\cline{1-1}\n"
       "g & \\multicolumn{2}{l|}{} \\\\ \n"
       "\\hline\n"
       " &  &  \\\\ \n"
       "\\hline\n"
       " &  &  \\\\ \n"
       "\\hline\n"
       "\\end{tabular}\n"},
      {"booktabs rules left and right of the block",
       [](TTable& t) {
         RuleEverything(t);
         t.Style.Rules = rsBooktabs;
         JoinCells(t, {1, 0, 1, 2});
       },
       "\\begin{tabular}{lll}\n"
       "\\toprule\n"
       "a & \\multirow{3}{*}{b} & c \\\\ \n"
       "\\cmidrule(r){1-1}\\cmidrule(l){3-3}\n"
       "d &  & f \\\\ \n"
       "\\cmidrule(r){1-1}\\cmidrule(l){3-3}\n"
       "g &  & i \\\\ \n"
       "\\bottomrule\n"
       "\\end{tabular}\n"},
  };
  for (const Case& c : cases) {
    TTable table;
    LetterTable(table, 3);
    c.Make(table);
    ASSERT_EQ(TableDefect(table), "") << c.Name;
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    EXPECT_EQ(Join(lines), c.Code) << c.Name;
    // The code list of packages and the typeset preview load multirow.
    const std::vector<TPackageNeed> packages = NeededPackages(lines);
    EXPECT_TRUE(std::any_of(packages.begin(), packages.end(), [](const TPackageNeed& p) { return p.Name == "multirow"; }))
        << c.Name;
  }
}

// If aligned code measured the columns without a block's \multirow, or
// padded the covered cells to another width, the "&" of the rows would not
// line up.
TEST(BlockLatex, AlignedCodeLinesUpAroundBlocks) {
  TTable table;
  LetterTable(table, 3);
  JoinCells(table, {0, 0, 0, 2})->SetText("Label");
  JoinCells(table, {1, 1, 1, 2})->SetText("Longer");
  TLatexOptions options;
  options.AlignColumns = true;
  std::vector<std::string> lines;
  TableToLatex(table, lines, options);
  ASSERT_EQ(lines.size(), 5u);
  const size_t first = lines[1].find(" & ");
  const size_t second = lines[1].find(" & ", first + 1);
  const size_t end = lines[1].find(" \\\\");
  for (int i = 2; i <= 3; ++i) {
    const std::string& line = lines[static_cast<size_t>(i)];
    EXPECT_EQ(line.find(" & "), first) << line;
    EXPECT_EQ(line.find(" & ", first + 1), second) << line;
    EXPECT_EQ(line.find(" \\\\"), end) << line;
  }
}

// The code preview writes again only the rows whose texts changed. If it
// missed a change of a block's arguments or height, which change no text,
// it would show the old \multirow.
TEST(BlockLatex, PreviewFollowsTheBlocksArguments) {
  TTable table;
  LetterTable(table, 3);
  TCell* block = JoinCells(table, {0, 0, 0, 1});
  TLatexGenerator generator;
  std::vector<std::string> expected;
  const std::function<void()> changes[] = {
      [&] { block->SetBlockArgs({"b", "", "*", ""}); },
      [&] { block->SetBlockArgs({"b", "", "3cm", ""}); },
      [&] { block->SetBlockArgs({"b", "", "3cm", "-1ex"}); },
      [&] { block->SetText("new"); },
      [&] { block = SplitBlock(*block); },
      [&] { block = JoinCells(table, {0, 0, 0, 2}); },
  };
  generator.Generate(table);
  int step = 0;
  for (const auto& change : changes) {
    change();
    TableToLatex(table, expected);
    EXPECT_EQ(generator.Generate(table), expected) << "change " << step++;
  }
}

// ---------------------------------------------------------------- reading

struct TReadCase {
  const char* Name;
  const char* Body;     // the rows of a tabular{lll}
  const char* Written;  // the rows written back
  const char* Warning;  // the one warning expected; "" none
};

// If the reader missed a \multirow (inside \multicolumn, counted upward),
// dropped its arguments, lost the text of a covered cell, let a block run
// past the table or through cells joined differently, kept a rule inside a
// block, or made a block of what LaTeX does not read as one, the table
// would be inconsistent or the code written back would differ. Each case
// warns at most once however many rows it concerns.
TEST(BlockLatex, ReaderMakesBlocksOfMultirow) {
  const TReadCase cases[] = {
      {"plain", "\\multirow{3}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n & z & 3 \\\\\n",
       "\\multirow{3}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n & z & 3 \\\\ \n", ""},
      {"arguments", "x & \\multirow[b]{2}[4]{=}[-2pt]{A B} & 1 \\\\\ny & & 2 \\\\\n",
       "x & \\multirow[b]{2}[4]{=}[-2pt]{A B} & 1 \\\\ \ny &  & 2 \\\\ \n", ""},
      {"in multicolumn", "\\multicolumn{2}{c}{\\multirow{2}{*}{H}} & c \\\\\n\\multicolumn{2}{c}{} & d \\\\\n",
       "\\multicolumn{2}{c}{\\multirow{2}{*}{H}} & c \\\\ \n\\multicolumn{2}{c}{} & d \\\\ \n", ""},
      {"with cline", "\\multirow{2}{*}{A} & x & 1 \\\\ \\cline{2-3}\n & y & 2 \\\\\n",
       "\\multirow{2}{*}{A} & x & 1 \\\\ \n\\cline{2-3}\n & y & 2 \\\\ \n", ""},
      {"booktabs", "\\toprule\n\\multirow{2}{*}{A} & x & 1 \\\\\n\\cmidrule(l){2-3}\n & y & 2 \\\\\n\\bottomrule\n",
       "\\toprule\n\\multirow{2}{*}{A} & x & 1 \\\\ \n\\cmidrule(l){2-3}\n & y & 2 \\\\ \n\\bottomrule\n", ""},
      {"upward", " & x & 1 \\\\\n & y & 2 \\\\\n\\multirow{-3}{*}{A} & z & 3 \\\\\n",
       "\\multirow{3}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n & z & 3 \\\\ \n",
       "Row 3 has a \\multirow that counts rows upward: it is written in the block's top row."},
      {"covered text", "\\multirow{3}{*}{A} & x & 1 \\\\\nB & y & 2 \\\\\nC & z & 3 \\\\\n",
       "\\multirow{3}{*}{A B C} & x & 1 \\\\ \n & y & 2 \\\\ \n & z & 3 \\\\ \n",
       "Rows 2-3 have text in cells that a \\multirow covers: it was added to the \\multirow's text."},
      {"beyond the end", "\\multirow{4}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n",
       "\\multirow{2}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n",
       "Row 1 has a \\multirow over more rows than the table has there: it was cut at the table's edge."},
      {"huge count", "\\multirow{99999999999999999999}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n",
       "\\multirow{2}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n",
       "Row 1 has a \\multirow over more rows than the table has there: it was cut at the table's edge."},
      {"joined differently below", "\\multirow{3}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n\\multicolumn{2}{l}{w} & 3 \\\\\n",
       "\\multirow{2}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n\\multicolumn{2}{l}{w} & 3 \\\\ \n",
       "Row 1 has a \\multirow whose rows are joined differently or already taken by another \\multirow: it joins "
       "only the rows up to there."},
      {"rule across", "\\multirow{2}{*}{A} & x & 1 \\\\ \\hline\n & y & 2 \\\\\n",
       "\\multirow{2}{*}{A} & x & 1 \\\\ \n\\cline{2-3}\n & y & 2 \\\\ \n",
       "Row 1 has a \\multirow with rules across it: they were left out, since a block has no rules inside."},
      // What LaTeX does not take as one block stays the cell's text.
      {"one row", "\\multirow{1}{*}{A} & x & 1 \\\\\n", "\\multirow{1}{*}{A} & x & 1 \\\\ \n", ""},
      {"among text", "\\textbf{\\multirow{2}{*}{A}} & x & 1 \\\\\n & y & 2 \\\\\n",
       "\\textbf{\\multirow{2}{*}{A}} & x & 1 \\\\ \n & y & 2 \\\\ \n", ""},
      {"in the last row", "a & x & 1 \\\\\n\\multirow{2}{*}{A} & y & 2 \\\\\n",
       "a & x & 1 \\\\ \n\\multirow{2}{*}{A} & y & 2 \\\\ \n", ""},
      {"no number", "\\multirow{n}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n",
       "\\multirow{n}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n", ""},
      {"missing text", "\\multirow{2}{*} & x & 1 \\\\\n & y & 2 \\\\\n", "\\multirow{2}{*} & x & 1 \\\\ \n & y & 2 \\\\ \n",
       ""},
      {"open bracket", "\\multirow[t{2}{*}{A} & x & 1 \\\\\n & y & 2 \\\\\n",
       "\\multirow[t{2}{*}{A} & x & 1 \\\\ \n & y & 2 \\\\ \n", ""},
      {"overlapping blocks", "\\multirow{3}{*}{A} & x & 1 \\\\\n\\multirow{2}{*}{B} & y & 2 \\\\\n & z & 3 \\\\\n",
       "\\multirow{3}{*}{A B} & x & 1 \\\\ \n & y & 2 \\\\ \n & z & 3 \\\\ \n",
       "Row 2 has a \\multirow whose rows are joined differently or already taken by another \\multirow: it joins "
       "only the rows up to there."},
  };
  for (const TReadCase& c : cases) {
    const std::string code = std::string("\\begin{tabular}{lll}\n") + c.Body + "\\end{tabular}\n";
    TTable table;
    std::vector<std::string> warnings;
    try {
      warnings = ReadLatexTable(code, table);
    } catch (const EQuiltorError& e) {
      ADD_FAILURE() << c.Name << ": " << e.what();
      continue;
    }
    EXPECT_EQ(TableDefect(table), "") << c.Name;
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    EXPECT_EQ(Join(lines), std::string("\\begin{tabular}{lll}\n") + c.Written + "\\end{tabular}\n") << c.Name;
    if (*c.Warning) {
      EXPECT_NE(std::find(warnings.begin(), warnings.end(), c.Warning), warnings.end()) << c.Name;
    } else {
      EXPECT_TRUE(warnings.empty()) << c.Name << ": " << (warnings.empty() ? "" : warnings.front());
    }
  }
}

}  // namespace
