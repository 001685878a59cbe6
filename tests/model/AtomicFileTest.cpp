// Replacing files: what the new file keeps of the old one, and what a save
// that fails or is killed leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <signal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FileTestUtil.h"
#include "model/AtomicFile.h"

namespace {

void Save(const std::string& name, const std::string& bytes) {
  TAtomicFile file(name);
  file.Stream().Write(bytes.data(), bytes.size());
  file.Commit();
}

struct stat Stat(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
  return st;
}

// Every extended attribute of a file, name to value.
std::map<std::string, std::string> Attributes(const std::string& name) {
  std::map<std::string, std::string> all;
  char names[4096];
  const ssize_t n = ::listxattr(name.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t size = ::getxattr(name.c_str(), names + at, value, sizeof value);
    if (size >= 0) all[names + at] = std::string(value, static_cast<size_t>(size));
  }
  return all;
}

// An access ACL in the kernel's format: version 2, then (tag, permissions,
// id) entries. This one gives user 1234 read and write beside the owner.
std::string AccessAcl() {
  std::string acl;
  auto u16 = [&](unsigned v) { acl += static_cast<char>(v & 0xFF), acl += static_cast<char>(v >> 8); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  u32(2);
  const struct { unsigned tag, perm; uint32_t id; } entries[] = {
      {0x01, 6, 0xFFFFFFFF}, {0x02, 6, 1234}, {0x04, 4, 0xFFFFFFFF}, {0x10, 6, 0xFFFFFFFF}, {0x20, 0, 0xFFFFFFFF}};
  for (const auto& e : entries) u16(e.tag), u16(e.perm), u32(e.id);
  return acl;
}

class TUmask {
 public:
  explicit TUmask(mode_t mask) : FOld(::umask(mask)) {}
  ~TUmask() { ::umask(FOld); }

 private:
  mode_t FOld;
};

// If the owner, group, mode bits (set-ID bits too: changing the owner clears
// them) or extended attributes of the replaced file were not carried over,
// the saved file would differ from the old one in them.
TEST(AtomicFile, ReplacedFileKeepsOwnerGroupModeAndAttributes) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving files to other users needs root";
  const TUmask umask(022);
  struct Case {
    const char* name;
    mode_t mode;
    bool acl;
  } cases[] = {
      {"private", 0640, false}, {"owner only", 0600, false}, {"set-user-ID", 04755, false},
      {"set-group-ID", 02770, false}, {"with an ACL", 0640, true},
  };
  for (const Case& c : cases) {
    TTempDir dir;
    const std::string name = dir.File("t.qtor");
    WriteBytes(name, "old");
    ASSERT_EQ(::chown(name.c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(name.c_str(), c.mode), 0);
    if (::setxattr(name.c_str(), "user.origin", "quiltor", 7, 0) != 0) GTEST_SKIP() << "no user attributes here";
    if (c.acl) {
      const std::string acl = AccessAcl();
      ASSERT_EQ(::setxattr(name.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    }
    const struct stat before = Stat(name);
    const auto attributes = Attributes(name);

    Save(name, "new");
    const struct stat after = Stat(name);
    EXPECT_EQ(ReadBytes(name), "new") << c.name;
    EXPECT_EQ(after.st_uid, 1234u) << c.name;
    EXPECT_EQ(after.st_gid, 5678u) << c.name;
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777) << c.name;
    EXPECT_EQ(Attributes(name), attributes) << c.name;
    EXPECT_EQ(attributes.count("system.posix_acl_access"), c.acl ? 1u : 0u) << c.name;
  }
}

// If the writer replaced files the user may not write, the first two cases
// would be saved; if a group member's save lost the group, or a save into a
// folder the user cannot create files in were refused although the file is
// writable, the last two would fail.
TEST(AtomicFile, SavesAsAnUnprivilegedUserRespectPermissions) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up files of other users";
  const TChildUser user{65534, 65534, {4242}};
  enum { kSaved = 0, kRefused = 1, kOtherError = 2 };
  struct Case {
    const char* name;
    uid_t uid;
    gid_t gid;
    mode_t mode;
    mode_t folderMode;
    int expected;
  } cases[] = {
      {"read-only to its owner", 65534, 65534, 0444, 0777, kRefused},
      {"someone else's file", 0, 0, 0644, 0777, kRefused},
      {"group-writable, saved by a member", 0, 4242, 0664, 0777, kSaved},
      {"writable file, folder not writable", 0, 0, 0666, 0755, kSaved},
  };
  for (const Case& c : cases) {
    TTempDir dir;
    const std::string name = dir.File("t.qtor");
    WriteBytes(name, "old");
    ASSERT_EQ(::chown(name.c_str(), c.uid, c.gid), 0);
    ASSERT_EQ(::chmod(name.c_str(), c.mode), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), c.folderMode), 0);
    const ino_t inode = Stat(name).st_ino;

    const int code = RunInChild(
        [&] {
          const std::string message = MessageOf([&] { Save(name, "new"); });
          if (message.empty()) return kSaved;
          return message == "Cannot create file " + name ? kRefused : kOtherError;
        },
        &user);
    if (code == kCannotDropPrivileges) GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(code, c.expected) << c.name;
    const struct stat after = Stat(name);
    EXPECT_EQ(ReadBytes(name), c.expected == kSaved ? "new" : "old") << c.name;
    EXPECT_EQ(after.st_gid, c.gid) << c.name;
    EXPECT_EQ(after.st_mode & 07777, c.mode) << c.name;
    if (c.folderMode == 0755) {
      EXPECT_EQ(after.st_ino, inode) << c.name << ": written in place";
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"t.qtor"}) << c.name;
  }
}

// If a file with several names were replaced by rename, the other names
// would keep the old content; if its old bytes were not cut to the new
// length, the tail of the old content would remain.
TEST(AtomicFile, HardLinkedFileIsWrittenInPlace) {
  TTempDir dir;
  const std::string name = dir.File("a.qtor"), other = dir.File("b.qtor");
  WriteBytes(name, std::string(100000, 'o'));
  ASSERT_EQ(::link(name.c_str(), other.c_str()), 0);
  const ino_t inode = Stat(name).st_ino;
  for (const std::string& content : {std::string(200000, 'n'), std::string("short")}) {
    Save(name, content);
    EXPECT_TRUE(ReadBytes(other) == content);
    EXPECT_EQ(Stat(name).st_ino, inode);
  }
  EXPECT_EQ(dir.Names().size(), 2u);
}

// What the durable steps of a save did, in order: "sync data" (the file
// that ends up under the target's name), "sync other" (any other file),
// "sync folder", "rename".
std::vector<std::string>* gSteps = nullptr;
std::string gTarget;

int RecordSync(int handle) {
  struct stat st {}, target {};
  ::fstat(handle, &st);
  const bool isTarget = ::stat(gTarget.c_str(), &target) == 0 && target.st_ino == st.st_ino;
  // A temporary about to be renamed over the target is its data as well:
  // told apart by what the rename does afterwards.
  gSteps->push_back(S_ISDIR(st.st_mode) ? "sync folder" : isTarget ? "sync data" : "sync " + std::to_string(st.st_ino));
  return 0;
}

int RecordRename(const char* from, const char* to) {
  struct stat st {};
  ::stat(from, &st);
  // The temporary synced before under its inode becomes the target's data.
  for (std::string& step : *gSteps)
    if (step == "sync " + std::to_string(st.st_ino)) step = to == gTarget ? "sync data" : "sync other";
  gSteps->push_back(to == gTarget ? "rename" : "rename other");
  return ::rename(from, to);
}

class TRecordedSteps {
 public:
  explicit TRecordedSteps(const std::string& target) {
    gSteps = &Steps;
    gTarget = target;
    TAtomicFile::TestHooks().Fsync = RecordSync;
    TAtomicFile::TestHooks().Rename = RecordRename;
  }
  ~TRecordedSteps() {
    TAtomicFile::TestHooks() = {};
    gSteps = nullptr;
  }
  std::vector<std::string> Steps;
};

// If the new data were not synced before its name replaced the old file, a
// crash could leave an empty file under the old name; if the folder were
// not synced after the rename, the old name could come back after a crash
// although the save was reported done. Written in place, the old content's
// copy must be on the disk before the first new byte, and go only once the
// new content is.
TEST(AtomicFile, SaveIsDurableInTheRightOrder) {
  TTempDir dir;
  const std::string name = dir.File("a.qtor");
  WriteBytes(name, "old");
  for (bool named : {false, true}) {
    TRecordedSteps recorded(name);
    TAtomicFile::TestHooks().NamedTemporary = named;
    Save(name, "new");
    EXPECT_EQ(recorded.Steps, (std::vector<std::string>{"sync data", "rename", "sync folder"})) << named;
  }
  ASSERT_EQ(::link(name.c_str(), dir.File("b.qtor").c_str()), 0);
  {
    TRecordedSteps recorded(name);
    Save(name, "newer");
    EXPECT_EQ(recorded.Steps, (std::vector<std::string>{"sync other", "rename other", "sync folder", "sync data",
                                                        "sync folder"}));
  }
  EXPECT_EQ(ReadBytes(dir.File("b.qtor")), "newer");
  EXPECT_EQ(dir.Names().size(), 2u) << "the old content's copy stayed";
}

// If a failed commit left its temporary file until the object died, a
// program that keeps the object (or is killed next) would leave it in the
// user's folder.
TEST(AtomicFile, FailedCommitRemovesItsTemporaryAtOnce) {
  TTempDir dir;
  const std::string name = dir.File("a.qtor");
  WriteBytes(name, "old");
  TAtomicFile::TestHooks().NamedTemporary = true;
  TAtomicFile::TestHooks().Rename = [](const char*, const char*) {
    errno = EIO;
    return -1;
  };
  {
    TAtomicFile file(name);
    file.Stream().Write("new", 3);
    EXPECT_EQ(MessageOf([&] { file.Commit(); }), "Cannot write " + name + ": Input/output error");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.qtor"});
  }
  TAtomicFile::TestHooks() = {};
  EXPECT_EQ(ReadBytes(name), "old");
}

// A hard-linked file is written in place. If the process died between the
// write and the sync (here: just before the sync) without a copy of the old
// content, the file could hold a mix of both with nothing to go back to.
TEST(AtomicFile, KillBeforeTheInPlaceSyncLeavesTheOldContentBeside) {
  TTempDir dir;
  const std::string name = dir.File("a.csv");
  const std::string old = "1,2\r\n3,4\r\n5,6\r\n";
  WriteBytes(name, old);
  ASSERT_EQ(::link(name.c_str(), dir.File("b.csv").c_str()), 0);
  gTarget = name;
  const int code = RunInChild([&] {
    TAtomicFile::TestHooks().Fsync = [](int handle) {
      struct stat st {}, target {};
      ::fstat(handle, &st);
      if (::stat(gTarget.c_str(), &target) == 0 && target.st_ino == st.st_ino) ::raise(SIGKILL);
      return ::fsync(handle);
    };
    Save(name, "7,8\r\n");
    return 0;
  });
  EXPECT_EQ(code, -SIGKILL);
  EXPECT_EQ(ReadBytes(InPlaceBackupName(name)), old);
  EXPECT_EQ(InPlaceBackupName(dir.File("b.csv")), dir.File(".b.csv.quiltor-backup"));
  // The next save that gets through has no more use for it.
  Save(name, "9\r\n");
  EXPECT_FALSE(std::filesystem::exists(InPlaceBackupName(name)));
}

// If a loop of links were taken for a missing file, the save would replace
// the last link with a regular file and break the loop silently.
TEST(AtomicFile, SymbolicLinkLoopIsRefused) {
  TTempDir dir;
  const std::string a = dir.File("a.qtor"), b = dir.File("b.qtor");
  ASSERT_EQ(::symlink("b.qtor", a.c_str()), 0);
  ASSERT_EQ(::symlink("a.qtor", b.c_str()), 0);
  EXPECT_EQ(MessageOf([&] { Save(a, "new"); }), "Cannot create file " + a + ": Too many levels of symbolic links");
  EXPECT_TRUE(std::filesystem::is_symlink(a));
  EXPECT_TRUE(std::filesystem::is_symlink(b));
}

// If the file size limit's signal kept its default, the child would be
// killed (unsaved work lost) instead of reporting the failure; if the
// limit's failure were not detected, the old file would be replaced by a
// short one.
TEST(AtomicFile, FileSizeLimitFailsTheSaveWithoutKillingTheProgram) {
  for (bool linked : {false, true}) {
    TTempDir dir;
    const std::string name = dir.File("a.qtor");
    WriteBytes(name, "old");
    if (linked) {
      ASSERT_EQ(::link(name.c_str(), dir.File("b.qtor").c_str()), 0);
    }
    const int code = RunInChild([&] {
      ::signal(SIGXFSZ, SIG_DFL);
      rlimit limit{10000, RLIM_INFINITY};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = 10000;
      ::setrlimit(RLIMIT_FSIZE, &limit);
      const std::string message = MessageOf([&] { Save(name, std::string(100000, 'n')); });
      return message == "Cannot write " + name + ": File too large" ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "linked " << linked << (code < 0 ? ": killed by a signal" : ": wrong message");
    EXPECT_EQ(ReadBytes(name), "old");
    EXPECT_EQ(dir.Names().size(), linked ? 2u : 1u);
  }
}

// Starts a save of many megabytes in a child and kills it half way; returns
// the dead child's PID.
pid_t KillSaveHalfWay(const std::string& name, bool namedTemporary) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    TAtomicFile::TestHooks().NamedTemporary = namedTemporary;
    TAtomicFile file(name);
    const std::string block(1 << 20, 'x');
    file.Stream().Write(block.data(), block.size());
    (void)!::write(ready[1], "x", 1);
    for (int i = 0; i < 32; ++i) file.Stream().Write(block.data(), block.size());
    for (;;) ::pause();
  }
  char c;
  (void)!::read(ready[0], &c, 1);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  return pid;
}

// If the temporary file had a name while it was written, a save killed half
// way would leave it in the user's folder.
TEST(AtomicFile, KilledSaveLeavesNoTemporaryFile) {
  TTempDir dir;
  const std::string name = dir.File("old.qtor");
  WriteBytes(name, "old");
  KillSaveHalfWay(name, false);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.qtor"});
  EXPECT_EQ(ReadBytes(name), "old");
}

// Where the temporary must have a name: if stale ones were never removed
// they would pile up; if live ones were removed, a save running in another
// instance of the program would lose its file.
TEST(AtomicFile, NextSaveRemovesTemporariesOfDeadProcessesOnly) {
  TTempDir dir;
  const std::string name = dir.File("old.qtor");
  WriteBytes(name, "old");
  const pid_t dead = KillSaveHalfWay(name, true);
  const std::string stale = ".old.qtor.tmp-" + std::to_string(dead) + "-";
  auto names = dir.Names();
  ASSERT_EQ(names.size(), 2u) << "the killed save left its temporary";
  EXPECT_EQ(names[names[0] == "old.qtor" ? 1 : 0].rfind(stale, 0), 0u);
  const std::string live = ".other.qtor.tmp-" + std::to_string(::getppid()) + "-3";
  WriteBytes(dir.File(live), "a save in progress");
  WriteBytes(dir.File(".notes.tmp-x-1"), "not ours");

  TAtomicFile::TestHooks().NamedTemporary = true;
  Save(dir.File("another.qtor"), "new");
  TAtomicFile::TestHooks() = {};
  names = dir.Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".notes.tmp-x-1", live, "another.qtor", "old.qtor"}));
  EXPECT_EQ(ReadBytes(name), "old");
}

// A temporary whose process belongs to another user cannot be probed
// (kill gives EPERM): if that were taken for "gone", a save by one user
// would delete another user's save in progress in a shared folder.
TEST(AtomicFile, TemporaryOfAnotherUsersLiveProcessIsKept) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TTempDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  // Process 1 runs as root, whom an unprivileged user may not signal.
  const std::string live = ".shared.qtor.tmp-1-1";
  WriteBytes(dir.File(live), "a save in progress");
  const TChildUser user;
  const int code = RunInChild(
      [&] {
        TAtomicFile::TestHooks().NamedTemporary = true;
        Save(dir.File("mine.qtor"), "new");
        return 0;
      },
      &user);
  if (code == kCannotDropPrivileges) GTEST_SKIP() << "cannot become an unprivileged user";
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File(live)));
}

// If a relative link to a file that does not exist yet were resolved from
// the working folder, the save would create a file there and leave the
// link dangling.
TEST(AtomicFile, RelativeLinkCountsFromTheLinksFolder) {
  TTempDir dir, elsewhere;
  std::filesystem::create_directory(dir.File("sub"));
  const std::string link = dir.File("sub/link.qtor");
  ASSERT_EQ(::symlink("data/new.qtor", link.c_str()), 0);
  std::filesystem::create_directory(dir.File("sub/data"));
  std::filesystem::create_directory(elsewhere.File("data"));
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.Path());
  const std::string message = MessageOf([&] { Save(link, "new"); });
  std::filesystem::current_path(cwd);
  EXPECT_EQ(message, "");
  EXPECT_EQ(ReadBytes(dir.File("sub/data/new.qtor")), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_FALSE(std::filesystem::exists(elsewhere.File("data/new.qtor")));
  // Saving again goes through the link to the same file.
  Save(link, "newer");
  EXPECT_EQ(ReadBytes(dir.File("sub/data/new.qtor")), "newer");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

}  // namespace
