#pragma once
// The undo history of the document. Every completed edit records the state of
// the table right after it, with a caption naming the edit; undo and redo move
// through the list and copy the chosen state back into the table. The same
// object keeps the document's modified state.
//
// A recorded state holds exactly what TTable::Assign copies. States share the
// rows, columns and texts that did not change between them, so a step costs
// memory in proportion to what it changed (see undo/Snapshot.h).
//
// A state also knows which document it belongs to: the states from a New or
// an Open up to the next one form a run that shares one file name and title.
// Save As renames the run of the current state, so undoing an edit made
// before it keeps the new name, while undoing across the New or Open brings
// back the name of the document that was there before.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "undo/Snapshot.h"

class TTable;

// The file name and title a run of states shares (see above).
struct TDocumentName {
  std::string FileName;
  std::string Title;
};
using TDocumentNamePtr = std::shared_ptr<TDocumentName>;

// One state of the history.
class TUndoEntry {
 public:
  TUndoEntry(std::string caption, Snapshots::TSnapshotPtr snapshot, TDocumentNamePtr name);
  TUndoEntry(const TUndoEntry&) = delete;
  TUndoEntry& operator=(const TUndoEntry&) = delete;

  // The edit that led into this state.
  const std::string Caption;

  const Snapshots::TSnapshot& Snapshot() const { return *FSnapshot; }
  // Replaces table's content with this state, like Assign from a copy of the
  // table taken when the state was recorded.
  void RestoreTo(TTable& table) const { FSnapshot->RestoreTo(table); }
  // The name of the document this state belongs to, as it is now.
  const TDocumentName& DocumentName() const { return *FName; }

 private:
  friend class TUndoBuffer;
  Snapshots::TSnapshotPtr FSnapshot;
  TDocumentNamePtr FName;
};

// Entries 0..Position are the undo side, entry Position being the current
// state; entries after it are the redo side, nearest first. The caption of an
// entry belongs to the edit that led into it.
class TUndoBuffer {
 public:
  TUndoBuffer() = default;
  TUndoBuffer(const TUndoBuffer&) = delete;
  TUndoBuffer& operator=(const TUndoBuffer&) = delete;

  // Records the state of table after an edit named caption; returns the new
  // entry's index. Before recording, the oldest entries are dropped while the
  // list (redo side included) holds MaxLevels or more entries and the current
  // state is not the oldest; then the redo side is dropped. The new state
  // belongs to the current state's document, or starts a document of its own
  // (named as table is) when StartDocument came before.
  int AddState(const TTable& table, const std::string& caption);
  // Moves count (at least 1) steps back or forward and copies that state into
  // table, which is then left without a current cell, with the file name and
  // title of the state's document and with row and column anchors that lie
  // outside the restored table cleared. The document being left takes table's
  // name first, so a Save As made since is kept.
  void Undo(TTable& table, int count);
  void Redo(TTable& table, int count);

  // The table now holds another document (New, Open): the next AddState
  // starts a run of its own, and until then the table's name is not taken
  // for the current state's document.
  void StartDocument() { FStartsDocument = true; }
  // The current state's document takes table's file name and title (Save As
  // gave the document a new name).
  void TakeDocumentName(const TTable& table);

  int UndoCount() const { return FPosition < 0 ? 0 : FPosition; }
  int RedoCount() const { return Count() - FPosition - 1; }
  // i = 0 names the step the next undo reverses (the next redo repeats).
  const std::string& UndoCaption(int i) const;
  const std::string& RedoCaption(int i) const;

  void ResetChangeCount();
  // Removes the oldest entry; the current state moves one index down.
  void DeleteOldest();
  // None when index is outside the list.
  TUndoEntry* EntryAt(int index) const;

  int Count() const { return static_cast<int>(FEntries.size()); }
  int Position() const { return FPosition; }
  // Net steps since the last save or open: +1 per recorded step, -n per undo
  // of n steps, +n per redo of n steps; 0 after ResetChangeCount. Starts at
  // -1, so that recording the first state leaves it at 0.
  int ChangeCount() const { return FChangeCount; }
  // The saved state was on the redo side when a recorded step dropped it, so
  // no amount of undoing or redoing can bring it back.
  bool SavedStateLost() const { return FSavedStateLost; }
  // The table differs (or may differ) from what was last saved or opened:
  // every state but the saved one is modified, in either direction of the
  // history and whichever document it belongs to. An empty history holds
  // nothing to lose.
  bool Modified() const { return FPosition >= 0 && (FChangeCount != 0 || FSavedStateLost); }

  // Bound on the number of entries; a change takes effect at the next
  // AddState. 0 and 1 still keep one step to undo.
  int MaxLevels = 100;

 private:
  void MoveTo(TTable& table, int index);
  std::vector<std::unique_ptr<TUndoEntry>> FEntries;
  int FPosition = -1;
  int FChangeCount = -1;
  bool FSavedStateLost = false;
  bool FStartsDocument = false;
};

// The one history of the program, created at start-up before the document
// and freed at the end.
extern TUndoBuffer* UndoBuffer;
void CreateUndoBuffer();
void FreeUndoBuffer();

// The document's table, owned by the document unit, which the operations
// below record and restore. Set once the table exists; none clears it.
void SetUndoDocument(TTable* table);
// Called after every undo or redo of the document to refresh the window's
// title (the document unit installs its UpdateCaption).
void SetUndoCaptionRefresh(std::function<void()> refresh);

// The document-level operations every command uses. Change the document's
// table first, then RecordUndo with the edit's caption; loading or replacing
// the whole document is StartNewDocument before the table gets its new name,
// then RecordUndo followed by MarkSaved; saving is MarkSaved.
void RecordUndo(const std::string& caption);
// The document's table is getting another document (see StartDocument).
void StartNewDocument();
void UndoSteps(int count);
void RedoSteps(int count);
int UndoCount();
int RedoCount();
const std::string& UndoCaption(int i);
const std::string& RedoCaption(int i);
int ChangeCount();
// The current state is what the document's file holds now, under the
// document's present file name and title.
void MarkSaved();
// Whether the document has unsaved changes. Callers ask this rather than
// testing ChangeCount(): after save, undo and a new edit the counter is back
// at 0 although the saved state can no longer be reached.
bool DocumentModified();
