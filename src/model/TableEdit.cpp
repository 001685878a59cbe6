#include "model/TableEdit.h"

#include <algorithm>
#include <vector>

#include "model/LatexEscape.h"
#include "model/TextLines.h"

namespace {

constexpr char kFieldBreak = '\t';
constexpr const char* kLineBreak = "\r\n";

// Line numbers reported by the checks of this unit; they identify the check
// in bug reports and stay fixed whatever this file looks like.
constexpr int kPasteCornerCheckLine = 101;

void AppendSpanTabs(std::string& text, const TCell& cell) {
  if (cell.Span > 1) text.append(static_cast<size_t>(cell.Span - 1), kFieldBreak);
}

}  // namespace

TCell* JoinCells(TTable& table, const TCellRect& rect) {
  if (rect.Left < 0 || rect.Top < 0 || rect.Right < rect.Left || rect.Bottom < rect.Top ||
      rect.Right >= table.ColCount() || rect.Bottom >= table.RowCount())
    throw EQuiltorError("The cells to join lie outside the table");
  // Each row's part must begin and end at cell edges, and no block may
  // reach into the rectangle from above or out of it below.
  std::vector<std::pair<int, int>> parts;  // first cell index and count, per row
  parts.reserve(static_cast<size_t>(rect.Bottom - rect.Top + 1));
  for (int i = rect.Top; i <= rect.Bottom; ++i) {
    const TRow& row = *table.Rows[i];
    int col = 0;
    int first = -1;
    int count = 0;
    for (const TCell* c : row) {
      const int end = col + c->Span - 1;
      if (end >= rect.Left && col <= rect.Right) {
        const TCell* top = c->BlockCell();
        if (col < rect.Left || end > rect.Right || top->RowIndex() < rect.Top || c->LastRowIndex() > rect.Bottom)
          throw EQuiltorError("Only whole cells can be joined");
        if (first < 0) first = c->Index();
        ++count;
      }
      col = end + 1;
    }
    parts.emplace_back(first, count);
  }

  TRow& topRow = *table.Rows[rect.Top];
  TCell& joined = *topRow[parts.front().first];
  const TCell& topRight = *topRow[parts.front().first + parts.front().second - 1];
  const uint8_t right = topRight.RuleRight;
  const TRow& bottomRow = *table.Rows[rect.Bottom];
  const uint8_t bottom = bottomRow[parts.back().first]->RuleBottom;
  const int height = rect.Bottom - rect.Top + 1;
  for (int k = 0; k < height; ++k) {
    TRow& row = *table.Rows[rect.Top + k];
    const auto [first, count] = parts[static_cast<size_t>(k)];
    TCell& keep = *row[first];
    for (int n = 1; n < count; ++n) {
      if (table.CurrentCell == row[first + 1]) table.CurrentCell = &keep;
      row.Delete(first + 1);
    }
    keep.Span = rect.Right - rect.Left + 1;
    keep.RuleRight = right;
    if (k == 0) {
      keep.RowSpan = height;
      keep.RowsToTop = 0;
      keep.RuleBottom = height > 1 ? 0 : bottom;
      continue;
    }
    if (table.CurrentCell == &keep) table.CurrentCell = &joined;
    keep.SetText(std::string());
    keep.Align = 0;
    keep.SetBlockArgs(TBlockArgs());
    keep.RowSpan = 1;
    keep.RowsToTop = k;
    keep.RuleLeft = joined.RuleLeft;
    keep.RuleTop = 0;
    keep.RuleBottom = k + 1 < height ? 0 : bottom;
    keep.Selected = joined.Selected;
  }
  return &joined;
}

TCell* SplitBlock(TCell& cell) {
  TCell& top = *cell.BlockCell();
  TTable& table = *top.Table();
  const int first = top.RowIndex();
  const int col = top.ColIndex();
  const int height = top.RowSpan;
  // Each row's part becomes a plain joined cell first, so that SplitCell
  // finds the table consistent row by row.
  top.RowSpan = 1;
  top.SetBlockArgs(TBlockArgs());
  for (int k = 0; k < height; ++k) {
    TCell& part = *table.GetCell(first + k, col);
    part.RowsToTop = 0;
    if (k > 0) part.Selected = true;
    SplitCell(part);
  }
  return &top;
}

void SplitCell(TCell& cell) {
  TRow& row = *cell.Row();
  const int k = cell.Index();
  // One piece at a time, each taking one column from the joined cell, so
  // that the row's spans add up after every step.
  while (cell.Span > 1) {
    TCell* piece = new TCell(row);
    piece->RuleLeft = cell.RuleRight;
    piece->RuleTop = cell.RuleTop;
    piece->RuleRight = cell.RuleRight;
    piece->RuleBottom = cell.RuleBottom;
    piece->Selected = true;
    row.Move(row.Count() - 1, k + 1);
    --cell.Span;
  }
}

std::optional<std::string> SelectionAsText(const TTable& table) {
  std::string text;

  const TArrayOfCells cells = table.GetSelectedCells();
  if (!cells.empty()) {
    // The same row object means the same row: no index walks per cell.
    const TRow* row = nullptr;
    for (const TCell* c : cells) {
      if (c->Row() != row) {
        if (row) text += kLineBreak;
        row = c->Row();
      } else {
        text += kFieldBreak;
      }
      text += c->Text();
      AppendSpanTabs(text, *c);
    }
    return text;
  }

  const TArrayOfInteger rows = table.GetSelectedRows();
  if (!rows.empty()) {
    for (size_t i = 0; i < rows.size(); ++i) {
      if (i) text += kLineBreak;
      bool first = true;
      for (const TCell* c : *table.Rows[rows[i]]) {
        if (!first) text += kFieldBreak;
        first = false;
        text += c->Text();
        AppendSpanTabs(text, *c);
      }
    }
    return text;
  }

  const TArrayOfInteger columns = table.GetSelectedColumns();
  if (columns.empty()) return std::nullopt;
  for (int r = 0; r < table.RowCount(); ++r) {
    if (r) text += kLineBreak;
    // The selected columns ascend, so one walk along the row finds the cell
    // covering each of them.
    const TRow& row = *table.Rows[r];
    int j = 0;
    int start = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      const int k = columns[i];
      while (j < row.Count() && start + row[j]->Span <= k) start += row[j++]->Span;
      const TCell* c = j < row.Count() ? row[j] : nullptr;
      // One field per selected column; only the cell's first column carries
      // its text, the columns it covers further right give empty fields.
      if (i) text += kFieldBreak;
      if (c && start == k) text += c->Text();
    }
  }
  return text;
}

void AppendColumns(TTable& table, int count) {
  if (count <= 0) return;
  const int last = table.ColCount() - 1;
  for (int i = 0; i < count; ++i) new TColumn(table);
  if (last < 0) return;
  for (TRow* row : table.Rows) {
    int start = 0;
    for (int j = 0; j < row->Count(); ++j) {
      TCell* c = (*row)[j];
      const int end = start + c->Span - 1;
      if (end < last) {
        start = end + 1;
        continue;
      }
      if (start > last) break;
      if (end > last) {
        // A cell reaching past the last column (a damaged row) grows, as it
        // would on each insertion.
        c->Span += count;
        break;
      }
      for (int n = 0; n < count; ++n) {
        TCell* cell = new TCell(*row);
        if (row->Count() - 1 != j + 1 + n) row->Move(row->Count() - 1, j + 1 + n);
        cell->Assign(*c);
        cell->MakePlain();
        cell->Span = 1;
        cell->SetText(std::string());
        cell->Selected = false;
        cell->RuleLeft = c->RuleRight;
        cell->RuleRight = c->RuleRight;
      }
      break;
    }
  }
}

TCellRect PasteText(TTable& table, int left, int top, std::string_view text, bool escape) {
  if (left < 0 || left >= table.ColCount() || top < 0 || top >= table.RowCount())
    throw EAssertionFailed("TableEdit", kPasteCornerCheckLine);

  const TextLines::TDelimiterSet tab(std::string_view(&kFieldBreak, 1));
  // Quoted cell text becomes records of owned fields (a doubled quote is
  // one); plain text is split in place, as lines of fields.
  const bool quoted = TextLines::IsQuotedCellText(text);
  std::vector<TextLines::TRecord> records;
  std::vector<std::string_view> lines;
  if (quoted) {
    records = TextLines::SplitRecords(text, tab, false, true);
    lines.resize(records.size());
  } else {
    lines = TextLines::SplitLines(text);
  }
  size_t width = 0;
  if (quoted) {
    for (const TextLines::TRecord& record : records) width = std::max(width, record.size());
  } else {
    for (std::string_view line : lines) width = std::max(width, TextLines::CountFields(line, tab, false));
  }
  // The table the block needs, checked before anything is built or changed:
  // a text of many lines and one long one would otherwise grow the table
  // until the memory runs out.
  const long double needCols = std::max<long double>(table.ColCount(), static_cast<long double>(left) + width);
  const long double needRows = std::max<long double>(table.RowCount(), static_cast<long double>(top) + lines.size());
  const bool grows = needCols > table.ColCount() || needRows > table.RowCount();
  if (grows && needCols * needRows > TextLines::kMaxImportCells)
    throw EQuiltorError(FormatStr("Cannot paste %zu lines of up to %zu fields: the table would have more than %lld cells",
                                  lines.size(), width, TextLines::kMaxImportCells));
  std::vector<std::vector<std::string_view>> fields(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (quoted) fields[i].assign(records[i].begin(), records[i].end());
    else TextLines::SplitFields(lines[i], tab, false, fields[i]);
  }
  const int right = left + static_cast<int>(width) - 1;
  const int bottom = top + static_cast<int>(lines.size()) - 1;

  table.ClearSelection();
  if (right >= table.ColCount()) AppendColumns(table, right - table.ColCount() + 1);
  while (bottom >= table.RowCount()) table.InsertRow(table.RowCount() - 1, true);
  if (right < left || bottom < top) return {left, top, right, bottom};

  for (int r = top; r <= bottom; ++r) {
    TRow& row = *table.Rows[r];
    int start = 0;
    for (int j = 0; j < row.Count() && start <= right; ++j) {
      TCell* c = row[j];
      const int end = start + c->Span - 1;
      if (end >= left) {
        c->Selected = true;
        // The pieces follow at once and are visited next. A block is split
        // whole, its parts outside the pasted rows too.
        if (c->RowSpan > 1 || c->Covered()) {
          c->BlockCell()->Selected = true;
          SplitBlock(*c);
        } else if (c->Span > 1) {
          SplitCell(*c);
        }
      }
      start += c->Span;
    }
  }

  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].empty()) continue;
    TRow& row = *table.Rows[top + static_cast<int>(i)];
    // Every block cell has span 1 now: the cell of column left + f is the
    // f-th after the one that starts at column left.
    int j = 0;
    for (int start = 0; j < row.Count() && start < left; ++j) start += row[j]->Span;
    for (size_t f = 0; f < fields[i].size() && j + static_cast<int>(f) < row.Count(); ++f)
      row[j + static_cast<int>(f)]->SetText(escape ? EscapeLatexSpecials(fields[i][f]) : std::string(fields[i][f]));
  }
  return {left, top, right, bottom};
}
