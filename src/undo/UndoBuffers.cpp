#include "undo/UndoBuffers.h"

#include <utility>

#include "model/Errors.h"
#include "model/Tables.h"

namespace {

// A check of the history failed: a caller asked for steps that do not exist.
// The line names the check in a bug report.
[[noreturn]] void Fail(int line) { throw EAssertionFailed("UndoBuffers", line); }

}  // namespace

TUndoEntry::TUndoEntry(std::string caption, Snapshots::TSnapshotPtr snapshot)
    : Caption(std::move(caption)), FSnapshot(std::move(snapshot)) {}

// ---------------------------------------------------------------- TUndoBuffer

int TUndoBuffer::AddState(const TTable& table, const std::string& caption) {
  // Picture the table first, sharing with the current state, so that a
  // failure leaves the history untouched.
  const Snapshots::TSnapshot* base = FPosition >= 0 ? FEntries[static_cast<size_t>(FPosition)]->FSnapshot.get() : nullptr;
  auto entry = std::make_unique<TUndoEntry>(caption, Snapshots::TSnapshot::Capture(table, base));
  FEntries.reserve(FEntries.size() + 1);

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
  FEntries[static_cast<size_t>(FPosition - count)]->RestoreTo(table);
  table.CurrentCell = nullptr;
  FPosition -= count;
  FChangeCount -= count;
}

void TUndoBuffer::Redo(TTable& table, int count) {
  if (count < 1 || FPosition + count >= Count()) Fail(__LINE__);
  FEntries[static_cast<size_t>(FPosition + count)]->RestoreTo(table);
  table.CurrentCell = nullptr;
  FPosition += count;
  FChangeCount += count;
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
void MarkSaved() { History().ResetChangeCount(); }
bool DocumentModified() { return History().Modified(); }
