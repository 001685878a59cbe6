#include "forms/grid/GridQueries.h"

#include <string>
#include <cstdlib>
#include <utility>

std::string StatusText(const TTable& table) {
  const TCell* c = table.CurrentCell;
  if (!c) return {};
  const int col = c->ColIndex();
  const int row = c->RowIndex();
  // A range where the cell covers more than one column or row.
  auto range = [](int first, int count) {
    return count > 1 ? std::to_string(first) + "-" + std::to_string(first + count - 1) : std::to_string(first);
  };
  return " Col: " + range(col + 1, c->Span) + "   Row: " + range(row + 1, c->RowSpan);
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
