#pragma once
// Replaces a file so that it is either wholly the old one or wholly the new
// one: the bytes go to a temporary file in the same folder, which is flushed,
// synced and then renamed over the target. Until Commit succeeds the target
// is not touched, so a full disk, a file size limit or an error half way
// through a save leaves the old file byte for byte as it was.
//
// What the replacement keeps of the old file:
// - Permission: a file the user may not write is refused with "Cannot create
//   file %s", exactly as writing it in place would be.
// - Owner, group, mode and extended attributes (ACLs included), as far as the
//   user may set them; a group member saving a group-writable file keeps its
//   group.
// - Hard links: a file with several names is written in place, so that every
//   name sees the new content. Its bytes are collected in memory and written
//   only at Commit, after the space was reserved. A copy of the old content
//   is first put beside the file (InPlaceBackupName) and synced, and removed
//   only once the new content is synced: a crash in between leaves the old
//   content there, which the next open offers. The same in-place write (then
//   without a copy, which the folder cannot take) happens when the folder
//   does not let the user create the temporary file but the file itself is
//   writable.
// - Symbolic links: the file a link names is replaced, the link stays (a
//   relative link is resolved from the link's folder). A loop of links is
//   refused with "Cannot create file %s: Too many levels of symbolic links".
//
// The temporary file has no name while it is written (O_TMPFILE) where the
// file system allows, so a save killed half way leaves nothing behind. Where
// it does not, it is named ".NAME.tmp-PID-N"; every save removes such files
// in its folder whose PID belongs to no running process.
#include <sys/stat.h>

#include <memory>
#include <string>

#include "model/StreamIO.h"

class TAtomicFile {
 public:
  // Checks the target and creates the temporary file; "Cannot create file %s"
  // when the file or the folder does not allow it.
  // mode: the permission of a file that does not exist yet, before the
  // umask; an existing file keeps its own.
  explicit TAtomicFile(const std::string& fileName, mode_t mode = 0666);
  // Without a successful Commit the temporary file is removed and the target
  // stays as it was.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  TStream& Stream();
  // Puts the new content in place durably: the data is synced before it
  // replaces the old file. A failure leaves the target as it was (for a file
  // written in place: as far as the system allows) and raises "Cannot write
  // NAME: cause".
  void Commit();

  // For tests only, never set by the program: force the named temporary file
  // that file systems without O_TMPFILE get, and stand in for the system
  // calls that make a save durable, to see what is synced and renamed in
  // which order, or to make them fail.
  struct TTestHooks {
    bool NamedTemporary = false;
    int (*Fsync)(int handle) = nullptr;
    int (*Rename)(const char* from, const char* to) = nullptr;
  };
  static TTestHooks& TestHooks();

 private:
  void CreateTemporary(mode_t mode);
  void WriteInPlaceBackup();
  void CommitInPlace();
  void CommitReplace();
  void Discard() noexcept;

  std::string FFileName;  // as the caller gave it, for messages
  std::string FTarget;    // the file actually replaced (a link's target)
  std::string FFolder;    // the target's folder
  std::string FTempName;  // the temporary's name once it has one
  std::string FBackup;    // the old content's copy while writing in place
  bool FExists = false;
  struct stat FOld {};    // the replaced file, when FExists
  int FOldHandle = -1;    // the replaced file, open for writing
  bool FInPlace = false;
  std::unique_ptr<TFileStream> FStream;    // the temporary file
  std::unique_ptr<TMemoryStream> FMemory;  // the content written in place
};

// Where a file written in place keeps its old content until the new one is
// on the disk: ".NAME.quiltor-backup" beside FOLDER/NAME (symbolic links
// resolved, as the save resolves them). Its existence means a save of the
// file was cut short.
std::string InPlaceBackupName(const std::string& fileName);
