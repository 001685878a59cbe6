#pragma once
// Replaces a file so that it is either wholly the old one or wholly the new
// one: the bytes go to a temporary file in the same folder, which is flushed,
// synced and then renamed over the target. Until Commit succeeds the target
// is not touched, so a full disk, a file size limit or an error half way
// through a save leaves the old file byte for byte as it was.
#include <memory>
#include <string>

#include "model/StreamIO.h"

class TAtomicFile {
 public:
  // Creates the temporary file; "Cannot create file %s" when the folder does
  // not allow it.
  explicit TAtomicFile(const std::string& fileName);
  // Without a successful Commit the temporary file is removed.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  TStream& Stream();
  // Flushes, syncs and renames the temporary file over the target. A failure
  // removes the temporary file, leaves the target as it was and raises
  // "Stream write error" or "Cannot create file %s".
  void Commit();

  const std::string& TempName() const { return FTempName; }

 private:
  void Discard() noexcept;

  std::string FFileName;  // as the caller gave it, for messages
  std::string FTarget;    // the file actually replaced (a link's target)
  std::string FTempName;
  std::unique_ptr<TFileStream> FStream;
};
