#include "document/ZipCheck.h"

#include <cstdint>

namespace {

uint32_t Le(std::string_view bytes, size_t at, int n) {
  uint32_t value = 0;
  for (int i = n - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

// Deflate turns one packed byte into at most 1032 unpacked ones.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kMaxEntry = INT32_MAX;

}  // namespace

bool ZipSizesPlausible(std::string_view bytes) {
  // The end of central directory record: 22 bytes and a comment of at most
  // 65535, so it is searched for from the end.
  constexpr size_t kEnd = 22;
  if (bytes.size() < kEnd) return false;
  size_t end = bytes.size() - kEnd;
  const size_t stop = end > 65535 ? end - 65535 : 0;
  while (Le(bytes, end, 4) != 0x06054b50) {
    if (end == stop) return false;
    --end;
  }
  const uint32_t count = Le(bytes, end + 10, 2);
  const uint64_t directorySize = Le(bytes, end + 12, 4), directory = Le(bytes, end + 16, 4);
  if (directory + directorySize > end) return false;
  size_t at = directory;
  for (uint32_t i = 0; i < count; ++i) {
    constexpr size_t kHeader = 46;
    if (at + kHeader > directory + directorySize || Le(bytes, at, 4) != 0x02014b50) return false;
    const uint64_t packed = Le(bytes, at + 20, 4), unpacked = Le(bytes, at + 24, 4);
    const uint64_t local = Le(bytes, at + 42, 4);
    if (local + 30 + packed > directory || unpacked > kMaxEntry || unpacked > packed * kMaxDeflateRatio + 64)
      return false;
    at += kHeader + Le(bytes, at + 28, 2) + Le(bytes, at + 30, 2) + Le(bytes, at + 32, 2);
  }
  return true;
}
