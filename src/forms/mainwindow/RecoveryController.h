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
// the user lets the document go at close. An entry recovered at start-up is
// the exception: it goes only once its changes were saved; let go otherwise,
// it stays on disk for the next start.
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
  // (it was recovered from it): this editor goes on writing into it. It
  // goes once the document is saved; when the changes are let go unsaved
  // (the save question answered No, every change undone) it stays for the
  // next start, so that no answer to a question loses recovered work.
  void Inherit(const TRecoveryEntry& entry);
  bool HasInherited() const { return FInherited; }

  TRecoveryWriter& Writer() { return *FWriter; }
  bool Armed() const { return FTimer.isActive(); }

 private:
  void Written(const std::string& failure);
  // The document holds nothing unsaved any more: its entry goes, or stays
  // on disk when it was inherited and nothing was saved since.
  void LetGo();

  std::function<bool()> FUnsaved;
  std::unique_ptr<TRecoveryWriter> FWriter;
  QTimer FTimer;
  // What was handed to the writer last, to skip writing the same again.
  Snapshots::TSnapshotPtr FLastWritten;
  TRecoveryInfo FLastInfo;
  bool FInherited = false;
  int FSavesAtInherit = 0;
  bool FClosed = false;
  // A failure is shown once, until a write succeeds again.
  bool FFailureShown = false;
};
