// Loading and saving the editor's settings on the store: first run, window
// placement clamping, the toolbar look's name, a wrongly typed value, two
// editors sharing the recent files, and a store that cannot be written.
#include "document/AppSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/Settings.h"
#include "model/Errors.h"

namespace {

const TScreenRects kOneScreen = {TRect{0, 0, 1280, 1024}};

TSettingValue Stored(const TMemorySettings& store, const std::string& key, const std::string& name) {
  const auto& keys = store.SharedData()->Keys;
  auto k = keys.find(key);
  if (k == keys.end()) return TSettingValue{TSettingType::Bytes, "(no key)", 0};
  auto v = k->second.find(name);
  return v == k->second.end() ? TSettingValue{TSettingType::Bytes, "(no value)", 0} : v->second;
}

TSettingValue Str(const std::string& s) { return {TSettingType::String, s, 0}; }
TSettingValue Int(int n) { return {TSettingType::Integer, {}, n}; }
TSettingValue Bool(bool b) { return {TSettingType::Boolean, {}, b ? 1 : 0}; }

// First run: nothing stored, so every built-in value is in force; saving
// then creates every key and value with its type (an integer written as a
// string, a boolean as an integer or a key path misspelt all fail here).
TEST(AppSettings, FirstRunLoadsBuiltInsAndSaveWritesEveryValueWithItsType) {
  TMemorySettings store;
  TAppSettings values;
  const TSettingsReport loaded = LoadSettings(store, values, kOneScreen);
  EXPECT_TRUE(loaded.Completed);
  EXPECT_EQ(loaded.Text(), "");
  EXPECT_EQ(values.UndoLevels, 100);
  EXPECT_EQ(values.LastEnvironment, "tabular");
  EXPECT_EQ(values.FontName, "Times New Roman");
  EXPECT_EQ(values.FontSize, 11);
  EXPECT_EQ(values.CodeFontName, "Courier New");
  EXPECT_EQ(values.CodeFontSize, 8);
  EXPECT_EQ(values.ToolbarStyle, "OfficeXP");
  EXPECT_FALSE(values.MainWindow.has_value());
  EXPECT_FALSE(values.CodeWindowVisible);

  // The window fills in its rectangles before saving.
  values.MainWindow = TRect{184, 115, 700, 500};
  values.CodeWindow = TRect{53, 367, 543, 629};
  values.RecentFiles.AddToTop("/a.qtor");
  values.RecentFormats.AddToTop("p{2cm}");
  const TSettingsReport saved = SaveSettings(store, values);
  EXPECT_TRUE(saved.Completed) << saved.Text();
  EXPECT_FALSE(store.HasOpenKey());

  const std::string root = kSettingsKey, ui = kSettingsUIKey;
  struct Case {
    std::string key, name;
    TSettingValue value;
  } cases[] = {
      {root, "Undo Levels", Int(100)},         {root, "Last Open Path", Str("")},
      {root, "Last Save Path", Str("")},       {root, "Last Environment", Str("tabular")},
      {root, "Last Env. Options", Str("")},    {root, "New Table Rule Style", Str("Classic")},
      {root, "Align Code Columns", Bool(false)}, {root, "Package Comment Line", Bool(false)},
      {ui, "Main Window Left", Int(184)},
      {ui, "Main Window Top", Int(115)},       {ui, "Main Window Width", Int(516)},
      {ui, "Main Window Height", Int(385)},    {ui, "Code Window Left", Int(53)},
      {ui, "Code Window Top", Int(367)},       {ui, "Code Window Width", Int(490)},
      {ui, "Code Window Height", Int(262)},    {ui, "Code Window Visible", Bool(false)},
      {ui, "Font Name", Str("Times New Roman")}, {ui, "Font Size", Int(11)},
      {ui, "Code Font Name", Str("Courier New")}, {ui, "Code Font Size", Int(8)},
      {ui, "TB Style", Str("OfficeXP")},       {kRecentFilesKey, "1", Str("/a.qtor")},
      {kRecentFormatsKey, "1", Str("p{2cm}")},
  };
  for (const Case& c : cases) EXPECT_EQ(Stored(store, c.key, c.name), c.value) << c.key << " / " << c.name;
}

// The clamping cases, on one screen and across two: a window kept on the
// second monitor stays there, one whose centre is on no screen comes to
// the primary one.
TEST(AppSettings, PlacementIsClampedOntoTheScreenHoldingItsCentre) {
  const TScreenRects two = {TRect{0, 0, 1280, 1024}, TRect{1280, 0, 3200, 1080}};
  struct Case {
    const char* what;
    int left, top, width, height;
    TScreenRects screens;
    TRect expected;
  } cases[] = {
      {"left -50", -50, 100, 300, 200, kOneScreen, {0, 100, 300, 300}},
      {"width 5", 100, 100, 5, 200, kOneScreen, {100, 100, 110, 300}},
      {"height 3", 100, 100, 300, 3, kOneScreen, {100, 100, 400, 110}},
      {"left 1200 width 300", 1200, 100, 300, 200, kOneScreen, {980, 100, 1280, 300}},
      {"top 900 height 300", 100, 900, 300, 300, kOneScreen, {100, 724, 400, 1024}},
      {"width 2000", 100, 100, 2000, 200, kOneScreen, {0, 100, 1280, 300}},
      {"on the second screen", 2000, 100, 600, 400, two, {2000, 100, 2600, 500}},
      {"past the second screen's edge", 2800, 800, 600, 400, two, {2600, 680, 3200, 1080}},
      {"centre on no screen", 5000, 3000, 300, 200, two, {980, 824, 1280, 1024}},
  };
  for (const Case& c : cases) {
    TMemorySettings store;
    ASSERT_TRUE(store.OpenKey(kSettingsUIKey, true));
    WritePlacement(store, "Main Window", TRect{c.left, c.top, c.left + c.width, c.top + c.height});
    const auto r = ReadPlacement(store, "Main Window", c.screens);
    ASSERT_TRUE(r.has_value()) << c.what;
    EXPECT_EQ(*r, c.expected) << c.what;
  }

  // Three of the four values: the window keeps its own start placement.
  TMemorySettings store;
  ASSERT_TRUE(store.OpenKey(kSettingsUIKey, true));
  WritePlacement(store, "Code Window", TRect{10, 10, 300, 300});
  store.DeleteValue("Code Window Height");
  store.CloseKey();
  TAppSettings values;
  EXPECT_TRUE(LoadSettings(store, values, kOneScreen).Completed);
  EXPECT_FALSE(values.CodeWindow.has_value());
}

// "TB Style" picks a look by name in any letter case; an unknown name (or
// none) picks the first look, and that name is what the next save writes.
TEST(AppSettings, ToolbarLookNameFallsBackToTheFirstAndIsWrittenBack) {
  struct Case {
    const char* stored;
    const char* inForce;
  } cases[] = {{"stripes", "Stripes"}, {"OFFICEXP", "OfficeXP"}, {"Gradient", "Default"}, {nullptr, "Default"}};
  for (const Case& c : cases) {
    TMemorySettings store;
    ASSERT_TRUE(store.OpenKey(kSettingsUIKey, true));
    if (c.stored) store.WriteString("TB Style", c.stored);
    store.CloseKey();
    TAppSettings values;
    ASSERT_TRUE(LoadSettings(store, values, kOneScreen).Completed);
    EXPECT_EQ(values.ToolbarStyle, c.inForce) << (c.stored ? c.stored : "(absent)");
    ASSERT_TRUE(SaveSettings(store, values).Completed);
    EXPECT_EQ(Stored(store, kSettingsUIKey, "TB Style"), Str(c.inForce));
  }
}

// A string where a number belongs stops loading at that value with the
// store's message; what came before is in force, what comes after keeps its
// built-in value, and the store is left closed.
TEST(AppSettings, WrongTypeStopsLoadingThereWithOneMessage) {
  TMemorySettings store;
  ASSERT_TRUE(store.OpenKey(kSettingsKey, true));
  store.WriteInteger("Undo Levels", 7);
  ASSERT_TRUE(store.OpenKey(kSettingsUIKey, true));
  store.WriteString("Font Name", "DejaVu Sans");
  store.WriteString("Font Size", "12");
  store.WriteString("Code Font Name", "DejaVu Sans Mono");
  store.WriteString("TB Style", "Stripes");
  ASSERT_TRUE(store.OpenKey(kRecentFilesKey, true));
  store.WriteString("1", "/x.qtor");
  store.CloseKey();

  TAppSettings values;
  const TSettingsReport report = LoadSettings(store, values, kOneScreen);
  EXPECT_FALSE(report.Completed);
  EXPECT_EQ(report.Messages, std::vector<std::string>{"Invalid data type for 'Font Size'"});
  EXPECT_EQ(values.UndoLevels, 7);
  EXPECT_EQ(values.FontName, "DejaVu Sans");
  EXPECT_EQ(values.FontSize, 11);
  EXPECT_EQ(values.CodeFontName, "Courier New");
  EXPECT_EQ(values.ToolbarStyle, "OfficeXP");
  EXPECT_EQ(values.RecentFiles.Count(), 0);
  EXPECT_FALSE(store.HasOpenKey());
}

// Two editors on one store: the one that saves last keeps its own list
// first and then what the other saved, cut to the list's size; a damaged
// entry in the stored list does not stop the save.
TEST(AppSettings, RecentFilesOfTwoEditorsAreMergedAtSave) {
  TMemorySettings disk;
  TAppSettings first;
  for (const char* f : {"/b3", "/shared", "/b1"}) first.RecentFiles.AddToTop(f);  // b1 newest
  ASSERT_TRUE(SaveSettings(disk, first).Completed);

  TAppSettings second;
  for (int i = 8; i >= 1; --i) second.RecentFiles.AddToTop("/a" + std::to_string(i));
  second.RecentFiles.AddToTop("/shared");  // now 9: /shared, /a1 .. /a8
  second.RecentFiles.Delete(8);            // 8 entries, room for one more
  TMemorySettings later(disk.SharedData());
  ASSERT_TRUE(SaveSettings(later, second).Completed);

  TMemorySettings reader(disk.SharedData());
  ASSERT_TRUE(reader.OpenKeyReadOnly(kRecentFilesKey));
  TSList stored(9, true);
  stored.LoadFromRegistry(reader);
  EXPECT_EQ(stored.Items(), (std::vector<std::string>{"/shared", "/a1", "/a2", "/a3", "/a4", "/a5", "/a6", "/a7",
                                                      "/b1"}));

  // A stored entry of the wrong type ends the stored list there.
  ASSERT_TRUE(reader.OpenKey(kRecentFilesKey, true));
  reader.WriteInteger("2", 5);
  TAppSettings third;
  third.RecentFiles.AddToTop("/c");
  const TSettingsReport report = SaveSettings(reader, third);
  EXPECT_TRUE(report.Completed) << report.Text();
  EXPECT_EQ(Stored(reader, kRecentFilesKey, "2"), Str("/shared"));
}

// If the merge took the stored entries without looking for them in the
// list, a file both editors opened would appear twice in the File menu.
TEST(AppSettings, MergedRecentFilesHoldEachFileOnce) {
  TMemorySettings disk;
  TAppSettings first;
  for (const char* f : {"/s2", "/s1", "/shared"}) first.RecentFiles.AddToTop(f);
  ASSERT_TRUE(SaveSettings(disk, first).Completed);
  TAppSettings second;
  for (const char* f : {"/shared", "/m1"}) second.RecentFiles.AddToTop(f);
  TMemorySettings later(disk.SharedData());
  ASSERT_TRUE(SaveSettings(later, second).Completed);
  TMemorySettings reader(disk.SharedData());
  ASSERT_TRUE(reader.OpenKeyReadOnly(kRecentFilesKey));
  TSList stored(9, true);
  stored.LoadFromRegistry(reader);
  EXPECT_EQ(stored.Items(), (std::vector<std::string>{"/m1", "/shared", "/s1", "/s2"}));
}

// A store whose file cannot be written: the save says so once instead of
// ending silently.
TEST(AppSettings, AFailedWriteAtSaveIsReported) {
  class TUnwritable : public TMemorySettings {
   public:
    void Flush() override { throw EQuiltorError("Cannot create file /ro/Quiltor.json"); }
  } store;
  const TSettingsReport report = SaveSettings(store, TAppSettings{});
  EXPECT_FALSE(report.Completed);
  EXPECT_EQ(report.Text(), "Cannot create file /ro/Quiltor.json");
}

}  // namespace
