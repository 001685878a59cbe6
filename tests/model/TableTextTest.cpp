#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "FileTestUtil.h"
#include "model/Tables.h"
#include "model/TextLines.h"

namespace {

using TextLines::SplitFields;
using TextLines::SplitLines;
using TextLines::TDelimiterSet;

// "[a|b]"; no parts at all is "-", one empty part "[]".
std::string Joined(const std::vector<std::string_view>& parts) {
  if (parts.empty()) return "-";
  std::string s;
  for (size_t i = 0; i < parts.size(); ++i) s += (i ? "|" : "") + std::string(parts[i]);
  return "[" + s + "]";
}

std::string Fields(std::string_view line, std::string_view delimiters, bool merge) {
  std::vector<std::string_view> fields;
  SplitFields(line, TDelimiterSet(delimiters), merge, fields);
  EXPECT_EQ(fields.size(), TextLines::CountFields(line, TDelimiterSet(delimiters), merge)) << line;
  return Joined(fields);
}

// Rows of cell texts, for comparing whole tables.
std::vector<std::vector<std::string>> Texts(const TTable& t) {
  std::vector<std::vector<std::string>> rows;
  for (const TRow* r : t.Rows) {
    rows.emplace_back();
    for (const TCell* c : *r) rows.back().push_back(c->Text());
  }
  return rows;
}

// ---------------------------------------------------------------- splitting

TEST(TextLines, LinesEndAtEveryKindOfBreak) {
  struct Case {
    std::string text;
    const char* lines;
  } cases[] = {
      {"", "-"},
      {"a", "[a]"},
      {"a\r\nb\r\n", "[a|b]"},
      {"a\nb", "[a|b]"},
      {"a\rb\r", "[a|b]"},
      {"a\r\r\nb", "[a||b]"},        // a lone CR, then CR LF
      {"a\n\rb", "[a||b]"},          // LF then CR are two breaks
      {"\n", "[]"},                  // one empty line: a final break starts no other
      {"\n\n", "[|]"},
      {"\r\n\r\n", "[|]"},
      {std::string("a\0b\nc", 5), "[a]"},   // NUL ends the text
      {std::string("\0a", 2), "-"},
      {std::string("a\r\0\nb", 5), "[a]"},
  };
  for (const Case& c : cases) EXPECT_EQ(Joined(SplitLines(c.text)), c.lines) << c.text;
}

TEST(TextLines, PiecesGiveTheSameLinesAsTheWhole) {
  // Cut every text at every place; the lines of the two pieces, the first
  // taken up to its last complete line, must be the lines of the whole.
  const std::string texts[] = {"a\r\nb\rc\n\nd", "\r\r\n\n\r", "x\r", std::string("ab\r\0\ncd", 7), "no break"};
  for (const std::string& text : texts) {
    const std::string whole = Joined(SplitLines(text));
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      std::vector<std::string_view> lines;
      bool ended = false;
      const size_t used = TextLines::TakeLines(std::string_view(text).substr(0, cut), false, lines, ended);
      if (!ended) {
        const std::string rest = text.substr(used);
        std::vector<std::string_view> more;
        TextLines::TakeLines(rest, true, more, ended);
        std::vector<std::string> kept(lines.begin(), lines.end());
        kept.insert(kept.end(), more.begin(), more.end());
        lines.assign(kept.begin(), kept.end());
        EXPECT_EQ(Joined(lines), whole) << "cut at " << cut << " of " << text;
        continue;
      }
      EXPECT_EQ(Joined(lines), whole) << "cut at " << cut << " of " << text;
    }
  }
}

TEST(TextLines, FieldsWithAndWithoutMerging) {
  struct Case {
    const char* line;
    const char* delimiters;
    const char* plain;
    const char* merged;
  } cases[] = {
      {"a,b", ",", "[a|b]", "[a|b]"},
      {"a,,b", ",", "[a||b]", "[a|b]"},
      {",a", ",", "[|a]", "[|a]"},
      {"a,", ",", "[a|]", "[a|]"},
      {"a,,", ",", "[a||]", "[a|]"},
      {",,,", ",", "[|||]", "[|]"},
      {"", ",", "-", "-"},
      {"a", ",", "[a]", "[a]"},
      {"x y", " ", "[x|y]", "[x|y]"},
      {"  x", " ", "[||x]", "[|x]"},
      {" a , b ", ",", "[ a | b ]", "[ a | b ]"},          // blanks are content
      {"a;b\tc;;\td", ";\t", "[a|b|c|||d]", "[a|b|c|d]"},  // any member splits
      {"a,b", "", "[a,b]", "[a,b]"},                        // no delimiters: one field
      {"\"a,b\"", ",", "[\"a|b\"]", "[\"a|b\"]"},           // no quoting
      {"a\xE4" "b", "\xE4", "[a|b]", "[a|b]"},              // 8-bit delimiters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Fields(c.line, c.delimiters, false), c.plain) << c.line;
    EXPECT_EQ(Fields(c.line, c.delimiters, true), c.merged) << c.line;
  }
  // NUL is never a delimiter, even when asked for.
  EXPECT_EQ(Fields(std::string("a\0b", 3), std::string("\0", 1), false), std::string("[a\0b]", 5));
}

// ---------------------------------------------------------------- import

class TextFile : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& bytes) {
    WriteBytes(Dir.File(name), bytes);
    return Dir.File(name);
  }
  TTempDir Dir;
};

TEST_F(TextFile, ImportMakesARectangleOfSingleCells) {
  TTable t;
  t.Environment = "array";
  t.EnvOptions = "[t]";
  t.Extra1 = "x";
  t.FileName = "kept";
  t.ImportText(Put("a.csv", "a\r\nb,c,d\re,f\n"), ",", false);
  EXPECT_EQ(Texts(t), (std::vector<std::vector<std::string>>{{"a", "", ""}, {"b", "c", "d"}, {"e", "f", ""}}));
  for (const TRow* r : t.Rows)
    for (const TCell* c : *r) {
      EXPECT_EQ(c->Span, 1);
      EXPECT_EQ(c->Align, 0);
      EXPECT_FALSE(c->RuleLeft || c->RuleTop || c->RuleRight || c->RuleBottom);
    }
  for (const TColumn* c : t.Columns) EXPECT_EQ(c->Format, "l");
  EXPECT_EQ(t.Environment, "tabular");
  EXPECT_EQ(t.EnvOptions, "");
  EXPECT_EQ(t.Extra1, "");
  EXPECT_EQ(t.FileName, "kept");
}

TEST_F(TextFile, ImportShapes) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* delimiters;
    bool merge;
    std::vector<std::vector<std::string>> texts;
  } cases[] = {
      {"empty file", "", ",", false, {{""}}},
      {"one empty line", "\r\n", ",", false, {{""}}},
      {"no delimiters: whole lines", "a,b\nc d\n", "", false, {{"a,b"}, {"c d"}}},
      {"merging", "a,,b\n,,,\n", ",", true, {{"a", "b"}, {"", ""}}},
      {"empty lines stay rows", "a\n\n\nb", ",", false, {{"a"}, {""}, {""}, {"b"}}},
      {"text after NUL is not read", std::string("a,b\0c,d,e,f\n", 12), ",", false, {{"a", "b"}}},
      // The file is read in pieces of 1 MiB: lines across their edges.
      {"CR LF split between pieces", std::string((1 << 20) - 1, 'a') + "\r\nb", ",", false,
       {{std::string((1 << 20) - 1, 'a')}, {"b"}}},
      {"line longer than a piece", "x\n" + std::string(3 << 20, 'y') + ",z\rw", ",", false,
       {{"x", ""}, {std::string(3 << 20, 'y'), "z"}, {"w", ""}}},
  };
  for (const Case& c : cases) {
    TTable t;
    t.ImportText(Put("x.txt", c.bytes), c.delimiters, c.merge);
    EXPECT_EQ(Texts(t), c.texts) << c.name;
    EXPECT_EQ(t.ColCount(), static_cast<int>(c.texts[0].size())) << c.name;
  }
}

// If UTF-16 arrived undecoded, a byte-order mark stayed in the first cell,
// held bytes were lost where a 1 MiB piece ends inside a surrogate pair, or
// the NUL's offset were not reported, these tables or offsets would differ.
TEST_F(TextFile, ImportDecodesUtf16AndReportsTheNul) {
  auto le = [](std::u16string units) {
    std::string s = "\xFF\xFE";
    for (char16_t u : units) s += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return s;
  };
  // The pair's high half is the last code unit of the first 1 MiB piece.
  const size_t before = ((1 << 20) - 4) / 2;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::vector<std::string>> texts;
    int64_t nulAt;
  } cases[] = {
      {"plain", "a,b\n", {{"a", "b"}}, -1},
      {"UTF-8 mark", "\xEF\xBB\xBF" "a,b\n", {{"a", "b"}}, -1},
      {"UTF-16LE", le(u"\u00E9,b\r\nc\r\n"), {{"\xC3\xA9", "b"}, {"c", ""}}, -1},
      {"NUL byte", std::string("a,b\nc\0d\n", 8), {{"a", "b"}, {"c", ""}}, 5},
      {"NUL code unit", le(std::u16string{u'a', u',', u'b', 0, u'c'}), {{"a", "b"}}, 8},
      {"pair across pieces", le(std::u16string(before, u'x') + u"\U0001F600,y"),
       {{std::string(before, 'x') + "\xF0\x9F\x98\x80", "y"}}, -1},
  };
  for (const Case& c : cases) {
    TTable t;
    EXPECT_EQ(t.ImportText(Put("x.csv", c.bytes), ",", false), c.nulAt) << c.name;
    EXPECT_EQ(Texts(t), c.texts) << c.name;
  }
}

TEST_F(TextFile, FailedImportLeavesTheTable) {
  TTable t;
  t.ImportText(Put("a.csv", "keep,me"), ",", false);
  const std::string missing = Dir.File("missing.csv");
  EXPECT_EQ(MessageOf([&] { t.ImportText(missing, ",", false); }), "Cannot open file " + missing + ": No such file or directory");
  // One long line and many short ones would pad out to a billion cells.
  std::string hostile(40000, ',');
  hostile += std::string(40000, '\n');
  const std::string name = Put("hostile.csv", hostile);
  EXPECT_EQ(MessageOf([&] { t.ImportText(name, ",", false); }),
            "Cannot import " + name + ": 40000 lines of up to 40001 fields make more than 33554432 cells");
  EXPECT_EQ(Texts(t), (std::vector<std::vector<std::string>>{{"keep", "me"}}));
}

// ---------------------------------------------------------------- export

TEST_F(TextFile, ExportWritesOneFieldPerColumn) {
  TTable t;
  for (int i = 0; i < 4; ++i) new TColumn(t);
  TRow* joined = new TRow(t);
  TCell* x = new TCell(*joined);
  x->Span = 3;
  x->SetText("x");
  (new TCell(*joined))->SetText("y");
  TRow* plain = t.AddRow();
  (*plain)[1]->SetText("a,b");
  (*plain)[3]->SetText("\"q\"");
  TRow* tail = new TRow(t);
  (new TCell(*tail))->SetText("z");
  (new TCell(*tail))->Span = 3;

  const std::string name = Dir.File("out.csv");
  WriteBytes(name, "an older and much longer file that must disappear completely\r\n");
  t.ExportText(name, ',');
  // Only a field holding the delimiter or a quote goes in quotes.
  EXPECT_EQ(ReadBytes(name), "x,,,y\r\n,\"a,b\",,\"\"\"q\"\"\"\r\nz,,,\r\n");
  t.ExportText(name, '\t');
  EXPECT_EQ(ReadBytes(name), "x\t\t\ty\r\n\ta,b\t\t\"\"\"q\"\"\"\r\nz\t\t\t\r\n");

  // Read back with quoting the texts are whole; without, the quotes are text.
  TTextImportOptions quoted;
  quoted.Delimiters = "\t";
  quoted.Quoted = true;
  TTable back;
  back.ImportText(name, quoted);
  EXPECT_EQ(Texts(back)[1], (std::vector<std::string>{"", "a,b", "", "\"q\""}));
  back.ImportText(name, "\t", false);
  EXPECT_EQ(Texts(back)[1], (std::vector<std::string>{"", "a,b", "", "\"\"\"q\"\"\""}));
}

// The property that makes a saved CSV worth having: whatever the texts hold
// (delimiters, quotes, CR, LF, CR LF), writing and reading back with quoting
// gives the same table. Tables whose texts hold none of these are written
// exactly as without quoting and read back the same either way. Faults
// caught: a field that needs quotes written bare, a quote not doubled, a
// field quoted that needs none (plain output no longer byte-identical), a
// line break inside quotes splitting the row on reading.
TEST_F(TextFile, ExportThenImportGivesTheSameTable) {
  std::mt19937 random(20240516);
  const std::string special[] = {",", "\t", "\"", "\r", "\n", "\r\n", "\"\""};
  const std::string plain[] = {"a", "B", " ", "\xC3\xA9", "x_1", "&"};
  for (int round = 0; round < 120; ++round) {
    const bool withSpecials = round % 2 == 0;
    const char delimiter = round % 4 < 2 ? ',' : '\t';
    TTable t;
    const int cols = 1 + static_cast<int>(random() % 4);
    const int rows = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < cols; ++i) new TColumn(t);
    for (int i = 0; i < rows; ++i) t.AddRow();
    bool needsQuotes = false;
    for (TRow* row : t.Rows)
      for (TCell* c : *row) {
        std::string text;
        for (int n = static_cast<int>(random() % 5); n > 0; --n) {
          const std::string& piece =
              withSpecials && random() % 2 ? special[random() % std::size(special)] : plain[random() % std::size(plain)];
          text += piece;
        }
        needsQuotes = needsQuotes || text.find_first_of(std::string{delimiter, '"', '\r', '\n'}) != std::string::npos;
        c->SetText(text);
      }
    const std::string name = Dir.File("round.csv");
    t.ExportText(name, delimiter);
    TTextImportOptions options;
    options.Delimiters = std::string(1, delimiter);
    options.Quoted = true;
    TTable back;
    back.ImportText(name, options);
    ASSERT_EQ(Texts(back), Texts(t)) << "round " << round << ": " << testing::PrintToString(ReadBytes(name));
    if (!needsQuotes) {
      // Not a quote written: the plain rules give the same file and table.
      std::string expected;
      for (const TRow* row : t.Rows) {
        for (int i = 0; i < row->Count(); ++i) expected += (i ? std::string(1, delimiter) : "") + (*row)[i]->Text();
        expected += "\r\n";
      }
      ASSERT_EQ(ReadBytes(name), expected) << "round " << round;
      TTable unquoted;
      unquoted.ImportText(name, options.Delimiters, false);
      ASSERT_EQ(Texts(unquoted), Texts(t)) << "round " << round;
    }
  }
}

// Faults caught: a quoted field cut where a 1 MiB piece of the file ends
// (inside the quotes, or between the CR and LF of a break inside them); the
// byte-order mark kept in front of the first quote, which would then not
// open a field; escaping skipped, applied twice, or applied to the split
// text instead of each field.
TEST_F(TextFile, QuotedImportAcrossPiecesWithBomAndEscaping) {
  const std::string big(1 << 20, 'a');
  const std::string bytes = "\xEF\xBB\xBF\"" + big + "\r\nb,c\",x_1 & 50%\r\n\"y\"\"{z}\"";
  TTextImportOptions options;
  options.Quoted = true;
  TTable t;
  t.ImportText(Put("big.csv", bytes), options);
  EXPECT_EQ(Texts(t), (std::vector<std::vector<std::string>>{{big + "\r\nb,c", "x_1 & 50%"}, {"y\"{z}", ""}}));
  options.Escape = true;
  t.ImportText(Put("big.csv", bytes), options);
  EXPECT_EQ(Texts(t)[0][1], "x\\_1 \\& 50\\%");
  EXPECT_EQ(Texts(t)[1][0], "y\"\\{z\\}");
  // Escaping without quoting: the same, field by field.
  TTable plain;
  plain.ImportText(Put("plain.csv", "\\,~^#$\r\n"), TTextImportOptions{",", false, false, true});
  EXPECT_EQ(Texts(plain), (std::vector<std::vector<std::string>>{{"\\textbackslash{}", "\\textasciitilde{}\\textasciicircum{}\\#\\$"}}));
  // The quote as the delimiter separates fields wherever it stands, at a
  // field's start too: it opens no quoted field.
  TTable quoteDelimited;
  quoteDelimited.ImportText(Put("q.csv", "\"a\"\r\n\"\"b"), TTextImportOptions{"\"", false, true, false});
  EXPECT_EQ(Texts(quoteDelimited), (std::vector<std::vector<std::string>>{{"", "a", ""}, {"", "", "b"}}));
}

TEST_F(TextFile, TextRoundTripKeepsTextsAndSize) {
  const std::string text = "name;count;note\r\nA;1;\r\n;;x y\r\nlast;2;\xE4\xF6\r\n";
  TTable t;
  t.ImportText(Put("in.csv", text), ";", false);
  const std::string out = Dir.File("out.txt");
  t.ExportText(out, ';');
  EXPECT_EQ(ReadBytes(out), text);
  TTable back;
  back.ImportText(out, ";", false);
  EXPECT_EQ(Texts(back), Texts(t));
}

TEST_F(TextFile, FailedExportLeavesTheOldFile) {
  TTable t;
  for (int i = 0; i < 20; ++i) new TColumn(t);
  for (int i = 0; i < 2000; ++i) t.AddRow();
  t.Rows[0]->First()->SetText("first");
  const std::string name = Put("old.csv", "old contents\r\n");
  {
    TFileSizeLimit limit(10000);
    EXPECT_EQ(MessageOf([&] { t.ExportText(name, ','); }), "Cannot write " + name + ": File too large");
  }
  EXPECT_EQ(ReadBytes(name), "old contents\r\n");
  EXPECT_EQ(Dir.Names(), std::vector<std::string>{"old.csv"});

  const std::string nowhere = Dir.File("no/such/folder.csv");
  EXPECT_EQ(MessageOf([&] { t.ExportText(nowhere, ','); }), "Cannot create file " + nowhere);
  EXPECT_EQ(MessageOf([&] { t.ExportText(Dir.Path(), ','); }), "Cannot create file " + Dir.Path());
}

}  // namespace
