// Painting the table on a canvas, and laying out the cells' rectangles.
#include <algorithm>
#include <vector>

#include "model/TableLayout.h"

using namespace TableLayout;

namespace {

TRect Inflated(const TRect& r, int d) { return {r.Left - d, r.Top - d, r.Right + d, r.Bottom + d}; }

// Does the area (l, t, r, b) meet the clip rectangle? No clip meets everything.
inline bool Meets(const TRect* clip, int l, int t, int r, int b) {
  return !clip || (l < clip->Right && r > clip->Left && t < clip->Bottom && b > clip->Top);
}

// Each rule covers its whole edge including both corners; a rule shared
// with a neighbour falls on the same pixels from either side.
void PaintVerticalRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  if (c.RuleLeft) {
    canvas.MoveTo(b.Left, b.Top);
    canvas.LineTo(b.Left, b.Bottom + 1);
  }
  if (c.RuleRight) {
    canvas.MoveTo(b.Right, b.Top);
    canvas.LineTo(b.Right, b.Bottom + 1);
  }
}

void PaintClassicRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  canvas.SetPenColor(clWindowText);
  if (c.RuleTop) {
    canvas.MoveTo(b.Left, b.Top);
    canvas.LineTo(b.Right + 1, b.Top);
  }
  if (c.RuleBottom) {
    canvas.MoveTo(b.Left, b.Bottom);
    canvas.LineTo(b.Right + 1, b.Bottom);
  }
  PaintVerticalRules(c, canvas);
}

// How far booktabs trims a partial rule's end, in pixels.
constexpr int kBooktabsTrim = 3;

// Booktabs rules as they typeset: the table's top and bottom rules heavier
// than the others; a rule's end trimmed where it does not run on into the
// same rule of the neighbouring cell, and inside the table also between
// two joined cells (the code makes the rules under group headings
// \cmidrule of their own); vertical rules greyed, since the code leaves
// them out.
void PaintBooktabsRules(const TCell& c, TCanvas& canvas) {
  const TRect& b = c.BoundsRect;
  const TTable& table = *c.Table();
  const TRow& row = *c.Row();
  const int index = c.Index();
  const TCell* left = index > 0 ? row[index - 1] : nullptr;
  const TCell* right = index + 1 < row.Count() ? row[index + 1] : nullptr;
  const bool firstRow = &row == table.Rows.First();
  const bool lastRow = &row == table.Rows.Last();
  auto horizontal = [&](TRuleFlag TCell::*rule, int y, bool edgeRow, int inward) {
    if (!(c.*rule)) return;
    // \toprule and \bottomrule only where the rule runs over the whole
    // table; a partial one there is a \cmidrule.
    const bool frame = edgeRow && std::all_of(row.begin(), row.end(), [rule](const TCell* n) { return n->*rule != 0; });
    auto trimmed = [&](const TCell* n) { return n && (!(n->*rule) || (!edgeRow && c.Span > 1 && n->Span > 1)); };
    const int x1 = b.Left + (trimmed(left) ? kBooktabsTrim : 0);
    const int x2 = b.Right + 1 - (trimmed(right) ? kBooktabsTrim : 0);
    canvas.MoveTo(x1, y);
    canvas.LineTo(x2, y);
    if (frame) {
      canvas.MoveTo(x1, y + inward);
      canvas.LineTo(x2, y + inward);
    }
  };
  canvas.SetPenColor(clBtnShadow);
  PaintVerticalRules(c, canvas);
  canvas.SetPenColor(clWindowText);
  horizontal(&TCell::RuleTop, b.Top, firstRow, 1);
  horizontal(&TCell::RuleBottom, b.Bottom, lastRow, -1);
}

// The rules of a cell that a block covers, on its own row's band.
void PaintCoveredRules(const TCell& c, TCanvas& canvas, TRuleStyle style) {
  if (style == rsBooktabs) PaintBooktabsRules(c, canvas);
  else PaintClassicRules(c, canvas);
}

void PaintCell(TCell& c, TCanvas& canvas, char align, const TColumnLook* look, const TLooks& looks) {
  const TTable& table = *c.Table();
  canvas.SetFont(table.FontName, table.FontSize);

  // The selection sits 2 pixels inside the cell's edges so that rules and
  // grid lines stay visible; it reaches one pixel further right and down
  // to cover the pixels the next cell's edge would otherwise leave bare.
  TRect r = Inflated(c.BoundsRect, -2);
  ++r.Right;
  ++r.Bottom;

  if (&c == table.CurrentCell) {
    canvas.SetBrushColor(clWindow);
    canvas.DrawFocusRect(Inflated(r, 1));
  }

  if (c.Selected) {
    canvas.SetBrushColor(clHighlight);
    if (table.HasFocus) {
      canvas.FillRect(r);
      canvas.SetFontColor(clHighlightText);
    } else {
      canvas.FrameRect(r);
      canvas.SetFontColor(clWindowText);
    }
  } else {
    canvas.SetFontColor(clWindowText);
  }

  const TRect& b = c.BoundsRect;
  if (table.Style.Rules == rsBooktabs) {
    PaintBooktabsRules(c, canvas);
  } else {
    PaintClassicRules(c, canvas);
  }

  // The vertical rules of the column's format, drawn as a cell's own: "||"
  // is two lines, the second two pixels inside the first.
  if (look) {
    for (int i = 0; i < look->RulesLeft; ++i) {
      canvas.MoveTo(b.Left + 2 * i, b.Top);
      canvas.LineTo(b.Left + 2 * i, b.Bottom + 1);
    }
    for (int i = 0; i < look->RulesRight; ++i) {
      canvas.MoveTo(b.Right - 2 * i, b.Top);
      canvas.LineTo(b.Right - 2 * i, b.Bottom + 1);
    }
  }

  if (!c.Text().empty()) {
    TRect textRect = Inflated(b, -table.CellPadding);
    const float padding = static_cast<float>(2 * table.CellPadding);
    const bool wrapped = align != 'c' && align != 'r' && Wraps(c, look) &&
                         c.MeasuredWidth - padding > looks.TextWidth(*look);
    std::string wrappedText;
    if (wrapped) wrappedText = WrapText(canvas, c.Text(), looks.TextWidth(*look));
    const std::string& text = wrapped ? wrappedText : c.Text();
    // A block's text stands in the middle of its rows, as \multirow sets it.
    if (c.RowSpan > 1) {
      const float height = wrapped ? canvas.TextExtent(text).Height : c.MeasuredHeight - padding;
      const int room = textRect.Bottom - textRect.Top - R(height);
      if (room > 1) textRect.Top += room / 2;
    }
    canvas.SetBrushStyle(TBrushStyle::Clear);
    switch (align) {
      case 'c': canvas.TextRect(textRect, text, TTextAlign::Center, false); break;
      case 'r': canvas.TextRect(textRect, text, TTextAlign::Right, false); break;
      default: canvas.TextRect(textRect, text, TTextAlign::Left, true); break;
    }
  }

  canvas.SetBrushStyle(TBrushStyle::Solid);
  canvas.SetBrushColor(clWindow);
  canvas.SetFontColor(clWindowText);
}

// A selected row or column shows as a band framed in button shadow and
// filled with button face.
void PaintBand(TCanvas& canvas, TRect r) {
  canvas.SetBrushColor(clBtnShadow);
  canvas.FrameRect(r);
  canvas.SetBrushColor(clBtnFace);
  canvas.FillRect(Inflated(r, -1));
}

}  // namespace

// ---------------------------------------------------------------- painting

void TRow::PaintMarks(TCanvas& canvas) {
  // The marks and the band work on the row's band pulled in to the content,
  // one pixel wider and higher to take in the rules on its far edges.
  const int margin = FTable->Margin;
  TRect r = BoundsRect;
  r.Left += margin;
  r.Right -= margin - 1;
  r.Bottom += 1;

  // Red bars in the side margins say that the row carries LaTeX text of
  // its own before or after its cells.
  if (!Prefix.empty()) {
    canvas.SetBrushColor(clRed);
    canvas.FillRect({r.Left - 4, r.Top + 4, r.Left - 2, r.Bottom - 4});
  }
  if (!Postfix.empty()) {
    canvas.SetBrushColor(clRed);
    canvas.FillRect({r.Right + 2, r.Top + 4, r.Right + 4, r.Bottom - 4});
  }
  if (Selected) PaintBand(canvas, r);
  canvas.SetBrushColor(clWindow);
}

void TColumn::Paint(TCanvas& canvas) {
  if (Selected) {
    const int margin = FTable->Margin;
    TRect r = BoundsRect;
    r.Top += margin;
    r.Bottom -= margin - 1;
    r.Right += 1;
    PaintBand(canvas, r);
  }
  canvas.SetBrushColor(clWindow);
}

void TCell::Paint(TCanvas& canvas) {
  // A covered cell shows nothing of its own: its block's cell draws it.
  if (Covered()) {
    PaintCoveredRules(*this, canvas, Table()->Style.Rules);
    return;
  }
  const TLooks looks(*Table(), canvas);
  const int col = ColIndex();
  PaintCell(*this, canvas, AlignOf(*this, looks.At(col)), looks.Of(col, Span), looks);
}

namespace {
// Stamps are unique across all tables, so that a row moved to another table
// (TakeContent) never carries a stamp that is current there.
uint64_t gLastCellRectsStamp = 0;
}  // namespace

void TTable::NewCellRectsStamp() { FCellRectsStamp = ++gLastCellRectsStamp; }

void TTable::UpdateCellRects(const TRow& row) const { UpdateCellRects(row, -1); }

void TTable::UpdateCellRects(const TRow& row, int index) const {
  // Before the first Paint there is no layout to bring up to date.
  if (row.FCellRectsStamp == FCellRectsStamp || FCellRectsStamp == 0) return;
  // The same sums as a complete layout makes: the cells' widths added up
  // from the margin, each edge rounded on its own.
  const int top = row.BoundsRect.Top;
  const int bottom = row.BoundsRect.Bottom;
  float x = static_cast<float>(Margin);
  int left = R(x);
  for (TCell* c : row) {
    x += c->Width;
    const int right = R(x);
    TRect bounds{left, top, right, bottom};
    // A block's own cell reaches down to the bottom of its last row, so
    // that it is drawn, framed and hit as one cell; its covered cells keep
    // their own row's band.
    if (c->RowSpan > 1) {
      if (index < 0) index = row.Index();
      bounds.Bottom = Rows[std::min(index + c->RowSpan - 1, RowCount() - 1)]->BoundsRect.Bottom;
    }
    if (!(c->BoundsRect == bounds)) c->BoundsRect = bounds;
    left = right;
  }
  row.FCellRectsStamp = FCellRectsStamp;
}

void TTable::UpdateCellRects() const {
  int index = 0;
  for (const TRow* row : Rows) UpdateCellRects(*row, index++);
}

void TTable::LayOut(const TRect* clip) {
  if (FCellRectsEpoch != gTableShapeEpoch || FCellRectsMargin != Margin || FCellRectsStamp == 0) {
    NewCellRectsStamp();
    FCellRectsEpoch = gTableShapeEpoch;
    FCellRectsMargin = Margin;
  }
  // Every row's band is laid out, since the hit tests find rows by them.
  const float y0 = static_cast<float>(Margin);
  const int rowCount = RowCount();
  const bool blocks = !FBlockRows.empty();
  // Which rows' bands moved, kept only when blocks need to know: a block's
  // own cell is laid out again when the bottom of its last row moved.
  std::vector<uint8_t> moved;
  if (blocks) moved.assign(static_cast<size_t>(rowCount), 0);
  float y = y0;
  int rowIndex = 0;
  for (TRow* row : Rows) {
    const int top = R(y);
    const int bottom = R(y + row->Height);
    y += row->Height;
    const TRect band{0, top, PixelWidth, bottom};
    if (!(row->BoundsRect == band)) {
      row->BoundsRect = band;
      row->FCellRectsStamp = 0;
      if (blocks) moved[static_cast<size_t>(rowIndex)] = 1;
    }
    ++rowIndex;
  }
  for (const auto& [first, last] : FBlockRows)
    if (last < rowCount && moved[static_cast<size_t>(last)]) Rows[first]->FCellRectsStamp = 0;
  FBandsBottom = R(y);

  float x = static_cast<float>(Margin);
  for (TColumn* col : Columns) {
    const int left = R(x);
    x += col->Width;
    col->BoundsRect = {left, 0, R(x), PixelHeight};
  }
  rowIndex = 0;
  for (const TRow* row : Rows) {
    const TRect& b = row->BoundsRect;
    if (Meets(clip, 0, b.Top, PixelWidth, b.Bottom + 1)) UpdateCellRects(*row, rowIndex);
    ++rowIndex;
  }
}

void TTable::Paint(TCanvas& canvas, const TRect* clip) {
  const float x0 = static_cast<float>(Margin);
  // A table without rows or columns has no grid to draw; its lines would
  // shrink to a stray dot in the corner.
  const bool grid = ShowGrid && RowCount() > 0 && ColCount() > 0;
  const int gridLeft = R(x0);
  const int gridRight = R(x0 + ContentWidth) + 1;
  canvas.SetBrushStyle(TBrushStyle::Solid);
  if (grid) canvas.SetPenColor(clBtnFace);

  // The cells only of the rows that meet the clip rectangle are laid out,
  // and only what meets it is drawn. Everything a row draws lies between its
  // top and its bottom edge inclusive, but for a block's own cell, which
  // reaches down over the rows it covers.
  LayOut(clip);
  const bool blocks = !FBlockRows.empty();
  const int bottomLine = FBandsBottom;
  int rowIndex = -1;
  for (TRow* row : Rows) {
    ++rowIndex;
    const int top = row->BoundsRect.Top;
    const int bottom = row->BoundsRect.Bottom;
    if (!Meets(clip, 0, top, PixelWidth, bottom + 1)) continue;
    UpdateCellRects(*row, rowIndex);
    if (!grid) continue;
    if (!blocks) {
      canvas.MoveTo(gridLeft, top);
      canvas.LineTo(gridRight, top);
    } else {
      // No grid line runs through a block: the line over a row breaks off
      // over the cells that a block above covers.
      int from = gridLeft;
      for (const TCell* c : *row) {
        if (!c->Covered()) continue;
        if (c->BoundsRect.Left > from) {
          canvas.MoveTo(from, top);
          canvas.LineTo(c->BoundsRect.Left, top);
        }
        from = c->BoundsRect.Right;
      }
      if (gridRight > from) {
        canvas.MoveTo(from, top);
        canvas.LineTo(gridRight, top);
      }
    }
    int left = gridLeft;
    for (const TCell* c : *row) {
      left = c->BoundsRect.Left;
      if (Meets(clip, left, top, left + 1, bottom + 1)) {
        canvas.MoveTo(left, top);
        canvas.LineTo(left, bottom + 1);
      }
      left = c->BoundsRect.Right;
    }
    // The closing line spans the same pixels as the cells' left lines.
    if (Meets(clip, left, top, left + 1, bottom + 1)) {
      canvas.MoveTo(left, top);
      canvas.LineTo(left, bottom + 1);
    }
  }
  if (grid && Meets(clip, gridLeft, bottomLine, gridRight, bottomLine + 1)) {
    canvas.MoveTo(gridLeft, bottomLine);
    canvas.LineTo(gridRight, bottomLine);
  }

  const TLooks looks(*this, canvas);

  // Row and column bands first, so that they show through the cells that
  // draw no background of their own.
  for (TRow* row : Rows) {
    const TRect& b = row->BoundsRect;
    if (Meets(clip, b.Left, b.Top, b.Right, b.Bottom + 1)) row->PaintMarks(canvas);
  }
  // Adjacent selected columns make one band. Framed one by one, each
  // band's edge would cross the joined cells that span the two columns,
  // where no grid line runs, as a line that is neither rule nor grid.
  const int colCount = ColCount();
  for (int i = 0; i < colCount;) {
    if (!Columns[i]->Selected) {
      ++i;
      continue;
    }
    int last = i;
    while (last + 1 < colCount && Columns[last + 1]->Selected) ++last;
    if (last == i) {
      const TRect& b = Columns[i]->BoundsRect;
      if (Meets(clip, b.Left, b.Top, b.Right + 1, b.Bottom)) Columns[i]->Paint(canvas);
    } else {
      TRect r{Columns[i]->BoundsRect.Left, Margin, Columns[last]->BoundsRect.Right + 1, PixelHeight - Margin + 1};
      if (Meets(clip, r.Left, r.Top, r.Right, r.Bottom)) {
        PaintBand(canvas, r);
        canvas.SetBrushColor(clWindow);
      }
    }
    i = last + 1;
  }
  // A block is drawn with its own row; one whose own row lies above the
  // clip but that reaches into it, with the first row that shows.
  bool firstShown = true;
  rowIndex = -1;
  for (TRow* row : Rows) {
    ++rowIndex;
    const TRect& rb = row->BoundsRect;
    if (!Meets(clip, rb.Left, rb.Top, rb.Right, rb.Bottom + 1)) continue;
    const bool first = firstShown;
    firstShown = false;
    int col = 0;
    for (TCell* c : *row) {
      const TRect& b = c->BoundsRect;
      const int start = col;
      col += c->Span;
      const bool meets = Meets(clip, b.Left, b.Top, b.Right + 1, b.Bottom + 1);
      if (c->Covered()) {
        if (!meets) continue;
        const int topRow = rowIndex - c->RowsToTop;
        if (first && topRow >= 0) {
          TRow& above = *Rows[topRow];
          UpdateCellRects(above, topRow);
          TCell* own = above.CellAtCol(start);
          if (own && own->RowSpan > 1)
            PaintCell(*own, canvas, AlignOf(*own, looks.At(start)), looks.Of(start, own->Span), looks);
        }
        // Its left and right rules are its block's; only the last covered
        // cell's bottom rule, the block's own, adds anything.
        PaintCoveredRules(*c, canvas, Style.Rules);
        continue;
      }
      // Centred and right-aligned text is drawn on one line, so text with
      // line breaks can stick out of its cell; such a cell is drawn
      // whenever its row is.
      if (!meets && !HasLineBreak(c->Text())) continue;
      const TColumnLook* look = looks.Of(start, c->Span);
      const char align = AlignOf(*c, looks.At(start));
      if (meets || align != 'l') PaintCell(*c, canvas, align, look, looks);
    }
  }
}
