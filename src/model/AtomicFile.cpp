#include "model/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

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
// the link, as writing in place would.
std::string ResolveTarget(const std::string& fileName) {
  struct stat st;
  if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(fileName.c_str(), resolved)) return resolved;
    // A link to a file that does not exist yet: create the file it names.
    const ssize_t n = ::readlink(fileName.c_str(), resolved, sizeof resolved - 1);
    if (n > 0) {
      const std::string link(resolved, static_cast<size_t>(n));
      return link[0] == '/' ? link : FolderOf(fileName) + "/" + link;
    }
  }
  return fileName;
}

}  // namespace

TAtomicFile::TAtomicFile(const std::string& fileName) : FFileName(fileName), FTarget(ResolveTarget(fileName)) {
  struct stat target;
  const bool exists = ::stat(FTarget.c_str(), &target) == 0;
  if (exists && !S_ISREG(target.st_mode)) CannotCreate(fileName);
  if (FTarget.empty() || FTarget.back() == '/') CannotCreate(fileName);

  const std::string base = FolderOf(FTarget) + "/." + NameOf(FTarget) + ".tmp-" + std::to_string(::getpid()) + "-";
  static unsigned counter = 0;
  int handle = -1;
  for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
    FTempName = base + std::to_string(++counter);
    handle = ::open(FTempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (handle < 0 && errno != EEXIST) break;
  }
  if (handle < 0) CannotCreate(fileName);
  // The new file takes over the old one's permissions and, where allowed,
  // its owner; a new file gets the usual ones from the umask.
  if (exists) {
    (void)::fchmod(handle, target.st_mode & 07777);
    (void)!::fchown(handle, target.st_uid, target.st_gid);
  }
  FStream = std::make_unique<TFileStream>(handle, TFileStream::fmCreate, FTempName);
}

TAtomicFile::~TAtomicFile() { Discard(); }

TStream& TAtomicFile::Stream() {
  if (!FStream) CannotCreate(FFileName);
  return *FStream;
}

void TAtomicFile::Discard() noexcept {
  if (!FStream) return;
  FStream->Abandon();
  FStream.reset();
  ::unlink(FTempName.c_str());
}

void TAtomicFile::Commit() {
  if (!FStream) CannotCreate(FFileName);
  try {
    FStream->Sync();
    FStream->Close();
  } catch (...) {
    Discard();
    throw;
  }
  FStream.reset();
  if (::rename(FTempName.c_str(), FTarget.c_str()) != 0) {
    ::unlink(FTempName.c_str());
    CannotCreate(FFileName);
  }
  // Make the rename itself durable; the data already is, and a folder that
  // cannot be synced (some network file systems) is no reason to fail.
  const int folder = ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
}
