// Decoding of text files before they are split: byte-order marks, UTF-16,
// the NUL that ends the text, and cutting lines for display.
#include <gtest/gtest.h>

#include <string>

#include "model/TextLines.h"

namespace {

using TextLines::TTextDecoder;

struct TDecoded {
  std::string Text;
  int64_t NulAt;
  bool operator==(const TDecoded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TDecoded& d) { return os << testing::PrintToString(d.Text) << " nul " << d.NulAt; }

// The bytes handed over in pieces of at most step bytes, as a reader does.
TDecoded Decode(const std::string& bytes, size_t step) {
  TTextDecoder decoder;
  std::string out;
  for (size_t at = 0;; at += step) {
    const bool last = at + step >= bytes.size();
    const size_t from = out.size();
    out += bytes.substr(at, step);
    decoder.Decode(out, from, last);
    if (last) break;
  }
  return {out, decoder.NulAt()};
}

std::string Le(std::u16string units) {
  std::string s;
  for (char16_t u : units) s += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  return s;
}
std::string Be(std::u16string units) {
  std::string s;
  for (char16_t u : units) s += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
  return s;
}

const std::string kLeBom = "\xFF\xFE";
const std::string kBeBom = "\xFE\xFF";

// If a byte-order mark were kept, UTF-16 left as it is, a surrogate pair or
// a NUL code unit misread, or bytes lost where a piece ends inside a code
// unit or a pair, the text or the NUL offset would differ here.
TEST(TextDecoder, MarksUtf16AndTheEndOfTheText) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
    int64_t nulAt;
  } cases[] = {
      {"8-bit text as it is", "a,\xE4\r\n", "a,\xE4\r\n", -1},
      {"NUL byte ends it", std::string("ab\0cd", 5), "ab", 2},
      {"UTF-8 mark dropped", "\xEF\xBB\xBFx\xE2\x82\xAC", "x\xE2\x82\xAC", -1},
      {"UTF-8 mark only at the start", "x\xEF\xBB\xBF", "x\xEF\xBB\xBF", -1},
      {"half a UTF-8 mark is text", "\xEF\xBB", "\xEF\xBB", -1},
      {"UTF-16LE", kLeBom + Le(u"a,\u00E9\u20AC\r\n"), "a,\xC3\xA9\xE2\x82\xAC\r\n", -1},
      {"UTF-16BE", kBeBom + Be(u"a,\u00E9\u20AC\r\n"), "a,\xC3\xA9\xE2\x82\xAC\r\n", -1},
      {"surrogate pair", kLeBom + Le(u"x\U0001F600y"), "x\xF0\x9F\x98\x80y", -1},
      {"surrogate pair BE", kBeBom + Be(u"\U0001F600"), "\xF0\x9F\x98\x80", -1},
      {"lone high surrogate", kLeBom + Le(std::u16string{0xD83D, u'a'}), "\xEF\xBF\xBD" "a", -1},
      {"lone low surrogate", kLeBom + Le(std::u16string{0xDE00, u'a'}), "\xEF\xBF\xBD" "a", -1},
      {"high surrogate last", kLeBom + Le(std::u16string{u'a', 0xD83D}), "a\xEF\xBF\xBD", -1},
      {"odd last byte", kLeBom + Le(u"ab") + "c", "ab\xEF\xBF\xBD", -1},
      {"a zero byte inside a code unit is text", kLeBom + Le(u"\u0100A"), "\xC4\x80" "A", -1},
      {"NUL code unit ends it, offset in bytes", kLeBom + Le(std::u16string{u'a', u'b', 0, u'c'}), "ab", 6},
      {"NUL code unit BE", kBeBom + Be(std::u16string{u'a', 0}), "a", 4},
      {"mark alone", kLeBom, "", -1},
      {"empty", "", "", -1},
  };
  for (const Case& c : cases)
    for (size_t step : {c.bytes.size() + 1, size_t{1}, size_t{3}})
      EXPECT_EQ(Decode(c.bytes, step), (TDecoded{c.text, c.nulAt})) << c.name << ", pieces of " << step;
}

// If the scan on beyond the decoded part took any zero byte for the end of
// UTF-16 text, or missed a NUL code unit, the preview would report it wrong.
TEST(TextDecoder, FindNulUnitLooksAtWholeCodeUnits) {
  EXPECT_EQ(TextLines::FindNulUnit(Le(u"abc")), std::string_view::npos);
  EXPECT_EQ(TextLines::FindNulUnit(std::string("a\0\0b", 4)), std::string_view::npos);  // straddles two units
  EXPECT_EQ(TextLines::FindNulUnit(Le(std::u16string{u'a', 0, u'b'})), 2u);
  EXPECT_EQ(TextLines::FindNulUnit(std::string("ab\0", 3)), std::string_view::npos);  // half a unit
}

// If a preview line were cut inside a UTF-8 sequence, the display would show
// a broken character; if it cut too early, text would be missing.
TEST(TextLines, CutLineKeepsUtf8SequencesWhole) {
  struct Case {
    std::string line;
    size_t max;
    std::string cut;
  } cases[] = {
      {"abcdef", 10, "abcdef"},
      {"abcdef", 3, "abc"},
      {"ab\xE2\x82\xAC", 3, "ab"},  // inside the euro sign
      {"ab\xE2\x82\xAC", 4, "ab"},
      {"ab\xE2\x82\xAC" "c", 5, "ab\xE2\x82\xAC"},
      {"a\xF0\x9F\x98\x80", 4, "a"},
      {"a\xC3\xA9", 2, "a"},
      {"\x80\x80\x80\x80\x80", 3, "\x80\x80\x80"},  // not UTF-8: bytes as they are
  };
  for (const Case& c : cases) EXPECT_EQ(TextLines::CutLine(c.line, c.max), c.cut) << c.line << " to " << c.max;
}

}  // namespace
