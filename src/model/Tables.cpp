#include "model/Tables.h"

#include <algorithm>
#include <string>
#include <utility>

#include "model/CellPool.h"

namespace {

// Line numbers reported by the two insertion checks; they identify the check
// in bug reports and stay fixed whatever this file looks like.
constexpr int kInsertColumnCheckLine = 924;
constexpr int kInsertRowCheckLine = 982;

}  // namespace

// ---------------------------------------------------------------- TCell

namespace {

// Text versions are unique across all rows ever made: a row made where a
// freed one stood (the cell pool reuses memory) never carries a version
// that the code generator, the undo history or the view kept for the old.
uint64_t gLastTextVersion = 0;

}  // namespace

TCell::TCell(TRow& row) : FRow(&row) { row.Append(this); }

void* TCell::operator new(size_t size) { return CellPool::Allocate(size); }
void TCell::operator delete(void* p) noexcept { CellPool::Free(p); }

TTable* TCell::Table() const { return FRow->Table(); }

void TCell::SetText(std::string text) {
  FText = std::move(text);
  ExtentValid = false;
  FRow->TextVersion = ++gLastTextVersion;
  FRow->FTable->NoteTextChange(this);
}

float TCell::Height() const { return FRow->Height; }

int TCell::Index() const { return FRow->IndexOf(this); }

int TCell::ColIndex() const {
  int col = 0;
  for (const TCell* c : *FRow) {
    if (c == this) break;
    col += c->Span;
  }
  return col;
}

int TCell::RowIndex() const { return FRow->Index(); }

char TCell::EffectiveAlign() const {
  if (Align != 0) return Align;
  const TTable* table = Table();
  const int col = ColIndex();
  if (col < 0 || col >= table->ColCount()) return 'l';
  const std::string& format = table->Columns[col]->Format;
  if (format == "r") return 'r';
  if (format == "c") return 'c';
  return 'l';
}

void TCell::Assign(const TCell& source) {
  if (&source == this) return;
  FText = source.FText;
  FRow->TextVersion = ++gLastTextVersion;
  Table()->NoteTextChange(this);
  // The measured extent travels with the text when both tables measure with
  // the same font and padding, so that copying a large measured table (undo,
  // redo) does not measure every text again.
  const TTable* to = Table();
  const TTable* from = source.Table();
  ExtentValid = source.ExtentValid && (to == from || (to->ExtentFontName == from->ExtentFontName &&
                                                      to->ExtentFontSize == from->ExtentFontSize &&
                                                      to->CellPadding == from->CellPadding));
  if (ExtentValid) {
    MeasuredWidth = source.MeasuredWidth;
    MeasuredHeight = source.MeasuredHeight;
  }
  Selected = source.Selected;
  RuleLeft = source.RuleLeft;
  RuleTop = source.RuleTop;
  RuleRight = source.RuleRight;
  RuleBottom = source.RuleBottom;
  Span = source.Span;
  Align = source.Align;
  RowSpan = source.RowSpan;
  RowsToTop = source.RowsToTop;
  if (source.FBlockArgs) FBlockArgs = std::make_unique<TBlockArgs>(*source.FBlockArgs);
  else FBlockArgs.reset();
}

TCell* TCell::BlockCell() const {
  TCell* self = const_cast<TCell*>(this);
  if (RowsToTop <= 0) return self;
  const TTable& table = *Table();
  const int top = RowIndex() - RowsToTop;
  return top >= 0 ? table.GetCell(top, ColIndex()) : self;
}

int TCell::LastRowIndex() const {
  const TCell* top = BlockCell();
  return top->RowIndex() + top->RowSpan - 1;
}

const TBlockArgs& TCell::BlockArgs() const {
  static const TBlockArgs kDefaults;
  return FBlockArgs ? *FBlockArgs : kDefaults;
}

void TCell::SetBlockArgs(const TBlockArgs& args) {
  // The arguments are written into the code like an alignment: whoever
  // keeps code by the format count must see them change.
  if (args != BlockArgs()) ++gCellFormatEpoch;
  if (args == TBlockArgs()) FBlockArgs.reset();
  else FBlockArgs = std::make_unique<TBlockArgs>(args);
}

void TCell::MakePlain() {
  RowSpan = 1;
  RowsToTop = 0;
  FBlockArgs.reset();
}

// ---------------------------------------------------------------- consistency

std::string TableDefect(const TTable& table) {
  auto at = [](const char* what, int row, int col) {
    return std::string(what) + " at row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1);
  };
  const int rows = table.RowCount();
  for (int i = 0; i < rows; ++i) {
    const TRow& row = *table.Rows[i];
    int col = 0;
    for (const TCell* c : row) {
      if (c->Row() != &row) return at("cell in the wrong row", i, col);
      if (c->Span < 1) return at("span below 1", i, col);
      if (c->RowSpan < 1 || c->RowsToTop < 0) return at("row span below 1", i, col);
      if (c->RowSpan > 1 && c->RowsToTop > 0) return at("cell both joins and is covered", i, col);
      if (c->RowSpan > 1) {
        if (i + c->RowSpan > rows) return at("block crosses the table's bottom", i, col);
        if (c->RuleBottom) return at("rule inside a block", i, col);
        for (int k = 1; k < c->RowSpan; ++k) {
          const TCell* d = table.GetCell(i + k, col);
          if (!d || d->ColIndex() != col || d->Span != c->Span || d->RowsToTop != k)
            return at("block not covered below", i, col);
          if (d->RuleLeft != c->RuleLeft || d->RuleRight != c->RuleRight)
            return at("block side rules differ", i + k, col);
          if (d->RuleTop || (k + 1 < c->RowSpan && d->RuleBottom)) return at("rule inside a block", i + k, col);
        }
      }
      if (c->Covered()) {
        if (!c->Text().empty() || c->Align != 0 || c->HasBlockArgs())
          return at("covered cell holds content", i, col);
        const int top = i - c->RowsToTop;
        const TCell* t = top >= 0 ? table.GetCell(top, col) : nullptr;
        if (!t || t->ColIndex() != col || t->RowSpan <= c->RowsToTop || t->Span != c->Span)
          return at("covered cell without its block", i, col);
      }
      col += c->Span;
    }
    if (col != table.ColCount()) return at("spans do not add up", i, col);
  }
  return {};
}

// ---------------------------------------------------------------- TRow

TRow::TRow(TTable& table) : FTable(&table), TextVersion(++gLastTextVersion) { table.Rows.Append(this); }

int TRow::Index() const { return FTable->Rows.IndexOf(this); }

TCell* TRow::CellAtCol(int column) const {
  if (column < 0) return nullptr;
  int start = 0;
  for (TCell* c : *this) {
    if (column < start + c->Span) return column >= start ? c : nullptr;
    start += c->Span;
  }
  return nullptr;
}

void TRow::Assign(const TRow& source) {
  if (&source == this) return;
  Clear();
  Reserve(source.Count());
  Selected = source.Selected;
  for (const TCell* c : source) (new TCell(*this))->Assign(*c);
  Prefix = source.Prefix;
  Postfix = source.Postfix;
}

// ---------------------------------------------------------------- TColumn

TColumn::TColumn(TTable& table) : FTable(&table) { table.Columns.Append(this); }

int TColumn::Index() const { return FTable->Columns.IndexOf(this); }

TCell* TColumn::CellAtRow(int rowIndex) const {
  if (rowIndex < 0 || rowIndex >= FTable->RowCount()) return nullptr;
  return FTable->Rows[rowIndex]->CellAtCol(Index());
}

void TColumn::Assign(const TColumn& source) {
  Selected = source.Selected;
  Format = source.Format;
}

// ---------------------------------------------------------------- TTable

std::optional<TRuleStyle> RuleStyleNamed(std::string_view name) {
  auto is = [name](std::string_view word) {
    return name.size() == word.size() &&
           std::equal(name.begin(), name.end(), word.begin(), [](char a, char b) { return (a | 0x20) == b; });
  };
  if (is("classic")) return rsClassic;
  if (is("booktabs")) return rsBooktabs;
  return std::nullopt;
}

bool TTable::HasVerticalRules() const {
  for (const TRow* row : Rows)
    for (const TCell* cell : *row)
      if (cell->RuleLeft || cell->RuleRight) return true;
  return false;
}

TTable::~TTable() {
  Columns.Clear();
  Rows.Clear();
}

void TTable::Clear() {
  Rows.Clear();
  Columns.Clear();
  Extra1.clear();
  Extra2.clear();
  Extra3.clear();
  EnvOptions.clear();
  Environment = "tabular";
  Style = TTableStyle();
}

void TTable::Assign(const TTable& source) {
  if (&source == this) return;
  Columns.Clear();
  Columns.Reserve(source.ColCount());
  for (const TColumn* c : source.Columns) (new TColumn(*this))->Assign(*c);
  Rows.Clear();
  Rows.Reserve(source.RowCount());
  for (const TRow* r : source.Rows) (new TRow(*this))->Assign(*r);
  Extra1 = source.Extra1;
  Extra2 = source.Extra2;
  Extra3 = source.Extra3;
  Environment = source.Environment;
  EnvOptions = source.EnvOptions;
  Style = source.Style;
}

void TTable::TakeContent(TTable& source) {
  if (&source == this) return;
  Columns.Swap(source.Columns);
  Rows.Swap(source.Rows);
  for (TColumn* c : Columns) c->FTable = this;
  for (TRow* r : Rows) r->FTable = this;
  for (TColumn* c : source.Columns) c->FTable = &source;
  for (TRow* r : source.Rows) r->FTable = &source;
  std::swap(Extra1, source.Extra1);
  std::swap(Extra2, source.Extra2);
  std::swap(Extra3, source.Extra3);
  std::swap(Environment, source.Environment);
  std::swap(EnvOptions, source.EnvOptions);
  std::swap(Style, source.Style);
  // Measured extents stay valid only where both tables measure alike.
  if (ExtentFontName != source.ExtentFontName || ExtentFontSize != source.ExtentFontSize ||
      CellPadding != source.CellPadding) {
    for (TTable* t : {this, &source})
      for (TRow* r : t->Rows)
        for (TCell* c : *r) c->ExtentValid = false;
  }
}

TRow* TTable::AddRow() {
  TRow* row = new TRow(*this);
  const int n = ColCount();
  row->Reserve(n);
  for (int i = 0; i < n; ++i) new TCell(*row);
  return row;
}

TCell* TTable::GetCell(int rowIndex, int colIndex) const {
  if (rowIndex < 0 || rowIndex >= RowCount() || colIndex < 0 || colIndex >= ColCount()) return nullptr;
  return Rows[rowIndex]->CellAtCol(colIndex);
}

TCell* TTable::CellAt(int x, int y) const {
  // A cell's band is its row's band, so only rows whose band holds y can
  // hold the cell; this keeps a hit test on a large table cheap. A point in
  // a block is in one of its covered cells or in its own row, and either
  // way the block's own cell is the one hit.
  for (const TRow* r : Rows) {
    if (y < r->BoundsRect.Top || y >= r->BoundsRect.Bottom) continue;
    UpdateCellRects(*r);
    for (TCell* c : *r)
      if (c->BoundsRect.Left <= x && x < c->BoundsRect.Right) return c->BlockCell();
    return nullptr;
  }
  return nullptr;
}

TRow* TTable::RowAt(int x, int y) const {
  for (TRow* r : Rows)
    if (r->BoundsRect.Contains(x, y)) return r;
  return nullptr;
}

TColumn* TTable::ColumnAt(int x, int y) const {
  for (TColumn* c : Columns)
    if (c->BoundsRect.Contains(x, y)) return c;
  return nullptr;
}

void TTable::InsertColumn(int index, bool after) {
  if (index < 0 || index >= ColCount()) throw EAssertionFailed("Tables", kInsertColumnCheckLine);
  new TColumn(*this);
  Columns.Move(ColCount() - 1, after ? index + 1 : index);

  for (TRow* row : Rows) {
    int start = 0;
    for (int j = 0; j < row->Count(); ++j) {
      TCell* c = (*row)[j];
      const int s = start;
      const int e = s + c->Span - 1;
      start += c->Span;
      int place = -1;
      if (!after) {
        if (s == index) place = j;
        else if (s < index && index <= e) ++c->Span;
        else continue;
      } else {
        if (e == index) place = j + 1;
        else if (s <= index && index < e) ++c->Span;
        else continue;
      }
      if (place >= 0) {
        TCell* cell = new TCell(*row);
        row->Move(row->Count() - 1, place);
        cell->Assign(*c);
        cell->MakePlain();
        cell->Span = 1;
        cell->SetText(std::string());
        cell->Selected = false;
        const uint8_t rule = after ? c->RuleRight : c->RuleLeft;
        cell->RuleLeft = rule;
        cell->RuleRight = rule;
      }
      break;
    }
  }
}

void TTable::InsertRow(int index, bool after) {
  if (index < 0 || index >= RowCount()) throw EAssertionFailed("Tables", kInsertRowCheckLine);
  const TRow* model = Rows[index];
  const int place = after ? index + 1 : index;
  TRow* row = new TRow(*this);
  Rows.Move(RowCount() - 1, place);
  row->Reserve(model->Count());
  int col = 0;
  for (const TCell* source : *model) {
    TCell* cell = new TCell(*row);
    cell->Assign(*source);
    cell->Selected = false;
    cell->SetText(std::string());
    const int sourceCol = col;
    col += source->Span;
    if (source->RowSpan > 1 || source->Covered()) {
      // The block's rows as they stand after the insertion.
      int top = index - source->RowsToTop;
      if (top >= place) ++top;
      TCell* topCell = GetCell(top, sourceCol);
      cell->MakePlain();
      if (topCell && place > top && place < top + topCell->RowSpan) {
        // Between two of the block's rows: the block grows over the new row.
        cell->RowsToTop = place - top;
        cell->Align = 0;
        cell->RuleTop = 0;
        cell->RuleBottom = 0;
        ++topCell->RowSpan;
        for (int k = place + 1; k < top + topCell->RowSpan; ++k) ++GetCell(k, sourceCol)->RowsToTop;
        continue;
      }
      // Beside the block: a plain cell that reads like the block's.
      if (topCell) cell->Align = topCell->Align;
    }
    if (after) cell->RuleTop = source->RuleBottom;
    else cell->RuleBottom = source->RuleTop;
  }
}

void TTable::DeleteColumn(int index) {
  if (CurrentCell && CurrentCell->ColIndex() == index) CurrentCell = nullptr;
  Columns.Delete(index);
  for (TRow* row : Rows) {
    TCell* c = row->CellAtCol(index);
    if (!c) continue;
    if (c->Span >= 2) --c->Span;
    else row->Delete(c->Index());
  }
}

void TTable::DeleteRow(int index) {
  const TRow* row = Rows[index];
  if (CurrentCell && CurrentCell->Row() == row) CurrentCell = nullptr;
  int col = 0;
  for (TCell* c : *row) {
    const int cellCol = col;
    col += c->Span;
    if (c->RowSpan == 1 && !c->Covered()) continue;
    const int top = index - c->RowsToTop;
    TCell* topCell = GetCell(top, cellCol);
    if (!topCell) continue;  // a damaged table: nothing to keep whole
    const int last = std::min(top + topCell->RowSpan - 1, RowCount() - 1);
    for (int k = index + 1; k <= last; ++k) --GetCell(k, cellCol)->RowsToTop;
    TCell* next = GetCell(index + 1, cellCol);
    if (c == topCell && next) {
      // The cell below takes over the block and what it shows.
      next->SetText(c->Text());
      next->Align = c->Align;
      next->RowSpan = c->RowSpan - 1;
      if (next->RowSpan > 1) next->SetBlockArgs(c->BlockArgs());
      next->RuleTop = c->RuleTop;
      next->Selected = c->Selected;
    } else if (c != topCell) {
      --topCell->RowSpan;
      if (index == last && index > 0) GetCell(index - 1, cellCol)->RuleBottom = c->RuleBottom;
    }
  }
  Rows.Delete(index);
}

namespace {

// Whether the cell at row, col (a cell of that row) is the last row of
// its block, where a rule below it lies on the block's outline.
bool EndsBlockAt(const TTable& table, const TCell& cell, int row, int col) {
  if (cell.RowSpan > 1) return false;
  if (!cell.Covered()) return true;
  const TCell* below = table.GetCell(row + 1, col);
  return !below || below->RowsToTop != cell.RowsToTop + 1;
}

// Sets the left or right rule of the cell at row, col, and the facing rule
// of facing, the cell next to that side (if any). When the cell is part of
// a block its other parts get the rule too, and so do the cells facing
// them, since a block has one rule on each side.
void SetSideRule(const TTable& table, TCell& cell, int row, int col, bool left, uint8_t value, TCell* facing) {
  (left ? cell.RuleLeft : cell.RuleRight) = value;
  if (facing) (left ? facing->RuleRight : facing->RuleLeft) = value;
  if (cell.RowSpan == 1 && !cell.Covered()) return;
  const int top = row - cell.RowsToTop;
  const TCell* topCell = table.GetCell(top, col);
  for (int k = 0; topCell && k < topCell->RowSpan; ++k) {
    TCell* part = table.GetCell(top + k, col);
    if (!part || top + k == row) continue;
    (left ? part->RuleLeft : part->RuleRight) = value;
    if (TCell* next = table.GetCell(top + k, left ? col - 1 : col + part->Span))
      (left ? next->RuleRight : next->RuleLeft) = value;
  }
}

}  // namespace

void TTable::SetRules(const TCellRect& rect, int bits, uint8_t value) {
  // Cells only partly inside the columns get no top, bottom or inner rules.
  auto inside = [&rect](int s, int e) { return s >= rect.Left && e <= rect.Right; };
  // A rule above or below a cell is set only on a block's outline.
  auto setTop = [&](TCell& c) {
    if (!c.Covered()) c.RuleTop = value;
  };
  auto setBottom = [&](TCell& c, int i, int s) {
    if (EndsBlockAt(*this, c, i, s)) c.RuleBottom = value;
  };
  auto markNeighbourRow = [&](int i, bool below) {
    TRow* row = Rows[i];
    int s = 0;
    for (TCell* c : *row) {
      const int e = s + c->Span - 1;
      if (inside(s, e)) {
        if (below) setTop(*c);
        else setBottom(*c, i, s);
      }
      s = e + 1;
    }
  };

  for (int i = rect.Top; i <= rect.Bottom; ++i) {
    TRow* row = Rows[i];
    const int n = row->Count();
    int s = 0;
    for (int j = 0; j < n; ++j) {
      TCell* c = (*row)[j];
      const int e = s + c->Span - 1;
      TCell* before = j > 0 ? (*row)[j - 1] : nullptr;
      TCell* after = j < n - 1 ? (*row)[j + 1] : nullptr;
      if ((bits & rbLeft) && s == rect.Left) {
        SetSideRule(*this, *c, i, s, true, value, before);
        if (before) SetSideRule(*this, *before, i, s - before->Span, false, value, c);
      }
      if ((bits & rbRight) && e == rect.Right) {
        SetSideRule(*this, *c, i, s, false, value, after);
        if (after) SetSideRule(*this, *after, i, e + 1, true, value, c);
      }
      if (inside(s, e)) {
        if (bits & rbInnerVert) {
          if (s > rect.Left) SetSideRule(*this, *c, i, s, true, value, nullptr);
          if (e < rect.Right) SetSideRule(*this, *c, i, s, false, value, nullptr);
        }
        if ((bits & rbTop) && i == rect.Top) setTop(*c);
        if ((bits & rbBottom) && i == rect.Bottom) setBottom(*c, i, s);
        if (bits & rbInnerHorz) {
          if (i > rect.Top) setTop(*c);
          if (i < rect.Bottom) setBottom(*c, i, s);
        }
      }
      s = e + 1;
    }
    if ((bits & rbTop) && i == rect.Top && i > 0) markNeighbourRow(i - 1, false);
    if ((bits & rbBottom) && i == rect.Bottom && i < RowCount() - 1) markNeighbourRow(i + 1, true);
  }
}

// ---------------------------------------------------------------- selection

namespace {

// Numbers the contents a table's selection was read with (TSelection::Stamp).
uint64_t gSelectionSerial = 0;

}  // namespace

bool TTable::SelectionKept() const {
  return FSelectionValid && FSelectionShape == gTableShapeEpoch && FSelectionEpoch == gSelectionEpoch &&
         FSelectionSpans == gCellSpanEpoch;
}

void TTable::KeepSelection() {
  FSelection.Stamp = ++gSelectionSerial;
  FSelectionShape = gTableShapeEpoch;
  FSelectionEpoch = gSelectionEpoch;
  FSelectionSpans = gCellSpanEpoch;
  FSelectionValid = true;
}

void TTable::ClearSelection() {
  if (SelectionKept()) {
    // The kept selection names every flag that is set.
    for (TCell* c : FSelection.Cells) c->Selected = false;
    for (int i : FSelection.Rows) Rows[i]->Selected = false;
    for (int i : FSelection.Columns) Columns[i]->Selected = false;
  } else {
    for (TRow* row : Rows) {
      row->Selected = false;
      for (TCell* c : *row) c->Selected = false;
    }
    for (TColumn* c : Columns) c->Selected = false;
  }
  FSelection = TSelection{};
  KeepSelection();
  SelectionMode = smNone;
  AnchorRow = -1;
  AnchorCol = -1;
}

void TTable::SelectCell(TCell* cell) {
  if (SelectionMode != smCells) ClearSelection();
  if (cell && cell->Covered()) cell = cell->BlockCell();
  if (cell && !cell->Selected) {
    const bool wasEmpty = SelectionKept() && FSelection.Empty();
    cell->Selected = true;
    const bool block = cell->RowSpan > 1;
    const int col = block || wasEmpty ? cell->ColIndex() : 0;
    const int row = block || wasEmpty ? cell->RowIndex() : 0;
    if (wasEmpty) FSelection.Cells.assign(1, cell);
    for (int k = 1; block && k < cell->RowSpan; ++k) {
      TCell* part = GetCell(row + k, col);
      part->Selected = true;
      if (wasEmpty) FSelection.Cells.push_back(part);
    }
    if (wasEmpty) {
      // One cell or block is its own rectangle of whole cells.
      FSelection.Bounds = {col, row, col + cell->Span - 1, row + cell->RowSpan - 1};
      KeepSelection();
    }
  }
  SelectionMode = smCells;
}

void TTable::SelectRow(int index) {
  if (SelectionMode != smRows) ClearSelection();
  if (AnchorRow == -1) AnchorRow = index;
  SelectionMode = smRows;
  Rows[index]->Selected = true;
}

void TTable::SelectColumn(int index) {
  if (SelectionMode != smColumns) ClearSelection();
  if (AnchorCol == -1) AnchorCol = index;
  SelectionMode = smColumns;
  Columns[index]->Selected = true;
}

void TTable::SelectRowRange(int anchor, int index) {
  if (anchor < 0) return SelectRow(index);
  ClearSelection();
  AnchorRow = anchor;
  for (int i = std::min(anchor, index); i <= std::max(anchor, index); ++i) Rows[i]->Selected = true;
  SelectionMode = smRows;
}

void TTable::SelectColumnRange(int anchor, int index) {
  if (anchor < 0) return SelectColumn(index);
  ClearSelection();
  AnchorCol = anchor;
  for (int i = std::min(anchor, index); i <= std::max(anchor, index); ++i) Columns[i]->Selected = true;
  SelectionMode = smColumns;
}

void TTable::ReadSelectionAnew(const std::vector<int>* within) {
  TSelection s;
  TCellRect r{ColCount(), RowCount(), -1, -1};
  auto readRow = [&](int i) {
    const TRow* row = Rows[i];
    if (row->Selected) s.Rows.push_back(i);
    int col = 0;
    for (TCell* c : *row) {
      if (c->Selected) {
        s.Cells.push_back(c);
        r.Top = std::min(r.Top, i);
        r.Bottom = std::max(r.Bottom, i);
        r.Left = std::min(r.Left, col);
        r.Right = std::max(r.Right, col + c->Span - 1);
      }
      col += c->Span;
    }
  };
  if (within) {
    for (int i : *within) readRow(i);
  } else {
    for (int i = 0; i < RowCount(); ++i) readRow(i);
  }
  int i = 0;
  for (const TColumn* c : Columns) {
    if (c->Selected) s.Columns.push_back(i);
    ++i;
  }

  if (!s.Cells.empty()) {
    // Joined cells and blocks that stick out of the rectangle widen it,
    // which can pull in further cells of other rows and columns: repeat
    // until the rectangle is stable.
    bool grown = false;
    bool changed = true;
    while (changed) {
      changed = false;
      for (int k = r.Top; k <= r.Bottom; ++k) {
        int col = 0;
        for (TCell* c : *Rows[k]) {
          const int e = col + c->Span - 1;
          if ((c->RowSpan > 1 || c->Covered()) && col <= r.Right && e >= r.Left) {
            const int top = k - c->RowsToTop;
            const TCell* topCell = c->Covered() ? GetCell(top, col) : c;
            const int last = topCell ? top + topCell->RowSpan - 1 : k;
            if (topCell && (top < r.Top || last > r.Bottom)) {
              if (within) return;
              r.Top = std::min(r.Top, top);
              r.Bottom = std::max(r.Bottom, last);
              grown = changed = true;
            }
          }
          if (!c->Selected && col <= r.Right && e >= r.Left) {
            // Reading within rows is for a restore, which must leave the
            // flags as they were restored: such a selection is not kept.
            if (within) return;
            c->Selected = true;
            grown = true;
            if (col < r.Left) {
              r.Left = col;
              changed = true;
            }
            if (e > r.Right) {
              r.Right = e;
              changed = true;
            }
          }
          col = e + 1;
        }
      }
    }
    if (grown) {
      // Every selected cell lies in the rectangle's rows.
      FSelectionGrown = true;
      s.Cells.clear();
      for (int k = r.Top; k <= r.Bottom; ++k)
        for (TCell* c : *Rows[k])
          if (c->Selected) s.Cells.push_back(c);
    }
    s.Bounds = r;
  } else if (!s.Columns.empty()) {
    s.Bounds = {s.Columns.front(), 0, s.Columns.back(), RowCount() - 1};
  } else if (!s.Rows.empty()) {
    s.Bounds = {0, s.Rows.front(), ColCount() - 1, s.Rows.back()};
  }
  FSelection = std::move(s);
  KeepSelection();
}

const TSelection& TTable::Selection() {
  if (!SelectionKept()) ReadSelectionAnew();
  return FSelection;
}

TCellRect TTable::GetSelectionRect() {
  const TSelection& s = Selection();
  if (s.Cells.empty()) return {ColCount(), RowCount(), -1, -1};
  return s.Bounds;
}

void TTable::ReadSelectionWithin(const std::vector<int>& rows) { ReadSelectionAnew(&rows); }

bool TTable::TakeSelectionGrowth() { return std::exchange(FSelectionGrown, false); }

TArrayOfCells TTable::GetSelectedCells() const {
  TArrayOfCells cells;
  for (const TRow* row : Rows)
    for (TCell* c : *row)
      if (c->Selected) cells.push_back(c);
  return cells;
}

TArrayOfInteger TTable::GetSelectedRows() const {
  TArrayOfInteger result;
  for (int i = 0; i < RowCount(); ++i)
    if (Rows[i]->Selected) result.push_back(i);
  return result;
}

TArrayOfInteger TTable::GetSelectedColumns() const {
  TArrayOfInteger result;
  for (int i = 0; i < ColCount(); ++i)
    if (Columns[i]->Selected) result.push_back(i);
  return result;
}
