#include "document/Recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

#include "document/AppModule.h"
#include "model/AtomicFile.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

int RecoveryInterval = kDefaultRecoveryInterval;

namespace {

constexpr const char* kInfoHeader = "Quiltor recovery 1";
constexpr const char* kDataExt = ".qtor";
constexpr const char* kInfoExt = ".info";
constexpr const char* kLockExt = ".lock";
constexpr const char* kDamagedFolder = "damaged";

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Escape(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

bool Unescape(const std::string& text, std::string& value) {
  value.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': value += '\\'; break;
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      default: return false;
    }
  }
  return true;
}

bool ParseInt(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

void WriteStringIfAny(TStream& stream, uint32_t tag, const std::string& text) {
  if (!text.empty()) WriteChunkString(stream, tag, text);
}

// A description is a few short lines; anything much larger is not one.
constexpr int64_t kMaxInfoBytes = 64 * 1024;

// The whole bytes through the program's safe save: the old file stays
// whole until the new one is on the disk. Readable by the user only, as
// the documents may be private.
void WriteFileSafely(const std::string& path, const std::string& bytes) {
  TAtomicFile file(path, 0600);
  file.Stream().Write(bytes.data(), bytes.size());
  file.Commit();
}

// The folder and its parents, each readable by its owner only.
void MakeFolder(const std::string& folder) {
  for (size_t at = 1; at != std::string::npos;) {
    at = folder.find('/', at + 1);
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) RaiseFileError("Cannot create folder", part, errno);
  }
}

// Size of a file, -1 when it cannot be looked at.
int64_t FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// Appends one byte as \xHH.
void AppendHex(std::string& out, unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

// Length of the well-formed UTF-8 sequence at text[i], 0 for none.
size_t Utf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points beyond U+10FFFF.
  const unsigned char second = byte(i + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90))
    return 0;
  return n;
}

std::string EntryLabel(const TRecoveryEntry& entry, bool infoRead) {
  if (infoRead) return "of " + RecoveryEntryName(entry.Info) + " (" + FormatRecoveryTime(entry.Info.Time) + ")";
  return Exists(entry.DataPath) ? entry.DataPath : entry.InfoPath;
}

// Moves what exists of a damaged entry into the damaged folder; the lock
// goes. The message says what became of it.
std::string SetAside(const TRecoveryEntry& entry, const std::string& folder, const std::string& label,
                     const std::string& cause, bool move) {
  std::string message = "The recovery data " + label + " cannot be used: " + cause + ".";
  if (!move) return message;
  const std::string aside = folder + "/" + kDamagedFolder;
  bool moved = ::mkdir(aside.c_str(), 0700) == 0 || errno == EEXIST;
  for (const std::string* path : {&entry.DataPath, &entry.InfoPath}) {
    if (!moved || !Exists(*path)) continue;
    const std::string target = aside + "/" + path->substr(path->find_last_of('/') + 1);
    moved = ::rename(path->c_str(), target.c_str()) == 0;
  }
  if (moved) {
    ::unlink(entry.LockPath.c_str());
    return message + " It was moved to " + aside + ".";
  }
  return message + " It could not be moved aside (" + std::strerror(errno) + ") and stays in " + folder + ".";
}

// Takes the entry's lock: false (and no lock) when its process still runs.
// Without write access to the folder, a lock file that is missing means the
// process is gone and nothing is held.
bool Claim(TRecoveryEntry& entry, bool create) {
  int fd = ::open(entry.LockPath.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
  if (fd < 0) fd = ::open(entry.LockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  entry.Lock = std::shared_ptr<int>(new int(fd), [](int* p) {
    ::close(*p);
    delete p;
  });
  return true;
}

}  // namespace

// ---------------------------------------------------------------- folder and description

std::string DefaultRecoveryFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/quiltor/recovery";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/state/quiltor/recovery";
  return {};
}

std::string FormatRecoveryInfo(const TRecoveryInfo& info) {
  return std::string(kInfoHeader) + "\nfile " + Escape(info.FileName) + "\ntitle " + Escape(info.Title) +
         "\ntime " + std::to_string(info.Time) + "\npid " + std::to_string(info.Pid) + "\n" +
         // Optional: a reader without it passes the key over.
         (info.Table > 0 ? "table " + std::to_string(info.Table) + "\n" : std::string());
}

bool ParseRecoveryInfo(const std::string& text, TRecoveryInfo& info) {
  TRecoveryInfo read;
  bool seen[4] = {false, false, false, false};
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // a description always ends with a line break
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (first) {
      if (line != kInfoHeader) return false;
      first = false;
      continue;
    }
    const size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    // Each known key once; other keys belong to later versions and are
    // passed over.
    static const char* const kKeys[4] = {"file", "title", "time", "pid"};
    const int k = static_cast<int>(std::find(kKeys, kKeys + 4, key) - kKeys);
    if (key == "table") {
      int64_t table = 0;
      if (!ParseInt(value, table) || table < 1 || table > INT32_MAX) return false;
      read.Table = static_cast<int>(table);
      continue;
    }
    if (k == 4) continue;
    if (seen[k]) return false;
    seen[k] = true;
    const bool ok = k == 0   ? Unescape(value, read.FileName)
                    : k == 1 ? Unescape(value, read.Title)
                    : k == 2 ? ParseInt(value, read.Time)
                             : ParseInt(value, read.Pid);
    if (!ok) return false;
  }
  if (first || !(seen[0] && seen[1] && seen[2] && seen[3])) return false;
  info = std::move(read);
  return true;
}

std::string RecoveryEntryName(const TRecoveryInfo& info) {
  if (info.FileName.empty()) return "Untitled";
  return info.Table > 0 ? info.FileName + ", table " + std::to_string(info.Table) : info.FileName;
}

std::string EscapeForTerminal(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) AppendHex(out, c);
      else out += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t n = Utf8Length(text, i);
    // The C1 controls (U+0080 to U+009F) act on a terminal as well, and so
    // may stray bytes that are no UTF-8.
    if (n == 0 || (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      for (size_t k = 0; k < std::max<size_t>(n, 1); ++k) AppendHex(out, static_cast<unsigned char>(text[i + k]));
      i += std::max<size_t>(n, 1);
      continue;
    }
    out.append(text, i, n);
    i += n;
  }
  return out;
}

std::string FormatRecoveryTime(int64_t time) {
  const time_t t = static_cast<time_t>(time);
  struct tm local;
  if (!::localtime_r(&t, &local)) return std::to_string(time);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string RecoveryListing(const TRecoveryScan& scan) {
  std::string out;
  for (const TRecoveryEntry& e : scan.Entries)
    out += FormatRecoveryTime(e.Info.Time) + "  " + EscapeForTerminal(RecoveryEntryName(e.Info)) + "\n";
  for (const std::string& d : scan.Damaged) out += EscapeForTerminal(d) + "\n";
  if (out.empty()) out = "No recovery data.\n";
  return out;
}

// ---------------------------------------------------------------- the native bytes of a snapshot

std::string SnapshotToNative(const Snapshots::TSnapshot& snapshot) {
  using namespace ChunkTags;
  // The same chunks, in the same order, as TTable::SaveToStream and the
  // SaveToStream of its parts; a test holds the two byte for byte equal.
  TMemoryStream stream;
  const int64_t table = BeginChunk(stream, ctTable);
  bool blocks = false;
  for (int r = 0; r < snapshot.RowCount() && !blocks; ++r) {
    const Snapshots::TRowImage& image = snapshot.Row(r);
    for (int c = 0; c < image.CellCount(); ++c) blocks = blocks || image.Cell(c).RowSpan > 1 || image.Cell(c).HasArgs;
  }
  WriteChunkValue(stream, ctVersion, RequiredVersion(snapshot.Texts().Style, blocks));
  const Snapshots::TColumnsImage& columns = snapshot.Columns();
  WriteChunkValue(stream, ctColCount, static_cast<uint32_t>(columns.FormatEnds.size()));
  uint32_t formatStart = 0;
  for (const uint32_t end : columns.FormatEnds) {
    const int64_t column = BeginChunk(stream, ctColumn);
    WriteChunkString(stream, ctColFormat, columns.Formats.substr(formatStart, end - formatStart));
    EndChunk(stream, ctColumn, column);
    formatStart = end;
  }
  WriteChunkValue(stream, ctRowCount, static_cast<uint32_t>(snapshot.RowCount()));
  for (int r = 0; r < snapshot.RowCount(); ++r) {
    const Snapshots::TRowImage& image = snapshot.Row(r);
    const int64_t row = BeginChunk(stream, ctRow);
    WriteChunkValue(stream, ctCellCount, static_cast<uint32_t>(image.CellCount()));
    size_t args = 0;
    for (int c = 0; c < image.CellCount(); ++c) {
      const Snapshots::TCellRecord& cell = image.Cell(c);
      const int64_t start = BeginChunk(stream, ctCell);
      if (cell.Span > 1) WriteChunkValue(stream, ctSpan, static_cast<uint32_t>(cell.Span));
      if (cell.RuleLeft || cell.RuleTop || cell.RuleRight || cell.RuleBottom) {
        const uint8_t rules[kRulesSize] = {cell.RuleLeft, cell.RuleTop, cell.RuleRight, cell.RuleBottom};
        WriteChunkData(stream, ctRules, rules, kRulesSize);
      }
      WriteStringIfAny(stream, ctText, image.CellText(c));
      if (cell.Align != 0) WriteChunkValue(stream, ctAlign, static_cast<uint8_t>(cell.Align));
      if (cell.RowSpan > 1 || cell.HasArgs)
        WriteBlockChunks(stream, cell.RowSpan, cell.HasArgs ? image.Args()[args++] : TBlockArgs());
      EndChunk(stream, ctCell, start);
    }
    WriteStringIfAny(stream, ctPrefix, image.Prefix());
    WriteStringIfAny(stream, ctPostfix, image.Postfix());
    EndChunk(stream, ctRow, row);
  }
  const Snapshots::TTableTexts& texts = snapshot.Texts();
  WriteStringIfAny(stream, ctExtra1, texts.Extra1);
  WriteStringIfAny(stream, ctExtra2, texts.Extra2);
  WriteStringIfAny(stream, ctExtra3, texts.Extra3);
  WriteStringIfAny(stream, ctEnvironment, texts.Environment);
  WriteStringIfAny(stream, ctEnvOptions, texts.EnvOptions);
  WriteStyleChunks(stream, texts.Style);
  EndChunk(stream, ctTable, table);
  return stream.Data();
}

// ---------------------------------------------------------------- scanning and recovering

std::string RecoveryFolderProblem(const std::string& folder) {
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return "The recovery folder " + folder + " cannot be used: " + std::strerror(errno) + ".";
  }
  const char* why = S_ISLNK(st.st_mode)             ? "it is a symbolic link"
                    : !S_ISDIR(st.st_mode)          ? "it is not a folder"
                    : st.st_uid != ::geteuid()      ? "it belongs to another user"
                    : (st.st_mode & 07777) != 0700  ? "others may read or write it (its mode is not 0700)"
                                                    : nullptr;
  if (!why) return {};
  return "The recovery folder " + folder + " is not used: " + why + ". No recovery data is kept or offered.";
}

TRecoveryScan ScanRecoveryFolder(const std::string& folder, bool moveDamaged) {
  TRecoveryScan scan;
  if (folder.empty()) return scan;
  // Another user's folder (or one others may write to) could hand this
  // editor any table under any file name: nothing in it is offered.
  const std::string problem = RecoveryFolderProblem(folder);
  if (!problem.empty()) {
    scan.Damaged.push_back(problem);
    return scan;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return scan;
  std::vector<std::string> ids;
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    // Dot files are the safe save's temporaries.
    if (name.empty() || name[0] == '.') continue;
    // A lock alone is what a removal cut short leaves.
    for (const char* ext : {kInfoExt, kDataExt, kLockExt})
      if (EndsWith(name, ext)) ids.push_back(name.substr(0, name.size() - std::strlen(ext)));
  }
  ::closedir(dir);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

  for (const std::string& id : ids) {
    TRecoveryEntry entry;
    entry.Id = id;
    entry.DataPath = folder + "/" + id + kDataExt;
    entry.InfoPath = folder + "/" + id + kInfoExt;
    entry.LockPath = folder + "/" + id + kLockExt;
    if (!Claim(entry, moveDamaged)) continue;  // its process is still at work
    const bool hasInfo = Exists(entry.InfoPath);
    const bool hasData = Exists(entry.DataPath);
    if (!hasInfo && !hasData) {
      // Discarded by its own process meanwhile, or a lock left alone.
      if (moveDamaged) ::unlink(entry.LockPath.c_str());
      continue;
    }
    if (!hasInfo) {
      scan.Damaged.push_back(SetAside(entry, folder, EntryLabel(entry, false), "it has no description", moveDamaged));
      continue;
    }
    // Every failure of an entry is its damage, whatever raised it (a
    // description too large to hold raises std::bad_alloc): one bad entry
    // must not stop the start, nor hide the others.
    bool infoRead = false;
    std::string cause;
    try {
      if (FileSize(entry.InfoPath) > kMaxInfoBytes) {
        cause = "its description is too large";
      } else if (!ParseRecoveryInfo(ReadWholeFile(entry.InfoPath), entry.Info)) {
        cause = "its description is damaged";
      } else {
        infoRead = true;
        if (!hasData) {
          // The process ended before its first write was through: nothing
          // to offer.
          if (moveDamaged) {
            ::unlink(entry.InfoPath.c_str());
            ::unlink(entry.LockPath.c_str());
          }
          continue;
        }
        if (FileSize(entry.DataPath) > ChunkTags::kMaxFileSize) {
          cause = "it is larger than a Quiltor data file can be";
        } else {
          TTable check;
          LoadRecoveryData(entry, check);
        }
      }
    } catch (const std::exception& e) {
      cause = e.what();
    } catch (...) {
      cause = "it cannot be read";
    }
    if (!cause.empty()) {
      scan.Damaged.push_back(SetAside(entry, folder, EntryLabel(entry, infoRead), cause, moveDamaged));
      continue;
    }
    scan.Entries.push_back(std::move(entry));
  }
  std::stable_sort(scan.Entries.begin(), scan.Entries.end(),
                   [](const TRecoveryEntry& a, const TRecoveryEntry& b) { return a.Info.Time > b.Info.Time; });
  return scan;
}

void LoadRecoveryData(const TRecoveryEntry& entry, TTable& table) { LoadTableFile(table, entry.DataPath); }

void DiscardRecoveryEntry(const TRecoveryEntry& entry) {
  if (::unlink(entry.DataPath.c_str()) != 0 && errno != ENOENT)
    RaiseFileError("Cannot delete file", entry.DataPath, errno);
  ::unlink(entry.InfoPath.c_str());
  ::unlink(entry.LockPath.c_str());
}

void RecoverDocument(const TRecoveryEntry& entry) {
  auto scratch = std::make_unique<TTable>();
  LoadRecoveryData(entry, *scratch);
  StartNewDocument();
  CurrentTable->CurrentCell = nullptr;
  CurrentTable->TakeContent(*scratch);
  scratch.reset();
  // A name kept relative (by an older version) meant a file of the folder
  // that editor ran in, which is unknown now: Save asks for a name rather
  // than write over a file of this run's folder.
  const std::string& name = entry.Info.FileName;
  CurrentTable->FileName = !name.empty() && name[0] == '/' ? name : std::string();
  CurrentTable->Title = entry.Info.Title.empty() ? RecoveryEntryName(entry.Info) : entry.Info.Title;
  LinkRecoveredPaper(entry.Info.FileName, entry.Info.Table);
  if (TDocumentUI* ui = DocumentUI()) ui->DocumentReplaced();
  UpdateCaption();
  // Not marked saved: the file on disk (if any) is older than this.
  RecordUndo("Recover");
}

// ---------------------------------------------------------------- the writer

struct TRecoveryWriter::TState {
  std::mutex Mutex;
  std::condition_variable Wake;  // the worker: work or stop
  std::condition_variable Idle;  // the callers: a write ended
  struct TJob {
    Snapshots::TSnapshotPtr Snapshot;
    TRecoveryInfo Info;
  };
  std::optional<TJob> Pending;
  bool Busy = false;
  bool Stop = false;
  bool HasEntry = false;
  int Writes = 0;
  int LockHandle = -1;
  // The lock of an adopted entry, held by whoever found it; LockHandle is
  // its descriptor then, closed with the last copy rather than here.
  std::shared_ptr<int> AdoptedLock;
  std::thread Worker;

  // Lets go of the entry's lock. Called with Mutex held and no write in
  // flight.
  void Unlock() {
    if (AdoptedLock) AdoptedLock.reset();
    else if (LockHandle >= 0) ::close(LockHandle);
    LockHandle = -1;
  }
};

namespace {

// Data first: what is left of an entry interrupted here is a description
// without data, which a scan tidies away.
void RemoveEntryFiles(const std::string& folder, const std::string& id) {
  for (const char* ext : {kDataExt, kInfoExt, kLockExt}) ::unlink((folder + "/" + id + ext).c_str());
}

std::string NewWriterId() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return std::to_string(::getpid()) + "-" + std::to_string(ns);
}

}  // namespace

TRecoveryWriter::TRecoveryWriter(std::string folder)
    : FFolder(std::move(folder)), FId(NewWriterId()), FState(std::make_unique<TState>()) {}

TRecoveryWriter::~TRecoveryWriter() {
  {
    std::lock_guard<std::mutex> lock(FState->Mutex);
    FState->Stop = true;
    FState->Pending.reset();
  }
  FState->Wake.notify_all();
  if (FState->Worker.joinable()) FState->Worker.join();
  // The lock goes with the process anyway; letting it go now marks the
  // entry as one to offer, which is what a process that leaves it means.
  FState->Unlock();
}

std::string TRecoveryWriter::DataPath() const { return FFolder + "/" + FId + kDataExt; }

bool TRecoveryWriter::HasEntry() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->HasEntry;
}

int TRecoveryWriter::WriteCount() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->Writes;
}

void TRecoveryWriter::Submit(Snapshots::TSnapshotPtr snapshot, TRecoveryInfo info) {
  {
    std::lock_guard<std::mutex> lock(FState->Mutex);
    FState->Pending = TState::TJob{std::move(snapshot), std::move(info)};
    FState->HasEntry = true;
    if (!FState->Worker.joinable()) FState->Worker = std::thread([this] { Run(); });
  }
  FState->Wake.notify_one();
}

void TRecoveryWriter::Flush() {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  FState->Idle.wait(lock, [this] { return !FState->Busy && !FState->Pending; });
}

void TRecoveryWriter::Discard() {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  FState->Pending.reset();
  FState->Idle.wait(lock, [this] { return !FState->Busy; });
  if (!FState->HasEntry) return;
  RemoveEntryFiles(FFolder, FId);
  FState->Unlock();
  FState->HasEntry = false;
}

void TRecoveryWriter::Adopt(const TRecoveryEntry& entry) {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  FState->Pending.reset();
  FState->Idle.wait(lock, [this] { return !FState->Busy; });
  if (FState->HasEntry) RemoveEntryFiles(FFolder, FId);
  FState->Unlock();
  FId = entry.Id;
  FState->AdoptedLock = entry.Lock;
  FState->LockHandle = entry.Lock ? *entry.Lock : -1;
  FState->HasEntry = true;
}

void TRecoveryWriter::Release() {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  FState->Pending.reset();
  FState->Idle.wait(lock, [this] { return !FState->Busy; });
  FState->Unlock();
  FState->HasEntry = false;
  FId = NewWriterId();
}

void TRecoveryWriter::Run() {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  for (;;) {
    FState->Wake.wait(lock, [this] { return FState->Stop || FState->Pending; });
    if (FState->Stop) return;
    TState::TJob job = std::move(*FState->Pending);
    FState->Pending.reset();
    FState->Busy = true;
    lock.unlock();
    std::string failure;
    try {
      Write(*job.Snapshot, std::move(job.Info));
    } catch (const EChunkOverflow&) {
      failure = "Cannot write the recovery data: the table is larger than a Quiltor data file can hold";
    } catch (const std::exception& e) {
      failure = std::string("Cannot write the recovery data: ") + e.what();
    }
    job.Snapshot.reset();
    // Reported before the write counts as done, so that whoever waited for
    // it finds the report already on its way.
    if (OnWritten) OnWritten(failure);
    lock.lock();
    if (failure.empty()) ++FState->Writes;
    FState->Busy = false;
    FState->Idle.notify_all();
  }
}

void TRecoveryWriter::Write(const Snapshots::TSnapshot& snapshot, TRecoveryInfo info) {
  const std::string bytes = SnapshotToNative(snapshot);
  if (FFolder.empty()) throw EQuiltorError("neither XDG_STATE_HOME nor HOME names a folder for it");
  MakeFolder(FFolder);
  const std::string problem = RecoveryFolderProblem(FFolder);
  if (!problem.empty()) throw EQuiltorError(problem);
  if (FState->LockHandle < 0) {
    const std::string lockPath = FFolder + "/" + FId + kLockExt;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) RaiseFileError("Cannot create file", lockPath, errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      RaiseFileError("Cannot lock file", lockPath, error);
    }
    FState->LockHandle = fd;
  }
  info.Time = static_cast<int64_t>(std::time(nullptr));
  info.Pid = static_cast<int64_t>(::getpid());
  WriteFileSafely(FFolder + "/" + FId + kInfoExt, FormatRecoveryInfo(info));
  WriteFileSafely(DataPath(), bytes);
}
