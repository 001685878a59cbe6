#include "model/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void CannotCreate(const std::string& fileName) {
  throw EQuiltorError(FormatStr("Cannot create file %s", fileName.c_str()));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Saving through a symbolic link replaces the file it points to and keeps
// the link, as writing in place would. A link to a file that does not exist
// yet creates the file it names; a relative link counts from the folder the
// link is in, not from the working folder.
std::string ResolveTarget(const std::string& fileName) {
  std::string path = fileName;
  // As many levels as the system itself follows; a loop of links then fails
  // to open like any other.
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
    if (n <= 0) break;
    const std::string target(link, static_cast<size_t>(n));
    path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
  }
  return path;
}

int Fsync(int handle) {
  const auto hook = TAtomicFile::TestHooks().Fsync;
  return hook ? hook(handle) : ::fsync(handle);
}

int Rename(const char* from, const char* to) {
  const auto hook = TAtomicFile::TestHooks().Rename;
  return hook ? hook(from, to) : ::rename(from, to);
}

// Makes a rename in folder durable. A folder that cannot be synced (some
// network file systems) is no reason to fail: the data itself already is.
void SyncFolder(const std::string& folder) {
  const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  (void)Fsync(handle);
  ::close(handle);
}

unsigned NextTemporaryNumber() {
  static unsigned counter = 0;
  return ++counter;
}

constexpr const char* kTemporaryMark = ".tmp-";

// ".NAME.tmp-PID-N" for the target FOLDER/NAME.
std::string TemporaryName(const std::string& folder, const std::string& target) {
  return folder + "/." + NameOf(target) + kTemporaryMark + std::to_string(::getpid()) + "-" +
         std::to_string(NextTemporaryNumber());
}

bool AllDigits(const char* from, const char* to) {
  if (from == to || to - from > 9) return false;
  for (const char* p = from; p < to; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

// Whether name is one of our temporaries, ".NAME.tmp-PID-N", and whose.
bool IsTemporaryName(const char* name, pid_t* pid) {
  if (name[0] != '.') return false;
  const char* mark = nullptr;
  for (const char* p = std::strstr(name, kTemporaryMark); p; p = std::strstr(p + 1, kTemporaryMark)) mark = p;
  if (!mark || mark < name + 2) return false;
  const char* digits = mark + std::strlen(kTemporaryMark);
  const char* dash = std::strchr(digits, '-');
  if (!dash || !AllDigits(digits, dash) || !AllDigits(dash + 1, dash + 1 + std::strlen(dash + 1))) return false;
  *pid = static_cast<pid_t>(std::atoi(digits));
  return *pid > 0;
}

// Temporaries left by a save of this program that was killed before it
// could clean up: their process is gone. (A PID from another PID namespace
// sharing the folder may look gone too; such a save then fails at its rename
// and is reported, nothing is lost.)
void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int handle = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    pid_t pid;
    if (!IsTemporaryName(entry->d_name, &pid) || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::fstatat(handle, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      (void)::unlinkat(handle, entry->d_name, 0);
  }
  ::closedir(dir);
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

// Extended attributes, ACLs among them, as far as the user may set them.
void CopyExtendedAttributes(int from, int to) {
  std::vector<char> names;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) break;
    names.resize(static_cast<size_t>(size));
    const ssize_t got = ::flistxattr(from, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<size_t>(got));
      break;
    }
    names.clear();
    if (errno != ERANGE) break;
  }
  bool hasAcl = false;
  std::vector<char> value;
  for (size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    if (std::strcmp(name, kAccessAcl) == 0) hasAcl = true;
    const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<size_t>(size));
    const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
    if (got >= 0) (void)::fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0);
  }
  // The new file may have inherited an ACL from the folder's default ACL,
  // which the old file did not have.
  if (!hasAcl) (void)::fremovexattr(to, kAccessAcl);
}

void CopyAttributes(int from, const struct stat& old, int to) {
  // The group first and on its own: a group member may give the file the
  // group even where only root may give it the owner. Either may be refused
  // (EPERM); the file then keeps what the user may set.
  (void)!::fchown(to, static_cast<uid_t>(-1), old.st_gid);
  (void)!::fchown(to, old.st_uid, static_cast<gid_t>(-1));
  CopyExtendedAttributes(from, to);
  // Last, because changing the owner clears set-user-ID and set-group-ID.
  (void)::fchmod(to, old.st_mode & 07777);
}

void WriteAll(int handle, const char* data, size_t count, const std::string& fileName) {
  for (off_t offset = 0; count > 0;) {
    const ssize_t w = ::pwrite(handle, data, count, offset);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) RaiseFileError("Cannot write", fileName, errno);
    if (w == 0) RaiseFileError("Cannot write", fileName, ENOSPC);
    data += w;
    count -= static_cast<size_t>(w);
    offset += w;
  }
}

// The whole content of a regular file; false with errno set when it cannot
// be read.
bool ReadAll(const std::string& path, std::string& out) {
  const int handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (handle < 0) return false;
  out.clear();
  char piece[65536];
  for (;;) {
    const ssize_t n = ::read(handle, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(handle);
      errno = error;
      return false;
    }
    if (n == 0) break;
    out.append(piece, static_cast<size_t>(n));
  }
  ::close(handle);
  return true;
}

}  // namespace

std::string InPlaceBackupName(const std::string& fileName) {
  const std::string target = ResolveTarget(fileName);
  return FolderOf(target) + "/." + NameOf(target) + ".quiltor-backup";
}

TAtomicFile::TTestHooks& TAtomicFile::TestHooks() {
  static TTestHooks hooks;
  return hooks;
}

TAtomicFile::TAtomicFile(const std::string& fileName, mode_t mode)
    : FFileName(fileName), FTarget(ResolveTarget(fileName)) {
  IgnoreFileSizeSignal();
  if (FTarget.empty() || FTarget.back() == '/') CannotCreate(fileName);
  FFolder = FolderOf(FTarget);
  struct stat st;
  // Still a link after as many levels as the system follows: a loop, which
  // writing in place would fail on as well. Replacing the link by a file
  // would break the loop silently.
  if (::lstat(FTarget.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) RaiseFileError("Cannot create file", fileName, ELOOP);
  if (::stat(FTarget.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) CannotCreate(fileName);
    // Opening the old file for writing asks the system exactly what writing
    // it in place would: mode bits, ACLs, a read-only mount, an immutable
    // file. What it refuses, the replacement must not do either.
    FOldHandle = ::open(FTarget.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (FOldHandle < 0 || ::fstat(FOldHandle, &FOld) != 0 || !S_ISREG(FOld.st_mode)) {
      if (FOldHandle >= 0) ::close(FOldHandle);
      FOldHandle = -1;
      CannotCreate(fileName);
    }
    FExists = true;
    FInPlace = FOld.st_nlink > 1;
  }
  RemoveStaleTemporaries(FFolder);
  if (!FInPlace) CreateTemporary(mode);
  if (FInPlace) FMemory = std::make_unique<TMemoryStream>();
}

void TAtomicFile::CreateTemporary(mode_t mode) {
  int handle = -1;
  int error = EOPNOTSUPP;
  // Unnamed until Commit links it in, so a killed save leaves nothing. The
  // link goes through /proc, without which the named way is the only one.
  if (!TestHooks().NamedTemporary && ::access("/proc/self/fd", X_OK) == 0) {
    handle = ::open(FFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (handle < 0) error = errno;
  }
  // Kernels and file systems without O_TMPFILE say so in one of these ways.
  if (handle < 0 && (error == EOPNOTSUPP || error == EISDIR || error == EINVAL)) {
    for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
      FTempName = TemporaryName(FFolder, FTarget);
      handle = ::open(FTempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (handle < 0 && (error = errno) != EEXIST) break;
    }
    if (handle < 0) FTempName.clear();
  }
  if (handle < 0) {
    // A folder the user may not create files in, holding a file the user
    // may write: writing in place is what is left.
    if (FExists && (error == EACCES || error == EPERM)) {
      FInPlace = true;
      return;
    }
    CannotCreate(FFileName);
  }
  if (FExists) CopyAttributes(FOldHandle, FOld, handle);
  FStream = std::make_unique<TFileStream>(handle, TFileStream::fmCreate, FFileName);
}

TAtomicFile::~TAtomicFile() {
  Discard();
  if (FOldHandle >= 0) ::close(FOldHandle);
}

TStream& TAtomicFile::Stream() {
  if (FMemory) return *FMemory;
  if (!FStream) CannotCreate(FFileName);
  return *FStream;
}

void TAtomicFile::Discard() noexcept {
  FMemory.reset();
  if (FStream) {
    FStream->Abandon();
    FStream.reset();
  }
  if (!FTempName.empty()) ::unlink(FTempName.c_str());
  FTempName.clear();
}

void TAtomicFile::Commit() {
  if (FInPlace ? !FMemory : !FStream) CannotCreate(FFileName);
  try {
    if (FInPlace) CommitInPlace();
    else CommitReplace();
  } catch (...) {
    Discard();
    throw;
  }
}

void TAtomicFile::CommitReplace() {
  FStream->Flush();
  // The data must be on the disk before its name replaces the old file's,
  // or a crash could leave the name pointing at an empty file.
  if (Fsync(FStream->Handle()) != 0) RaiseFileError("Cannot write", FFileName, errno);
  if (FTempName.empty()) {
    // Give the unnamed file a name beside the target. It exists only between
    // here and the rename; a save killed just then leaves a temporary that
    // the next save into this folder removes.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", FStream->Handle());
    for (int attempt = 0; attempt < 100 && FTempName.empty(); ++attempt) {
      const std::string name = TemporaryName(FFolder, FTarget);
      if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) FTempName = name;
      else if (errno != EEXIST) break;
    }
    if (FTempName.empty()) RaiseFileError("Cannot write", FFileName, errno);
  }
  FStream->Close();
  FStream.reset();
  if (Rename(FTempName.c_str(), FTarget.c_str()) != 0) RaiseFileError("Cannot write", FFileName, errno);
  FTempName.clear();
  // A copy of older content, left by an in-place write cut short, has
  // nothing more to offer once the file is whole again.
  ::unlink(InPlaceBackupName(FTarget).c_str());
  SyncFolder(FFolder);
}

// The old content goes to InPlaceBackupName through a temporary of its own,
// synced and renamed, so that the backup is whole whenever it exists. A
// folder that takes no new file, or an old file the user may write but not
// read, leaves no way to keep a copy: the write goes ahead without one, as
// writing in place always did.
void TAtomicFile::WriteInPlaceBackup() {
  std::string old;
  if (!ReadAll(FTarget, old)) {
    if (errno == EACCES || errno == EPERM) return;
    RaiseFileError("Cannot write", FFileName, errno);
  }
  const std::string backup = InPlaceBackupName(FTarget);
  int handle = -1;
  for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
    FTempName = TemporaryName(FFolder, backup);
    handle = ::open(FTempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (handle < 0 && errno != EEXIST) break;
  }
  if (handle < 0) {
    const int error = errno;
    FTempName.clear();
    if (error == EACCES || error == EPERM || error == EROFS) return;
    RaiseFileError("Cannot write", FFileName, error);
  }
  try {
    WriteAll(handle, old.data(), old.size(), FFileName);
    if (Fsync(handle) != 0) RaiseFileError("Cannot write", FFileName, errno);
  } catch (...) {
    ::close(handle);
    throw;
  }
  ::close(handle);
  if (Rename(FTempName.c_str(), backup.c_str()) != 0) RaiseFileError("Cannot write", FFileName, errno);
  FTempName.clear();
  FBackup = backup;
  SyncFolder(FFolder);
}

// The old bytes are overwritten only once the whole new content exists and
// every check that can be made beforehand has passed.
void TAtomicFile::CommitInPlace() {
  const std::string& data = FMemory->Data();
  const off_t size = static_cast<off_t>(data.size());
  rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(size) > limit.rlim_cur)
    RaiseFileError("Cannot write", FFileName, EFBIG);
  // Reserve the blocks first, so that a full disk fails here rather than
  // half way through the old bytes. Not every file system can.
  if (size > 0) {
    int r;
    do r = ::fallocate(FOldHandle, FALLOC_FL_KEEP_SIZE, 0, size);
    while (r != 0 && errno == EINTR);
    if (r != 0 && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
      RaiseFileError("Cannot write", FFileName, errno);
  }
  WriteInPlaceBackup();
  WriteAll(FOldHandle, data.data(), data.size(), FFileName);
  if (::ftruncate(FOldHandle, size) != 0) RaiseFileError("Cannot write", FFileName, errno);
  if (Fsync(FOldHandle) != 0) RaiseFileError("Cannot write", FFileName, errno);
  FMemory.reset();
  // The new content is on the disk: the copy of the old one has done its
  // work. Should the removal fail, the next open offers a copy that is
  // merely older, which loses nothing.
  if (!FBackup.empty() && ::unlink(FBackup.c_str()) == 0) SyncFolder(FFolder);
  FBackup.clear();
}
