#pragma once
// The one exception type of the program. Every failure carries the fixed,
// user-facing message text; the GUI shows what() in an error box.
#include <stdexcept>
#include <string>

class EQuiltorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A chunk's 24-bit number would overflow: the content is too large for the
// format. The text stays the fixed "Invalid chunk"; whole-file writers catch
// this type to say which file it was and what to do instead.
class EChunkOverflow : public EQuiltorError {
 public:
  EChunkOverflow() : EQuiltorError("Invalid chunk") {}
};

// An internal consistency check failed. No user input reaches these; the
// message names the unit and line so that a report can be traced.
class EAssertionFailed : public EQuiltorError {
 public:
  EAssertionFailed(const char* unit, int line);
  const std::string& Unit() const { return FUnit; }
  int Line() const { return FLine; }

 private:
  std::string FUnit;
  int FLine;
};

// An index outside an owning list: "List index out of bounds (%d)".
class EListError : public EQuiltorError {
 public:
  explicit EListError(int index);
};

// A failed system call on a file, named as the caller gave it, with the
// system's own text for error: "<what> <fileName>: <cause>", for example
// "Cannot write prices.qtor: No space left on device". Damaged content keeps
// its fixed texts ("Stream read error", ...); this is for the device.
[[noreturn]] void RaiseFileError(const char* what, const std::string& fileName, int error);

// printf-style formatting into a std::string (the core has no std::format).
std::string FormatStr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
