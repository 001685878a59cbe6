// Quoted import splits lines without a quote in place and hands the rest to
// the quoting splitter; the table must be what the splitter alone makes of
// the whole text, whatever the mix of lines, breaks and pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextLines.h"

namespace {

void ExpectSplitterTable(const std::string& text, const std::string& delimiters, bool merge, const std::string& name) {
  TTable t;
  TMemoryStream stream(text);
  t.ImportText(stream, "text", TTextImportOptions{delimiters, merge, true, false});
  const std::vector<TextLines::TRecord> records =
      TextLines::SplitRecords(text, TextLines::TDelimiterSet(delimiters), merge, true);
  ASSERT_EQ(t.RowCount(), std::max<int>(1, static_cast<int>(records.size()))) << name;
  for (size_t r = 0; r < records.size(); ++r) {
    for (int c = 0; c < t.ColCount(); ++c) {
      const std::string want = c < static_cast<int>(records[r].size()) ? records[r][static_cast<size_t>(c)] : "";
      ASSERT_EQ(t.GetCell(static_cast<int>(r), c)->Text(), want) << name << " row " << r << " col " << c;
    }
  }
}

}  // namespace

TEST(QuotedImport, MatchesTheSplitterOnEveryMix) {
  const std::string texts[] = {
      "a,b,c\r\nd,e\r\n",
      "plain,line\n\"quoted, with comma\",x\nafter,it\n",
      "\"two\r\nlines\",y\r\nz,w",
      "\"open\nto the end",
      "\"open\nto the end\n",
      "a,\"b\"\"c\",d\r\r\ne,,f\n\n,lead\n",
      "\"x\"tail,y\rz\r",
      ",,a,,\n\"\",\"\"\n",
      "\"a\r",
      "\"multi\n\nline\n\"\n",
      "",
      "no break at the end",
  };
  for (const char* delimiters : {",", ",\"", ";,"}) {
    for (bool merge : {false, true}) {
      int k = 0;
      for (const std::string& text : texts)
        ExpectSplitterTable(text, delimiters, merge,
                            std::string("text ") + std::to_string(k++) + " delimiters " + delimiters +
                                (merge ? " merged" : ""));
    }
  }
}

// A quoted field whose lines straddle the end of a read piece (1 MiB), and
// a CR LF split between two pieces.
TEST(QuotedImport, MatchesTheSplitterAcrossPieces) {
  for (size_t at : {size_t{1} << 20, (size_t{1} << 20) - 1, (size_t{1} << 20) + 1}) {
    std::string text;
    while (text.size() < at - 40) text += "some,plain,fields\r\n";
    text += "\"quoted\r\nover\r\n";
    while (text.size() < at + 40) text += "still quoted, ";
    text += "\",end\r\nlast,line\r\n";
    ExpectSplitterTable(text, ",", false, "piece end " + std::to_string(at));
  }
}
