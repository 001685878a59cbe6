#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FileTestUtil.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"

using namespace ChunkTags;

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Everything the file carries, in one comparable string.
std::string Content(const TTable& t) {
  std::string s = "env=" + t.Environment + " opts=" + t.EnvOptions + " x=" + t.Extra1 + "|" + t.Extra2 + "|" +
                  t.Extra3 + "\ncols:";
  const TTableFloat& f = t.Style.Float;
  if (t.Style != TTableStyle())
    s += " style=" + std::to_string(t.Style.Rules) + " float=[" + f.Placement + "|" + f.Caption + "|" + f.Label + "|" +
       f.TextBefore + "|" + f.TextAfter + "|" + std::to_string(f.Centering) + std::to_string(f.CaptionBelow) +
       std::to_string(f.Wide) + "]";
  for (const TColumn* c : t.Columns) s += " [" + c->Format + "]";
  for (const TRow* r : t.Rows) {
    s += "\nrow [" + r->Prefix + "|" + r->Postfix + "]";
    for (const TCell* c : *r)
      s += " {" + c->Text() + " s" + std::to_string(c->Span) + " a" + std::to_string(c->Align) + " r" +
           std::to_string(c->RuleLeft) + "," + std::to_string(c->RuleTop) + "," + std::to_string(c->RuleRight) +
           "," + std::to_string(c->RuleBottom) + "}";
  }
  return s;
}

std::string Save(const TTable& t) {
  TMemoryStream s;
  t.SaveToStream(s);
  return s.Data();
}

// cols columns; each row a list of spans; every cell's text its row and column.
void Build(TTable& t, int cols, const std::vector<std::vector<int>>& rows) {
  t.Clear();
  for (int i = 0; i < cols; ++i) new TColumn(t);
  for (size_t r = 0; r < rows.size(); ++r) {
    TRow* row = new TRow(t);
    long long col = 0;
    for (int span : rows[r]) {
      TCell* c = new TCell(*row);
      c->Span = span;
      c->SetText(std::to_string(r) + ":" + std::to_string(col));
      col += span;
    }
  }
}

// A table with something in every field the file carries.
void BuildRich(TTable& t) {
  Build(t, 4, {{3, 1}, {1, 1, 2}, {4}, {1, 1, 1, 1}});
  t.Columns[0]->Format = "l";
  t.Columns[1]->Format = "";
  t.Columns[2]->Format = "p{20pt}";
  t.Columns[3]->Format = "|r|";
  t.Rows[0]->Prefix = "\\hline";
  t.Rows[1]->Postfix = "% note";
  TCell* c = t.Rows[0]->First();
  c->RuleLeft = 255;
  c->RuleBottom = 1;
  c->Align = 'c';
  t.Rows[1]->Last()->RuleRight = 0x80;
  t.Rows[2]->First()->SetText(std::string("nul\0inside\xE4", 11));
  t.Rows[3]->Last()->SetText("");
  t.Environment = "array";
  t.EnvOptions = "[t]";
  t.Extra1 = "one";
  t.Extra3 = "three";
}

// ---------------------------------------------------------------- exact bytes

TEST(TableFile, ExampleFileIsExact) {
  const std::string expected =
      "3C 00 00 01 01 00 00 02 01 00 00 03 09 00 00 20 01 00 00 21 6C 00 00 00 00 01 00 00 04 10 00 00 41 01 00 "
      "00 42 04 00 00 61 00 00 00 00 00 00 00 00 07 00 00 08 74 61 62 75 6C 61 72 00 00 00 00";
  TTable t;
  Build(t, 1, {{1}});
  t.Rows[0]->First()->SetText("");
  const std::string bytes = Save(t);
  EXPECT_EQ(bytes.size(), 64u);
  EXPECT_EQ(Hex(bytes), expected);

  TTable back;
  TMemoryStream in(bytes);
  back.LoadFromStream(in);
  EXPECT_EQ(Content(back), Content(t));
}

TEST(TableFile, ChunksComeInTheirOrder) {
  struct Case {
    const char* name;
    void (*setup)(TTable&);
    const char* hex;
  } cases[] = {
      {"empty table", [](TTable& t) { t.Clear(); },
       "1B 00 00 01 01 00 00 02 00 00 00 03 00 00 00 04 07 00 00 08 74 61 62 75 6C 61 72 00 00 00 00"},
      {"empty environment is not written",
       [](TTable& t) {
         t.Clear();
         t.Environment = "";
         t.EnvOptions = "o";
         t.Extra2 = "2";
       },
       "1A 00 00 01 01 00 00 02 00 00 00 03 00 00 00 04 01 00 00 06 32 01 00 00 09 6F 00 00 00 00"},
      {"empty format is still written",
       [](TTable& t) {
         Build(t, 1, {});
         t.Columns[0]->Format = "";
         t.Environment = "";
       },
       "1C 00 00 01 01 00 00 02 01 00 00 03 08 00 00 20 00 00 00 21 00 00 00 00 00 00 00 04 00 00 00 00"},
      {"joined cell: span, rules, text, alignment",
       [](TTable& t) {
         Build(t, 3, {{3}});
         t.Environment = "";
         TCell* c = t.Rows[0]->First();
         c->SetText("x");
         c->RuleLeft = 255;
         c->RuleBottom = 255;
         c->Align = 'c';
       },
       "60 00 00 01 01 00 00 02 03 00 00 03 "
       "09 00 00 20 01 00 00 21 6C 00 00 00 00 09 00 00 20 01 00 00 21 6C 00 00 00 00 "
       "09 00 00 20 01 00 00 21 6C 00 00 00 00 01 00 00 04 "
       "25 00 00 41 01 00 00 42 19 00 00 61 03 00 00 62 04 00 00 63 FF 00 00 FF 01 00 00 64 78 63 00 00 65 "
       "00 00 00 00 00 00 00 00 00 00 00 00"},
      {"row without cells, with prefix and postfix",
       [](TTable& t) {
         Build(t, 0, {{}});
         t.Environment = "";
         t.Rows[0]->Prefix = "a";
         t.Rows[0]->Postfix = "b";
       },
       "26 00 00 01 01 00 00 02 00 00 00 03 01 00 00 04 12 00 00 41 00 00 00 42 01 00 00 43 61 01 00 00 44 62 "
       "00 00 00 00 00 00 00 00"},
      // The example of docs/file-format.md: version 2, the style chunks
      // after the environment.
      {"booktabs table in a float",
       [](TTable& t) {
         Build(t, 1, {{1}});
         t.Rows[0]->First()->SetText("");
         t.Style.Rules = rsBooktabs;
         t.Style.Float.Placement = "t";
         t.Style.Float.Centering = true;
         t.Style.Float.Caption = "R";
       },
       "56 00 00 01 02 00 00 02 01 00 00 03 09 00 00 20 01 00 00 21 6C 00 00 00 00 01 00 00 04 10 00 00 41 01 00 "
       "00 42 04 00 00 61 00 00 00 00 00 00 00 00 07 00 00 08 74 61 62 75 6C 61 72 01 00 00 10 "
       "12 00 00 11 01 00 00 12 74 01 00 00 13 01 00 00 14 52 00 00 00 00 00 00 00 00"},
      {"a float with only a label is still version 2",
       [](TTable& t) {
         t.Clear();
         t.Environment = "";
         t.Style.Float.Label = "x";
       },
       "1D 00 00 01 02 00 00 02 00 00 00 03 00 00 00 04 09 00 00 11 01 00 00 15 78 00 00 00 00 00 00 00 00"},
  };
  for (const Case& c : cases) {
    TTable t;
    c.setup(t);
    EXPECT_EQ(Hex(Save(t)), c.hex) << c.name;
  }
}

// ---------------------------------------------------------------- round trips

TEST(TableFile, RoundTripKeepsEveryStoredField) {
  TTableStyle rich;
  rich.Rules = rsBooktabs;
  rich.Float = {"htbp", true, "Results \\ \xC3\xA4", "tab:r", true, true, "\\small", "\\footnotesize Note."};
  for (const TTableStyle& style : {TTableStyle(), rich}) {
    TTable t;
    BuildRich(t);
    t.Style = style;
    const std::string bytes = Save(t);
    EXPECT_EQ(bytes[4], style == TTableStyle() ? 1 : 2);  // the version chunk's value
    TTable back;
    back.Style.Rules = rsBooktabs;  // a table read into keeps nothing of its own
    TMemoryStream in(bytes);
    back.LoadFromStream(in);
    EXPECT_EQ(Content(back), Content(t));
    EXPECT_EQ(Save(back), bytes);
  }
}

TEST(TableFile, EmptyValuesReadBackAsTheFileSays) {
  TTable t;
  Build(t, 2, {{2}});
  t.Columns[1]->Format = "";
  t.Environment = "";
  TTable back;
  back.Environment = "array";
  TMemoryStream in(Save(t));
  back.LoadFromStream(in);
  EXPECT_EQ(back.Columns[1]->Format, "") << "an empty format is not the default \"l\"";
  EXPECT_EQ(back.Environment, "tabular") << "an unwritten environment is the default";
}

TEST(TableFile, LoadKeepsViewStateAndDropsOldContent) {
  TTable source;
  BuildRich(source);
  TTable t;
  Build(t, 2, {{1, 1}, {2}});
  t.FileName = "/x/y.qtor";
  t.Title = "y";
  t.FontName = "Courier New";
  t.FontSize = 20;
  t.ShowGrid = false;
  t.CurrentCell = t.Rows[0]->First();
  t.Extra2 = "old";
  TMemoryStream in(Save(source));
  t.LoadFromStream(in);
  EXPECT_EQ(Content(t), Content(source));
  EXPECT_EQ(t.Extra2, "") << "texts the file does not hold are emptied";
  EXPECT_EQ(t.FileName, "/x/y.qtor");
  EXPECT_EQ(t.Title, "y");
  EXPECT_EQ(t.FontName, "Courier New");
  EXPECT_EQ(t.FontSize, 20);
  EXPECT_FALSE(t.ShowGrid);
  EXPECT_EQ(t.CurrentCell, nullptr) << "the old current cell is gone";
}

TEST(TableFile, ReaderAcceptsAnyOrderAndRepeats) {
  // Rows before columns, two column counts, the version last.
  std::string b;
  TMemoryStream s;
  const int64_t table = BeginChunk(s, ctTable);
  WriteChunkValue(s, ctRowCount, 1);
  int64_t row = BeginChunk(s, ctRow);
  WriteChunkString(s, ctPostfix, "p");
  WriteChunkValue(s, ctCellCount, 1);
  int64_t cell = BeginChunk(s, ctCell);
  WriteChunkString(s, ctText, "t");
  WriteChunkValue(s, ctSpan, 2);
  EndChunk(s, ctCell, cell);
  EndChunk(s, ctRow, row);
  for (const char* format : {"c", "r"}) {
    WriteChunkValue(s, ctColCount, 1);
    const int64_t col = BeginChunk(s, ctColumn);
    WriteChunkString(s, ctColFormat, format);
    EndChunk(s, ctColumn, col);
  }
  WriteChunkValue(s, ctVersion, 1);
  EndChunk(s, ctTable, table);
  s.Write("trailing bytes are ignored", 26);

  TTable t;
  s.Seek(0);
  t.LoadFromStream(s);
  EXPECT_EQ(Content(t), "env=tabular opts= x=||\ncols: [c] [r]\nrow [|p] {t s2 a0 r0,0,0,0}");
}

// ---------------------------------------------------------------- damaged files

// A saved table and the ways to damage it, each checked for its message and
// for leaving the target table exactly as it was.
class DamagedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    TTable t;
    Build(t, 2, {{1, 1}, {2}});
    t.Rows[1]->First()->Align = 'r';
    Good = Save(t);
    Build(Target, 3, {{1, 2}});
    Target.Rows[0]->First()->SetText("keep me");
    TargetContent = Content(Target);
  }

  std::string FlipByte(size_t offset, int value) const {
    std::string b = Good;
    b.at(offset) = static_cast<char>(value);
    return b;
  }
  std::string Truncate(size_t n) const { return Good.substr(0, n); }
  // Offset of the first header with this tag, searched from the start.
  size_t Find(uint32_t tag) const {
    for (size_t i = 0; i + 4 <= Good.size(); ++i)
      if (static_cast<unsigned char>(Good[i + 3]) == tag >> 24) return i;
    ADD_FAILURE() << "tag not found";
    return 0;
  }
  std::string Load(const std::string& bytes) {
    const std::string message = MessageOf([&] {
      TMemoryStream in(bytes);
      Target.LoadFromStream(in);
    });
    EXPECT_EQ(Content(Target), TargetContent);
    return message;
  }

  std::string Good;
  TTable Target;
  std::string TargetContent;
};

TEST_F(DamagedFile, EachDamageRaisesItsMessage) {
  const size_t version = Find(ctVersion);
  const size_t cell = Find(ctCell);
  const size_t align = Find(ctAlign);
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"version 3", FlipByte(version, 3), "Invalid version"},
      {"version 0", FlipByte(version, 0), "Invalid version"},
      {"unknown tag in the table", FlipByte(version + 3, 0x0A), "Invalid stream read"},
      {"unknown tag in a cell", FlipByte(align + 3, 0x6F), "Stream read error"},
      {"a row where a cell must be", FlipByte(cell + 3, ctRow >> 24), "Stream read error"},
      {"not a table at all", FlipByte(3, 0x41), "Stream read error"},
      {"table size one too large", FlipByte(0, Good[0] + 1), "Stream size mismatch"},
      {"cell size one too small", FlipByte(cell, 3), "Stream size mismatch"},
      {"end mark with a value", FlipByte(Good.size() - 4, 1), "Stream read error"},
      {"cut in the middle", Truncate(Good.size() / 2), "Stream read error"},
      {"cut before the last end mark", Truncate(Good.size() - 4), "Stream read error"},
      {"empty file", "", "Stream read error"},
  };
  for (const Case& c : cases) EXPECT_EQ(Load(c.bytes), c.message) << c.name;
}

// The style chunks are damaged in their own ways; offsets into a booktabs
// table in a centred float, whose chunks end the file.
TEST(TableFile, DamagedStyleChunksAreRejected) {
  TTable t;
  Build(t, 1, {{1}});
  t.Style.Rules = rsBooktabs;
  t.Style.Float.Centering = true;
  const std::string good = Save(t);
  // ... rule style (value 1), float header, centering (value 1), float end, table end.
  const size_t style = good.size() - 20;
  ASSERT_EQ(Hex(good.substr(style)), "01 00 00 10 08 00 00 11 01 00 00 13 00 00 00 00 00 00 00 00");
  auto flip = [&](size_t offset, int value) {
    std::string b = good;
    b.at(offset) = static_cast<char>(value);
    return b;
  };
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"unknown rule style", flip(style, 2)},
      {"a flag that is not 1", flip(style + 8, 2)},
      {"unknown tag in the float", flip(style + 11, 0x66)},
  };
  for (const Case& c : cases) {
    TTable target;
    TMemoryStream in(c.bytes);
    EXPECT_EQ(MessageOf([&] { target.LoadFromStream(in); }), "Stream read error") << c.name;
    EXPECT_EQ(target.Style, TTableStyle()) << c.name;
  }
}

TEST_F(DamagedFile, EveryTruncationFailsAndLeavesTheTarget) {
  for (size_t n = 0; n < Good.size(); ++n) {
    const std::string message = Load(Truncate(n));
    EXPECT_TRUE(message == "Stream read error" || message == "Stream size mismatch") << n << ": " << message;
  }
}

TEST_F(DamagedFile, RowsThatDoNotCoverTheColumnsAreRejected) {
  struct Case {
    const char* name;
    std::vector<std::vector<int>> rows;
    int cols;
    const char* message;
  } cases[] = {
      {"short row", {{1, 1}, {1}}, 2, "Invalid table: row 2 covers 1 columns, the table has 2"},
      {"long row", {{2, 1}}, 2, "Invalid table: row 1 covers 3 columns, the table has 2"},
      {"cells but no columns", {{1}}, 0, "Invalid table: row 1 covers 1 columns, the table has 0"},
      {"spans that overflow an int", {std::vector<int>(300, 0x7FFFFF)}, 2,
       "Invalid table: row 1 covers 2516582100 columns, the table has 2"},
  };
  for (const Case& c : cases) {
    TTable t;
    Build(t, c.cols, c.rows);
    EXPECT_EQ(Load(Save(t)), c.message) << c.name;
  }
}

TEST_F(DamagedFile, SpanZeroIsRejected) {
  // The writer never puts down a span below 2, so patch one in.
  TTable t;
  Build(t, 2, {{1, 1}, {2}});
  std::string bytes = Save(t);
  const size_t span = bytes.rfind(std::string("\x02\0\0\x62", 4));
  ASSERT_NE(span, std::string::npos);
  bytes[span] = 0;
  EXPECT_EQ(Load(bytes), "Invalid table: cell 1 of row 2 spans 0 columns");
}

TEST_F(DamagedFile, HugeCountsInATinyFileFailQuickly) {
  // Counts promise millions of containers that the file does not hold; the
  // reader must fail at the end of the data, not reserve for the promise.
  for (uint32_t tag : {ctColCount, ctRowCount, ctCellCount, ctText}) {
    std::string bytes = Good;
    const size_t at = Find(tag);
    bytes[at] = bytes[at + 1] = bytes[at + 2] = static_cast<char>(0xFF);
    EXPECT_EQ(Load(bytes), "Stream read error") << std::hex << tag;
  }
}

// ---------------------------------------------------------------- files

TEST(TableFile, SaveAndLoadFiles) {
  TTempDir dir;
  TTable t;
  BuildRich(t);
  const std::string name = dir.File("a.qtor");
  SaveTableFile(t, name);
  EXPECT_TRUE(ReadBytes(name) == Save(t));
  TTable back;
  LoadTableFile(back, name);
  EXPECT_EQ(Content(back), Content(t));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.qtor"}) << "no temporary file is left";
  EXPECT_EQ(MessageOf([&] { LoadTableFile(back, dir.File("none.qtor")); }),
            "Cannot open file " + dir.File("none.qtor") + ": No such file or directory");
  EXPECT_EQ(MessageOf([&] { SaveTableFile(t, dir.File("no/such.qtor")); }), "Cannot create file " + dir.File("no/such.qtor"));
}

// If the size limit were found only after the file was written, a hard
// linked file (written in place) would be left damaged; if the message did
// not say what to do, the user would be stuck with an unsavable table.
TEST(TableFile, TableTooLargeForTheFormatIsRefusedBeforeWriting) {
  TTempDir dir;
  const std::string name = dir.File("old.qtor");
  TTable small;
  BuildRich(small);
  SaveTableFile(small, name);
  ASSERT_EQ(::link(name.c_str(), dir.File("link.qtor").c_str()), 0);
  const std::string old = ReadBytes(name);
  const std::string refused = "Cannot save " + name +
                              ": a Quiltor data file holds at most 16 MiB of table data; save the table as CSV instead";

  // A 1000 x 1000 table of 5-character texts makes a file of about 17 MB;
  // one cell of 16 MiB is too large for its own chunk.
  TTable large;
  Build(large, 1000, std::vector<std::vector<int>>(1000, std::vector<int>(1000, 1)));
  for (TRow* row : large.Rows)
    for (TCell* c : *row) c->SetText("abcde");
  TTable oneBigCell;
  Build(oneBigCell, 1, {{1}});
  oneBigCell.Rows[0]->First()->SetText(std::string(kMaxChunkNumber + 1, 'x'));
  for (const TTable* t : {&large, &oneBigCell}) {
    EXPECT_EQ(MessageOf([&] { SaveTableFile(*t, name); }), refused);
    EXPECT_TRUE(ReadBytes(name) == old);
    EXPECT_TRUE(ReadBytes(dir.File("link.qtor")) == old);
    EXPECT_EQ(dir.Names().size(), 2u);
  }
}

TEST(TableFile, FailedSaveLeavesTheOldFile) {
  TTempDir dir;
  const std::string name = dir.File("old.qtor");
  TTable small;
  BuildRich(small);
  SaveTableFile(small, name);
  const std::string old = ReadBytes(name);

  // The disk fills up (a file size limit here) part way through.
  TTable medium;
  Build(medium, 50, std::vector<std::vector<int>>(400, std::vector<int>(50, 1)));
  {
    TFileSizeLimit limit(100000);
    EXPECT_EQ(MessageOf([&] { SaveTableFile(medium, name); }), "Cannot write " + name + ": File too large");
  }
  EXPECT_TRUE(ReadBytes(name) == old);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.qtor"});

  // And without the limit the same save goes through.
  SaveTableFile(medium, name);
  TTable back;
  LoadTableFile(back, name);
  EXPECT_EQ(Content(back), Content(medium));
}

}  // namespace
