#include "latex/TableBuilder.h"

#include <algorithm>

#include "latex/LatexScanner.h"
#include "latex/TabToLatex.h"
#include "model/Errors.h"
#include "model/TableEdit.h"

namespace LatexRead {

namespace {

// "1, 3-5, 9" for 0-based rows 0, 2, 3, 4, 8.
std::string RowList(const std::vector<int>& rows) {
  std::string out;
  int ranges = 0;
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    if (++ranges > 12) {
      out += ", ...";
      break;
    }
    if (!out.empty()) out += ", ";
    out += std::to_string(rows[i] + 1);
    if (j > i) out.append(1, '-').append(std::to_string(rows[j] + 1));
    i = j + 1;
  }
  return out;
}

// "Row 3 has" or "Rows 1, 3-5 have". Built by appending: g++ 12 takes a
// literal + string for an overlapping copy in a Release build.
std::string RowsHave(const std::vector<int>& rows) {
  const bool one = rows.size() == 1;
  std::string out = one ? "Row " : "Rows ";
  out.append(RowList(rows)).append(one ? " has" : " have");
  return out;
}

}  // namespace

void TTableBuilder::AddRow(const TReadRow& read) {
  auto* row = new TRow(Table);
  row->Reserve(static_cast<int>(read.Cells.size()));
  row->Prefix = read.Prefix;
  row->Postfix = read.Postfix;
  long long k = 0;
  bool drawn = Rule(0);  // the rule drawn at the cell's left edge
  for (const TReadCell& rc : read.Cells) {
    if (k + rc.Span > kMaxColumns)
      Fail(Text, Begin, FormatStr("the table would have more than %lld columns", kMaxColumns).c_str());
    auto* cell = new TCell(*row);
    cell->Span = static_cast<int>(rc.Span);
    const bool left = rc.Multi && k == 0 ? rc.Left : drawn;
    const bool right = rc.Multi ? rc.Right : Rule(k + rc.Span);
    cell->RuleLeft = left;
    cell->RuleRight = right;
    if (rc.Multi) {
      // As the generator decides: a single-column cell with its column's
      // letter needs no \multicolumn for its alignment, and a wrapped cell
      // without an alignment of its own gets that letter, or l.
      const char letter = k < static_cast<long long>(Spec.Formats.size())
                              ? ColumnAlignLetter(Spec.Formats[static_cast<size_t>(k)])
                              : 'l';
      const bool same = rc.Align == (rc.Span == 1 || letter != 0 ? letter : 'l');
      cell->Align = same ? 0 : rc.Align;
    }
    if (!rc.Text.empty()) cell->SetText(rc.Text);
    if (rc.RowSpan != 1) Blocks.push_back({Table.RowCount() - 1, k, rc.Span, rc.RowSpan, rc.BlockArgs, rc.Code});
    drawn = right;
    k += rc.Span;
  }
  Columns = std::max(Columns, k);
}

// Gives the table its columns, fills the shorter rows, settles the vertical
// rules with the generator's vote, sets the horizontal rules and returns
// the warnings.
std::vector<std::string> TTableBuilder::Finish(const THeader& header, const std::vector<TBoundaryRules>& ruleRows,
                                               const std::vector<int>& simplified) {
  std::vector<std::string> warnings;
  TTable& table = Table;
  table.Environment = header.Environment;
  table.EnvOptions = header.Options;
  const long long specColumns = static_cast<long long>(Spec.Formats.size());
  const int c = static_cast<int>(Columns);
  table.Columns.Reserve(c);
  for (int i = 0; i < c; ++i) {
    auto* column = new TColumn(table);
    if (i < specColumns) column->Format = Spec.Formats[static_cast<size_t>(i)];
  }
  if (c > specColumns && specColumns > 0) {
    // Text after the column list's last column went with that column;
    // with columns added after it, reading the code written back would give
    // it to the next one. Split as it will be split then.
    std::string preamble;
    for (int i = 0; i < c; ++i) {
      if (i <= specColumns && Spec.Rules[static_cast<size_t>(i)]) preamble += '|';
      preamble += table.Columns[i]->Format;
    }
    const TSpec again = ParseSpec(Text, preamble, Begin);
    std::vector<bool> rules = Spec.Rules;
    rules.resize(static_cast<size_t>(c) + 1, false);
    if (static_cast<int>(again.Formats.size()) == c && again.Rules == rules)
      for (int i = 0; i < c; ++i) table.Columns[i]->Format = again.Formats[static_cast<size_t>(i)];
  }
  std::vector<bool> boundary = Spec.Rules;
  boundary.resize(static_cast<size_t>(c) + 1, false);

  std::vector<int> widened, filled;
  int index = 0;
  for (TRow* row : table.Rows) {
    long long k = 0;
    bool drawn = boundary[0];
    for (const TCell* cell : *row) {
      drawn = cell->RuleRight;
      k += cell->Span;
    }
    if (k > specColumns) widened.push_back(index);
    if (k < c) filled.push_back(index);
    for (; k < c; ++k) {
      auto* cell = new TCell(*row);
      cell->RuleLeft = drawn;
      cell->RuleRight = boundary[static_cast<size_t>(k) + 1];
      drawn = cell->RuleRight;
    }
    ++index;
  }
  // The blocks before the vote: the cells a block covers take its side
  // rules, and vote with them.
  MakeBlocks();
  std::vector<int> votes(static_cast<size_t>(c) + 1, 0);
  for (const TRow* row : table.Rows) {
    long long k = 0;
    for (const TCell* cell : *row) {
      if (cell->Span == 1 && cell->RuleLeft) ++votes[static_cast<size_t>(k)];
      k += cell->Span;
    }
  }
  const int needed = table.RowCount() / 2;
  std::vector<char> revote(static_cast<size_t>(c) + 1, 0);
  bool anyRevote = false;
  for (int k = 1; k < c; ++k) {
    revote[static_cast<size_t>(k)] = (votes[static_cast<size_t>(k)] > needed) != boundary[static_cast<size_t>(k)];
    anyRevote = anyRevote || revote[static_cast<size_t>(k)];
  }
  if (anyRevote) {
    for (TRow* row : table.Rows) {
      long long k = 0;
      for (TCell* cell : *row) {
        if (cell->Span == 1 && revote[static_cast<size_t>(k)]) cell->RuleLeft = boundary[static_cast<size_t>(k)];
        k += cell->Span;
      }
    }
  }

  // A "|" of the column list that the generator's vote would not write
  // back (too few single-column cells vote for it, or there is no row)
  // becomes a rule of the format beside it, which the generator writes in
  // every row; so only where every row that has a cell edge there draws it.
  std::vector<bool> voted = VoteBoundaryRules(table);
  // Booktabs style writes no "|" of the vote: every one of the
  // specification stays with the formats.
  if (table.Style.Rules == rsBooktabs) voted.assign(voted.size(), false);
  for (int b = 0; b <= c && c > 0; ++b) {
    if (!boundary[static_cast<size_t>(b)] || voted[static_cast<size_t>(b)]) continue;
    std::string& before = table.Columns[std::max(b - 1, 0)]->Format;
    if ((b > 0 && EndsWithRule(before)) ||
        (b < c && !FormatSideRules(table.Columns[b]->Format, true).empty()))
      continue;
    bool everywhere = true;
    for (const TRow* row : table.Rows) {
      long long k = 0;
      for (const TCell* cell : *row) {
        if (b == 0 && k == 0) everywhere = everywhere && cell->RuleLeft;
        k += cell->Span;
        if (b > 0 && k == b) everywhere = everywhere && cell->RuleRight;
      }
    }
    if (!everywhere) continue;
    if (b == 0) before.insert(before.begin(), '|');
    else before += '|';
  }

  // Horizontal rules: a column under a rule gives the rule to the cells on
  // both sides that lie wholly under it; a column that no such cell covers
  // gives it to the cell below (above, at the bottom) that covers it partly.
  const int r = table.RowCount();
  std::vector<char> marks(static_cast<size_t>(c));
  // Without a row there is no cell to hold a horizontal rule.
  const bool rulesLost = r == 0 && ruleRows.front().Any();
  // Set by the caller from the rules read.
  const bool booktabs = table.Style.Rules == rsBooktabs;
  for (int b = 0; b <= r && r > 0 && c > 0; ++b) {
    const TBoundaryRules& rules = ruleRows[static_cast<size_t>(b)];
    if (!rules.Any()) continue;
    std::fill(marks.begin(), marks.end(), rules.Full);
    for (auto [from, to] : rules.Ranges)
      for (long long i = from - 1; i < std::min<long long>(to, c); ++i) marks[static_cast<size_t>(i)] = 1;
    std::vector<char> covered(static_cast<size_t>(c), 0);
    // Marks the cells of row that lie wholly under the rule; with
    // uncoveredOnly only those that hold a column no cell holds the rule
    // for yet.
    auto mark = [&](TRow* row, bool top, bool uncoveredOnly) {
      long long k = 0;
      for (TCell* cell : *row) {
        bool all = true;
        bool adds = !uncoveredOnly;
        for (long long i = k; i < k + cell->Span; ++i) {
          all = all && marks[static_cast<size_t>(i)];
          adds = adds || !covered[static_cast<size_t>(i)];
        }
        if (all && adds) {
          (top ? cell->RuleTop : cell->RuleBottom) = 1;
          for (long long i = k; i < k + cell->Span; ++i) covered[static_cast<size_t>(i)] = 1;
        }
        k += cell->Span;
      }
    };
    // In booktabs style, partial rules that meet are the rules under the
    // headings of the row above, each its own; any other rule inside the
    // table goes on the row below first, so that headings above it that
    // happen to be joined do not split it when it is written again.
    bool meet = false;
    for (size_t i = 1; i < rules.Ranges.size(); ++i) meet = meet || rules.Ranges[i].first == rules.Ranges[i - 1].second + 1;
    const bool inner = booktabs && b > 0 && b < r;
    const bool below = b < r && !(inner && meet);
    if (below) mark(table.Rows[b], true, false);
    if (b > 0) mark(table.Rows[b - 1], false, inner && !meet);
    if (inner && meet) mark(table.Rows[b], true, true);
    TRow* partial = below ? table.Rows[b] : table.Rows[b - 1];
    long long k = 0;
    for (TCell* cell : *partial) {
      for (long long i = k; i < k + cell->Span; ++i)
        if (marks[static_cast<size_t>(i)] && !covered[static_cast<size_t>(i)]) (below ? cell->RuleTop : cell->RuleBottom) = 1;
      k += cell->Span;
    }
  }

  if (!widened.empty()) {
    if (specColumns == 0)
      warnings.push_back(FormatStr("The column specification has no columns: the table got %d columns of format \"l\" "
                                   "for its cells.",
                                   c));
    else
      warnings.push_back(FormatStr("%s more cells than the column specification has columns: the table was "
                                   "widened to %d columns.",
                                   RowsHave(widened).c_str(), c));
  }
  if (!filled.empty())
    warnings.push_back(FormatStr("%s fewer cells than the table has columns: the rest was filled with empty "
                                 "cells.",
                                 RowsHave(filled).c_str()));
  if (rulesLost)
    warnings.push_back("The table has no rows: its horizontal rules were left out, since only cells can hold them.");
  if (!simplified.empty())
    warnings.push_back(FormatStr("%s \\multicolumn formats that say more than an alignment and side rules: "
                                 "only those were kept.",
                                 RowsHave(simplified).c_str()));
  LeaveRulesOutOfBlocks();
  BlockWarnings(warnings);
  return warnings;
}

namespace {

// Adds row to a list of rows for a warning; the blocks come row by row.
void Note(std::vector<int>& rows, int row) {
  if (rows.empty() || rows.back() != row) rows.push_back(row);
}

// The cells of row that make up exactly columns col..col+span-1, none of
// them part of a block; empty when a cell reaches out of those columns.
std::vector<TCell*> WholeCells(const TRow& row, long long col, long long span) {
  std::vector<TCell*> cells;
  long long k = 0;
  for (TCell* cell : row) {
    const long long next = k + cell->Span;
    if (next > col && k < col + span) {
      if (k < col || next > col + span || cell->RowSpan > 1 || cell->Covered()) return {};
      cells.push_back(cell);
    }
    k = next;
  }
  if (k < col + span) return {};
  return cells;
}

}  // namespace

// Joins the cells of every \multirow into its block once the rows are
// complete. LaTeX typesets a \multirow's text over the rows it names and
// every other cell of those rows as well; the model holds one text per
// block. So the text of a cell the block covers is added to the block's text
// (nothing typed is lost, and the block shows it), and a block that would
// leave the table, or cut a cell joined differently or another block, is
// cut there.
void TTableBuilder::MakeBlocks() {
  const int r = Table.RowCount();
  for (TBlockStart& b : Blocks) {
    TCell* source = Table.Rows[b.Row]->CellAtCol(static_cast<int>(b.Col));
    // Another block took the cell already, and its text with it.
    if (!source || source->Covered() || source->RowSpan > 1) {
      Note(Cut, b.Row);
      continue;
    }
    const bool down = b.Rows > 0;
    const long long want = down ? b.Rows : -b.Rows;
    const long long room = down ? r - b.Row : b.Row + 1;
    // The rows joined: from the \multirow's row on, in its direction, while
    // the cells there are whole.
    int first = b.Row;
    int last = b.Row;
    bool shortened = false;
    for (long long n = 1; n < std::min(want, room) && !shortened; ++n) {
      const int i = down ? b.Row + static_cast<int>(n) : b.Row - static_cast<int>(n);
      shortened = WholeCells(*Table.Rows[i], b.Col, b.Span).empty();
      if (!shortened) (down ? last : first) = i;
    }
    // Not even two rows: the \multirow stays the cell's text, which LaTeX
    // typesets as before.
    if (first == last) {
      source->SetText(b.Code);
      continue;
    }
    if (shortened) Note(Cut, b.Row);
    else if (want > room) Note(Beyond, b.Row);
    if (!down) Note(Upward, b.Row);
    // The block's text first, then what the cells it covers hold, top down.
    std::string text = source->Text();
    for (int i = first; i <= last; ++i) {
      for (TCell* cell : WholeCells(*Table.Rows[i], b.Col, b.Span)) {
        if (cell == source || cell->Text().empty()) continue;
        CoveredText.push_back(i);
        if (!text.empty()) text += ' ';
        text += cell->Text();
        cell->SetText(std::string());
      }
    }
    TCell& top = *WholeCells(*Table.Rows[first], b.Col, b.Span).front();
    if (&top != source) {
      // Counted upward, the \multirow stood in the bottom row: its cell's
      // alignment goes to the block's own cell.
      top.Align = source->Align;
      source->Align = 0;
      source->SetText(std::string());
    }
    TCell* block =
        JoinCells(Table, TCellRect{static_cast<int>(b.Col), first, static_cast<int>(b.Col + b.Span - 1), last});
    block->SetText(std::move(text));
    block->SetBlockArgs(b.Args);
  }
}

// A rule read across a block (an \hline through a \multirow) cannot stay:
// a block has none inside. Its bottom rule is its last row's.
void TTableBuilder::LeaveRulesOutOfBlocks() {
  int i = 0;
  for (const TRow* row : Table.Rows) {
    for (TCell* cell : *row) {
      if (cell->RowSpan <= 1) continue;
      bool ruled = cell->RuleBottom != 0;
      cell->RuleBottom = 0;
      const int col = cell->ColIndex();
      for (int below = 1; below < cell->RowSpan; ++below) {
        TCell* covered = Table.Rows[i + below]->CellAtCol(col);
        const bool inside = below + 1 < cell->RowSpan;
        ruled = ruled || covered->RuleTop || (inside && covered->RuleBottom);
        covered->RuleTop = 0;
        if (inside) covered->RuleBottom = 0;
      }
      if (ruled) Note(Ruled, i);
    }
    ++i;
  }
}

void TTableBuilder::BlockWarnings(std::vector<std::string>& warnings) const {
  std::vector<int> covered = CoveredText;
  std::sort(covered.begin(), covered.end());
  covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
  const auto warn = [&warnings](const std::vector<int>& rows, const char* what) {
    if (!rows.empty()) warnings.push_back(RowsHave(rows) + what);
  };
  warn(Beyond, " a \\multirow over more rows than the table has there: it was cut at the table's edge.");
  warn(Cut,
       " a \\multirow whose rows are joined differently or already taken by another \\multirow: it joins only the "
       "rows up to there.");
  warn(covered, " text in cells that a \\multirow covers: it was added to the \\multirow's text.");
  warn(Ruled, " a \\multirow with rules across it: they were left out, since a block has no rules inside.");
  warn(Upward, " a \\multirow that counts rows upward: it is written in the block's top row.");
}

}  // namespace LatexRead
