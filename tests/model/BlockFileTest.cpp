// Blocks across rows in the native file: what is written, that it reads
// back whole, and that a file whose blocks do not fit together is refused
// with the table it was read into left as it was.
#include <gtest/gtest.h>

#include <string>

#include "FileTestUtil.h"
#include "common/TableFixture.h"
#include "model/StreamIO.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

std::string Save(const TTable& t) {
  TMemoryStream s;
  t.SaveToStream(s);
  return s.Data();
}

std::string Load(TTable& t, const std::string& bytes) {
  return MessageOf([&] {
    TMemoryStream in(bytes);
    t.LoadFromStream(in);
  });
}

const char* const kBlocks =
    "column l\ncolumn l\ncolumn l\n"
    "\nrow\ncell span=2 rows=3 align=c vpos=t struts=2 width=3cm vmove=1ex rules=LT | W\ncell | b\n"
    "\nrow\ncell span=2 covered=1 rules=L |\ncell | d\n"
    "\nrow\ncell span=2 covered=2 rules=LB |\ncell | f\n"
    "\nrow\ncell rows=2 | g\ncell | h\ncell width== | i\n"
    "\nrow\ncell covered=1 |\ncell | k\ncell | l\n";

// If a block's row span, its arguments or the covered cells below it were
// lost or mis-read, the table read back would differ.
TEST(BlockFile, BlocksReadBackWhole) {
  TTable t;
  LoadTableFixtureText(kBlocks, t);
  ASSERT_EQ(TableDefect(t), "");
  const std::string bytes = Save(t);
  EXPECT_EQ(bytes[4], 2) << "blocks need version 2";
  TTable back;
  EXPECT_EQ(Load(back, bytes), "");
  EXPECT_EQ(WriteTableFixture(back, false), kBlocks);
  EXPECT_EQ(Save(back), bytes);
}

// A table whose blocks are all split again is a version-1 file, byte for
// byte the one it was before it had blocks.
TEST(BlockFile, NoBlocksNoVersionTwo) {
  TTable t;
  LoadTableFixtureText("column l\ncolumn l\nrow\ncell | a\ncell | b\nrow\ncell |\ncell | d\n", t);
  const std::string plain = Save(t);
  EXPECT_EQ(plain[4], 1);
  TCell* block = JoinCells(t, {0, 0, 0, 1});
  EXPECT_EQ(Save(t)[4], 2);
  SplitBlock(*block);
  t.GetCell(1, 0)->Selected = false;
  EXPECT_EQ(Save(t), plain);
}

// Files whose blocks do not fit together - written by another program, or
// damaged - are refused with the first fault named, and loading them leaves
// the table as it was. Each table is written as it stands, without the
// checks that keep tables consistent.
TEST(BlockFile, BrokenBlocksAreRefused) {
  struct Case {
    const char* Name;
    const char* Table;
    const char* Message;
  };
  const Case cases[] = {
      {"over the bottom", "column l\nrow\ncell rows=3 | a\nrow\ncell |\n",
       "Invalid table: block crosses the table's bottom at row 1, column 1"},
      {"covered cell with text", "column l\nrow\ncell rows=2 | a\nrow\ncell | b\n",
       "Invalid table: covered cell holds content at row 2, column 1"},
      {"covered cells of another width", "column l\ncolumn l\nrow\ncell span=2 rows=2 | a\nrow\ncell |\ncell |\n",
       "Invalid table: block not covered below at row 1, column 1"},
      {"overlapping blocks", "column l\nrow\ncell rows=2 | a\nrow\ncell rows=2 |\nrow\ncell |\n",
       "Invalid table: block not covered below at row 1, column 1"},
      {"a rule inside", "column l\nrow\ncell rows=2 rules=B | a\nrow\ncell |\n",
       "Invalid table: rule inside a block at row 1, column 1"},
      {"side rules differ", "column l\nrow\ncell rows=2 rules=L | a\nrow\ncell |\n",
       "Invalid table: block side rules differ at row 2, column 1"},
  };
  for (const Case& c : cases) {
    TTable broken;
    LoadTableFixtureText(c.Table, broken);
    TTable target;
    LoadTableFixtureText(kBlocks, target);
    EXPECT_EQ(Load(target, Save(broken)), c.Message) << c.Name;
    EXPECT_EQ(WriteTableFixture(target, false), kBlocks) << c.Name;
  }
  // A row span of 0, which no writer puts down, as a damaged byte gives.
  TTable block;
  LoadTableFixtureText("column l\nrow\ncell rows=2 | a\nrow\ncell |\n", block);
  std::string bytes = Save(block);
  const size_t at = bytes.find(std::string("\x02\x00\x00\x66", 4));
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 0;
  TTable target;
  EXPECT_EQ(Load(target, bytes), "Invalid table: row span below 1 at row 1, column 1");
}

}  // namespace
