#include "forms/GridQueries.h"

#include <cstdio>
#include <cstdlib>
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
      if (c0 <= r.Right && c1 >= r.Left) {
        if (!c->RuleTop) {
          if (i == r.Top) top = false;
          else innerHorz = false;
        } else if (i > r.Top) {
          innerHorzSeen = true;
        }
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
  if (cells.size() < 2 || !CellsInOneRow(cells)) return false;
  const TRow& row = *cells.front()->Row();
  const int first = cells.front()->Index();
  const int n = static_cast<int>(cells.size());
  if (first + n > row.Count()) return false;
  for (int k = 0; k < n; ++k)
    if (row[first + k] != cells[static_cast<size_t>(k)]) return false;
  return true;
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

std::string StatusText(const TTable& table) {
  const TCell* c = table.CurrentCell;
  if (!c) return {};
  const int col = c->ColIndex();
  const int row = c->RowIndex();
  char buf[96];
  if (c->Span > 1)
    std::snprintf(buf, sizeof buf, " Col: %d-%d   Row: %d", col + 1, col + c->Span, row + 1);
  else
    std::snprintf(buf, sizeof buf, " Col: %d   Row: %d", col + 1, row + 1);
  return buf;
}

namespace {

// Where the first n characters of UTF-8 text end, in bytes (the text's size
// when it has no more). A character is a lead byte and the continuation
// bytes after it, at most three; stray continuation bytes of damaged text
// count like characters, four to a character at most, so that no cut falls
// inside a valid sequence.
size_t Utf8Prefix(const std::string& text, size_t n) {
  size_t i = 0;
  for (size_t chars = 0; chars < n && i < text.size(); ++chars) {
    ++i;
    for (int k = 0; k < 3 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; ++k) ++i;
  }
  return i;
}

constexpr size_t kCaptionChars = 10;

}  // namespace

std::string TypingCaption(const std::string& text) {
  if (text.empty()) return "Typing";
  const size_t cut = Utf8Prefix(text, kCaptionChars);
  if (cut < text.size()) return "Typing " + text.substr(0, cut) + "...";
  return "Typing " + text;
}

std::string ShownCaption(const std::string& caption) {
  std::string out;
  out.reserve(caption.size());
  for (size_t i = 0; i < caption.size(); ++i) {
    const auto c = static_cast<unsigned char>(caption[i]);
    if (c < 0x20 || c == 0x7F) {
      out += ' ';
    } else if (c == 0xC2 && i + 1 < caption.size() && static_cast<unsigned char>(caption[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(caption[i + 1]) <= 0x9F) {
      out += ' ';  // U+0080 to U+009F
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

TGridPointer PointerAt(const TTable& table, int x, int y) {
  const int m = table.Margin;
  const bool rows = y >= m && y < table.PixelHeight - m;
  const bool columns = x >= m && x < table.PixelWidth - m;
  if (rows && columns) return crGridDefault;
  if (rows) return x < m ? crRow : crRow2;
  if (columns) return y < m ? crCol : crCol2;
  return crGridDefault;
}

TRect NormalizeDragRect(TRect r) {
  if (r.Right < r.Left) std::swap(r.Left, r.Right);
  if (r.Bottom < r.Top) std::swap(r.Top, r.Bottom);
  if (r.Right == r.Left) ++r.Right;
  ++r.Right;
  if (r.Bottom == r.Top) ++r.Bottom;
  ++r.Bottom;
  return r;
}

bool DragFrameVisible(const TRect& r) { return r.Right - r.Left > 6 || r.Bottom - r.Top > 6; }

bool RectsIntersect(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

int Overshoot(int pos, int size) {
  if (pos > size) return pos - size;
  if (pos < 0) return pos;
  return 0;
}

int AutoScrollStep(int overshoot, int minimum) {
  int step = overshoot / 2;
  if (step != 0 && std::abs(step) < minimum) step = overshoot > 0 ? minimum : -minimum;
  return step;
}

int ScrollToShow(int pos, int viewSize, int lo, int hi) {
  const int left = lo - pos;
  const int right = hi - pos;
  if (left < 0) return lo;
  if (right > viewSize) {
    // A span wider than the view shows its start rather than its end.
    if (hi - lo > viewSize) return lo;
    return hi - viewSize;
  }
  return pos;
}
