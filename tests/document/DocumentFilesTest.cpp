// The Text Import dialog's preview of a file: bounded in lines and bytes,
// decoded as the import reads it, and told about a NUL anywhere in the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/DocumentFiles.h"
#include "model/FileTestUtil.h"

namespace {

struct TShown {
  std::vector<std::string> Lines;
  bool Cropped;
  int64_t NulAt;
  bool operator==(const TShown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TShown& s) {
  return os << testing::PrintToString(s.Lines) << (s.Cropped ? " cropped" : "") << " nul " << s.NulAt;
}

std::string Utf16LE(const std::string& ascii) {
  std::string s = "\xFF\xFE";
  for (char c : ascii) s += {c, '\0'};
  return s;
}

// Faults caught: a UTF-8 byte-order mark shown (it would also hide the
// quote that opens the first field); bytes that are not UTF-8 changed
// before the dialog shows them; the whole file read and shown (a huge line reaching the
// dialog uncut, more lines than asked for); a line cut inside a UTF-8
// sequence; the last line of a file exactly maxBytes long taken as cropped,
// or a file going on beyond maxBytes not; UTF-16 shown undecoded; a NUL
// beyond the part read not found, or any zero byte of UTF-16 taken for one.
TEST(TextPreview, BoundedDecodedAndToldOfTheNul) {
  const std::string longLine = std::string(999, 'a') + "\xE2\x82\xAC" + std::string(3 << 20, 'b');
  std::string numbered;
  for (int i = 1; i <= 5; ++i) numbered += "l" + std::to_string(i) + "\r\n";
  const std::string utf16Tail = Utf16LE("x\r\n" + std::string(1 << 20, 'y'));  // a zero byte in every unit
  struct Case {
    const char* name;
    std::string bytes;
    int maxLines;
    size_t maxBytes;
    TShown shown;
  } cases[] = {
      {"whole file", numbered, 10, 1 << 20, {{"l1", "l2", "l3", "l4", "l5"}, false, -1}},
      {"UTF-8 mark dropped", "\xEF\xBB\xBF\"a\",b\r\n", 10, 1 << 20, {{"\"a\",b"}, false, -1}},
      {"not UTF-8: the bytes as they are", "a\xFF\xE4,b\r\n", 10, 1 << 20, {{"a\xFF\xE4,b"}, false, -1}},
      {"exactly maxLines", numbered, 5, 1 << 20, {{"l1", "l2", "l3", "l4", "l5"}, false, -1}},
      {"more than maxLines", numbered, 3, 1 << 20, {{"l1", "l2", "l3"}, true, -1}},
      {"exactly maxBytes", numbered, 10, numbered.size(), {{"l1", "l2", "l3", "l4", "l5"}, false, -1}},
      {"maxBytes ends inside a line, shown as read", numbered, 10, 9, {{"l1", "l2", "l"}, true, -1}},
      {"one huge line, cut before the euro sign", longLine, 200, 1 << 20, {{std::string(999, 'a')}, true, -1}},
      {"NUL far beyond the part read", longLine + std::string(1, '\0') + "z", 200, 1 << 20,
       {{std::string(999, 'a')}, true, static_cast<int64_t>(longLine.size())}},
      {"NUL inside the part read ends the text", std::string("a\nb\0c\nd", 7), 200, 1 << 20, {{"a", "b"}, false, 3}},
      {"UTF-16 decoded, its zero bytes are text", utf16Tail, 1, 1 << 20, {{"x"}, true, -1}},
      {"UTF-16 NUL code unit beyond the part read", utf16Tail + std::string(2, '\0'), 1, 1 << 20,
       {{"x"}, true, static_cast<int64_t>(utf16Tail.size())}},
  };
  TTempDir dir;
  for (const Case& c : cases) {
    const std::string name = dir.File("p.csv");
    WriteBytes(name, c.bytes);
    const TTextPreview p = ReadTextPreview(name, c.maxLines, c.maxBytes);
    EXPECT_EQ((TShown{p.Lines, p.Cropped, p.NulAt}), c.shown) << c.name;
  }
}

}  // namespace
