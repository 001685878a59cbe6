// The clipboard's table edits on plain tables: the selection as cell text,
// pasting cell text with growth and splitting, and SplitCell itself.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

// Builds a table from rows of spans: {{2, 1}, {1, 1, 1}} is two rows over
// three columns, all texts empty.
void Build(TTable& t, int cols, const std::vector<std::vector<int>>& spans) {
  t.Clear();
  for (int i = 0; i < cols; ++i) new TColumn(t);
  for (const std::vector<int>& row : spans) {
    TRow* r = new TRow(t);
    for (int s : row) (new TCell(*r))->Span = s;
  }
}

void Grid(TTable& t, int rows, int cols) {
  Build(t, cols, std::vector<std::vector<int>>(rows, std::vector<int>(cols, 1)));
}

// Texts of the cells, row by row.
void SetTexts(TTable& t, const std::vector<std::vector<std::string>>& texts) {
  for (size_t r = 0; r < texts.size(); ++r)
    for (size_t j = 0; j < texts[r].size(); ++j)
      (*t.Rows[static_cast<int>(r)])[static_cast<int>(j)]->SetText(texts[r][j]);
}

// One cell as "text:span:align:LTRB:*", '*' when selected, '-' for absent
// rules and alignment.
std::string Describe(const TCell* c) {
  std::string s = c->Text() + ":" + std::to_string(c->Span) + ":" + (c->Align ? c->Align : '-') + ":";
  s += c->RuleLeft ? 'L' : '-';
  s += c->RuleTop ? 'T' : '-';
  s += c->RuleRight ? 'R' : '-';
  s += c->RuleBottom ? 'B' : '-';
  if (c->Selected) s += ":*";
  return s;
}

std::vector<std::string> DescribeRow(const TRow& row) {
  std::vector<std::string> out;
  for (const TCell* c : row) out.push_back(Describe(c));
  return out;
}

// Each row's texts joined by '|'.
std::vector<std::string> TextsOf(const TTable& t) {
  std::vector<std::string> out;
  for (const TRow* row : t.Rows) {
    std::string line;
    for (const TCell* c : *row) line += (c == row->First() ? "" : "|") + c->Text();
    out.push_back(line);
  }
  return out;
}

void ExpectSpansAddUp(const TTable& t) {
  for (int r = 0; r < t.RowCount(); ++r) {
    int sum = 0;
    for (const TCell* c : *t.Rows[r]) sum += c->Span;
    EXPECT_EQ(sum, t.ColCount()) << "row " << r;
  }
}

std::vector<std::pair<int, int>> SelectedPositions(const TTable& t) {
  std::vector<std::pair<int, int>> out;
  for (const TCell* c : t.GetSelectedCells()) out.emplace_back(c->RowIndex(), c->ColIndex());
  return out;
}

// A block over rows 1-3, columns 1-2 of a 4 x 4 table, with rules all
// round every cell before the join.
TEST(JoinCells, BlockAcrossRowsAndBackToSingleCells) {
  TTable t;
  Grid(t, 4, 4);
  SetTexts(t, {{}, {"", "", "b"}, {"", "a"}});
  t.SetRules({0, 0, 3, 3}, rbAll, 1);
  TCell* joined = JoinCells(t, {1, 1, 2, 3});
  ASSERT_EQ(TableDefect(t), "");
  EXPECT_EQ(joined, t.GetCell(1, 1));
  EXPECT_EQ(joined->RowSpan, 3);
  EXPECT_EQ(joined->Span, 2);
  EXPECT_EQ(joined->Text(), "") << "the top-left cell keeps its own text";
  EXPECT_EQ(t.GetCell(3, 2)->BlockCell(), joined);
  EXPECT_EQ(t.GetCell(3, 2)->LastRowIndex(), 3);
  EXPECT_EQ(DescribeRow(*t.Rows[3]), (std::vector<std::string>{":1:-:LTRB", ":2:-:L-RB", ":1:-:LTRB"}));

  // Rectangles that cut the block are refused and change nothing.
  for (const TCellRect& cut : {TCellRect{1, 0, 2, 2}, TCellRect{0, 2, 3, 3}, TCellRect{2, 1, 3, 3}})
    EXPECT_THROW(JoinCells(t, cut), EQuiltorError);
  EXPECT_EQ(TableDefect(t), "");
  EXPECT_EQ(joined->RowSpan, 3);

  // Joining a rectangle around the block swallows it.
  JoinCells(t, {0, 0, 3, 3});
  EXPECT_EQ(TableDefect(t), "");
  EXPECT_EQ(t.Rows[3]->Count(), 1);

  SplitBlock(*t.GetCell(2, 3));
  EXPECT_EQ(TableDefect(t), "");
  for (const TRow* row : t.Rows) EXPECT_EQ(row->Count(), 4);
  EXPECT_EQ(Describe(t.GetCell(3, 3)), ":1:-:L-RB:*") << "the outline's rules stay, none across rows";
  EXPECT_EQ(Describe(t.GetCell(2, 0)), ":1:-:L-R-:*");
}

// If the checker missed a broken rule, every command test that relies on it
// would pass on a corrupted table.
TEST(TableDefect, NamesEachBrokenRule) {
  struct Case {
    const char* Name;
    std::function<void(TTable&)> Break;
    const char* Defect;
  };
  const Case cases[] = {
      {"covered text", [](TTable& t) { t.GetCell(2, 1)->SetText("x"); }, "covered cell holds content at row 3"},
      {"block too tall", [](TTable& t) { t.GetCell(1, 1)->RowSpan = 4; }, "block crosses the table's bottom"},
      {"covered cell lost", [](TTable& t) { t.GetCell(2, 1)->RowsToTop = 0; }, "block not covered below"},
      {"stray covered cell", [](TTable& t) { t.GetCell(0, 0)->RowsToTop = 1; }, "covered cell without its block"},
      {"inner rule", [](TTable& t) { t.GetCell(2, 1)->RuleTop = 1; }, "rule inside a block"},
      {"side rule", [](TTable& t) { t.GetCell(2, 1)->RuleRight = 1; }, "block side rules differ"},
      {"spans", [](TTable& t) { t.GetCell(0, 0)->Span = 2; }, "spans do not add up"},
  };
  for (const Case& c : cases) {
    TTable t;
    Grid(t, 3, 3);
    JoinCells(t, {1, 1, 2, 2});
    ASSERT_EQ(TableDefect(t), "");
    c.Break(t);
    EXPECT_NE(TableDefect(t).find(c.Defect), std::string::npos) << c.Name << ": " << TableDefect(t);
  }
}

TEST(SplitCell, PiecesTakeTheJoinedCellsRightRule) {
  TTable t;
  Build(t, 4, {{1, 3}});
  TCell* joined = (*t.Rows[0])[1];
  joined->SetText("X");
  joined->Align = 'c';
  joined->RuleLeft = 0;
  joined->RuleTop = 1;
  joined->RuleRight = 1;
  joined->RuleBottom = 1;
  SplitCell(*joined);
  EXPECT_EQ(DescribeRow(*t.Rows[0]),
            (std::vector<std::string>{":1:-:----", "X:1:c:-TRB", ":1:-:LTRB:*", ":1:-:LTRB:*"}));
  EXPECT_EQ(joined->Index(), 1) << "the cell itself stays first";
  ExpectSpansAddUp(t);

  // A single cell is left as it is.
  TCell* single = (*t.Rows[0])[0];
  SplitCell(*single);
  EXPECT_EQ(t.Rows[0]->Count(), 4);
}

TEST(SelectionAsText, KindsOfSelection) {
  struct Case {
    const char* Name;
    int Cols;
    std::vector<std::vector<int>> Spans;
    std::vector<std::vector<std::string>> Texts;
    std::function<void(TTable&)> Select;
    std::optional<std::string> Expected;
  };
  auto cells = [](std::vector<std::pair<int, int>> at) {
    return [at](TTable& t) {
      for (auto [r, c] : at) t.SelectCell(t.GetCell(r, c));
    };
  };
  const std::vector<Case> cases = {
      {"one cell", 2, {{1, 1}}, {{"abc", "x"}}, cells({{0, 0}}), "abc"},
      {"two rows of three", 3, {{1, 1, 1}, {1, 1, 1}}, {{"a", "b", "c"}, {"d", "e", "f"}},
       cells({{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}), "a\tb\tc\r\nd\te\tf"},
      {"a joined cell keeps the columns in line", 3, {{2, 1}, {1, 1, 1}}, {{"A", "c"}, {"d", "e", "f"}},
       cells({{0, 0}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}), "A\t\tc\r\nd\te\tf"},
      {"joined cell last in its line", 3, {{1, 2}}, {{"a", "B"}}, cells({{0, 0}, {0, 1}}), "a\tB\t"},
      {"empty cells give the separators", 2, {{1, 1}, {1, 1}}, {}, cells({{0, 0}, {0, 1}, {1, 0}, {1, 1}}),
       "\t\r\n\t"},
      {"one empty cell gives the empty text", 2, {{1, 1}}, {}, cells({{0, 1}}), ""},
      {"texts go as they are", 2, {{1, 1}}, {{"a\tb", "c\r\nd \"q\""}}, cells({{0, 0}, {0, 1}}),
       "a\tb\tc\r\nd \"q\""},
      {"rows 1 and 3", 3, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {2, 1}}, {{}, {"a", "b", "c"}, {"x"}, {"J", "z"}},
       [](TTable& t) {
         t.SelectRow(1);
         t.SelectRow(3);
       },
       "a\tb\tc\r\nJ\t\tz"},
      {"columns 1 and 2 under a joined cell", 3, {{2, 1}, {1, 1, 1}}, {{"A", "B"}, {"d", "e", "f"}},
       [](TTable& t) {
         t.SelectColumn(1);
         t.SelectColumn(2);
       },
       "\tB\r\ne\tf"},
      {"two columns under one cell from further left", 3, {{3}, {1, 1, 1}}, {{"A"}, {"d", "e", "f"}},
       [](TTable& t) {
         t.SelectColumn(1);
         t.SelectColumn(2);
       },
       "\t\r\ne\tf"},
      {"columns 0 and 2 leave column 1 out", 3, {{1, 1, 1}, {1, 2}}, {{"a", "b", "c"}, {"d", "E"}},
       [](TTable& t) {
         t.SelectColumn(0);
         t.SelectColumn(2);
       },
       "a\tc\r\nd\t"},
      {"a column that a joined cell starts in", 3, {{1, 2}}, {{"a", "B"}}, [](TTable& t) { t.SelectColumn(1); },
       "B"},
      {"nothing selected", 2, {{1, 1}}, {{"a", "b"}}, [](TTable&) {}, std::nullopt},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, c.Cols, c.Spans);
    SetTexts(t, c.Texts);
    c.Select(t);
    EXPECT_EQ(SelectionAsText(t), c.Expected) << c.Name;
  }
}

// Growing by one walk must give exactly what inserting column after column
// gives: joined last cells, rules and alignments included.
TEST(AppendColumns, SameAsInsertingOneByOne) {
  auto make = [](TTable& t) {
    Build(t, 3, {{1, 1, 1}, {1, 2}, {3}});
    TCell* a = (*t.Rows[0])[2];
    a->Align = 'r';
    a->RuleLeft = 1;
    a->RuleRight = 1;
    a->RuleTop = 1;
    a->Selected = true;
    a->SetText("a");
    TCell* b = (*t.Rows[1])[1];
    b->RuleBottom = 1;
    b->Align = 'c';
    (*t.Rows[2])[0]->RuleRight = 1;
    t.Columns[2]->Format = "r";
  };
  for (int count : {1, 3}) {
    TTable one, many;
    make(one);
    make(many);
    for (int i = 0; i < count; ++i) one.InsertColumn(one.ColCount() - 1, true);
    AppendColumns(many, count);
    ASSERT_EQ(many.ColCount(), one.ColCount());
    for (int i = 0; i < one.ColCount(); ++i) EXPECT_EQ(many.Columns[i]->Format, one.Columns[i]->Format);
    for (int r = 0; r < one.RowCount(); ++r)
      EXPECT_EQ(DescribeRow(*many.Rows[r]), DescribeRow(*one.Rows[r])) << "row " << r << ", " << count;
    ExpectSpansAddUp(many);
  }
}

TEST(PasteText, BlockTextsAndSelection) {
  struct Case {
    const char* Name;
    std::string Text;
    std::pair<int, int> Corner;  // column, row
    std::vector<std::string> Texts;
    TCellRect Block;
    std::vector<std::pair<int, int>> Selected;  // row, column
  };
  // Before each paste the 3 x 3 table reads o|o|o in every row.
  const std::vector<Case> cases = {
      {"short second line keeps a text", "a\tb\r\nc", {0, 0}, {"a|b|o", "c|o|o", "o|o|o"}, {0, 0, 1, 1},
       {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
      {"a break at the end starts no line", "x\r\n", {1, 1}, {"o|o|o", "o|x|o", "o|o|o"}, {1, 1, 1, 1}, {{1, 1}}},
      {"lone CR and lone LF end lines too", "1\r2\n3", {2, 0}, {"o|o|1", "o|o|2", "o|o|3"}, {2, 0, 2, 2},
       {{0, 2}, {1, 2}, {2, 2}}},
      {"empty fields empty their cells", "\t\t", {0, 2}, {"o|o|o", "o|o|o", "||"}, {0, 2, 2, 2},
       {{2, 0}, {2, 1}, {2, 2}}},
      {"an empty line keeps its row's texts", "a\r\n\r\nb", {0, 0}, {"a|o|o", "o|o|o", "b|o|o"}, {0, 0, 0, 2},
       {{0, 0}, {1, 0}, {2, 0}}},
      {"a NUL ends the text", std::string("a\tb\0c\r\nd", 8), {0, 0}, {"a|b|o", "o|o|o", "o|o|o"}, {0, 0, 1, 0},
       {{0, 0}, {0, 1}}},
      {"UTF-8 travels as it is", "\xC3\xA4\t\xE2\x82\xAC", {1, 0}, {"o|\xC3\xA4|\xE2\x82\xAC", "o|o|o", "o|o|o"},
       {1, 0, 2, 0}, {{0, 1}, {0, 2}}},
      {"a lone line break changes nothing and selects nothing", "\r\n", {1, 1}, {"o|o|o", "o|o|o", "o|o|o"},
       {1, 1, 0, 1}, {}},
  };
  for (const Case& c : cases) {
    TTable t;
    Grid(t, 3, 3);
    SetTexts(t, std::vector<std::vector<std::string>>(3, {"o", "o", "o"}));
    t.SelectCell(t.GetCell(2, 2));
    const TCellRect block = PasteText(t, c.Corner.first, c.Corner.second, c.Text);
    EXPECT_EQ(TextsOf(t), c.Texts) << c.Name;
    EXPECT_EQ(block, c.Block) << c.Name;
    EXPECT_EQ(SelectedPositions(t), c.Selected) << c.Name;
    EXPECT_EQ(t.RowCount(), 3) << c.Name;
    EXPECT_EQ(t.ColCount(), 3) << c.Name;
    EXPECT_EQ(t.SelectionMode, smNone) << c.Name;
  }
}

// Spreadsheets quote a cell that holds a line break or a TAB. Faults
// caught: such a cell pasted as several rows or columns (its quotes kept),
// a doubled quote not made one; or, the other way, ordinary text that
// starts with a quote losing its quotes or being joined across lines; and
// escaping missing, or applied when not asked for.
TEST(PasteText, SpreadsheetQuotedCellsAndEscaping) {
  struct Case {
    const char* Name;
    std::string Text;
    bool Escape;
    std::vector<std::string> Texts;
  };
  const std::vector<Case> cases = {
      {"a quoted multi-line cell becomes one cell", "\"Kiwis\r\n& Co\"\t50%\r\nx_1\t\"say \"\"hi\"\"\"\r\n", false,
       {"Kiwis\r\n& Co|50%|o", "x_1|say \"hi\"|o", "o|o|o"}},
      {"a quoted TAB stays in its cell", "\"a\tb\"\tc", false, {"a\tb|c|o", "o|o|o", "o|o|o"}},
      {"a leading quotation keeps its quotes", "\"Hi\" she said\tb\r\nc", false, {"\"Hi\" she said|b|o", "c|o|o", "o|o|o"}},
      {"well-formed quotes without a break are text", "\"x\"\ty", false, {"\"x\"|y|o", "o|o|o", "o|o|o"}},
      {"an unterminated quote splits as plain text", "\"a\r\nb\"c", false, {"\"a|o|o", "b\"c|o|o", "o|o|o"}},
      {"escaped on request", "x_1\t50%\r\n\"a\nb & c\"", true, {"x\\_1|50\\%|o", "a\nb \\& c|o|o", "o|o|o"}},
      {"verbatim without the request", "\\textbf{x}", false, {"\\textbf{x}|o|o", "o|o|o", "o|o|o"}},
  };
  for (const Case& c : cases) {
    TTable t;
    Grid(t, 3, 3);
    SetTexts(t, std::vector<std::vector<std::string>>(3, {"o", "o", "o"}));
    PasteText(t, 0, 0, c.Text, c.Escape);
    EXPECT_EQ(TextsOf(t), c.Texts) << c.Name;
  }
}

TEST(PasteText, GrowsByRepeatingTheLastColumnAndRow) {
  TTable t;
  Grid(t, 4, 4);
  TCell* last = t.GetCell(3, 3);
  last->RuleRight = 1;
  last->RuleBottom = 1;
  last->Align = 'r';
  t.Rows[3]->Prefix = "\\hline";
  const TCellRect block = PasteText(t, 3, 3, "1\t2\r\n3\t4\r\n5\t6");
  EXPECT_EQ(t.ColCount(), 5);
  EXPECT_EQ(t.RowCount(), 6);
  EXPECT_EQ(block, (TCellRect{3, 3, 4, 5}));
  ExpectSpansAddUp(t);
  EXPECT_EQ(TextsOf(t)[3], "|||1|2");
  EXPECT_EQ(TextsOf(t)[5], "|||5|6");
  // The new column repeats the last one's right rule on both sides; the new
  // rows repeat the last row's cells with its bottom rule on top.
  EXPECT_EQ(Describe(t.GetCell(3, 4)), "2:1:r:L-RB:*");
  EXPECT_EQ(Describe(t.GetCell(4, 3)), "3:1:r:-TRB:*");
  EXPECT_EQ(Describe(t.GetCell(0, 4)), ":1:-:----");
  EXPECT_EQ(t.Rows[4]->Prefix, "");
  EXPECT_EQ(t.Columns[4]->Format, "l");
  const std::vector<std::pair<int, int>> selected = {{3, 3}, {3, 4}, {4, 3}, {4, 4}, {5, 3}, {5, 4}};
  EXPECT_EQ(SelectedPositions(t), selected);
}

TEST(PasteText, SplitsTheJoinedCellsItLandsOn) {
  TTable t;
  // Row 0: a cell over columns 0-2, then one; row 1: one, then a cell over
  // columns 1-3 that reaches out of a two-column block.
  Build(t, 4, {{3, 1}, {1, 3}});
  TCell* wide = (*t.Rows[0])[0];
  wide->SetText("W");
  wide->Align = 'c';
  wide->RuleLeft = 1;
  wide->RuleRight = 1;
  (*t.Rows[1])[1]->SetText("V");
  PasteText(t, 0, 0, "a\tb\r\nc\td");
  ExpectSpansAddUp(t);
  EXPECT_EQ(DescribeRow(*t.Rows[0]),
            (std::vector<std::string>{"a:1:c:L-R-:*", "b:1:-:L-R-:*", ":1:-:L-R-:*", ":1:-:----"}));
  EXPECT_EQ(DescribeRow(*t.Rows[1]),
            (std::vector<std::string>{"c:1:-:----:*", "d:1:-:----:*", ":1:-:----:*", ":1:-:----:*"}))
      << "every piece of a split cell is selected, inside the block or not";
}

// If the size of the grown table were not checked first, a text of many
// short lines and one long one would grow the table until the memory ran out
// (or fail half way with a raw allocation error) instead of a clear refusal
// that leaves the table as it was.
TEST(PasteText, RefusesATableBeyondTheCellLimitUnchanged) {
  TTable t;
  Grid(t, 2, 2);
  SetTexts(t, {{"a", "b"}, {"c", "d"}});
  t.SelectCell(t.GetCell(1, 1));
  const std::string text = std::string(6000, '\t') + std::string(5999, '\n');  // 6001 fields x 5999 lines
  try {
    PasteText(t, 1, 1, text);
    ADD_FAILURE() << "the paste was not refused";
  } catch (const EQuiltorError& e) {
    EXPECT_STREQ(e.what(), "Cannot paste 5999 lines of up to 6001 fields: the table would have more than 33554432 cells");
  }
  EXPECT_EQ(TextsOf(t), (std::vector<std::string>{"a|b", "c|d"}));
  EXPECT_EQ(SelectedPositions(t), (std::vector<std::pair<int, int>>{{1, 1}}));
}

TEST(PasteText, CornerMustLieInTheTable) {
  TTable t;
  Grid(t, 2, 2);
  EXPECT_THROW(PasteText(t, 2, 0, "x"), EAssertionFailed);
  EXPECT_THROW(PasteText(t, 0, -1, "x"), EAssertionFailed);
  EXPECT_EQ(TextsOf(t), (std::vector<std::string>{"|", "|"}));
}

}  // namespace
