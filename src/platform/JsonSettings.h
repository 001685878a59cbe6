#pragma once
// The per-user settings store kept as one JSON file, by default
// Quiltor.json in the folder "LaTeX" of the user's configuration folder
// (~/.config/LaTeX/Quiltor.json). The whole file is read when the store is
// made; pending changes are written back, atomically, when a key is closed
// or Flush is called.
//
// The file is one object whose members are the keys by their absolute paths;
// each key is an object of its values:
//
//   { "\\Software\\LaTeX\\Quiltor": { "Undo Levels": 100, "Last Open Path": "/home/a/" },
//     "\\Software\\LaTeX\\Quiltor\\UI": { "Code Window Visible": false } }
//
// A string is a JSON string, an integer a JSON number, a boolean true or
// false, bytes {"bytes": "<base64>"}, and a string that is not valid UTF-8
// {"string": "<base64>"}, so that every value comes back with its type and
// exact bytes.
//
// A file that cannot be read as such is never written over: it is renamed to
// a backup beside it (Quiltor.json.bad, .bad.2, ...), the store starts empty,
// so that the program uses its built-in values, and LoadProblem() says what
// happened.
#include <QString>
#include <string>

#include "document/Settings.h"

class TJsonSettings : public TSettingsStore {
 public:
  // Reads the file at path; a missing file is an empty store.
  explicit TJsonSettings(const QString& path);
  // Writes pending changes; a failure here cannot be reported, so callers
  // that care call CloseKey or Flush first.
  ~TJsonSettings() override;

  // ~/.config/LaTeX/Quiltor.json, from the platform's configuration folder.
  static QString DefaultPath();

  const QString& Path() const { return FPath; }
  // Writes the file if anything changed since it was read or last written:
  // a new file beside it, synced, then renamed over it. On failure the old
  // file stays as it was and "Cannot create file %s" is raised.
  void Flush() override;
  std::string LoadProblem() const override { return FLoadProblem; }
  // Where an unreadable file was kept; empty when none was.
  const QString& BackupPath() const { return FBackupPath; }

 protected:
  TSettingsData& Data() override { return FData; }
  const TSettingsData& Data() const override { return FData; }
  void Changed() override { FDirty = true; }

 private:
  void Load();

  QString FPath;
  TSettingsData FData;
  bool FDirty = false;
  // Set when the file could be neither read nor moved aside: it must not be
  // replaced by what this store holds.
  bool FWriteBlocked = false;
  std::string FLoadProblem;
  QString FBackupPath;
};
