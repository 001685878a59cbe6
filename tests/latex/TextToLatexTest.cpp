// Text input written straight to LaTeX must give exactly the code of the
// table that importing the same text makes: any divergence in splitting,
// padding, escaping, decoding or the environment lines shows here.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "latex/TabToLatex.h"
#include "model/Errors.h"
#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextImport.h"

namespace {

// The code as the converter writes it for an imported table.
std::string TablePath(const std::string& text, const TTextImportOptions& options, size_t pieceSize, int64_t& nulAt) {
  TMemoryStream stream(text);
  TTable table;
  nulAt = table.ImportText(stream, "in", options);
  std::string out, all;
  TableToLatex(table, out, [&all](std::string& piece) { all += piece; piece.clear(); }, pieceSize);
  return all;
}

std::string StreamPath(const std::string& text, const TTextImportOptions& options, size_t pieceSize, int64_t& nulAt) {
  TMemoryStream stream(text);
  const TTextShape shape = MeasureText(stream, "in", options);
  std::string out, all;
  nulAt = TextToLatex(stream, shape, options, out, [&all](std::string& piece) { all += piece; piece.clear(); },
                      pieceSize);
  EXPECT_EQ(nulAt, shape.NulAt);
  return all;
}

// Random text rich in what splitting and escaping look at: delimiters of
// every set below, quotes, every kind of line break, LaTeX specials, 8-bit
// bytes, now and then a NUL; sometimes behind a byte-order mark or in
// UTF-16 of either order.
std::string RandomText(std::mt19937& rng) {
  static const std::string kAlphabet = "ab7 ,,;\t\"\"\r\n\n\\&%_{}~^\xC3\xA9";
  std::uniform_int_distribution<int> length(0, 120), pick(0, static_cast<int>(kAlphabet.size()) - 1), percent(0, 99);
  std::string text;
  for (int n = length(rng); n > 0; --n) text += percent(rng) == 0 ? '\0' : kAlphabet[static_cast<size_t>(pick(rng))];
  const int form = percent(rng);
  if (form < 70) return text;
  if (form < 80) return "\xEF\xBB\xBF" + text;
  const bool little = form < 90;
  std::string wide = little ? "\xFF\xFE" : "\xFE\xFF";
  for (const char c : text) {
    wide += little ? c : '\0';
    wide += little ? '\0' : c;
  }
  if (percent(rng) < 10) wide += 'x';  // an odd last byte
  return wide;
}

TEST(TextToLatex, SameBytesAsTheImportedTableForEveryOptionAndText) {
  const std::vector<std::string> fixed = {"", std::string("\0a,b", 4), "\n", "\r\n\r\n", "a,b\n\nc,d,e\r",
                                          "\"x\ny\",z\n\"q\"\"\"", "a,,b,\n,", std::string("a,b\nc\0,d,e,f", 12)};
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<size_t> piece(1, 64);
  int cases = 0;
  for (const char* delimiters : {",", "\t", "", ",;", " ", "\"", ",\""}) {
    for (int flags = 0; flags < 8; ++flags) {
      TTextImportOptions options;
      options.Delimiters = delimiters;
      options.Merge = flags & 1;
      options.Quoted = flags & 2;
      options.Escape = flags & 4;
      std::vector<std::string> texts = fixed;
      for (int i = 0; i < 40; ++i) texts.push_back(RandomText(rng));
      for (const std::string& text : texts) {
        const size_t pieceSize = piece(rng);
        int64_t tableNul = -2, streamNul = -2;
        const std::string expected = TablePath(text, options, pieceSize, tableNul);
        ASSERT_EQ(StreamPath(text, options, pieceSize, streamNul), expected)
            << "delimiters '" << delimiters << "' flags " << flags << " text " << testing::PrintToString(text);
        ASSERT_EQ(streamNul, tableNul);
        ++cases;
      }
    }
  }
  EXPECT_EQ(cases, 7 * 8 * 48);
}

// The file changed between measuring and writing. A record wider than the
// measured table, or one more than it had, would give code whose rows do not
// fit the preamble: refused. Records lost leave empty rows, as the import
// leaves them.
TEST(TextToLatex, TextChangedSinceItWasMeasured) {
  const TTextImportOptions options;
  struct TCase {
    const char* measured;
    const char* written;
    const char* expected;  // empty: "Stream read error"
  } cases[] = {
      {"a,b\nc,d\n", "a,b,c\n", ""},
      {"a,b\n", "a,b\nc,d\n", ""},
      {"a,b\nc,d\n", "x\n", "\\begin{tabular}{ll}\nx &  \\\\ \n &  \\\\ \n\\end{tabular}\n"},
  };
  for (const TCase& c : cases) {
    TMemoryStream measured{std::string(c.measured)};
    const TTextShape shape = MeasureText(measured, "in", options);
    TMemoryStream written{std::string(c.written)};
    std::string out, all;
    auto write = [&] {
      TextToLatex(written, shape, options, out, [&all](std::string& piece) { all += piece; piece.clear(); }, 64);
    };
    if (*c.expected) {
      write();
      EXPECT_EQ(all, c.expected);
    } else {
      try {
        write();
        ADD_FAILURE() << c.written << ": no error";
      } catch (const EQuiltorError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
      }
    }
  }
}

}  // namespace
