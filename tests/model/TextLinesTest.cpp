// Decoding of text files before they are split: byte-order marks, UTF-16,
// the NUL that ends the text, and cutting lines for display.
#include <gtest/gtest.h>

#include <string>

#include "model/LatexEscape.h"
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

// ------------------------------------------------------------ quoted fields

// Records as "[a|b] [c]": fields joined by |, records by a blank, a record
// without fields "[]", no records "-".
std::string Shown(const std::vector<TextLines::TRecord>& records) {
  if (records.empty()) return "-";
  std::string s;
  for (const TextLines::TRecord& r : records) {
    s += s.empty() ? "[" : " [";
    for (size_t i = 0; i < r.size(); ++i) s += (i ? "|" : "") + r[i];
    s += "]";
  }
  return s;
}

// Faults caught: a delimiter or line break inside quotes splitting the
// field; "" not turned into one quote; a quote in the middle of a field
// taken as an opening one; an unterminated quote losing the rest of the
// text; an empty quoted field lost or merged away; a record cut where a
// piece ends (inside the quotes, between the two quotes of "", or between
// CR and LF); plain text splitting differently from the unquoted rules.
TEST(QuotedSplitter, QuotedFieldCases) {
  struct Case {
    const char* name;
    std::string text;
    const char* delimiters;
    bool merge;
    const char* records;
  } cases[] = {
      {"plain text as without quoting", "a,b\r\n,c,\r\n\r\nd", ",", false, "[a|b] [|c|] [] [d]"},
      {"plain merge as without quoting", ",,a,,b,,", ",", true, "[|a|b|]"},
      {"quotes at the start", "\"a,b\",c", ",", false, "[a,b|c]"},
      {"quotes in the middle of the line", "x,\"a,b\",c", ",", false, "[x|a,b|c]"},
      {"quotes at the end of the line", "x,\"a,b\"\r\ny", ",", false, "[x|a,b] [y]"},
      {"doubled quotes", "\"say \"\"hi\"\"\",\"\"\"\"\"\"", ",", false, "[say \"hi\"|\"\"]"},
      {"a quote inside an unquoted field is a character", "ab\"c,d\"", ",", false, "[ab\"c|d\"]"},
      {"CR LF inside quotes is kept", "\"l1\r\nl2\",x\r\ny", ",", false, "[l1\r\nl2|x] [y]"},
      {"lone LF and CR inside quotes", "\"a\nb\rc\"", ",", false, "[a\nb\rc]"},
      {"unterminated quote runs to the end", "a,\"b,c\r\nd,e\r\n", ",", false, "[a|b,c\r\nd,e\r\n]"},
      {"empty quoted fields", "\"\",\"\"\r\n\"\"", ",", false, "[|] []"},
      {"an empty quoted field is not merged", "a,,\"\",,b", ",", true, "[a||b]"},
      {"text after the closing quote is kept", "\"ab\"cd,e", ",", false, "[abcd|e]"},
      {"blank before the quote: not quoted", "a, \"b,c\"", ",", false, "[a| \"b|c\"]"},
      {"tab-delimited with a quoted tab", "\"a\tb\"\tc", "\t", false, "[a\tb|c]"},
      {"the quote as a delimiter turns quoting off", "a\"b\"", "\"", false, "[a|b|]"},
      {"NUL ends the text", std::string("\"a\0b\"", 5), ",", false, "[a]"},
      {"empty text", "", ",", false, "-"},
  };
  for (const Case& c : cases) {
    const TextLines::TDelimiterSet set(c.delimiters);
    EXPECT_EQ(Shown(TextLines::SplitRecords(c.text, set, c.merge, true)), c.records) << c.name;
    // The same text handed over in pieces of every size gives the same records.
    const std::string whole = std::string(TextLines::UpToNul(c.text));
    for (size_t step = 1; step < whole.size(); ++step) {
      TextLines::TQuotedSplitter splitter(set, c.merge);
      std::vector<TextLines::TRecord> records;
      for (size_t at = 0; at < whole.size(); at += step)
        splitter.Feed(std::string_view(whole).substr(at, step), at + step >= whole.size(), records);
      EXPECT_EQ(Shown(records), c.records) << c.name << ", pieces of " << step;
    }
  }
}

// Faults caught: a typical spreadsheet export not recognised (the box would
// stay unticked), or prose with quotation marks, a quote that never closes
// or one in the middle of a field taken for quoting.
TEST(QuotedSplitter, DetectsQuotedFieldsInTypicalExports) {
  const TextLines::TDelimiterSet common(TextLines::kQuoteDetectionDelimiters);
  struct Case {
    const char* name;
    const char* text;
    bool quoted;
  } cases[] = {
      {"spreadsheet CSV, quotes only where needed", "Name,Note\nKiwis & Co,\"big, green\"\n", true},
      {"every field quoted", "\"a\",\"b\"\n\"c\",\"d\"\n", true},
      {"semicolon export with a multi-line cell", "id;text\n1;\"line one\nline two\"\n", true},
      {"tab-separated", "x\t\"y\"\n", true},
      {"empty quoted field", "a,\"\",b\n", true},
      {"quoted field at the end of the text", "a,\"b\"", true},
      {"plain CSV", "a,b\nc,d\n", false},
      {"prose with quotation marks", "He said \"hello\" and left\n", false},
      {"quote at line start closed inside the field", "\"Hi\" she said,x\n", false},
      {"unterminated quote", "a,\"b\n", false},
      {"quote in the middle of a field", "5\" screen,12\" screen\n", false},
      {"quote after a blank", "a, \"b\"\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(TextLines::HasQuotedFields(c.text, common), c.quoted) << c.name;
}

// Faults caught: spreadsheet cells with a line break or a TAB pasted as
// several cells; or ordinary text that starts with a quote (a quotation, a
// lone quote, inch marks) losing its quotes or being joined across lines.
TEST(QuotedSplitter, ClipboardTextIsQuotedOnlyWhenASpreadsheetQuotedACell) {
  struct Case {
    const char* text;
    bool quoted;
  } cases[] = {
      {"\"line 1\r\nline 2\"\tb\r\nc\td\r\n", true},
      {"a\t\"x\ty\"", true},
      {"\"multi\nline\"", true},
      {"\"say \"\"hi\"\"\nthere\"\tz", true},
      {"\"quoted words\" and more\tb", false},  // closes, but text follows
      {"\"quoted\"\tb", false},                // well-formed, but nothing a spreadsheet would quote for
      {"\"unterminated\tb\r\nc", false},
      {"a\tb\r\nc\td", false},
      {"12\"\t\"\r\n", false},  // inch mark, then a lone quote
      {"\"a\nb\"\t\"open", false},  // one good field, but another never closes
  };
  for (const Case& c : cases) EXPECT_EQ(TextLines::IsQuotedCellText(c.text), c.quoted) << c.text;
}

// Faults caught: a special character left as it is (the document would not
// compile), a wrong replacement, other text touched, or text that already
// looks escaped left alone (the option is for raw data).
TEST(LatexEscape, EverySpecialCharacterAndEscapedTextAgain) {
  struct Case {
    const char* raw;
    const char* escaped;
  } cases[] = {
      {"\\", "\\textbackslash{}"},
      {"&", "\\&"},
      {"%", "\\%"},
      {"$", "\\$"},
      {"#", "\\#"},
      {"_", "\\_"},
      {"{", "\\{"},
      {"}", "\\}"},
      {"~", "\\textasciitilde{}"},
      {"^", "\\textasciicircum{}"},
      {"Kiwis & Co: 50% of x_1", "Kiwis \\& Co: 50\\% of x\\_1"},
      {"\\&", "\\textbackslash{}\\&"},
      {"\\textbf{x}", "\\textbackslash{}textbf\\{x\\}"},
      {"plain \xC3\xA9 \"text\" <>|", "plain \xC3\xA9 \"text\" <>|"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeLatexSpecials(c.raw), c.escaped) << c.raw;
  // A NUL is no special character: looked up among the specials like the
  // rest, it would match their list's end and gain a backslash.
  EXPECT_EQ(EscapeLatexSpecials(std::string("a\0&", 3)), std::string("a\0\\&", 4));
}

}  // namespace
