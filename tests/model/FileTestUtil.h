#pragma once
// Helpers for the tests that touch real files: a private folder that goes
// away afterwards, whole-file reads and writes, and a file size limit that
// makes writes fail part way.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "model/Errors.h"

class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quiltor-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string File(const std::string& name) const { return FPath + "/" + name; }
  const std::string& Path() const { return FPath; }
  // Names in the folder, to show that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FPath)) names.push_back(entry.path().filename());
    return names;
  }

 private:
  std::string FPath;
};

inline std::string ReadBytes(const std::string& fileName) {
  std::string data;
  if (FILE* f = std::fopen(fileName.c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
    std::fclose(f);
  }
  return data;
}

inline void WriteBytes(const std::string& fileName, const std::string& data) {
  FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

// While alive, no file of this process may grow beyond bytes: a write that
// crosses the limit comes back short or with EFBIG. Permissions cannot make
// writes fail for root, which the tests run as.
//
// SIGXFSZ is left as it is: the writers must make sure themselves that the
// signal does not kill the program, as users have it at its default.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit limited = FOld;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~TFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &FOld); }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FOld;
};

// The exact message of the EQuiltorError that f raises, or "" without one.
template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const EQuiltorError& e) {
    return e.what();
  }
  return "";
}

// An unprivileged user for the permission cases, which root would pass.
struct TChildUser {
  uid_t Uid = 65534;
  gid_t Gid = 65534;
  std::vector<gid_t> Groups;
};

// The exit code RunInChild gives when the child could not become the user.
constexpr int kCannotDropPrivileges = 77;

// Runs body in a forked child (optionally as user, optionally ended by
// SIGALRM after alarmSeconds) and returns the child's exit code, which is
// body's result, or minus the signal that ended it. The child reports only
// through its code: nothing of the test framework runs there.
template <class F>
int RunInChild(F body, const TChildUser* user = nullptr, unsigned alarmSeconds = 0) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1000;
  if (pid == 0) {
    if (user && (::setgroups(user->Groups.size(), user->Groups.data()) != 0 ||
                 ::setresgid(user->Gid, user->Gid, user->Gid) != 0 ||
                 ::setresuid(user->Uid, user->Uid, user->Uid) != 0))
      ::_exit(kCannotDropPrivileges);
    if (alarmSeconds) ::alarm(alarmSeconds);
    int code;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1000;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
