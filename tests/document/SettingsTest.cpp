#include "document/Settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/Errors.h"

namespace {

using Strings = std::vector<std::string>;

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EQuiltorError& e) {
    return e.what();
  }
  return "(no error)";
}

// Every type written, then read back as every type, in a store over the same
// data but a fresh object: the types come from the data, not from a cache.
TEST(Settings, TypesAreKept) {
  TMemorySettings writer;
  ASSERT_TRUE(writer.OpenKey("\\Software\\LaTeX\\Quiltor", true));
  writer.WriteString("S", "5");
  writer.WriteInteger("I", 5);
  writer.WriteBool("B", true);
  writer.WriteBool("F", false);
  writer.WriteBinaryData("Y", {0, 255, 5});
  writer.CloseKey();

  TMemorySettings reader(writer.SharedData());
  ASSERT_TRUE(reader.OpenKeyReadOnly("\\Software\\LaTeX\\Quiltor"));
  struct Case {
    const char* name;
    std::string asString, asInteger, asBool, asBytes;  // the value read, or the error
  };
  const Case cases[] = {
      {"S", "5", "Invalid data type for 'S'", "Invalid data type for 'S'", "Invalid data type for 'S'"},
      {"I", "Invalid data type for 'I'", "5", "true", "Invalid data type for 'I'"},
      {"B", "Invalid data type for 'B'", "1", "true", "Invalid data type for 'B'"},
      {"F", "Invalid data type for 'F'", "0", "false", "Invalid data type for 'F'"},
      {"Y", "Invalid data type for 'Y'", "Invalid data type for 'Y'", "Invalid data type for 'Y'", "0 255 5"},
      {"missing", "", "Failed to get data for 'missing'", "Failed to get data for 'missing'",
       "Failed to get data for 'missing'"},
  };
  auto read = [&](const std::function<std::string()>& f) {
    try {
      return f();
    } catch (const EQuiltorError& e) {
      return std::string(e.what());
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string n = c.name;
    EXPECT_EQ(read([&] { return reader.ReadString(n); }), c.asString);
    EXPECT_EQ(read([&] { return std::to_string(reader.ReadInteger(n)); }), c.asInteger);
    EXPECT_EQ(read([&] { return std::string(reader.ReadBool(n) ? "true" : "false"); }), c.asBool);
    EXPECT_EQ(read([&] {
                std::string out;
                for (uint8_t b : reader.ReadBinaryData(n)) out += (out.empty() ? "" : " ") + std::to_string(b);
                return out;
              }),
              c.asBytes);
  }
}

TEST(Settings, KeysOpenCreateAndCompareWithoutCase) {
  TMemorySettings store;
  EXPECT_FALSE(store.OpenKeyReadOnly("\\Software\\LaTeX\\Quiltor"));
  EXPECT_FALSE(store.OpenKey("\\Software\\LaTeX\\Quiltor", false));
  EXPECT_FALSE(store.HasOpenKey());

  ASSERT_TRUE(store.OpenKey("\\Software\\LaTeX\\Quiltor\\UI", true));
  store.WriteInteger("Font Size", 12);
  // Ancestors came with it, and names ignore letter case.
  EXPECT_TRUE(store.KeyExists("\\Software\\LaTeX"));
  EXPECT_TRUE(store.KeyExists("\\"));
  EXPECT_FALSE(store.KeyExists("\\Software\\LaTeX\\Quiltor\\UI\\TB"));
  ASSERT_TRUE(store.OpenKeyReadOnly("\\SOFTWARE\\latex\\quiltor\\ui\\"));
  EXPECT_EQ(store.CurrentPath(), "\\Software\\LaTeX\\Quiltor\\UI");
  EXPECT_EQ(store.ReadInteger("FONT SIZE"), 12);
  EXPECT_TRUE(store.ValueExists("font size"));
  EXPECT_EQ(store.GetValueNames(), Strings{"Font Size"});

  // A failed open keeps the key that was open; a relative path lies below it.
  EXPECT_FALSE(store.OpenKeyReadOnly("\\Nowhere"));
  EXPECT_EQ(store.CurrentPath(), "\\Software\\LaTeX\\Quiltor\\UI");
  ASSERT_TRUE(store.OpenKey("TB", true));
  EXPECT_EQ(store.CurrentPath(), "\\Software\\LaTeX\\Quiltor\\UI\\TB");
}

TEST(Settings, WritesNeedAWritableKey) {
  TMemorySettings store;
  EXPECT_EQ(ErrorOf([&] { store.WriteString("Last Open Path", "/x"); }), "Failed to set data for 'Last Open Path'");
  EXPECT_EQ(ErrorOf([&] { (void)store.ReadString("Last Open Path"); }), "Failed to get data for 'Last Open Path'");
  EXPECT_FALSE(store.ValueExists("Last Open Path"));

  ASSERT_TRUE(store.OpenKey("\\K", true));
  store.WriteString("v", "1");
  ASSERT_TRUE(store.OpenKeyReadOnly("\\K"));
  EXPECT_EQ(ErrorOf([&] { store.WriteInteger("v", 2); }), "Failed to set data for 'v'");
  EXPECT_EQ(ErrorOf([&] { store.DeleteValue("v"); }), "Failed to set data for 'v'");
  EXPECT_EQ(store.ReadString("v"), "1");

  ASSERT_TRUE(store.OpenKey("\\K", false));
  EXPECT_EQ(ErrorOf([&] { store.WriteBool("\xff", true); }), "Failed to set data for '\xff'");
  // A write replaces the value together with its type.
  store.WriteInteger("v", 2);
  EXPECT_EQ(store.ReadInteger("v"), 2);
  EXPECT_TRUE(store.DeleteValue("v"));
  EXPECT_FALSE(store.DeleteValue("v"));
  EXPECT_FALSE(store.ValueExists("v"));
}

TEST(Settings, KeyPathsNormalise) {
  struct Case {
    const char* path;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {"\\Software\\LaTeX\\Quiltor", "\\", "\\Software\\LaTeX\\Quiltor"},
      {"\\\\Software\\\\LaTeX\\", "\\", "\\Software\\LaTeX"},
      {"Recent Files", "\\Software\\LaTeX\\Quiltor", "\\Software\\LaTeX\\Quiltor\\Recent Files"},
      {"\\Recent Files", "\\Software", "\\Recent Files"},
      {"", "\\A", "\\A"},
      {"\\", "\\A", "\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormaliseKeyPath(c.path, c.base), c.expected) << c.path;
}

TEST(Settings, Utf8Validation) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain", true},
      {"\xc3\xa9", true},
      {"\xe2\x82\xac", true},
      {"\xf0\x9f\x98\x80", true},
      {std::string("a\0b", 3), true},
      {"\xc3", false},             // cut short
      {"\xe9t\xe9", false},        // Latin-1
      {"\xc0\xaf", false},         // overlong
      {"\xe0\x80\xaf", false},     // overlong
      {"\xed\xa0\x80", false},     // surrogate
      {"\xf4\x90\x80\x80", false}, // beyond U+10FFFF
      {"\x80", false},             // stray continuation
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

// Without an installed factory, the stores of one run share their keys, so
// that what one saves another loads.
TEST(Settings, ProgramStoreFactory) {
  {
    auto a = CreateSettingsStore();
    ASSERT_TRUE(a->OpenKey("\\Software\\LaTeX\\Quiltor", true));
    a->WriteInteger("Undo Levels", 42);
    a->CloseKey();
  }
  auto b = CreateSettingsStore();
  ASSERT_TRUE(b->OpenKeyReadOnly("\\Software\\LaTeX\\Quiltor"));
  EXPECT_EQ(b->ReadInteger("Undo Levels"), 42);

  int made = 0;
  SetSettingsFactory([&made] {
    ++made;
    return std::make_unique<TMemorySettings>();
  });
  EXPECT_FALSE(CreateSettingsStore()->OpenKeyReadOnly("\\Software\\LaTeX\\Quiltor"));
  EXPECT_EQ(made, 1);
  SetSettingsFactory(nullptr);
}

}  // namespace
