#include "model/Errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

std::string FormatStr(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  }
  va_end(args);
  return out;
}

EAssertionFailed::EAssertionFailed(const char* unit, int line)
    : EQuiltorError(FormatStr("Assertion failure (%s, line %d)", unit, line)), FUnit(unit), FLine(line) {}

EListError::EListError(int index) : EQuiltorError(FormatStr("List index out of bounds (%d)", index)) {}

void RaiseFileError(const char* what, const std::string& fileName, int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which need not be in buffer.
  const char* cause = ::strerror_r(error, buffer, sizeof buffer);
  throw EQuiltorError(FormatStr("%s %s: %s", what, fileName.c_str(), cause));
}
