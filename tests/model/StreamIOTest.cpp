#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <random>
#include <thread>
#include <string>

#include "FileTestUtil.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"

using namespace ChunkTags;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// ---------------------------------------------------------------- writing

TEST(StreamIO, WritesExactBytes) {
  struct Case {
    const char* name;
    void (*write)(TStream&);
    std::string expected;
  } cases[] = {
      {"largest value", [](TStream& s) { WriteChunkValue(s, Tag(0x42), 0xFFFFFF); },
       Bytes({0xFF, 0xFF, 0xFF, 0x42})},
      {"value is little-endian", [](TStream& s) { WriteChunkValue(s, Tag(0x03), 0x030201); },
       Bytes({0x01, 0x02, 0x03, 0x03})},
      {"empty string is a header alone", [](TStream& s) { WriteChunkString(s, Tag(0x64), ""); },
       Bytes({0, 0, 0, 0x64})},
      {"empty container holds only the end mark",
       [](TStream& s) { EndChunk(s, Tag(0x20), BeginChunk(s, Tag(0x20))); },
       Bytes({4, 0, 0, 0x20, 0, 0, 0, 0})},
      {"container with one string",
       [](TStream& s) {
         const int64_t start = BeginChunk(s, Tag(0x20));
         WriteChunkString(s, Tag(0x21), "l");
         EndChunk(s, Tag(0x20), start);
       },
       Bytes({9, 0, 0, 0x20, 1, 0, 0, 0x21, 'l', 0, 0, 0, 0})},
      {"nested containers",
       [](TStream& s) {
         const int64_t outer = BeginChunk(s, Tag(0x41));
         EndChunk(s, Tag(0x61), BeginChunk(s, Tag(0x61)));
         EndChunk(s, Tag(0x41), outer);
       },
       Bytes({12, 0, 0, 0x41, 4, 0, 0, 0x61, 0, 0, 0, 0, 0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    TMemoryStream s;
    c.write(s);
    EXPECT_EQ(s.Data(), c.expected) << c.name;
    EXPECT_EQ(s.Position(), static_cast<int64_t>(c.expected.size())) << c.name;
  }
}

TEST(StreamIO, OverflowRaisesInvalidChunkAndWritesNothing) {
  TMemoryStream s;
  EXPECT_EQ(MessageOf([&] { WriteChunkValue(s, Tag(0x62), 0x1000000); }), "Invalid chunk");
  const std::string big(0x1000000, 'x');
  EXPECT_EQ(MessageOf([&] { WriteChunkString(s, Tag(0x64), big); }), "Invalid chunk");
  EXPECT_EQ(s.Size(), 0);

  // A container only learns its size at the end, when its contents are out.
  const int64_t start = BeginChunk(s, Tag(0x01));
  WriteChunkData(s, Tag(0x64), big.data(), 0xFFFFFF - 7);  // size 0x1000000
  EXPECT_EQ(MessageOf([&] { EndChunk(s, Tag(0x01), start); }), "Invalid chunk");
}

// ---------------------------------------------------------------- reading

TEST(StreamIO, ReadsBackWhatWasWritten) {
  TMemoryStream s;
  const int64_t start = BeginChunk(s, Tag(0x41));
  WriteChunkValue(s, Tag(0x42), 7);
  WriteChunkString(s, Tag(0x43), "");
  WriteChunkString(s, Tag(0x44), std::string("a\0b", 3));
  const char rules[4] = {1, 0, 2, 3};
  WriteChunkData(s, Tag(0x63), rules, 4);
  EndChunk(s, Tag(0x41), start);

  s.Seek(0);
  const int64_t end = OpenChunk(s, Tag(0x41));
  EXPECT_EQ(end, s.Size());
  EXPECT_EQ(PeekChunkId(s), Tag(0x42));
  EXPECT_EQ(PeekChunkValue(s), 7u);
  EXPECT_EQ(s.Position(), 4) << "peeking must not move";
  EXPECT_EQ(ReadChunkValue(s, Tag(0x42)), 7u);
  EXPECT_EQ(ReadChunkString(s, Tag(0x43)), "");
  EXPECT_EQ(ReadChunkString(s, Tag(0x44)), std::string("a\0b", 3));
  char back[4];
  ReadChunkData(s, Tag(0x63), back, 4);
  EXPECT_EQ(std::string(back, 4), std::string(rules, 4));
  EXPECT_EQ(PeekChunkId(s), kEndMark);
  CloseChunk(s, end);
}

TEST(StreamIO, DamagedChunksRaiseTheirMessage) {
  // A container 0x20 holding the string "l", as written.
  const std::string good = Bytes({9, 0, 0, 0x20, 1, 0, 0, 0x21, 'l', 0, 0, 0, 0});
  auto readColumn = [](std::string bytes) {
    return MessageOf([&] {
      TMemoryStream s(bytes);
      const int64_t end = OpenChunk(s, Tag(0x20));
      ReadChunkString(s, Tag(0x21));
      CloseChunk(s, end);
    });
  };
  auto patched = [&](size_t offset, int value) {
    std::string b = good;
    b[offset] = static_cast<char>(value);
    return b;
  };
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"intact", good, ""},
      {"container tag wrong", patched(3, 0x21), "Stream read error"},
      {"string tag wrong", patched(7, 0x22), "Stream read error"},
      {"declared size one too large", patched(0, 10), "Stream size mismatch"},
      {"declared size one too small", patched(0, 8), "Stream size mismatch"},
      {"end mark with a value", patched(9, 1), "Stream read error"},
      {"end mark with a tag", patched(12, 0x20), "Stream read error"},
      {"string longer than the stream", patched(4, 0x7F), "Stream read error"},
      {"string count beyond anything stored", patched(6, 0xFF), "Stream read error"},
      {"cut inside the string", good.substr(0, 8), "Stream read error"},
      {"cut inside a header", good.substr(0, 6), "Stream read error"},
      {"cut before the end mark", good.substr(0, 9), "Stream read error"},
      {"empty", "", "Stream read error"},
  };
  for (const Case& c : cases) EXPECT_EQ(readColumn(c.bytes), c.message) << c.name;
}

TEST(StreamIO, DataChunkMustHaveTheExpectedSize) {
  TMemoryStream s;
  const char three[3] = {1, 2, 3};
  WriteChunkData(s, Tag(0x63), three, 3);
  s.Seek(0);
  char four[4];
  EXPECT_EQ(MessageOf([&] { ReadChunkData(s, Tag(0x63), four, 4); }), "Stream read error");
}

TEST(StreamIO, PeekAtTheEndIsAReadError) {
  TMemoryStream s(Bytes({0, 0, 0}));
  EXPECT_EQ(MessageOf([&] { PeekChunkId(s); }), "Stream read error");
  EXPECT_EQ(MessageOf([&] { PeekChunkValue(s); }), "Stream read error");
}

// ---------------------------------------------------------------- file streams

// Writes a deep, wide chunk tree with many seeks back to container headers,
// the pattern that exercises the file stream's buffer window.
void WriteTree(TStream& s, std::mt19937& random, int depth) {
  const int64_t start = BeginChunk(s, Tag(0x10 + depth));
  const int children = static_cast<int>(random() % 6);
  for (int i = 0; i < children; ++i) {
    switch (random() % 3) {
      case 0: WriteChunkValue(s, Tag(0x30), random() & 0xFFFFFF); break;
      case 1: WriteChunkString(s, Tag(0x31), std::string(random() % (depth == 0 ? 70000 : 300), 'a' + depth)); break;
      default:
        if (depth < 5) WriteTree(s, random, depth + 1);
    }
  }
  EndChunk(s, Tag(0x10 + depth), start);
}

TEST(StreamIO, FileStreamWritesAndReadsLikeMemory) {
  TTempDir dir;
  const std::string name = dir.File("tree.bin");
  TMemoryStream memory;
  {
    TFileStream file(name, TFileStream::fmCreate);
    for (int round = 0; round < 40; ++round) {
      std::mt19937 a(round), b(round);
      WriteTree(memory, a, 0);
      WriteTree(file, b, 0);
      ASSERT_EQ(file.Position(), memory.Position());
      ASSERT_EQ(file.Size(), memory.Size());
    }
    file.Close();
  }
  ASSERT_GT(memory.Size(), 200000) << "the tree must cross many buffer windows";
  EXPECT_TRUE(ReadBytes(name) == memory.Data());

  // Reading back in odd-sized pieces with peeks crosses the read buffer's
  // edges at every possible offset.
  TFileStream in(name, TFileStream::fmOpenRead);
  EXPECT_EQ(in.Size(), memory.Size());
  std::string back;
  std::mt19937 random(7);
  while (in.Remaining() > 0) {
    char piece[5000];
    const size_t want = random() % sizeof piece;
    if (random() % 4 == 0 && in.Remaining() >= 4) PeekChunkId(in);
    const size_t got = in.Read(piece, want);
    back.append(piece, got);
  }
  EXPECT_TRUE(back == memory.Data());
  char extra;
  EXPECT_EQ(in.Read(&extra, 1), 0u);
}

TEST(StreamIO, FileStreamReportsWhatCannotBeOpened) {
  TTempDir dir;
  const std::string missing = dir.File("missing/x.qtor");
  EXPECT_EQ(MessageOf([&] { TFileStream s(missing, TFileStream::fmOpenRead); }),
            "Cannot open file " + missing + ": No such file or directory");
  EXPECT_EQ(MessageOf([&] { TFileStream s(missing, TFileStream::fmCreate); }), "Cannot create file " + missing);
  EXPECT_EQ(MessageOf([&] { TFileStream s(dir.Path(), TFileStream::fmOpenRead); }),
            "Cannot open file " + dir.Path() + ": not a regular file");
}

TEST(StreamIO, FileStreamWriteFailureIsReported) {
  TTempDir dir;
  const std::string name = dir.File("limited");
  TFileStream file(name, TFileStream::fmCreate);
  const std::string block(1000, 'x');
  std::string message;
  {
    TFileSizeLimit limit(100000);
    message = MessageOf([&] {
      for (int i = 0; i < 200; ++i) file.Write(block.data(), block.size());
      file.Close();
    });
  }
  EXPECT_EQ(message, "Cannot write " + name + ": File too large");
}

TEST(StreamIO, ReadWholeFileReadsEverything) {
  TTempDir dir;
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  WriteBytes(dir.File("f"), data);
  EXPECT_TRUE(ReadWholeFile(dir.File("f")) == data);
  WriteBytes(dir.File("empty"), "");
  EXPECT_EQ(ReadWholeFile(dir.File("empty")), "");
  EXPECT_EQ(MessageOf([&] { ReadWholeFile(dir.File("none")); }),
            "Cannot open file " + dir.File("none") + ": No such file or directory");
}

// If a read or write failure of the system came out as a bare "Stream read
// error", the user would not know which file failed, nor why.
TEST(StreamIO, SystemFailuresNameTheFileAndTheCause) {
  TTempDir dir;
  const std::string read = MessageOf([&] {
    TFileStream folder(::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), TFileStream::fmOpenRead,
                       "notes");
  });
  EXPECT_EQ(read, "Cannot read notes: Is a directory");
  const std::string write = MessageOf([&] {
    TFileStream full(::open("/dev/full", O_WRONLY | O_CLOEXEC), TFileStream::fmCreate, "prices.qtor");
    full.Write("abc", 3);
    full.Close();
  });
  EXPECT_EQ(write, "Cannot write prices.qtor: No space left on device");
}

// If anything but a regular file were opened for reading, a FIFO would
// block the program and /dev/zero would fill the memory. Run in a child
// with an alarm, so that such a fault ends the child instead of hanging.
TEST(StreamIO, OnlyRegularFilesAreOpened) {
  TTempDir dir;
  const std::string fifo = dir.File("fifo"), socket = dir.File("socket"), missing = dir.File("missing");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int code = RunInChild(
      [&] {
        int wrong = 0;
        auto expect = [&](const std::string& message, const std::string& expected) {
          if (message == expected) return;
          std::fprintf(stderr, "got \"%s\", expected \"%s\"\n", message.c_str(), expected.c_str());
          ++wrong;
        };
        for (const std::string& name : {fifo, std::string("/dev/zero"), dir.Path(), socket}) {
          const std::string refused = "Cannot open file " + name + ": not a regular file";
          expect(MessageOf([&] { TFileStream s(name, TFileStream::fmOpenRead); }), refused);
          expect(MessageOf([&] { ReadWholeFile(name); }), refused);
          expect(MessageOf([&] { CheckRegularFile(name); }), refused);
        }
        expect(MessageOf([&] { CheckRegularFile(missing); }),
               "Cannot open file " + missing + ": No such file or directory");
        return wrong;
      },
      nullptr, 5);
  ::close(listener);
  EXPECT_EQ(code, 0) << (code == -SIGALRM ? "blocked or read without end" : "wrong messages");
}

// If a file were read only up to the size known when it was opened, a
// /proc file (which stats as empty) or a pipe would read as empty or cut.
TEST(StreamIO, FilesOfUnknownSizeAreReadCompletely) {
  const std::string proc = "/proc/self/cmdline";
  const std::string expected = ReadBytes(proc);
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(ReadWholeFile(proc) == expected);
  {
    TFileStream s(proc, TFileStream::fmOpenRead);
    EXPECT_EQ(s.Size(), static_cast<int64_t>(expected.size()));
    std::string back(expected.size() + 10, '\0');
    back.resize(s.Read(back.data(), back.size()));
    EXPECT_TRUE(back == expected);
  }

  // A pipe, as standard input is: readers go back to the start for a
  // second pass, which a pipe itself cannot.
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13);
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  std::thread writer([&] {
    for (size_t at = 0; at < data.size();) {
      const ssize_t w = ::write(pipeEnds[1], data.data() + at, std::min<size_t>(7000, data.size() - at));
      if (w <= 0) break;
      at += static_cast<size_t>(w);
    }
    ::close(pipeEnds[1]);
  });
  TFileStream in(pipeEnds[0], TFileStream::fmOpenRead, "-");
  writer.join();
  EXPECT_EQ(in.Size(), static_cast<int64_t>(data.size()));
  for (int pass = 0; pass < 2; ++pass) {
    in.Seek(0);
    std::string back(data.size(), '\0');
    EXPECT_EQ(in.Read(back.data(), back.size()), data.size());
    EXPECT_TRUE(back == data) << pass;
  }
}

}  // namespace
