// The recovery folder without a window: the bytes of an entry, its
// description, which entries a start offers and what becomes of damaged
// ones. The killed editor and the window's wiring are tested in
// tests/forms/RecoveryTest.cpp.
#include "document/Recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../model/FileTestUtil.h"
#include "document/AppSettings.h"
#include "document/Settings.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"
#include "undo/Snapshot.h"

namespace {

// Every field the native format writes, each in a state that is written
// (a span, rules, an alignment, prefixes, extras, an empty column format)
// and one that is left out.
void FillRichTable(TTable& t) {
  for (const char* format : {"l", "", "p{2cm}"}) (new TColumn(t))->Format = format;
  for (int r = 0; r < 2; ++r) {
    TRow& row = *new TRow(t);
    row.Prefix = r ? "\\hline" : "";
    row.Postfix = r ? "" : "% end\r\n";
    for (int c = 0; c < (r ? 2 : 3); ++c) {
      TCell& cell = *new TCell(row);
      cell.SetText(r ? "joined & wide" : std::string(c, 'x'));
      cell.Span = r && c == 1 ? 2 : 1;
      cell.Align = c == 2 ? 'r' : 0;
      cell.RuleTop = static_cast<uint8_t>(r);
      cell.Selected = c == 0;
    }
  }
  t.Environment = "array";
  t.EnvOptions = "[t]";
  t.Extra2 = "kept";
}

TEST(RecoverySnapshot, SameBytesAsTheNativeWriter) {
  TTable t;
  FillRichTable(t);
  TMemoryStream native;
  t.SaveToStream(native);
  EXPECT_EQ(SnapshotToNative(*Snapshots::TSnapshot::Capture(t, nullptr)), native.Data());
}

TEST(RecoveryInfo, RoundTripAndDamage) {
  const TRecoveryInfo info{"/home/a/odd\nname\\x\r.qtor", "odd\nname", 1796649424, 4242};
  TRecoveryInfo back;
  ASSERT_TRUE(ParseRecoveryInfo(FormatRecoveryInfo(info), back));
  EXPECT_EQ(back.FileName, info.FileName);
  EXPECT_EQ(back.Title, info.Title);
  EXPECT_EQ(back.Time, info.Time);
  EXPECT_EQ(back.Pid, info.Pid);
  EXPECT_EQ(back.Table, 0);
  // A table of a paper: Recover + Save must find it again.
  TRecoveryInfo table = info;
  table.Table = 2;
  ASSERT_TRUE(ParseRecoveryInfo(FormatRecoveryInfo(table), back));
  EXPECT_EQ(back.Table, 2);

  const std::string good = FormatRecoveryInfo(info);
  const std::string damaged[] = {
      "",
      good.substr(0, good.size() - 1),                  // cut inside the last line
      "Quiltor recovery 2\n" + good.substr(good.find('\n') + 1),
      good + "pid 7\n",                                  // a key twice
      "Quiltor recovery 1\nfile a\ntitle a\ntime 12x\npid 1\n",
      "Quiltor recovery 1\nfile a\\q\ntitle a\ntime 1\npid 1\n",
      "Quiltor recovery 1\nfile a\ntitle a\ntime 1\n",  // no pid
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseRecoveryInfo(text, back));
  }
}

// "Recovery Interval" survives a save and a load, and is off when stored as
// a negative number.
TEST(RecoverySetting, StoredReadAndApplied) {
  auto data = std::make_shared<TSettingsData>();
  TMemorySettings saved(data);
  TAppSettings values;
  values.RecoveryInterval = 7;
  ASSERT_TRUE(SaveSettings(saved, values).Completed);
  TMemorySettings store(data);
  TAppSettings back;
  ASSERT_TRUE(LoadSettings(store, back, {}).Completed);
  EXPECT_EQ(back.RecoveryInterval, 7);

  back.RecoveryInterval = -5;
  ApplyDocumentSettings(back);
  EXPECT_EQ(RecoveryInterval, 0);
  RecoveryInterval = kDefaultRecoveryInterval;
}

class RecoveryFolder : public ::testing::Test {
 protected:
  // An entry of a process that is gone: written, then its writer ended.
  std::string WriteEntry(const std::string& fileName) {
    TTable t;
    FillRichTable(t);
    TRecoveryWriter writer(Folder());
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{fileName, "t", 0, 0});
    writer.Flush();
    EXPECT_EQ(writer.WriteCount(), 1);
    const std::string data = writer.DataPath();
    return data.substr(0, data.size() - 5);  // without ".qtor"
  }
  std::string Folder() const { return Dir.File("recovery"); }
  TTempDir Dir;
};

// A running writer holds its entry: a scan, even in the same process,
// passes it by; once the writer is gone the entry is offered.
TEST_F(RecoveryFolder, RunningWritersEntryIsNotOffered) {
  TTable t;
  new TColumn(t);
  t.AddRow();
  t.GetCell(0, 0)->SetText("mine");
  {
    TRecoveryWriter writer(Folder());
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{"/x/mine.qtor", "mine", 0, 0});
    writer.Flush();
    const TRecoveryScan running = ScanRecoveryFolder(Folder(), true);
    EXPECT_TRUE(running.Entries.empty());
    EXPECT_TRUE(running.Damaged.empty());
  }
  const TRecoveryScan gone = ScanRecoveryFolder(Folder(), true);
  ASSERT_EQ(gone.Entries.size(), 1u);
  EXPECT_EQ(gone.Entries[0].Info.FileName, "/x/mine.qtor");
  EXPECT_EQ(gone.Entries[0].Info.Pid, ::getpid());
  TTable back;
  LoadRecoveryData(gone.Entries[0], back);
  EXPECT_EQ(back.GetCell(0, 0)->Text(), "mine");
  // While one scan holds the entry, a second one does not offer it too.
  EXPECT_TRUE(ScanRecoveryFolder(Folder(), true).Entries.empty());
}

// Each kind of damage is reported and never offered; a start moves the
// entry aside, --recover's look leaves it where it is.
TEST_F(RecoveryFolder, DamagedEntriesAreReportedAndMovedAside) {
  struct Case {
    const char* Name;
    void (*Damage)(const std::string& stem);
    const char* Cause;
  };
  const Case cases[] = {
      {"data", [](const std::string& s) { WriteBytes(s + ".qtor", "not a table"); }, "Stream"},
      {"description", [](const std::string& s) { WriteBytes(s + ".info", "Quiltor recovery 1\nfile"); },
       "its description is damaged"},
      {"no description", [](const std::string& s) { std::filesystem::remove(s + ".info"); },
       "it has no description"},
  };
  for (const Case& c : cases) {
    for (const bool move : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (move ? " moved" : " listed"));
      std::filesystem::remove_all(Folder());
      const std::string stem = WriteEntry("/x/t.qtor");
      c.Damage(stem);
      const TRecoveryScan scan = ScanRecoveryFolder(Folder(), move);
      EXPECT_TRUE(scan.Entries.empty());
      ASSERT_EQ(scan.Damaged.size(), 1u);
      EXPECT_NE(scan.Damaged[0].find(c.Cause), std::string::npos) << scan.Damaged[0];
      const std::string name = stem.substr(stem.find_last_of('/') + 1);
      EXPECT_EQ(std::filesystem::exists(stem + ".qtor"), !move);
      EXPECT_EQ(std::filesystem::exists(Folder() + "/damaged/" + name + ".qtor"), move);
      EXPECT_EQ(scan.Damaged[0].find(Folder() + "/damaged") != std::string::npos, move);
    }
  }
}

// An entry whose process ended before its first data was written holds
// nothing, and neither does a lock whose removal was cut short: both are
// tidied away without a word.
TEST_F(RecoveryFolder, EntriesWithoutDataAreRemoved) {
  const std::string stem = WriteEntry("");
  std::filesystem::remove(stem + ".qtor");
  WriteBytes(Folder() + "/1-2.lock", "");
  const TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
  EXPECT_TRUE(scan.Entries.empty());
  EXPECT_TRUE(scan.Damaged.empty());
  EXPECT_TRUE(std::filesystem::is_empty(Folder()));
}

// A write still waiting or in flight when the entry is discarded must not
// bring the entry back afterwards.
TEST_F(RecoveryFolder, DiscardLeavesNothingBehind) {
  TTable t;
  FillRichTable(t);
  TRecoveryWriter writer(Folder());
  for (int i = 0; i < 20; ++i) {
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{});
    writer.Discard();
    writer.Flush();
    EXPECT_FALSE(writer.HasEntry());
    EXPECT_TRUE(!std::filesystem::exists(Folder()) || std::filesystem::is_empty(Folder()));
  }
}

}  // namespace
