#include "undo/UndoBuffers.h"

#include <utility>

#include "model/Errors.h"
#include "model/Tables.h"

namespace {

// A check of the history failed: a caller asked for steps that do not exist.
// The line names the check in a bug report.
[[noreturn]] void Fail(int line) { throw EAssertionFailed("UndoBuffers", line); }

// After a restore the table may be smaller than when the anchors were set (a
// paste grew it, the undo shrank it); a range selection from such an anchor
// would reach rows or columns that do not exist, so it counts as none.
void DropStrayAnchors(TTable& table) {
  if (table.AnchorRow < 0 || table.AnchorRow >= table.RowCount()) table.AnchorRow = -1;
  if (table.AnchorCol < 0 || table.AnchorCol >= table.ColCount()) table.AnchorCol = -1;
}

}  // namespace

TUndoEntry::TUndoEntry(std::string caption, Snapshots::TSnapshotPtr snapshot, TDocumentNamePtr name)
    : Caption(std::move(caption)), FSnapshot(std::move(snapshot)), FName(std::move(name)) {}

// ---------------------------------------------------------------- TUndoBuffer

int TUndoBuffer::AddState(const TTable& table, const std::string& caption) {
  // Picture the table first, sharing with the current state, so that a
  // failure leaves the history untouched.
  const TUndoEntry* current = FPosition >= 0 ? FEntries[static_cast<size_t>(FPosition)].get() : nullptr;
  const Snapshots::TSnapshot* base = current ? current->FSnapshot.get() : nullptr;
  TDocumentNamePtr name;
  if (current && !FStartsDocument) {
    name = current->FName;
  } else {
    name = std::make_shared<TDocumentName>(TDocumentName{table.FileName, table.Title});
  }
  auto entry = std::make_unique<TUndoEntry>(caption, Snapshots::TSnapshot::Capture(table, base), name);
  FEntries.reserve(FEntries.size() + 1);
  // Nothing below can fail.
  if (FStartsDocument) {
    FStartsDocument = false;
  } else {
    TakeDocumentName(table);
  }

  while (Count() >= MaxLevels && FPosition > 0) DeleteOldest();
  ++FPosition;
  // A negative count means the saved state lies that many steps ahead on the
  // redo side, which is about to go.
  const bool savedStateAhead = FChangeCount < 0;
  ++FChangeCount;
  if (FPosition < Count()) {
    if (savedStateAhead) FSavedStateLost = true;
    FEntries.resize(static_cast<size_t>(FPosition));
  }
  FEntries.push_back(std::move(entry));
  return FPosition;
}

void TUndoBuffer::Undo(TTable& table, int count) {
  if (count < 1 || FPosition - count < 0) Fail(__LINE__);
  MoveTo(table, FPosition - count);
}

void TUndoBuffer::Redo(TTable& table, int count) {
  if (count < 1 || FPosition + count >= Count()) Fail(__LINE__);
  MoveTo(table, FPosition + count);
}

void TUndoBuffer::MoveTo(TTable& table, int index) {
  const TUndoEntry& target = *FEntries[static_cast<size_t>(index)];
  TakeDocumentName(table);
  target.RestoreTo(table);
  table.CurrentCell = nullptr;
  DropStrayAnchors(table);
  table.FileName = target.FName->FileName;
  table.Title = target.FName->Title;
  FChangeCount += index - FPosition;
  FPosition = index;
}

void TUndoBuffer::TakeDocumentName(const TTable& table) {
  if (FStartsDocument || FPosition < 0) return;
  TDocumentName& name = *FEntries[static_cast<size_t>(FPosition)]->FName;
  name.FileName = table.FileName;
  name.Title = table.Title;
}

const std::string& TUndoBuffer::UndoCaption(int i) const {
  const TUndoEntry* e = EntryAt(FPosition - i);
  if (!e) Fail(__LINE__);
  return e->Caption;
}

const std::string& TUndoBuffer::RedoCaption(int i) const {
  const TUndoEntry* e = EntryAt(FPosition + 1 + i);
  if (!e) Fail(__LINE__);
  return e->Caption;
}

void TUndoBuffer::ResetChangeCount() {
  FChangeCount = 0;
  FSavedStateLost = false;
}

void TUndoBuffer::DeleteOldest() {
  if (FEntries.empty()) throw EListError(0);
  FEntries.erase(FEntries.begin());
  --FPosition;
}

TUndoEntry* TUndoBuffer::EntryAt(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return FEntries[static_cast<size_t>(index)].get();
}

// ---------------------------------------------------------------- the document's history

TUndoBuffer* UndoBuffer = nullptr;

namespace {

TTable* gDocument = nullptr;
std::function<void()> gCaptionRefresh;

TUndoBuffer& History() {
  if (!UndoBuffer) Fail(__LINE__);
  return *UndoBuffer;
}

TTable& Document() {
  if (!gDocument) Fail(__LINE__);
  return *gDocument;
}

void RefreshCaption() {
  if (gCaptionRefresh) gCaptionRefresh();
}

}  // namespace

void CreateUndoBuffer() {
  if (!UndoBuffer) UndoBuffer = new TUndoBuffer();
}

void FreeUndoBuffer() {
  delete UndoBuffer;
  UndoBuffer = nullptr;
}

void SetUndoDocument(TTable* table) { gDocument = table; }

void SetUndoCaptionRefresh(std::function<void()> refresh) { gCaptionRefresh = std::move(refresh); }

void RecordUndo(const std::string& caption) { History().AddState(Document(), caption); }

void StartNewDocument() { History().StartDocument(); }

void UndoSteps(int count) {
  History().Undo(Document(), count);
  RefreshCaption();
}

void RedoSteps(int count) {
  History().Redo(Document(), count);
  RefreshCaption();
}

int UndoCount() { return History().UndoCount(); }
int RedoCount() { return History().RedoCount(); }
const std::string& UndoCaption(int i) { return History().UndoCaption(i); }
const std::string& RedoCaption(int i) { return History().RedoCaption(i); }
int ChangeCount() { return History().ChangeCount(); }
void MarkSaved() {
  History().ResetChangeCount();
  History().TakeDocumentName(Document());
}
bool DocumentModified() { return History().Modified(); }
