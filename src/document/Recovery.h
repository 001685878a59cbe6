#pragma once
// Recovery data: while a document has unsaved changes, a copy of it in the
// native format sits in the per-user state folder, so that a crash, a kill
// or a power cut costs at most the last few seconds of work. The next start
// offers the copies of processes that are gone.
//
// Folder: $XDG_STATE_HOME/quiltor/recovery/ ($XDG_STATE_HOME only when it is
// an absolute path), else ~/.local/state/quiltor/recovery/. One entry per
// editor process, named by an id unique to that process ("PID-NANOSECONDS"):
//   ID.info   the description: file name (none for an untitled document),
//             title, time of the last write, process id (FormatRecoveryInfo)
//   ID.qtor   the document in the native format
//   ID.lock   held with flock() by the process that writes the entry for as
//             long as it lives. The kernel lets go of it when the process
//             ends, however it ends, so a lock that can be taken means the
//             entry's process is gone. Pids are not trusted for this: they
//             are reused, and after a reboot any of them may be running.
// The description is written before the data, each through TAtomicFile, so
// an entry is never half written: the data is either the old or the new one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "undo/Snapshot.h"

class TTable;

// Seconds from the first unsaved change to its recovery write ("Recovery
// Interval" in the settings); 0 turns recovery data off. At most a day, as
// the Options dialog allows: the timer counts milliseconds in an int.
constexpr int kDefaultRecoveryInterval = 30;
constexpr int kMaxRecoveryInterval = 24 * 60 * 60;
extern int RecoveryInterval;

// The recovery folder as the environment names it; empty when neither
// XDG_STATE_HOME nor HOME gives one.
std::string DefaultRecoveryFolder();

struct TRecoveryInfo {
  std::string FileName;  // empty for an untitled document
  std::string Title;
  int64_t Time = 0;      // of the last write, seconds since the epoch
  int64_t Pid = 0;
  int Table = 0;         // the document is this table (1-based) of the LaTeX file FileName; 0: none
};

// The description file's text: a first line naming the format, then one
// "key value" line each, with '\' and line breaks in the value written as
// "\\", "\n" and "\r".
std::string FormatRecoveryInfo(const TRecoveryInfo& info);
// False for a text that is not a whole description.
bool ParseRecoveryInfo(const std::string& text, TRecoveryInfo& info);

// The native file bytes of the table a snapshot pictures: exactly what
// TTable::SaveToStream writes for it. Needs no table, so that it runs on a
// worker thread (tables allocate from a pool that is not thread-safe).
// Raises EChunkOverflow for a table too large for the format.
std::string SnapshotToNative(const Snapshots::TSnapshot& snapshot);

// An entry of a process that is gone, as a scan found it. While the entry
// is held its lock is too, so that a second editor starting at the same time
// does not offer it as well.
struct TRecoveryEntry {
  std::string Id;
  std::string DataPath;
  std::string InfoPath;
  std::string LockPath;
  TRecoveryInfo Info;
  std::shared_ptr<int> Lock;  // the lock's descriptor, closed with the last copy
};

struct TRecoveryScan {
  // Newest first.
  std::vector<TRecoveryEntry> Entries;
  // One message per damaged entry, saying what is wrong and where it went.
  std::vector<std::string> Damaged;
};

// The entries of processes that are gone. Entries of running processes are
// left alone. A damaged entry (a description that is unreadable or too
// large, data that is not a sound native file or larger than one can be,
// data without a description; any failure to read it) is moved into the
// folder's "damaged" subfolder when moveDamaged, and reported either way.
// A folder with a RecoveryFolderProblem offers nothing and is reported.
// An entry that never got its data (its process ended before the first
// write finished) holds nothing to offer and is removed. A missing folder
// has no entries. Raises nothing.
TRecoveryScan ScanRecoveryFolder(const std::string& folder, bool moveDamaged);

// "Untitled" or the entry's file name.
std::string RecoveryEntryName(const TRecoveryInfo& info);
// text with what a terminal would act on written as \xHH: the C0 and C1
// controls, DEL and bytes that are no UTF-8.
std::string EscapeForTerminal(const std::string& text);
// Why the folder cannot hold recovery data: it is a symbolic link, no
// folder, another user's, or open to others (not mode 0700). Empty when it
// is sound or does not exist yet.
std::string RecoveryFolderProblem(const std::string& folder);
// The time in local time, "YYYY-MM-DD HH:MM:SS".
std::string FormatRecoveryTime(int64_t time);
// What `quiltor --recover` prints: one line per entry (time, then name) and
// the damaged entries, or a line saying there is nothing.
std::string RecoveryListing(const TRecoveryScan& scan);

// Reads an entry's data into table (a scratch table).
void LoadRecoveryData(const TRecoveryEntry& entry, TTable& table);
// Removes an entry's files. Raises "Cannot delete file %s: cause" when the
// data cannot be removed.
void DiscardRecoveryEntry(const TRecoveryEntry& entry);
// Makes the entry's data the document, as a modified document under its
// original file name and title, so that Save writes to the original file
// (or asks for a name, for an untitled one). The original file itself is not
// touched. Recorded as "Recover"; raises, with the document unchanged, when
// the data cannot be read. The entry stays; the caller discards it once the
// document is safe again.
void RecoverDocument(const TRecoveryEntry& entry);

// Writes one process's entry. Snapshots are turned into bytes and written on
// a worker thread, one at a time; a snapshot handed in while another is
// being written waits, and a newer one replaces it, so at most one write is
// in flight and one waits.
class TRecoveryWriter {
 public:
  explicit TRecoveryWriter(std::string folder);
  // Waits for the write in flight and drops a waiting one; the entry stays,
  // as it would if the process were killed.
  ~TRecoveryWriter();
  TRecoveryWriter(const TRecoveryWriter&) = delete;
  TRecoveryWriter& operator=(const TRecoveryWriter&) = delete;

  void Submit(Snapshots::TSnapshotPtr snapshot, TRecoveryInfo info);
  // Drops a waiting write, waits for the one in flight and removes the
  // entry; nothing is written afterwards unless submitted anew.
  void Discard();
  // Waits until no write is in flight or waiting.
  void Flush();
  // Goes on writing entry (found by a scan, its lock held) instead of an
  // entry of its own, so that a recovered document's changes stay in one
  // entry; this writer's own entry, if any, is removed.
  void Adopt(const TRecoveryEntry& entry);
  // Lets go of the entry without removing it: it stays on disk, to be
  // offered at the next start, and later writes go to a new entry.
  void Release();

  const std::string& Folder() const { return FFolder; }
  std::string DataPath() const;
  // Whether this process has an entry on disk (or one on its way there).
  bool HasEntry() const;
  // Writes that completed.
  int WriteCount() const;

  // Called on the worker thread after each write: the failure's message, or
  // empty for success.
  std::function<void(const std::string& failure)> OnWritten;

 private:
  struct TState;
  void Run();
  void Write(const Snapshots::TSnapshot& snapshot, TRecoveryInfo info);

  std::string FFolder;
  std::string FId;
  std::unique_ptr<TState> FState;
};
