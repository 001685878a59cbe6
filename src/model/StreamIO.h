#pragma once
// Seekable byte streams and the tagged chunks the native file is built of.
//
// A chunk starts with a 4-byte little-endian header: the tag in the high
// byte, a 24-bit number below it. Value chunks carry the number itself, data
// chunks that many bytes after the header, containers the size of their
// contents (nested chunks and the closing end mark of four zero bytes). The
// routines take tags already shifted into the high byte (see ChunkTags.h) and
// keep no state: the caller keeps each open container's position.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "model/Errors.h"

// A seekable byte stream. Positions are byte offsets from the start; the
// position is kept here, and derived streams read and write at FPos.
class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to count bytes at the position; returns how many it read, fewer
  // only at the end of the stream. A failing device raises an error that
  // names the file and the cause.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all count bytes at the position or raises.
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Size() const = 0;

  int64_t Position() const { return FPos; }
  // Any position from 0 on; writing beyond the end fills the gap with zeros.
  void Seek(int64_t position) {
    if (position < 0) throw EQuiltorError("Stream read error");
    FPos = position;
  }
  // Reads exactly count bytes; fewer left raise "Stream read error".
  void ReadBuffer(void* buffer, size_t count);
  // Bytes from the position to the end (0 when positioned beyond it).
  int64_t Remaining() const;

  // A little-endian word, as chunk headers are stored. A table file is
  // mostly headers, so reading one inside the stream's read window costs
  // neither a virtual call nor a copy.
  uint32_t ReadUInt32() {
    const int64_t offset = FPos - FWindowPos;
    if (offset >= 0 && offset + 4 <= FWindowLen) {
      FPos += 4;
      return DecodeUInt32(FWindow + offset);
    }
    return ReadUInt32Slow();
  }
  void WriteUInt32(uint32_t value);

 protected:
  // Bytes at stream positions [pos, pos + len) that ReadUInt32 may take
  // directly; a stream that changes or drops them publishes a new window.
  void SetReadWindow(const char* data, int64_t pos, int64_t len) {
    FWindow = data;
    FWindowPos = pos;
    FWindowLen = len;
  }

  int64_t FPos = 0;

 private:
  uint32_t ReadUInt32Slow();
  static uint32_t DecodeUInt32(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
  }

  const char* FWindow = nullptr;
  int64_t FWindowPos = 0;
  int64_t FWindowLen = 0;
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data);

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }

  const std::string& Data() const { return FData; }

 private:
  std::string FData;
};

// A buffered stream over an operating-system file. Every write to the system
// is checked; a failed or short one raises "Cannot write NAME: cause" (the
// name as the caller gave it, the cause in the system's words), a failed read
// "Cannot read NAME: cause". Seeking back inside the buffer (as closing a
// container does) costs no system call.
//
// A file whose size is not known when it is opened (a pipe, a /proc file that
// stats as empty) is read to its end at once and served from memory: the
// readers seek back to the start, and a pipe cannot.
class TFileStream : public TStream {
 public:
  enum TMode { fmOpenRead, fmCreate };
  // fmOpenRead opens an existing regular file: anything else (a folder, a
  // FIFO, a device, a socket) is refused at once with "Cannot open file %s:
  // not a regular file", without blocking and without reading from it; a
  // file that cannot be opened gives "Cannot open file %s: cause".
  // fmCreate creates or empties the file ("Cannot create file %s").
  TFileStream(const std::string& fileName, TMode mode);
  // Takes over an open descriptor (a file the caller created itself, or
  // standard input, which may be a pipe). fileName is used in messages.
  TFileStream(int handle, TMode mode, std::string fileName);
  // Flushes what is left, but cannot report a failure: writers call Close.
  ~TFileStream() override;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Size() const override;

  // Hands the buffered bytes to the system.
  void Flush();
  // Flush, then wait until the system has the bytes on the disk.
  void Sync();
  // Flush and close; raises "Cannot write NAME: cause" when either fails.
  void Close();
  // Closes without writing what is still buffered (the file is going away).
  void Abandon() noexcept;
  const std::string& FileName() const { return FName; }
  // The descriptor, -1 once closed; for operations the stream does not offer.
  int Handle() const { return FHandle; }

 private:
  void WriteAt(const char* data, size_t count, int64_t offset);
  void ReadToEnd();

  static constexpr size_t kBufferSize = 64 * 1024;
  int FHandle;
  TMode FMode;
  std::string FName;
  std::unique_ptr<char[]> FBuffer;
  // The buffer mirrors the file bytes [FBufPos, FBufPos + FBufLen). In write
  // mode those bytes are not yet in the file; in read mode they are a cache.
  int64_t FBufPos = 0;
  size_t FBufLen = 0;
  int64_t FFileSize = 0;
  // The whole content of a file of unknown size, read when it was opened.
  bool FWhole = false;
  std::string FContent;
};

// Makes sure that a write beyond the file size limit (RLIMIT_FSIZE) fails
// with EFBIG instead of ending the process by SIGXFSZ, whose default kills.
// Only the default disposition is changed; a handler someone installed stays.
// Every writer calls this before its first write.
void IgnoreFileSizeSignal();

// Raises for anything the user may name that is not a regular file, without
// opening it (opening a FIFO blocks, a device may never end): "Cannot open
// file %s: not a regular file", or "Cannot open file %s: cause" when it
// cannot be looked at (for a missing file "No such file or directory").
void CheckRegularFile(const std::string& fileName);

// The whole content of a regular file, also when its size is not known in
// advance; raises as TFileStream does.
std::string ReadWholeFile(const std::string& fileName);

// ---------------------------------------------------------------- chunks

// Writing. A number above 0xFFFFFF raises "Invalid chunk" and writes nothing.
void WriteChunkValue(TStream& stream, uint32_t tag, uint32_t value);
void WriteChunkData(TStream& stream, uint32_t tag, const void* buffer, size_t count);
void WriteChunkString(TStream& stream, uint32_t tag, const std::string& text);
// Writes the container's header with size 0 and returns the position after it.
int64_t BeginChunk(TStream& stream, uint32_t tag);
// Writes the end mark and rewrites the header at start - 4 with the real size;
// a size above 0xFFFFFF raises "Invalid chunk" (the contents are written).
void EndChunk(TStream& stream, uint32_t tag, int64_t start);

// Reading. A header with another tag, a data chunk of another size or too few
// bytes left raise "Stream read error".
// The next header with its 24-bit number cleared (0: an end mark follows);
// the position does not move.
uint32_t PeekChunkId(TStream& stream);
// The next header's 24-bit number; the position does not move.
uint32_t PeekChunkValue(TStream& stream);
uint32_t ReadChunkValue(TStream& stream, uint32_t tag);
void ReadChunkData(TStream& stream, uint32_t tag, void* buffer, size_t count);
std::string ReadChunkString(TStream& stream, uint32_t tag);
// Reads a container's header; returns the position right after its end mark.
int64_t OpenChunk(TStream& stream, uint32_t tag);
// Reads the end mark; "Stream size mismatch" when it does not end at end.
void CloseChunk(TStream& stream, int64_t end);
