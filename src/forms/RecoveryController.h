#pragma once
// Keeps the document's recovery data while it has unsaved changes (see
// document/Recovery.h). The first unsaved change starts the interval; when it
// runs out, the document is pictured on the UI thread (a snapshot that shares
// everything unchanged with the undo history's, so it costs about what
// recording an undo step costs) and written on the writer's thread. Further
// changes start the next interval, so that the data is written at most once
// per interval and never later than one interval after a change.
//
// The entry goes as soon as nothing is unsaved any more (saved, every change
// undone, another document opened or made after the save question) and when
// the user lets the document go at close.
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "document/Recovery.h"

class TRecoveryController : public QObject {
 public:
  // unsaved: whether the document holds anything its file (or, untitled,
  // nothing) does not: recorded changes or an edit under way.
  explicit TRecoveryController(std::function<bool()> unsaved, std::string folder = DefaultRecoveryFolder(),
                               QObject* parent = nullptr);
  ~TRecoveryController() override;

  // After any change of the document: cheap enough for every keystroke.
  void DocumentChanged();
  // The document has been let go (closed after the save question): its
  // entry is removed and nothing more is written.
  void DocumentClosed();
  // Writes the document now if it has unsaved changes that differ from what
  // was written last; the interval's work. wait: until the data is on disk.
  void WriteNow(bool wait = false);
  // entry, left by an editor that ended, holds what the document now holds
  // (it was recovered from it): it stays until this editor's own entry has
  // the changes, or until they are settled (saved, undone, let go), so that
  // a crash meanwhile, or recovery data turned off, never loses them.
  void Inherit(TRecoveryEntry entry);
  bool HasInherited() const { return FInherited.has_value(); }

  TRecoveryWriter& Writer() { return *FWriter; }
  bool Armed() const { return FTimer.isActive(); }

 private:
  void Written(const std::string& failure);
  void DropInherited();

  std::function<bool()> FUnsaved;
  std::unique_ptr<TRecoveryWriter> FWriter;
  QTimer FTimer;
  // What was handed to the writer last, to skip writing the same again.
  Snapshots::TSnapshotPtr FLastWritten;
  TRecoveryInfo FLastInfo;
  std::optional<TRecoveryEntry> FInherited;
  bool FClosed = false;
  // A failure is shown once, until a write succeeds again.
  bool FFailureShown = false;
};
