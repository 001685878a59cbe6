#include <gtest/gtest.h>

#include <algorithm>

#include "latex/LatexFixture.h"
#include "latex/TabToLatex.h"
#include "model/Tables.h"

namespace {

class GoldenLatex : public testing::TestWithParam<std::string> {};

TEST_P(GoldenLatex, MatchesExpectedBytes) {
  const auto dir = GoldenCaseDir(GetParam());
  TTable table;
  LoadTableFixture(dir / "table.txt", table);
  // Left-overs from an earlier call must not survive.
  std::vector<std::string> lines = {"stale", "\\end{stale}"};
  TableToLatex(table, lines);
  EXPECT_EQ(JoinLines(lines), ReadFileBytes(dir / "expected.tex"));
}

// Streamed in pieces, the same bytes: a line lost or cut at a piece's end,
// a missing line feed or a last piece never handed on all show here.
TEST_P(GoldenLatex, StreamedInPiecesMatchesExpectedBytes) {
  const auto dir = GoldenCaseDir(GetParam());
  TTable table;
  LoadTableFixture(dir / "table.txt", table);
  const std::string expected = ReadFileBytes(dir / "expected.tex");
  for (const size_t pieceSize : {size_t{1}, size_t{40}, size_t{1} << 20}) {
    std::string written;
    std::string out;
    TableToLatex(
        table, out,
        [&](std::string& piece) {
          EXPECT_FALSE(piece.empty());
          written += piece;
          piece.clear();
        },
        pieceSize);
    EXPECT_EQ(written, expected) << "pieces of " << pieceSize;
    EXPECT_TRUE(out.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenLatex, testing::ValuesIn(GoldenCaseNames()),
                         [](const auto& param) { return GoldenTestName(param.param); });

TEST(TableToLatex, OptionsLoseOnlySurroundingBlanksAndControls) {
  struct Case {
    const char* Options;
    const char* Header;
  };
  const Case cases[] = {
      {"", "\\begin{tabular}{l}"},
      {" \t\r\n", "\\begin{tabular}{l}"},
      {"  [t]  ", "\\begin{tabular}[t]{l}"},
      {"\x01[t]\x1f\x7f", "\\begin{tabular}[t]{l}"},
      {"{4cm} [t]", "\\begin{tabular}{4cm} [t]{l}"},
      // 8-bit text is the user's: a trailing UTF-8 letter or a Latin-1
      // no-break space stays.
      {"[t]\xc3\xa9", "\\begin{tabular}[t]\xc3\xa9{l}"},
      {"\xa0[t]\xa0", "\\begin{tabular}\xa0[t]\xa0{l}"},
  };
  for (const Case& c : cases) {
    TTable table;
    new TColumn(table);
    table.EnvOptions = c.Options;
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], c.Header) << "options \"" << c.Options << "\"";
  }
}

// A cell's own alignment needs \multicolumn whenever it is not the letter the
// column's format aligns with. If the format's first letter were taken, an r
// cell in an "rr" column would lose its wrapping; if the whole format had to
// be that letter, the reader (which splits "l@{}l" as "l@{}" and "l") would
// take a cell written plainly back as one of its own. If the format's rules
// were left out of a wrapped cell, the column's rule would vanish in its row.
TEST(TableToLatex, OwnAlignmentWrappedUnlessTheColumnHasThatLetter) {
  struct Case {
    const char* Format;
    char Align;
    const char* Row;
  };
  const Case cases[] = {
      {"r@{}", 'r', "x \\\\ "},
      {">{\\bfseries}c", 'c', "x \\\\ "},
      {"rr", 'r', "\\multicolumn{1}{r}{x} \\\\ "},
      {"c", 'c', "x \\\\ "},
      {"r", 'l', "\\multicolumn{1}{l}{x} \\\\ "},
      {"p{3cm}", 'l', "\\multicolumn{1}{l}{x} \\\\ "},
      {"r@{}", 0, "x \\\\ "},
      // The format's own rules stay in the row when the cell is wrapped.
      {"r|", 'c', "\\multicolumn{1}{c|}{x} \\\\ "},
      {"||p{2cm}|", 'r', "\\multicolumn{1}{||r|}{x} \\\\ "},
  };
  for (const Case& c : cases) {
    TTable table;
    (new TColumn(table))->Format = c.Format;
    TCell* cell = new TCell(*new TRow(table));
    cell->SetText("x");
    cell->Align = c.Align;
    std::vector<std::string> lines;
    TableToLatex(table, lines);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], c.Row) << c.Format << " / " << (c.Align ? c.Align : '-');
  }
}

// A damaged file can hold rows whose spans do not add up to the column
// count. The preview regenerates the code on every change, so the generator
// must stay within its vectors and still write every cell it is given.
TEST(TableToLatex, RowsWithBrokenSpansStayInBounds) {
  TTable table;
  new TColumn(table);
  new TColumn(table);
  auto addRow = [&](std::initializer_list<int> spans) {
    TRow* row = new TRow(table);
    int n = 0;
    for (int span : spans) {
      TCell* cell = new TCell(*row);
      cell->Span = span;
      cell->SetText("t" + std::to_string(row->Index()) + "_" + std::to_string(n++));
      cell->RuleLeft = cell->RuleTop = cell->RuleRight = cell->RuleBottom = 255;
    }
  };
  addRow({5});
  addRow({2, 2, 1});
  addRow({0, -3, 1});
  addRow({1});
  addRow({2147483647, 2147483647});
  addRow({});

  std::vector<std::string> lines;
  TableToLatex(table, lines);
  ASSERT_GE(lines.size(), 2u + 6u);
  EXPECT_EQ(lines.front().rfind("\\begin{tabular}{", 0), 0u);
  EXPECT_EQ(lines.back(), "\\end{tabular}");
  for (const TRow* row : table.Rows)
    for (const TCell* cell : *row) {
      const bool written =
          std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(cell->Text()) != l.npos; });
      EXPECT_TRUE(written) << cell->Text();
    }
}

}  // namespace

// The generator behind the code preview rewrites only the rows whose texts
// changed. If it missed a change of anything else the code depends on (a
// rule, an alignment, a span, a format, a prefix, a row that came or went),
// its lines would differ from the table's code; after every random edit they
// must be the same. A view takes over only the lines it lists as changed:
// a rewritten line missing from the list would stay stale there.
TEST(LatexGenerator, AlwaysEqualsTheWholeTablesCode) {
  TTable t;
  for (int i = 0; i < 4; ++i) new TColumn(t);
  for (int i = 0; i < 5; ++i) t.AddRow();
  TLatexGenerator generator;
  std::vector<std::string> expected;
  unsigned seed = 12345;
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned>(n));
  };
  for (int step = 0; step < 600; ++step) {
    TRow& row = *t.Rows[next(t.RowCount())];
    TCell& cell = *row[next(row.Count())];
    TLatexOptions options;
    options.AlignColumns = next(8) == 0;
    switch (next(11)) {
      case 0:
      case 1:
      case 2: cell.SetText(std::string(static_cast<size_t>(next(4)), static_cast<char>('a' + next(3)))); break;
      case 3: {
        TRuleFlag* rules[] = {&cell.RuleLeft, &cell.RuleTop, &cell.RuleRight, &cell.RuleBottom};
        TRuleFlag& rule = *rules[next(4)];
        rule = rule ? 0 : 1;
        break;
      }
      case 4: cell.Align = "\0lcr"[next(4)]; break;
      case 5: (next(2) ? row.Prefix : row.Postfix) = next(2) ? "\\hline " : ""; break;
      case 6: t.Columns[next(t.ColCount())]->Format = next(2) ? "l" : "p{1cm}"; break;
      case 7: t.EnvOptions = next(2) ? "[t]" : ""; break;
      case 8:
        if (t.RowCount() > 2 && next(2)) t.DeleteRow(row.Index());
        else t.InsertRow(row.Index(), next(2) != 0);
        break;
      case 9: t.Style.Rules = next(2) ? rsBooktabs : rsClassic; break;
      case 10: t.Style.Float.Caption = next(2) ? "Caption" : ""; break;
      case 11:
        // Spans moved between neighbours: no list changes.
        if (row.Count() > 1) {
          const int a = row[0]->Span;
          row[0]->Span = row[1]->Span;
          row[1]->Span = a;
        }
        break;
      case 12:
        if (row.Count() > 1) {
          row[0]->Span = row[0]->Span + row[1]->Span;
          row.Delete(1);
        }
        break;
    }
    const std::vector<std::string> before = generator.Generate(t, options);
    // The step's edit is in; what follows is the view's next refresh.
    TableToLatex(t, expected, options);
    ASSERT_EQ(before, expected) << "step " << step;
    if (next(3) == 0) {
      TRow& typed = *t.Rows[next(t.RowCount())];
      typed[next(typed.Count())]->SetText(next(2) ? "x" : "");
      TableToLatex(t, expected, options);
      ASSERT_EQ(generator.Generate(t, options), expected) << "step " << step;
      if (!generator.AllChanged()) {
        std::vector<size_t> differing;
        for (size_t i = 0; i < expected.size(); ++i)
          if (before[i] != expected[i]) differing.push_back(i);
        EXPECT_EQ(generator.Changed(), differing) << "step " << step;
      }
    }
  }
}

namespace {

// Aligned code: every "&" and "\\" of the rows without joins in the same
// display column, counting a UTF-8 character once and a wide one twice.
TEST(TableToLatex, AlignedCodeLinesUpByDisplayWidth) {
  TTable t;
  for (const char* format : {"l", "l", "r"}) (new TColumn(t))->Format = format;
  const std::vector<std::vector<std::string>> texts = {
      {"a", "M\xC3\xBCller", "1"}, {"\xE6\x97\xA5\xE6\x9C\xAC", "b", "22"}, {"x", "e\xCC\x81", "3"}};
  for (const auto& rowTexts : texts) {
    TRow* row = t.AddRow();
    for (size_t i = 0; i < rowTexts.size(); ++i) (*row)[static_cast<int>(i)]->SetText(rowTexts[i]);
  }
  t.Rows[0]->Prefix = "\\rowcolor{x}";
  // A joined cell shorter than its columns is padded to them; a longer one
  // leaves the other rows alone.
  TRow* joined = t.AddRow();
  joined->Delete(1);
  (*joined)[0]->Span = 2;
  (*joined)[0]->SetText("j");
  TRow* wide = t.AddRow();
  wide->Delete(1);
  (*wide)[0]->Span = 2;
  (*wide)[0]->SetText("a joined cell wider than both columns");
  std::vector<std::string> lines;
  TLatexOptions options;
  options.AlignColumns = true;
  TableToLatex(t, lines, options);
  const std::vector<std::string> expected = {
      "\\begin{tabular}{llr}",
      "\\rowcolor{x}a & M\xC3\xBCller & 1  \\\\ ",
      "\xE6\x97\xA5\xE6\x9C\xAC          & b      & 22 \\\\ ",
      "x             & e\xCC\x81      & 3  \\\\ ",
      "\\multicolumn{2}{l}{j}  &    \\\\ ",
      "\\multicolumn{2}{l}{a joined cell wider than both columns} &    \\\\ ",
      "\\end{tabular}",
  };
  EXPECT_EQ(lines, expected);
  // Off, nothing is padded.
  TableToLatex(t, lines);
  EXPECT_EQ(lines[2], "\xE6\x97\xA5\xE6\x9C\xAC & b & 22 \\\\ ");
}

}  // namespace
