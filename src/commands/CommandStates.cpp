#include "commands/CommandStates.h"

#include <algorithm>
#include <utility>

TCellRect SelectionBounds(TTable& table, const TArrayOfCells& cells, const TArrayOfInteger& columns,
                          const TArrayOfInteger& rows) {
  if (!cells.empty()) return table.GetSelectionRect();
  if (!columns.empty()) return {columns.front(), 0, columns.back(), table.RowCount() - 1};
  if (!rows.empty()) return {0, rows.front(), table.ColCount() - 1, rows.back()};
  return {-1, -1, -1, -1};
}

int SelectionRuleFlags(const TTable& table, const TCellRect& r) {
  bool left = true, top = true, right = true, bottom = true, innerHorz = true, innerVert = true;
  bool innerVertSeen = false, innerHorzSeen = false;
  for (int i = r.Top; i <= r.Bottom; ++i) {
    if (i < 0 || i >= table.RowCount()) continue;
    int c0 = 0;
    for (const TCell* c : *table.Rows[i]) {
      const int c1 = c0 + c->Span - 1;
      if (c0 == r.Left && !c->RuleLeft) left = false;
      if (r.Left < c0 && c0 <= r.Right) {
        if (c->RuleLeft) innerVertSeen = true;
        else innerVert = false;
      }
      if (c1 == r.Right && !c->RuleRight) right = false;
      if (r.Left <= c1 && c1 < r.Right) {
        if (c->RuleRight) innerVertSeen = true;
        else innerVert = false;
      }
      // The edges inside a block are no inner edges of the rectangle.
      const bool openAbove = c->Covered() && i > r.Top;
      const bool openBelow = c->RowSpan > 1 || (c->Covered() && [&] {
                               const TCell* below = table.GetCell(i + 1, c0);
                               return below && below->RowsToTop == c->RowsToTop + 1;
                             }());
      if (c0 <= r.Right && c1 >= r.Left && !openAbove) {
        if (!c->RuleTop) {
          if (i == r.Top) top = false;
          else innerHorz = false;
        } else if (i > r.Top) {
          innerHorzSeen = true;
        }
      }
      if (c0 <= r.Right && c1 >= r.Left && !(openBelow && i < r.Bottom)) {
        if (!c->RuleBottom) {
          if (i == r.Bottom) bottom = false;
          else innerHorz = false;
        } else if (i < r.Bottom) {
          innerHorzSeen = true;
        }
      }
      c0 = c1 + 1;
    }
  }
  innerVert = innerVert && innerVertSeen;
  innerHorz = innerHorz && innerHorzSeen;
  return (top ? rbTop : 0) | (bottom ? rbBottom : 0) | (innerHorz ? rbInnerHorz : 0) | (left ? rbLeft : 0) |
         (right ? rbRight : 0) | (innerVert ? rbInnerVert : 0);
}

char CommonAlignment(const TArrayOfCells& cells) {
  if (cells.empty()) return 0;
  const char a = cells.front()->Align;
  for (const TCell* c : cells)
    if (c->Align != a) return 0;
  return a;
}

std::string CommonColumnFormat(const TTable& table, const TArrayOfInteger& columns) {
  if (columns.empty()) return {};
  const std::string& f = table.Columns[columns.front()]->Format;
  for (int i : columns)
    if (table.Columns[i]->Format != f) return {};
  return f;
}

bool CellsInOneRow(const TArrayOfCells& cells) {
  if (cells.empty()) return false;
  // Same row object means same row index, without walking the table.
  const TRow* row = cells.front()->Row();
  for (const TCell* c : cells)
    if (c->Row() != row) return false;
  return true;
}

bool CellsJoinable(const TArrayOfCells& cells) {
  if (cells.size() < 2) return false;
  const TTable& table = *cells.front()->Table();
  const int top = cells.front()->RowIndex();
  int left = -1;
  int right = -1;
  int rowIndex = top;
  int lowest = top;  // the last row a block among the cells covers
  int whole = 0;     // cells and blocks, each counted once
  size_t k = 0;
  while (k < cells.size()) {
    const TRow* row = cells[k]->Row();
    if (rowIndex >= table.RowCount() || table.Rows[rowIndex] != row) return false;
    const int first = cells[k]->Index();
    const int start = cells[k]->ColIndex();
    int end = start - 1;
    for (int n = 0; k < cells.size() && cells[k]->Row() == row; ++k, ++n) {
      const TCell* c = cells[k];
      if (first + n >= row->Count() || (*row)[first + n] != c) return false;
      // A block that starts above the first row sticks out of the rectangle.
      if (c->RowsToTop > rowIndex - top) return false;
      if (!c->Covered()) ++whole;
      lowest = std::max(lowest, rowIndex + c->RowSpan - 1);
      end += c->Span;
    }
    if (left < 0) {
      left = start;
      right = end;
    } else if (start != left || end != right) {
      return false;
    }
    ++rowIndex;
  }
  return lowest < rowIndex && whole >= 2;
}

TCell* SelectedBlock(const TArrayOfCells& cells) {
  if (cells.empty()) return nullptr;
  TCell* top = cells.front();
  if (top->Covered() || cells.size() != static_cast<size_t>(top->RowSpan)) return nullptr;
  for (size_t k = 1; k < cells.size(); ++k)
    if (cells[k]->RowsToTop != static_cast<int>(k) || cells[k]->Span != top->Span) return nullptr;
  return top;
}

TDeleteState DeleteStateFor(const TTable& table, TFocusState focus, const TArrayOfCells& cells,
                            const TArrayOfInteger& columns, const TArrayOfInteger& rows) {
  if (focus != fsGrid) return {};
  if (!rows.empty() && static_cast<int>(rows.size()) < table.RowCount()) return {dmDeleteRows, "Delete Rows"};
  if (!columns.empty() && static_cast<int>(columns.size()) < table.ColCount())
    return {dmDeleteColumns, "Delete Columns"};
  if (cells.size() > 1 || (cells.size() == 1 && !cells.front()->Text().empty()))
    return {dmDeleteContents, "Delete Cell Contents"};
  return {};
}

const TSelection& ReadSelection(TTable& table) { return table.Selection(); }

bool RulePatternPresent(int ruleFlags, int pattern) { return pattern > 0 && (ruleFlags & pattern) == pattern; }

namespace {

// What the states derive from a selection by walking its cells or its
// rectangle. It depends on the selection, which a table's selection stamp
// names, and on the cells' rules and alignments, which gCellFormatEpoch
// counts; the last result is kept with them.
struct TSelectionFacts {
  int RuleFlags = 0;
  char Alignment = 0;
  bool Joinable = false;
};

TSelectionFacts WorkOutFacts(const TTable& table, const TSelection& selection) {
  TSelectionFacts f;
  if (!selection.Empty()) f.RuleFlags = SelectionRuleFlags(table, selection.Bounds);
  f.Alignment = CommonAlignment(selection.Cells);
  f.Joinable = CellsJoinable(selection.Cells);
  return f;
}

// AlignFaceFor with the cells' common alignment worked out already.
TAlignFace FaceFor(const TTable& table, const TSelection& selection, char cellsAlignment) {
  TAlignFace face;
  if (!selection.Columns.empty()) {
    std::string f = CommonColumnFormat(table, selection.Columns);
    if (f.size() > kCustomCaptionLimit) f.resize(kCustomCaptionLimit);
    if (f == "l") face.Checked = abLeft;
    else if (f == "c") face.Checked = abCenter;
    else if (f == "r") face.Checked = abRight;
    else if (!f.empty()) {
      face.Checked = abCustom;
      face.CustomCaption = std::move(f);
    }
    return face;
  }
  switch (cellsAlignment) {
    case 'l': face.Checked = abLeft; break;
    case 'c': face.Checked = abCenter; break;
    case 'r': face.Checked = abRight; break;
    default: break;
  }
  return face;
}

const TSelectionFacts& FactsOf(const TTable& table, const TSelection& selection) {
  static TSelectionFacts kept;
  static uint64_t keptStamp = 0;
  static uint64_t keptFormat = 0;
  static uint64_t keptSelection = 0;
  static uint64_t keptShape = 0;
  static uint64_t keptSpans = 0;
  static TSelectionFacts scratch;
  if (selection.Stamp == 0) {
    // Made by hand, not read from a table: nothing names its content.
    scratch = WorkOutFacts(table, selection);
    return scratch;
  }
  // A copy kept by a caller across changes of the table is read afresh.
  if (selection.Stamp != keptStamp || gCellFormatEpoch != keptFormat || gSelectionEpoch != keptSelection ||
      gTableShapeEpoch != keptShape || gCellSpanEpoch != keptSpans) {
    kept = WorkOutFacts(table, selection);
    keptStamp = selection.Stamp;
    keptFormat = gCellFormatEpoch;
    keptSelection = gSelectionEpoch;
    keptShape = gTableShapeEpoch;
    keptSpans = gCellSpanEpoch;
  }
  return kept;
}

}  // namespace

TAlignFace AlignFaceFor(const TTable& table, const TSelection& selection) {
  return FaceFor(table, selection, CommonAlignment(selection.Cells));
}

TCommandStates CommandStatesFor(const TTable& table, const TSelection& selection, TFocusState focus,
                                int rulesPattern) {
  const TSelectionFacts& facts = FactsOf(table, selection);
  TCommandStates s;
  const bool grid = focus == fsGrid;
  const bool sel = !selection.Empty();
  s.Cut = grid && sel;
  s.Delete = DeleteStateFor(table, focus, selection.Cells, selection.Columns, selection.Rows);
  const TCell* one = SelectedBlock(selection.Cells);
  if (one && (one->Span > 1 || one->RowSpan > 1)) {
    s.JoinFace = jfSplit;
    s.JoinEnabled = true;
  } else {
    s.JoinFace = jfJoin;
    s.JoinEnabled = grid && facts.Joinable;
  }
  s.Rules = sel;
  s.Borders = sel;
  s.RulesChecked = sel && RulePatternPresent(facts.RuleFlags, rulesPattern);
  s.AlignLetters = sel && selection.Rows.empty();
  s.AlignCustom = !selection.Columns.empty();
  s.Align = FaceFor(table, selection, facts.Alignment);
  return s;
}
