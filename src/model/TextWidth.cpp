#include "model/TextWidth.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

struct TRange {
  char32_t First;
  char32_t Last;
};

bool InRanges(char32_t c, const TRange* begin, const TRange* end) {
  const TRange* r = std::upper_bound(begin, end, c, [](char32_t v, const TRange& x) { return v < x.First; });
  return r != begin && c <= (r - 1)->Last;
}

// Combining marks and format characters, sorted.
constexpr TRange kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0670, 0x0670}, {0x06D6, 0x06DC}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide and full-width characters, sorted.
constexpr TRange kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// The code point starting at text[i] and its length; length 0 for a byte
// that does not start a valid sequence.
char32_t Decode(std::string_view text, size_t i, size_t& length) {
  const auto b = static_cast<unsigned char>(text[i]);
  length = 0;
  size_t n;
  char32_t c;
  if (b < 0x80) {
    length = 1;
    return b;
  }
  if (b >= 0xC2 && b <= 0xDF) n = 2, c = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) n = 3, c = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) n = 4, c = b & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    c = c << 6 | (t & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not characters.
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  length = n;
  return c;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length;
    const char32_t c = Decode(text, i, length);
    if (length == 0) {
      ++width;
      ++i;
      continue;
    }
    i += length;
    if (c < 0x300) ++width;
    else if (InRanges(c, std::begin(kZeroWidth), std::end(kZeroWidth))) continue;
    else width += InRanges(c, std::begin(kWide), std::end(kWide)) ? 2 : 1;
  }
  return width;
}
