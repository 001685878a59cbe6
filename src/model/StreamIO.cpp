#include "model/StreamIO.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/ChunkTags.h"

using namespace ChunkTags;

namespace {

[[noreturn]] void ReadError() { throw EQuiltorError("Stream read error"); }

}  // namespace

// ---------------------------------------------------------------- TStream

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) ReadError();
}

int64_t TStream::Remaining() const { return std::max<int64_t>(0, Size() - Position()); }

// Headers are little-endian whatever the machine's byte order.
uint32_t TStream::ReadUInt32Slow() {
  char b[4];
  ReadBuffer(b, 4);
  return DecodeUInt32(b);
}

void TStream::WriteUInt32(uint32_t value) {
  const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                              static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  Write(b, 4);
}

// ---------------------------------------------------------------- TMemoryStream

TMemoryStream::TMemoryStream(std::string data) : FData(std::move(data)) {
  SetReadWindow(FData.data(), 0, Size());
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const int64_t size = Size();
  if (FPos >= size) return 0;
  const size_t n = std::min(count, static_cast<size_t>(size - FPos));
  std::memcpy(buffer, FData.data() + FPos, n);
  FPos += static_cast<int64_t>(n);
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  const size_t end = static_cast<size_t>(FPos) + count;
  if (static_cast<size_t>(FPos) == FData.size()) {
    FData.append(static_cast<const char*>(buffer), count);  // the usual case: grows geometrically
  } else {
    if (end > FData.size()) FData.resize(end);
    std::memcpy(FData.data() + FPos, buffer, count);
  }
  SetReadWindow(FData.data(), 0, Size());
  FPos = static_cast<int64_t>(end);
}

// ---------------------------------------------------------------- TFileStream

void IgnoreFileSizeSignal() {
  struct sigaction current;
  if (::sigaction(SIGXFSZ, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

namespace {

[[noreturn]] void NotRegular(const std::string& fileName) {
  throw EQuiltorError(FormatStr("Cannot open file %s: not a regular file", fileName.c_str()));
}

// Why fileName could not be opened: something that is there but is no
// regular file (a socket cannot be opened at all) says so, anything else
// gives the system's reason.
[[noreturn]] void CannotOpen(const std::string& fileName, int error) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) NotRegular(fileName);
  RaiseFileError("Cannot open file", fileName, error);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TMode mode) : FMode(mode), FName(fileName) {
  if (mode == fmOpenRead) {
    // O_NONBLOCK so that opening a FIFO returns at once; it is refused below
    // before anything is read from it.
    FHandle = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (FHandle < 0) CannotOpen(fileName, errno);
    struct stat st;
    int error = 0;
    if (::fstat(FHandle, &st) != 0) error = errno;
    else if (!S_ISREG(st.st_mode)) error = -1;
    else if (::fcntl(FHandle, F_SETFL, ::fcntl(FHandle, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
    if (error != 0) {
      ::close(FHandle);
      FHandle = -1;
      if (error < 0) NotRegular(fileName);
      RaiseFileError("Cannot open file", fileName, error);
    }
    FFileSize = st.st_size;
    FBuffer = std::make_unique<char[]>(kBufferSize);
    if (st.st_size == 0) ReadToEnd();
  } else {
    IgnoreFileSizeSignal();
    FHandle = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) throw EQuiltorError(FormatStr("Cannot create file %s", fileName.c_str()));
    FBuffer = std::make_unique<char[]>(kBufferSize);
  }
}

TFileStream::TFileStream(int handle, TMode mode, std::string fileName)
    : FHandle(handle), FMode(mode), FName(std::move(fileName)) {
  FBuffer = std::make_unique<char[]>(kBufferSize);
  if (mode == fmCreate) IgnoreFileSizeSignal();
  struct stat st;
  const bool sized = ::fstat(FHandle, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
  if (sized) FFileSize = st.st_size;
  else if (mode == fmOpenRead) ReadToEnd();
}

TFileStream::~TFileStream() {
  try {
    if (FHandle >= 0) Flush();
  } catch (const EQuiltorError&) {
    // Nobody is left to tell; writers that care call Close.
  }
  if (FHandle >= 0) ::close(FHandle);
}

// Reads from the current file offset, not by position: pipes have none.
void TFileStream::ReadToEnd() {
  FWhole = true;
  try {
    for (;;) {
      const ssize_t r = ::read(FHandle, FBuffer.get(), kBufferSize);
      if (r > 0) {
        FContent.append(FBuffer.get(), static_cast<size_t>(r));
      } else if (r == 0) {
        break;
      } else if (errno == EAGAIN) {
        // A descriptor someone left non-blocking: wait for the writer.
        pollfd wait = {FHandle, POLLIN, 0};
        (void)::poll(&wait, 1, -1);
      } else if (errno != EINTR) {
        RaiseFileError("Cannot read", FName, errno);
      }
    }
  } catch (...) {
    ::close(FHandle);
    FHandle = -1;
    throw;
  }
  FFileSize = static_cast<int64_t>(FContent.size());
  SetReadWindow(FContent.data(), 0, FFileSize);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  if (FWhole) {
    if (FPos >= FFileSize) return 0;
    const size_t n = std::min(count, static_cast<size_t>(FFileSize - FPos));
    std::memcpy(buffer, FContent.data() + FPos, n);
    FPos += static_cast<int64_t>(n);
    return n;
  }
  if (FHandle < 0) RaiseFileError("Cannot read", FName, EBADF);
  // A writer reading back sees its own pending bytes only after a flush.
  if (FMode == fmCreate) Flush();
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (FMode == fmOpenRead && FPos >= FBufPos && FPos < FBufPos + static_cast<int64_t>(FBufLen)) {
      const size_t offset = static_cast<size_t>(FPos - FBufPos);
      const size_t n = std::min(count - done, FBufLen - offset);
      std::memcpy(out + done, FBuffer.get() + offset, n);
      done += n;
      FPos += static_cast<int64_t>(n);
      continue;
    }
    // Large reads, and every read of a writer, go straight to the caller.
    const bool direct = FMode == fmCreate || count - done >= kBufferSize;
    char* target = direct ? out + done : FBuffer.get();
    const size_t want = direct ? count - done : kBufferSize;
    ssize_t r;
    do r = ::pread(FHandle, target, want, FPos);
    while (r < 0 && errno == EINTR);
    if (r < 0) RaiseFileError("Cannot read", FName, errno);
    // The end of the file, wherever it is now: the size seen at opening is
    // only a hint (the file may have grown, or stat may not know it).
    if (r == 0) break;
    if (direct) {
      done += static_cast<size_t>(r);
      FPos += r;
    } else {
      FBufPos = FPos;
      FBufLen = static_cast<size_t>(r);
      SetReadWindow(FBuffer.get(), FBufPos, r);
    }
  }
  return done;
}

void TFileStream::WriteAt(const char* data, size_t count, int64_t offset) {
  while (count > 0) {
    const ssize_t w = ::pwrite(FHandle, data, count, offset);
    if (w < 0 && errno == EINTR) continue;
    // A short write is retried for the rest; a refused one (disk full, file
    // size limit) is a failure, never a silent truncation. A write that takes
    // nothing without saying why can only be a full device.
    if (w < 0) RaiseFileError("Cannot write", FName, errno);
    if (w == 0) RaiseFileError("Cannot write", FName, ENOSPC);
    data += w;
    count -= static_cast<size_t>(w);
    offset += w;
  }
  FFileSize = std::max(FFileSize, offset);
}

void TFileStream::Write(const void* buffer, size_t count) {
  if (FHandle < 0 || FMode != fmCreate) RaiseFileError("Cannot write", FName, EBADF);
  if (count == 0) return;
  const char* data = static_cast<const char*>(buffer);
  const int64_t bufEnd = FBufPos + static_cast<int64_t>(FBufLen);
  const bool fits = FPos >= FBufPos && FPos <= bufEnd &&
                    FPos + static_cast<int64_t>(count) <= FBufPos + static_cast<int64_t>(kBufferSize);
  if (FBufLen > 0 && !fits) Flush();
  if (FBufLen == 0) {
    FBufPos = FPos;
    if (count >= kBufferSize) {
      WriteAt(data, count, FPos);
      FPos += static_cast<int64_t>(count);
      FBufPos = FPos;
      return;
    }
  }
  const size_t offset = static_cast<size_t>(FPos - FBufPos);
  std::memcpy(FBuffer.get() + offset, data, count);
  FBufLen = std::max(FBufLen, offset + count);
  FPos += static_cast<int64_t>(count);
}

int64_t TFileStream::Size() const {
  if (FMode == fmCreate) return std::max(FFileSize, FBufPos + static_cast<int64_t>(FBufLen));
  return FFileSize;
}

void TFileStream::Flush() {
  if (FMode != fmCreate || FBufLen == 0) return;
  const size_t n = FBufLen;
  // Forget the bytes first: after a failure they must not be written again
  // by the destructor behind the caller's back.
  FBufLen = 0;
  WriteAt(FBuffer.get(), n, FBufPos);
  FBufPos = FPos;
}

void TFileStream::Sync() {
  Flush();
  if (FHandle >= 0 && ::fsync(FHandle) != 0) RaiseFileError("Cannot write", FName, errno);
}

void TFileStream::Close() {
  if (FHandle < 0) return;
  try {
    Flush();
  } catch (...) {
    ::close(FHandle);
    FHandle = -1;
    throw;
  }
  const int r = ::close(FHandle);
  const int error = errno;
  FHandle = -1;
  if (r != 0 && FMode == fmCreate && error != EINTR) RaiseFileError("Cannot write", FName, error);
}

void TFileStream::Abandon() noexcept {
  FBufLen = 0;
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

void CheckRegularFile(const std::string& fileName) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0) RaiseFileError("Cannot open file", fileName, errno);
  if (!S_ISREG(st.st_mode)) NotRegular(fileName);
}

std::string ReadWholeFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileStream::fmOpenRead);
  std::string data(static_cast<size_t>(stream.Size()), '\0');
  data.resize(stream.Read(data.data(), data.size()));
  // The size is only a hint: a file that grew meanwhile reads on to its end.
  char more[16 * 1024];
  for (size_t n; (n = stream.Read(more, sizeof more)) > 0;) data.append(more, n);
  return data;
}

// ---------------------------------------------------------------- chunks

namespace {

void CheckNumber(size_t number) {
  if (number > kMaxChunkNumber) throw EChunkOverflow();
}

uint32_t Header(uint32_t tag, uint32_t number) { return (tag & kTagMask) | number; }

}  // namespace

void WriteChunkValue(TStream& stream, uint32_t tag, uint32_t value) {
  CheckNumber(value);
  stream.WriteUInt32(Header(tag, value));
}

void WriteChunkData(TStream& stream, uint32_t tag, const void* buffer, size_t count) {
  CheckNumber(count);
  stream.WriteUInt32(Header(tag, static_cast<uint32_t>(count)));
  stream.Write(buffer, count);
}

void WriteChunkString(TStream& stream, uint32_t tag, const std::string& text) {
  WriteChunkData(stream, tag, text.data(), text.size());
}

int64_t BeginChunk(TStream& stream, uint32_t tag) {
  stream.WriteUInt32(Header(tag, 0));
  return stream.Position();
}

void EndChunk(TStream& stream, uint32_t tag, int64_t start) {
  stream.WriteUInt32(kEndMark);
  const int64_t end = stream.Position();
  const int64_t size = end - start;
  if (start < static_cast<int64_t>(kHeaderSize) || size < 0 || size > static_cast<int64_t>(kMaxChunkNumber))
    throw EChunkOverflow();
  stream.Seek(start - kHeaderSize);
  stream.WriteUInt32(Header(tag, static_cast<uint32_t>(size)));
  stream.Seek(end);
}

uint32_t PeekChunkId(TStream& stream) {
  const uint32_t header = stream.ReadUInt32();
  stream.Seek(stream.Position() - kHeaderSize);
  return header & kTagMask;
}

uint32_t PeekChunkValue(TStream& stream) {
  const uint32_t header = stream.ReadUInt32();
  stream.Seek(stream.Position() - kHeaderSize);
  return header & kMaxChunkNumber;
}

uint32_t ReadChunkValue(TStream& stream, uint32_t tag) {
  const uint32_t header = stream.ReadUInt32();
  if ((header & kTagMask) != (tag & kTagMask)) ReadError();
  return header & kMaxChunkNumber;
}

void ReadChunkData(TStream& stream, uint32_t tag, void* buffer, size_t count) {
  if (count > kMaxChunkNumber || stream.ReadUInt32() != Header(tag, static_cast<uint32_t>(count))) ReadError();
  stream.ReadBuffer(buffer, count);
}

std::string ReadChunkString(TStream& stream, uint32_t tag) {
  const uint32_t count = ReadChunkValue(stream, tag);
  // A damaged count must not make us reserve megabytes the stream cannot
  // hold: the short read would fail anyway, so fail before allocating.
  if (static_cast<int64_t>(count) > stream.Remaining()) ReadError();
  std::string text(count, '\0');
  stream.ReadBuffer(text.data(), count);
  return text;
}

int64_t OpenChunk(TStream& stream, uint32_t tag) {
  const uint32_t size = ReadChunkValue(stream, tag);
  return stream.Position() + size;
}

void CloseChunk(TStream& stream, int64_t end) {
  if (ReadChunkValue(stream, kEndMark) != 0) ReadError();
  if (stream.Position() != end) throw EQuiltorError("Stream size mismatch");
}
