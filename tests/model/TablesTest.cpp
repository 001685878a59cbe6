#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/Tables.h"

namespace {

// Builds a table from rows of spans: {{2, 1}, {1, 1, 1}} is two rows over three
// columns. Every cell's text is "r<row>c<first column>".
void Build(TTable& t, int cols, const std::vector<std::vector<int>>& spans) {
  t.Clear();
  for (int i = 0; i < cols; ++i) new TColumn(t);
  for (size_t r = 0; r < spans.size(); ++r) {
    TRow* row = new TRow(t);
    int col = 0;
    for (int s : spans[r]) {
      TCell* c = new TCell(*row);
      c->Span = s;
      c->SetText("r" + std::to_string(r) + "c" + std::to_string(col));
      col += s;
    }
  }
}

std::vector<int> Spans(const TRow& row) {
  std::vector<int> out;
  for (const TCell* c : row) out.push_back(c->Span);
  return out;
}

// Every row must cover exactly ColCount columns, each cell with span >= 1.
void ExpectSpanInvariant(const TTable& t) {
  for (int r = 0; r < t.RowCount(); ++r) {
    int sum = 0;
    for (const TCell* c : *t.Rows[r]) {
      EXPECT_GE(c->Span, 1) << "row " << r;
      EXPECT_EQ(c->Row(), t.Rows[r]) << "row " << r;
      sum += c->Span;
    }
    EXPECT_EQ(sum, t.ColCount()) << "row " << r;
  }
}

std::string Flags(const TCell* c) {
  std::string s;
  s += c->RuleLeft ? 'L' : '-';
  s += c->RuleTop ? 'T' : '-';
  s += c->RuleRight ? 'R' : '-';
  s += c->RuleBottom ? 'B' : '-';
  return s;
}

}  // namespace

TEST(Tables, NewTableDefaultsAndAddRow) {
  TTable t;
  EXPECT_EQ(t.RowCount(), 0);
  EXPECT_EQ(t.ColCount(), 0);
  EXPECT_EQ(t.Environment, "tabular");
  EXPECT_EQ(t.FontName, "Times New Roman");
  EXPECT_EQ(t.FontSize, 11);
  EXPECT_EQ(t.CellPadding, 4);
  EXPECT_EQ(t.Margin, 8);
  EXPECT_TRUE(t.ShowGrid);
  EXPECT_EQ(t.SelectionMode, smNone);
  EXPECT_EQ(t.AnchorRow, -1);
  EXPECT_EQ(t.AnchorCol, -1);

  // A row added before any column has no cells.
  t.AddRow();
  EXPECT_EQ(t.Rows[0]->Count(), 0);
  t.Clear();
  for (int i = 0; i < 3; ++i) new TColumn(t);
  t.AddRow();
  t.AddRow();
  ASSERT_EQ(t.RowCount(), 2);
  EXPECT_EQ(Spans(*t.Rows[1]), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(t.Columns[2]->Format, "l");
}

// Whatever keeps a row's text version to tell later whether the row changed
// (the code generator, the undo history, the grid's picture) also keeps the
// row's address, which a row made after a freed one may get again; if the
// two rows could carry the same version, the new row's texts would pass
// for the old. Every row and every text change takes a version of its own.
TEST(Tables, TextVersionsAreNeverShared) {
  TTable t;
  new TColumn(t);
  std::vector<uint64_t> seen;
  for (int i = 0; i < 3; ++i) {
    TRow* row = new TRow(t);
    seen.push_back(row->TextVersion);
    (new TCell(*row))->SetText("same");
    seen.push_back(row->TextVersion);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

TEST(Tables, ListIndexErrors) {
  TTable t;
  Build(t, 2, {{1, 1}});
  try {
    (void)t.Rows[3];
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(t.DeleteRow(1), EListError);
  EXPECT_THROW(t.DeleteColumn(-1), EListError);
  EXPECT_THROW((*t.Rows[0])[2], EListError);
  EXPECT_EQ(t.ColCount(), 2);
  EXPECT_EQ(t.RowCount(), 1);
}

TEST(Tables, LookupsWalkSpans) {
  TTable t;
  Build(t, 6, {{2, 1, 3}});
  const TRow& row = *t.Rows[0];
  const int expected[] = {0, 0, 1, 2, 2, 2};
  for (int col = 0; col < 6; ++col) EXPECT_EQ(t.GetCell(0, col), row[expected[col]]) << col;
  EXPECT_EQ(t.GetCell(0, 6), nullptr);
  EXPECT_EQ(t.GetCell(0, -1), nullptr);
  EXPECT_EQ(t.GetCell(1, 0), nullptr);
  EXPECT_EQ(row[2]->ColIndex(), 3);
  EXPECT_EQ(row[2]->Index(), 2);
  EXPECT_EQ(t.Columns[4]->CellAtRow(0), row[2]);
  EXPECT_EQ(t.Columns[4]->CellAtRow(1), nullptr);
  EXPECT_EQ(t.Columns[4]->CellAtRow(-1), nullptr);
}

TEST(Tables, EffectiveAlign) {
  struct Case {
    const char* format;
    char align;
    char expected;
  } cases[] = {
      {"r", 0, 'r'},      {"c", 0, 'c'}, {"l", 0, 'l'},         {"R", 0, 'l'},
      {" r", 0, 'l'},     {"r|", 0, 'l'}, {"p{20pt}", 0, 'l'},  {"", 0, 'l'},
      {"p{20pt}", 'c', 'c'}, {"r", 'l', 'l'},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 1, {{1}});
    t.Columns[0]->Format = c.format;
    t.Rows[0]->First()->Align = c.align;
    EXPECT_EQ(t.Rows[0]->First()->EffectiveAlign(), c.expected) << '"' << c.format << '"';
  }
}

TEST(Tables, InsertColumnAroundJoinedCell) {
  // Row: A (span 2) then B. Columns 0..2.
  struct Case {
    int index;
    bool after;
    std::vector<int> spans;
    int newCellPos;  // -1 = A widened
  } cases[] = {
      {1, false, {3, 1}, -1},
      {2, false, {2, 1, 1}, 1},
      {1, true, {2, 1, 1}, 1},
      {0, true, {3, 1}, -1},
      {0, false, {1, 2, 1}, 0},
      {2, true, {2, 1, 1}, 2},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, 3, {{2, 1}, {1, 1, 1}});
    t.InsertColumn(c.index, c.after);
    EXPECT_EQ(t.ColCount(), 4);
    EXPECT_EQ(Spans(*t.Rows[0]), c.spans) << c.index << c.after;
    ExpectSpanInvariant(t);
    if (c.newCellPos >= 0) {
      EXPECT_EQ((*t.Rows[0])[c.newCellPos]->Text(), "");
    }
    // The row without joined cells always gains one empty cell at the new column.
    const int newCol = c.after ? c.index + 1 : c.index;
    EXPECT_EQ(t.GetCell(1, newCol)->Text(), "");
    EXPECT_EQ(t.GetCell(1, newCol)->Span, 1);
  }
}

TEST(Tables, InsertColumnPlacesNewColumnAndCarriesRules) {
  TTable t;
  Build(t, 2, {{1, 1}});
  t.Columns[0]->Format = "c";
  t.Columns[1]->Format = "r";
  TCell* a = (*t.Rows[0])[0];
  TCell* b = (*t.Rows[0])[1];
  a->RuleLeft = 255;
  a->RuleTop = 255;
  a->RuleBottom = 1;
  a->Align = 'c';
  a->Selected = true;
  b->RuleRight = 0;
  b->RuleLeft = 255;

  t.InsertColumn(0, false);
  EXPECT_EQ(t.Columns[0]->Format, "l");
  EXPECT_EQ(t.Columns[1]->Format, "c");
  TCell* n = (*t.Rows[0])[0];
  EXPECT_EQ(Flags(n), "LTRB");
  EXPECT_EQ(n->RuleLeft, 255);
  EXPECT_EQ(n->RuleBottom, 1);
  EXPECT_EQ(n->Align, 'c');
  EXPECT_FALSE(n->Selected);
  EXPECT_EQ(n->Text(), "");

  // After a cell without a right rule: both vertical flags off.
  t.InsertColumn(2, true);
  EXPECT_EQ(t.Columns[3]->Format, "l");
  EXPECT_EQ(Flags((*t.Rows[0])[3]), "----");
  ExpectSpanInvariant(t);
}

TEST(Tables, InsertOutOfRangeFailsAssertionAndChangesNothing) {
  TTable t;
  Build(t, 2, {{1, 1}});
  try {
    t.InsertColumn(2, false);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Unit(), "Tables");
    EXPECT_EQ(e.Line(), 924);
    EXPECT_EQ(std::string(e.what()).rfind("Assertion failure", 0), 0u);
  }
  try {
    t.InsertRow(-1, true);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Line(), 982);
  }
  EXPECT_EQ(t.ColCount(), 2);
  EXPECT_EQ(t.RowCount(), 1);
  EXPECT_EQ(t.Rows[0]->Count(), 2);
  TTable empty;
  EXPECT_THROW(empty.InsertColumn(0, false), EAssertionFailed);
  EXPECT_THROW(empty.InsertRow(0, false), EAssertionFailed);
}

TEST(Tables, InsertRowCopiesSpansAndRules) {
  TTable t;
  Build(t, 3, {{2, 1}, {1, 1, 1}});
  for (TCell* c : *t.Rows[0]) {
    c->RuleBottom = 255;
    c->RuleTop = 0;
    c->RuleLeft = 7;
    c->Selected = true;
  }
  t.Rows[0]->Prefix = "\\rowcolor{red}";
  t.Rows[0]->Postfix = "[2pt]";

  t.InsertRow(0, true);
  ASSERT_EQ(t.RowCount(), 3);
  const TRow& below = *t.Rows[1];
  EXPECT_EQ(Spans(below), (std::vector<int>{2, 1}));
  EXPECT_EQ(below.Prefix, "");
  EXPECT_EQ(below.Postfix, "");
  for (const TCell* c : below) {
    EXPECT_EQ(c->RuleTop, 255);
    EXPECT_EQ(c->RuleBottom, 255);
    EXPECT_EQ(c->RuleLeft, 7);
    EXPECT_FALSE(c->Selected);
    EXPECT_EQ(c->Text(), "");
  }

  t.InsertRow(0, false);
  EXPECT_EQ(t.RowCount(), 4);
  for (const TCell* c : *t.Rows[0]) {
    EXPECT_EQ(c->RuleBottom, 0);  // takes the model row's top rule
    EXPECT_EQ(c->RuleTop, 0);
  }
  EXPECT_EQ(t.Rows[1]->Prefix, "\\rowcolor{red}");
  ExpectSpanInvariant(t);
}

TEST(Tables, DeleteColumnNarrowsOrRemovesCells) {
  TTable t;
  Build(t, 4, {{2, 1, 1}, {1, 3}, {4}});
  t.CurrentCell = (*t.Rows[1])[1];  // span 3 starting at column 1
  t.DeleteColumn(2);
  EXPECT_EQ(t.CurrentCell, (*t.Rows[1])[1]);
  EXPECT_EQ(Spans(*t.Rows[0]), (std::vector<int>{2, 1}));
  EXPECT_EQ(Spans(*t.Rows[1]), (std::vector<int>{1, 2}));
  EXPECT_EQ(Spans(*t.Rows[2]), (std::vector<int>{3}));
  ExpectSpanInvariant(t);

  t.DeleteColumn(1);  // where the current cell starts
  EXPECT_EQ(t.CurrentCell, nullptr);
  ExpectSpanInvariant(t);
  t.DeleteColumn(0);
  t.DeleteColumn(0);
  EXPECT_EQ(t.ColCount(), 0);
  for (const TRow* r : t.Rows) EXPECT_EQ(r->Count(), 0);
}

TEST(Tables, DeleteSecondColumnOfCurrentJoinedCellKeepsIt) {
  TTable t;
  Build(t, 3, {{2, 1}});
  TCell* cur = (*t.Rows[0])[0];
  t.CurrentCell = cur;
  t.DeleteColumn(1);
  EXPECT_EQ(t.CurrentCell, cur);
  EXPECT_EQ(cur->Span, 1);
}

TEST(Tables, DeleteRowClearsCurrentCellOnlyInThatRow) {
  TTable t;
  Build(t, 2, {{1, 1}, {2}, {1, 1}});
  t.CurrentCell = (*t.Rows[2])[1];
  t.DeleteRow(1);
  EXPECT_EQ(t.CurrentCell, (*t.Rows[1])[1]);
  t.DeleteRow(1);
  EXPECT_EQ(t.CurrentCell, nullptr);
  EXPECT_EQ(t.RowCount(), 1);
}

TEST(Tables, SetRulesOnInnerBlockTouchesNeighboursAndUndoes) {
  TTable t;
  Build(t, 4, {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
  const TCellRect block{1, 1, 2, 2};
  t.SetRules(block, rbAll, 255);
  const char* expected[4][4] = {
      {"----", "---B", "---B", "----"},
      {"--R-", "LTRB", "LTRB", "L---"},
      {"--R-", "LTRB", "LTRB", "L---"},
      {"----", "-T--", "-T--", "----"},
  };
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const TCell* cell = t.GetCell(r, c);
      EXPECT_EQ(Flags(cell), expected[r][c]) << r << "," << c;
      for (uint8_t f : {cell->RuleLeft, cell->RuleTop, cell->RuleRight, cell->RuleBottom})
        EXPECT_TRUE(f == 0 || f == 255);
    }
  t.SetRules(block, rbAll, 0);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(Flags(t.GetCell(r, c)), "----") << r << "," << c;
}

TEST(Tables, SetRulesAtTableEdgesAndPartialCells) {
  TTable t;
  Build(t, 3, {{1, 1, 1}, {2, 1}});
  // Outer border over the whole table: no row above or below to touch.
  t.SetRules({0, 0, 2, 1}, rbOuter, 255);
  EXPECT_EQ(Flags(t.GetCell(0, 0)), "LT--");
  EXPECT_EQ(Flags(t.GetCell(0, 2)), "-TR-");
  EXPECT_EQ(Flags(t.GetCell(1, 0)), "L--B");
  EXPECT_EQ(Flags(t.GetCell(1, 2)), "--RB");

  // A joined cell that reaches outside the columns gets no top/bottom rule,
  // and the cell above that does lie inside does get its bottom flag.
  TTable u;
  Build(u, 3, {{1, 1, 1}, {2, 1}});
  u.SetRules({1, 1, 2, 1}, rbTop, 255);
  EXPECT_EQ(Flags(u.GetCell(1, 0)), "----");
  EXPECT_EQ(Flags(u.GetCell(1, 2)), "-T--");
  EXPECT_EQ(Flags(u.GetCell(0, 1)), "---B");
  EXPECT_EQ(Flags(u.GetCell(0, 0)), "----");
}

TEST(Tables, SelectionModesAndAnchors) {
  TTable t;
  Build(t, 3, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
  t.SelectRowRange(5, 2);
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{2, 3, 4, 5}));
  EXPECT_EQ(t.AnchorRow, 5);
  EXPECT_EQ(t.SelectionMode, smRows);

  t.SelectRowRange(-1, 2);  // same as SelectRow(2) on an existing row selection
  EXPECT_EQ(t.GetSelectedRows(), (TArrayOfInteger{2, 3, 4, 5}));

  t.SelectColumn(2);
  EXPECT_TRUE(t.GetSelectedRows().empty());
  EXPECT_EQ(t.AnchorRow, -1);
  t.SelectColumn(0);
  EXPECT_EQ(t.GetSelectedColumns(), (TArrayOfInteger{0, 2}));
  EXPECT_EQ(t.AnchorCol, 2);
  EXPECT_EQ(t.SelectionMode, smColumns);

  t.SelectCell(t.GetCell(1, 1));
  t.SelectCell(nullptr);
  EXPECT_TRUE(t.GetSelectedColumns().empty());
  EXPECT_EQ(t.GetSelectedCells(), (TArrayOfCells{t.GetCell(1, 1)}));
  EXPECT_EQ(t.SelectionMode, smCells);

  t.ClearSelection();
  EXPECT_TRUE(t.GetSelectedCells().empty());
  EXPECT_EQ(t.SelectionMode, smNone);
}

TEST(Tables, GetSelectionRectGrowsOverJoinedCells) {
  TTable t;
  Build(t, 6, {{1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {2, 3, 1}});
  EXPECT_EQ(t.GetSelectionRect(), (TCellRect{6, 5, -1, -1}));

  t.SelectCell((*t.Rows[4])[1]);  // span 3 from column 2
  EXPECT_EQ(t.GetSelectionRect(), (TCellRect{2, 4, 4, 4}));

  // Cells in rows 1 and 3 of column 1; the rectangle pulls in row 2 and, as
  // soon as rows reach the joined cells, widens by their spans.
  TTable u;
  Build(u, 6, {{1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {1, 2, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}});
  u.SelectCell(u.GetCell(1, 1));
  u.SelectCell(u.GetCell(3, 1));
  EXPECT_EQ(u.GetSelectionRect(), (TCellRect{1, 1, 2, 3}));
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 2; ++c) EXPECT_TRUE(u.GetCell(r, c)->Selected) << r << "," << c;
  EXPECT_FALSE(u.GetCell(1, 3)->Selected);
  EXPECT_FALSE(u.GetCell(0, 1)->Selected);

  // Staircase: each widening pulls in a joined cell of another row.
  TTable w;
  Build(w, 4, {{1, 1, 2}, {1, 2, 1}, {2, 1, 1}});
  w.SelectCell(w.GetCell(0, 1));
  w.SelectCell(w.GetCell(2, 1));
  EXPECT_EQ(w.GetSelectionRect(), (TCellRect{0, 0, 3, 2}));
  for (int r = 0; r < 3; ++r)
    for (const TCell* c : *w.Rows[r]) EXPECT_TRUE(c->Selected);
}

TEST(Tables, AssignCopiesContentOnly) {
  TTable src;
  Build(src, 3, {{2, 1}, {1, 1, 1}});
  src.Columns[1]->Format = "p{3cm}";
  src.Columns[2]->Selected = true;
  src.Rows[1]->Prefix = "pre";
  src.Rows[1]->Postfix = "post";
  src.Rows[0]->Selected = true;
  TCell* j = (*src.Rows[0])[0];
  j->Align = 'c';
  j->RuleLeft = 255;
  j->RuleBottom = 3;
  j->Selected = true;
  src.Environment = "array";
  src.EnvOptions = "[t]";
  src.Extra1 = "e1";
  src.Extra2 = "e2";
  src.Extra3 = "e3";
  src.FileName = "/tmp/src.qtor";
  src.Title = "src";
  src.FontName = "Courier New";
  src.ShowGrid = false;
  src.SelectionMode = smCells;
  src.AnchorRow = 1;

  TTable dst;
  Build(dst, 1, {{1}, {1}, {1}, {1}});
  dst.FileName = "/tmp/dst.qtor";
  dst.Title = "dst";
  dst.CurrentCell = nullptr;
  dst.Assign(src);

  ASSERT_EQ(dst.ColCount(), 3);
  ASSERT_EQ(dst.RowCount(), 2);
  ExpectSpanInvariant(dst);
  EXPECT_EQ(dst.Columns[1]->Format, "p{3cm}");
  EXPECT_TRUE(dst.Columns[2]->Selected);
  EXPECT_EQ(dst.Columns[0]->Table(), &dst);
  EXPECT_EQ(dst.Rows[1]->Prefix, "pre");
  EXPECT_EQ(dst.Rows[1]->Postfix, "post");
  EXPECT_TRUE(dst.Rows[0]->Selected);
  EXPECT_EQ(dst.Rows[0]->Table(), &dst);
  const TCell* k = (*dst.Rows[0])[0];
  EXPECT_NE(k, j);
  EXPECT_EQ(k->Text(), "r0c0");
  EXPECT_EQ(k->Span, 2);
  EXPECT_EQ(k->Align, 'c');
  EXPECT_EQ(k->RuleLeft, 255);
  EXPECT_EQ(k->RuleBottom, 3);
  EXPECT_TRUE(k->Selected);
  EXPECT_EQ(dst.Environment, "array");
  EXPECT_EQ(dst.EnvOptions, "[t]");
  EXPECT_EQ(dst.Extra1 + dst.Extra2 + dst.Extra3, "e1e2e3");
  // View state and identity stay the target's own.
  EXPECT_EQ(dst.FileName, "/tmp/dst.qtor");
  EXPECT_EQ(dst.Title, "dst");
  EXPECT_EQ(dst.FontName, "Times New Roman");
  EXPECT_TRUE(dst.ShowGrid);
  EXPECT_EQ(dst.SelectionMode, smNone);
  EXPECT_EQ(dst.AnchorRow, -1);

  // Changing the copy leaves the source alone.
  (*dst.Rows[0])[0]->SetText("changed");
  EXPECT_EQ(j->Text(), "r0c0");

  src.Clear();
  EXPECT_EQ(src.Environment, "tabular");
  EXPECT_EQ(src.EnvOptions, "");
  EXPECT_EQ(src.Extra1, "");
  EXPECT_EQ(src.FileName, "/tmp/src.qtor");
}

// Opening a file moves the read table into the document. Rows and columns
// left pointing at the table they came from would be used after it is freed.
TEST(Tables, TakeContentMovesRowsColumnsAndExtras) {
  auto src = std::make_unique<TTable>();
  Build(*src, 2, {{1, 1}, {2}});
  src->Environment = "array";
  src->Extra2 = "e2";
  const TCell* moved = src->GetCell(1, 0);
  TTable dst;
  Build(dst, 1, {{1}});
  dst.FileName = "/tmp/dst.qtor";
  dst.ExtentFontName = "Courier New";
  dst.ExtentFontSize = 11;
  dst.GetCell(0, 0)->ExtentValid = true;
  src->GetCell(0, 0)->ExtentValid = true;

  dst.TakeContent(*src);
  EXPECT_EQ(dst.ColCount(), 2);
  EXPECT_EQ(dst.RowCount(), 2);
  EXPECT_EQ(dst.GetCell(1, 0), moved);
  EXPECT_EQ(moved->Table(), &dst);
  EXPECT_EQ(dst.Columns[1]->Table(), &dst);
  EXPECT_EQ(dst.Environment, "array");
  EXPECT_EQ(dst.Extra2, "e2");
  EXPECT_EQ(dst.FileName, "/tmp/dst.qtor");
  // Measured in another font: measured again.
  EXPECT_FALSE(dst.GetCell(0, 0)->ExtentValid);
  ASSERT_EQ(src->RowCount(), 1);
  EXPECT_EQ(src->GetCell(0, 0)->Table(), src.get());
  src.reset();
  EXPECT_EQ(dst.GetCell(0, 1)->Text(), "r0c1");
  ExpectSpanInvariant(dst);
}

TEST(Tables, HitTestsUseLastLayout) {
  TTable t;
  Build(t, 2, {{1, 1}});
  t.Rows[0]->BoundsRect = {0, 8, 116, 28};
  (*t.Rows[0])[0]->BoundsRect = {8, 8, 48, 28};
  (*t.Rows[0])[1]->BoundsRect = {48, 8, 108, 28};
  t.Columns[0]->BoundsRect = {8, 0, 48, 36};
  t.Columns[1]->BoundsRect = {48, 0, 108, 36};
  EXPECT_EQ(t.CellAt(8, 8), (*t.Rows[0])[0]);
  EXPECT_EQ(t.CellAt(48, 27), (*t.Rows[0])[1]);
  EXPECT_EQ(t.CellAt(108, 10), nullptr);
  EXPECT_EQ(t.CellAt(5, 10), nullptr);  // side margin: a row, no cell
  EXPECT_EQ(t.RowAt(5, 10), t.Rows[0]);
  EXPECT_EQ(t.RowAt(5, 28), nullptr);
  EXPECT_EQ(t.ColumnAt(50, 2), t.Columns[1]);  // top margin: a column, no cell
  EXPECT_EQ(t.CellAt(50, 2), nullptr);
}

TEST(Tables, OwnedListMoveExtractInsert) {
  TTable t;
  Build(t, 3, {{1, 1, 1}});
  TRow& row = *t.Rows[0];
  TCell* a = row[0];
  row.Move(0, 2);
  EXPECT_EQ(row[2], a);
  EXPECT_EQ(a->Index(), 2);
  EXPECT_EQ(a->ColIndex(), 2);
  TCell* x = row.Extract(2);
  EXPECT_EQ(row.Count(), 2);
  row.Insert(0, x);
  EXPECT_EQ(row[0], x);
  EXPECT_THROW(row.Insert(5, nullptr), EListError);
  EXPECT_THROW(row.Move(0, 3), EListError);
  ExpectSpanInvariant(t);
}

TEST(Tables, AssignKeepsMeasuredExtentsOnlyForTheSameFont) {
  TTable src;
  Build(src, 1, {{1}});
  src.ExtentFontName = "Times New Roman";
  src.ExtentFontSize = 11;
  TCell* measured = src.GetCell(0, 0);
  measured->MeasuredWidth = 42;
  measured->MeasuredHeight = 17;
  measured->ExtentValid = true;

  TTable same;
  same.ExtentFontName = "Times New Roman";
  same.ExtentFontSize = 11;
  same.Assign(src);
  EXPECT_TRUE(same.GetCell(0, 0)->ExtentValid);
  EXPECT_EQ(same.GetCell(0, 0)->MeasuredWidth, 42);
  EXPECT_EQ(same.GetCell(0, 0)->MeasuredHeight, 17);

  TTable larger;
  larger.ExtentFontName = "Times New Roman";
  larger.ExtentFontSize = 12;
  larger.Assign(src);
  EXPECT_FALSE(larger.GetCell(0, 0)->ExtentValid);

  // A new text always needs measuring again.
  same.GetCell(0, 0)->SetText("longer text");
  EXPECT_FALSE(same.GetCell(0, 0)->ExtentValid);
}
