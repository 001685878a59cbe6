// The recovery folder without a window: the bytes of an entry, its
// description, which entries a start offers and what becomes of damaged
// ones. The killed editor and the window's wiring are tested in
// tests/forms/RecoveryTest.cpp.
#include "document/Recovery.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "../model/FileTestUtil.h"
#include "document/AppSettings.h"
#include "document/Settings.h"
#include "model/AtomicFile.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"
#include "model/TableEdit.h"
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
  // Version 1, version 2 with its style chunks, and version 2 with a
  // block across rows and its arguments.
  for (const int variant : {0, 1, 2}) {
    const bool styled = variant == 1;
    TTable t;
    FillRichTable(t);
    if (styled) {
      t.Style.Rules = rsBooktabs;
      t.Style.Float.Caption = "Results";
      t.Style.Float.Centering = true;
    }
    if (variant == 2) JoinCells(t, {1, 0, 2, 1})->SetBlockArgs({"b", "", "2cm", ""});
    TMemoryStream native;
    t.SaveToStream(native);
    EXPECT_EQ(SnapshotToNative(*Snapshots::TSnapshot::Capture(t, nullptr)), native.Data()) << variant;
  }
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

  // Held to what the Options dialog allows: a number past it would
  // overflow the timer's milliseconds.
  for (const auto& [stored, applied] : {std::pair{-5, 0}, {2147484, kMaxRecoveryInterval}, {86400, 86400}}) {
    back.RecoveryInterval = stored;
    ApplyDocumentSettings(back);
    EXPECT_EQ(RecoveryInterval, applied) << stored;
  }
  RecoveryInterval = kDefaultRecoveryInterval;
}

// What --recover prints goes to a terminal: a file name must not be able
// to move the cursor, change the title or clear the screen.
TEST(RecoveryListing, ControlCharactersAreEscaped) {
  TRecoveryScan scan;
  scan.Entries.emplace_back();
  scan.Entries[0].Info.FileName = "/home/a/\x1b]0;owned\x07\x9b" "2J\xc2\x9b\x7f\xe2\x82\xac.qtor";
  const std::string listing = RecoveryListing(scan);
  EXPECT_NE(listing.find("/home/a/\\x1b]0;owned\\x07\\x9b2J\\xc2\\x9b\\x7f\xe2\x82\xac.qtor\n"), std::string::npos)
      << listing;
}

class TUmaskGuard {
 public:
  explicit TUmaskGuard(mode_t mask) : FOld(::umask(mask)) {}
  ~TUmaskGuard() { ::umask(FOld); }

 private:
  mode_t FOld;
};

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

// One oversized file must not stop every start (reading it whole ends in
// std::bad_alloc) nor abort --recover: an entry is read with a size bound
// and anything that fails is damage, moved aside like any other.
TEST_F(RecoveryFolder, OversizedEntriesAreDamage) {
  struct Case {
    const char* Ext;
    int64_t Size;
    const char* Cause;
  } cases[] = {{".info", int64_t{100} << 30, "its description is too large"},
               {".qtor", ChunkTags::kMaxFileSize + 1, "larger than a Quiltor data file can be"}};
  for (const Case& c : cases) {
    for (const bool move : {false, true}) {
      SCOPED_TRACE(std::string(c.Ext) + (move ? " moved" : " listed"));
      std::filesystem::remove_all(Folder());
      const std::string stem = WriteEntry("/x/t.qtor");
      // Sparse: the size without the disk space.
      ASSERT_EQ(::truncate((stem + c.Ext).c_str(), c.Size), 0);
      const TRecoveryScan scan = ScanRecoveryFolder(Folder(), move);
      EXPECT_TRUE(scan.Entries.empty());
      ASSERT_EQ(scan.Damaged.size(), 1u);
      EXPECT_NE(scan.Damaged[0].find(c.Cause), std::string::npos) << scan.Damaged[0];
      EXPECT_EQ(std::filesystem::exists(stem + c.Ext), !move);
    }
  }
}

// The entries hold the user's documents: if the folder were made readable
// by others, or the files in it were, other users on the machine could
// read them.
TEST_F(RecoveryFolder, FolderAndFilesAreTheUsersOnly) {
  const TUmaskGuard open(0);
  const std::string stem = WriteEntry("/x/t.qtor");
  struct stat st {};
  ASSERT_EQ(::stat(Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  for (const char* ext : {".info", ".qtor", ".lock"}) {
    ASSERT_EQ(::stat((stem + ext).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << ext;
  }
}

// A folder another user could have prepared (a link to their folder, their
// own folder, one open to others) is neither written nor read: it could
// collect the documents, or hand this editor tables under any file name.
TEST_F(RecoveryFolder, FolderOfDoubtfulOwnershipIsRefused) {
  const std::string elsewhere = Dir.File("elsewhere");
  struct Case {
    const char* Name;
    std::function<void()> Prepare;
    const char* Why;
  } cases[] = {
      {"a symbolic link",
       [&] {
         std::filesystem::create_directory(elsewhere);
         ::chmod(elsewhere.c_str(), 0700);
         std::filesystem::create_directory_symlink(elsewhere, Folder());
       },
       "it is a symbolic link"},
      {"open to others",
       [&] {
         std::filesystem::create_directory(Folder());
         ::chmod(Folder().c_str(), 0777);
       },
       "others may read or write it"},
      {"another user's",
       [&] {
         std::filesystem::create_directory(Folder());
         ::chmod(Folder().c_str(), 0700);
         if (::chown(Folder().c_str(), 65534, 65534) != 0) std::filesystem::remove(Folder());
       },
       "it belongs to another user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove_all(Folder());
    std::filesystem::remove_all(elsewhere);
    c.Prepare();
    if (!std::filesystem::exists(Folder())) continue;  // not root: no other owner to give
    TTable t;
    new TColumn(t);
    t.AddRow();
    std::string failure;
    {
      TRecoveryWriter writer(Folder());
      writer.OnWritten = [&](const std::string& f) { failure = f; };
      writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{"/x/t.qtor", "t", 0, 0});
      writer.Flush();
      EXPECT_EQ(writer.WriteCount(), 0);
    }
    EXPECT_NE(failure.find(c.Why), std::string::npos) << failure;
    EXPECT_TRUE(std::filesystem::is_empty(Folder()));
    // Nothing is offered from it either, and it is said why.
    WriteBytes(Folder() + "/1-1.info", FormatRecoveryInfo(TRecoveryInfo{"/x/t.qtor", "t", 0, 1}));
    const TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
    EXPECT_TRUE(scan.Entries.empty());
    ASSERT_EQ(scan.Damaged.size(), 1u);
    EXPECT_NE(scan.Damaged[0].find(c.Why), std::string::npos) << scan.Damaged[0];
  }
}

// The description goes first: if the data came first, an entry cut short
// between the two would pair new data with an old description (or none),
// and be offered under a wrong name or as damaged.
std::vector<std::string>* gRenamed = nullptr;
TEST_F(RecoveryFolder, DescriptionIsWrittenBeforeTheData) {
  std::vector<std::string> renamed;
  gRenamed = &renamed;
  TAtomicFile::TestHooks().Rename = [](const char* from, const char* to) {
    const std::string target = to;
    gRenamed->push_back(target.substr(target.find_last_of('.')));
    return ::rename(from, to);
  };
  WriteEntry("/x/t.qtor");
  TAtomicFile::TestHooks() = {};
  gRenamed = nullptr;
  EXPECT_EQ(renamed, (std::vector<std::string>{".info", ".qtor"}));
}

// The safe save's temporaries of an entry (named ".NAME.tmp-PID-N") are
// no entries: neither offered, nor reported as damaged, nor removed while
// their save may still run.
TEST_F(RecoveryFolder, SafeSaveTemporariesAreNoEntries) {
  std::filesystem::create_directories(Folder());
  ::chmod(Folder().c_str(), 0700);
  const std::string live = std::to_string(::getpid());
  const std::string names[] = {".1-2.qtor.tmp-" + live + "-1", ".1-2.info.tmp-" + live + "-2", ".1-2.qtor",
                               ".1-2.info"};
  for (const std::string& name : names) WriteBytes(Folder() + "/" + name, "partial");
  const TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
  EXPECT_TRUE(scan.Entries.empty());
  EXPECT_TRUE(scan.Damaged.empty()) << scan.Damaged[0];
  for (const std::string& name : names) EXPECT_TRUE(std::filesystem::exists(Folder() + "/" + name)) << name;
}

// Descriptors this process holds open on files of folder.
int OpenFilesIn(const std::string& folder) {
  int n = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
    n += !ec && target.rfind(folder + "/", 0) == 0 ? 1 : 0;
  }
  return n;
}

// A discarded entry's lock must be let go: kept open, every save and
// discard of a long session would leak a descriptor, and a writer that
// discards and writes again would hold two locks.
TEST_F(RecoveryFolder, DiscardClosesTheLock) {
  TTable t;
  FillRichTable(t);
  TRecoveryWriter writer(Folder());
  for (int i = 0; i < 3; ++i) {
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{});
    writer.Flush();
    EXPECT_EQ(OpenFilesIn(Folder()), 1);
    writer.Discard();
    EXPECT_EQ(OpenFilesIn(Folder()), 0);
  }
}

// A recovered entry is written on by the editor that recovered it, so that
// its changes stay in one entry; let go unsaved (Release) it stays for the
// next start, with the changes made since.
TEST_F(RecoveryFolder, AdoptedEntryIsWrittenOnAndReleasedWhole) {
  WriteEntry("/x/t.qtor");
  std::vector<TRecoveryEntry> found = ScanRecoveryFolder(Folder(), true).Entries;
  ASSERT_EQ(found.size(), 1u);
  const std::string data = found[0].DataPath;
  TTable t;
  new TColumn(t);
  t.AddRow();
  t.GetCell(0, 0)->SetText("later");
  {
    TRecoveryWriter writer(Folder());
    writer.Adopt(found[0]);
    found.clear();
    EXPECT_EQ(writer.DataPath(), data);
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{"/x/t.qtor", "t", 0, 0});
    writer.Flush();
    writer.Release();
    EXPECT_FALSE(writer.HasEntry());
    EXPECT_NE(writer.DataPath(), data);
  }
  const TRecoveryScan scan = ScanRecoveryFolder(Folder(), true);
  ASSERT_EQ(scan.Entries.size(), 1u);
  EXPECT_EQ(scan.Entries[0].DataPath, data);
  TTable back;
  LoadRecoveryData(scan.Entries[0], back);
  EXPECT_EQ(back.GetCell(0, 0)->Text(), "later");
}

}  // namespace
