#pragma once
// Helpers for the tests that touch real files: a private folder that goes
// away afterwards, whole-file reads and writes, and a file size limit that
// makes writes fail part way.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

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
// crosses the limit comes back short or with EFBIG instead of the signal.
// Permissions cannot make writes fail for root, which the tests run as.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = FOld;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    ::signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FOld;
  sighandler_t FOldHandler;
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
