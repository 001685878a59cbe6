#include "commands/KeySelection.h"

#include <algorithm>

namespace {

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

// The rectangle the cell selection covers, or the current cell alone.
TCellRect CellsCovered(TTable& table) {
  if (table.SelectionMode == smCells || !table.GetSelectedCells().empty()) {
    const TCellRect r = table.GetSelectionRect();
    if (r.Right >= 0) return r;
  }
  if (const TCell* c = table.CurrentCell)
    return {c->ColIndex(), c->RowIndex(), c->ColIndex() + c->Span - 1, c->RowIndex() + c->RowSpan - 1};
  return {};
}

// The end of a range of selected indices away from its anchor.
int FarEnd(const TArrayOfInteger& selected, int anchor) {
  return anchor == selected.front() ? selected.back() : selected.front();
}

}  // namespace

TCellPlace KeyTarget(const TTable& table, TCellPlace from, TGridKey key, int pageRows) {
  const int lastRow = table.RowCount() - 1;
  const int lastCol = table.ColCount() - 1;
  const int r = from.Row;
  const int k = from.Col;
  pageRows = std::max(pageRows, 1);
  switch (key) {
    case gkLeft: {
      const TCell* c = table.GetCell(r, k);
      return {r, (c ? c->ColIndex() : k) - 1};
    }
    case gkRight: {
      const TCell* c = table.GetCell(r, k);
      return {r, c ? c->ColIndex() + c->Span : k + 1};
    }
    // Up and down step over a block as over one cell.
    case gkUp: {
      const TCell* c = table.GetCell(r, k);
      return {(c ? r - c->RowsToTop : r) - 1, k};
    }
    case gkDown: {
      const TCell* c = table.GetCell(r, k);
      const TCell* top = c && c->Covered() ? table.GetCell(r - c->RowsToTop, k) : c;
      return {top ? r - c->RowsToTop + top->RowSpan : r + 1, k};
    }
    case gkHome: return {r, 0};
    case gkEnd: return {r, lastCol};
    case gkFirst: return {0, 0};
    case gkLast: return {lastRow, lastCol};
    case gkPageUp: return {Clamp(r - pageRows, 0, lastRow), k};
    case gkPageDown: return {Clamp(r + pageRows, 0, lastRow), k};
  }
  return from;
}

TCell* MoveTarget(const TTable& table, TGridKey key, int pageRows) {
  const TCell* cell = table.CurrentCell;
  if (!cell) {
    // Without a place to move from, the arrows start at the first cell;
    // End and Ctrl+End name a place of their own.
    if (key == gkEnd) return table.GetCell(0, table.ColCount() - 1);
    if (key == gkLast) {
      TCell* last = table.GetCell(table.RowCount() - 1, table.ColCount() - 1);
      return last ? last->BlockCell() : nullptr;
    }
    return table.GetCell(0, 0);
  }
  const TCellPlace to = KeyTarget(table, {cell->RowIndex(), cell->ColIndex()}, key, pageRows);
  // A block is entered at its own cell: the current cell is never covered.
  TCell* target = table.GetCell(to.Row, to.Col);
  return target ? target->BlockCell() : nullptr;
}

TCellPlace SelectionFarEnd(TTable& table) {
  const TCell* anchor = table.CurrentCell;
  if (!anchor) return {};
  const TCellRect r = CellsCovered(table);
  return {anchor->RowIndex() == r.Top ? r.Bottom : r.Top, anchor->ColIndex() == r.Left ? r.Right : r.Left};
}

bool ExtendSelection(TTable& table, TGridKey key, int pageRows) {
  const int lastRow = table.RowCount() - 1;
  const int lastCol = table.ColCount() - 1;
  if (lastRow < 0 || lastCol < 0) return false;
  const bool across = key == gkLeft || key == gkRight || key == gkHome || key == gkEnd;

  if (table.SelectionMode == smRows) {
    const TArrayOfInteger rows = table.GetSelectedRows();
    if (rows.empty()) return false;
    if (across) return true;
    const int anchor = table.AnchorRow >= 0 && table.AnchorRow <= lastRow ? table.AnchorRow : rows.front();
    const TCellPlace to = KeyTarget(table, {FarEnd(rows, anchor), 0}, key, pageRows);
    table.SelectRowRange(anchor, Clamp(to.Row, 0, lastRow));
    return true;
  }
  if (table.SelectionMode == smColumns) {
    const TArrayOfInteger cols = table.GetSelectedColumns();
    if (cols.empty()) return false;
    if (key == gkUp || key == gkDown || key == gkPageUp || key == gkPageDown) return true;
    const int anchor = table.AnchorCol >= 0 && table.AnchorCol <= lastCol ? table.AnchorCol : cols.front();
    // Columns have no cell to step over: one column a key.
    const TCellPlace to = key == gkRight ? TCellPlace{0, FarEnd(cols, anchor) + 1}
                                         : KeyTarget(table, {0, FarEnd(cols, anchor)}, key, pageRows);
    table.SelectColumnRange(anchor, Clamp(to.Col, 0, lastCol));
    return true;
  }

  TCell* anchor = table.CurrentCell;
  if (!anchor) return false;
  TCellPlace to = KeyTarget(table, SelectionFarEnd(table), key, pageRows);
  // The far end stops at the table's edges; the anchor never moves.
  to.Row = Clamp(to.Row, 0, lastRow);
  to.Col = Clamp(to.Col, 0, lastCol);
  table.ClearSelection();
  table.SelectCell(anchor);
  table.SelectCell(table.GetCell(to.Row, to.Col));
  table.GetSelectionRect();
  return true;
}

namespace {

// Shift+Space (rows true) or Ctrl+Space: the lines across the selection.
bool SelectLinesOfSelection(TTable& table, bool rows) {
  const TSelectionMode mode = rows ? smRows : smColumns;
  const TSelectionMode other = rows ? smColumns : smRows;
  int first = 0;
  int last = -1;
  int anchor = -1;
  if (table.SelectionMode == mode) {
    const TArrayOfInteger lines = rows ? table.GetSelectedRows() : table.GetSelectedColumns();
    if (lines.empty()) return false;
    first = lines.front();
    last = lines.back();
  } else if (table.SelectionMode == other) {
    // Every row lies in a selected column, and every column in a row.
    last = (rows ? table.RowCount() : table.ColCount()) - 1;
  } else {
    const TCellRect r = CellsCovered(table);
    if (r.Right < 0) return false;
    first = rows ? r.Top : r.Left;
    last = rows ? r.Bottom : r.Right;
    if (const TCell* c = table.CurrentCell) anchor = rows ? c->RowIndex() : c->ColIndex();
  }
  if (last < first) return false;
  if (anchor < first || anchor > last) anchor = first;
  const int farEnd = anchor == first ? last : first;
  table.ClearSelection();
  if (rows) table.SelectRowRange(anchor, farEnd);
  else table.SelectColumnRange(anchor, farEnd);
  return true;
}

}  // namespace

bool SelectRowsOfSelection(TTable& table) { return SelectLinesOfSelection(table, true); }
bool SelectColumnsOfSelection(TTable& table) { return SelectLinesOfSelection(table, false); }
