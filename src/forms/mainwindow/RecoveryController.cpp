#include "forms/mainwindow/RecoveryController.h"

#include <QMessageBox>

#include "document/AppModule.h"
#include "platform/QtText.h"
#include "undo/UndoBuffers.h"

namespace {

// Whether two pictures hold the same table. Pictures taken one after the
// other share their unchanged rows, so most rows compare by address.
bool SameContent(const Snapshots::TSnapshot& a, const Snapshots::TSnapshot& b) {
  if (a.RowCount() != b.RowCount()) return false;
  const Snapshots::TColumnsImage& ca = a.Columns();
  const Snapshots::TColumnsImage& cb = b.Columns();
  if (&ca != &cb && (ca.Formats != cb.Formats || ca.FormatEnds != cb.FormatEnds || ca.Selected != cb.Selected))
    return false;
  const Snapshots::TTableTexts& ta = a.Texts();
  const Snapshots::TTableTexts& tb = b.Texts();
  if (&ta != &tb && (ta.Environment != tb.Environment || ta.EnvOptions != tb.EnvOptions || ta.Extra1 != tb.Extra1 ||
                     ta.Extra2 != tb.Extra2 || ta.Extra3 != tb.Extra3))
    return false;
  for (int r = 0; r < a.RowCount(); ++r)
    if (&a.Row(r) != &b.Row(r) && !(a.Row(r) == b.Row(r))) return false;
  return true;
}

}  // namespace

TRecoveryController::TRecoveryController(std::function<bool()> unsaved, std::string folder, QObject* parent)
    : QObject(parent), FUnsaved(std::move(unsaved)), FWriter(std::make_unique<TRecoveryWriter>(std::move(folder))) {
  FTimer.setSingleShot(true);
  connect(&FTimer, &QTimer::timeout, this, [this] { WriteNow(); });
  // The writer reports from its own thread; the report is taken on this one.
  FWriter->OnWritten = [this](const std::string& failure) {
    QMetaObject::invokeMethod(this, [this, failure] { Written(failure); }, Qt::QueuedConnection);
  };
}

TRecoveryController::~TRecoveryController() {
  FTimer.stop();
  // Joins the writer's thread before this object, which its reports reach,
  // goes. The entry stays unless DocumentClosed removed it.
  FWriter.reset();
}

void TRecoveryController::DocumentChanged() {
  if (FClosed) return;
  if (!FUnsaved()) {
    FTimer.stop();
    FLastWritten.reset();
    LetGo();
    return;
  }
  if (RecoveryInterval > 0 && !FTimer.isActive()) FTimer.start(RecoveryInterval * 1000);
}

void TRecoveryController::DocumentClosed() {
  FClosed = true;
  FTimer.stop();
  FLastWritten.reset();
  LetGo();
}

void TRecoveryController::Inherit(const TRecoveryEntry& entry) {
  FWriter->Adopt(entry);
  FInherited = true;
  FSavesAtInherit = DocumentSaves();
}

void TRecoveryController::LetGo() {
  if (FInherited && DocumentSaves() == FSavesAtInherit) FWriter->Release();
  else if (FWriter->HasEntry()) FWriter->Discard();
  FInherited = false;
}

void TRecoveryController::WriteNow(bool wait) {
  if (FClosed || RecoveryInterval <= 0 || !CurrentTable || !UndoBuffer || !FUnsaved()) return;
  // Against the history's current state, whose picture shares every row the
  // table still has unchanged.
  const TUndoEntry* current = UndoBuffer->EntryAt(UndoBuffer->Position());
  Snapshots::TSnapshotPtr snapshot =
      Snapshots::TSnapshot::Capture(*CurrentTable, current ? &current->Snapshot() : FLastWritten.get());
  TRecoveryInfo info;
  info.FileName = CurrentTable->FileName;
  info.Title = CurrentTable->Title;
  const TPaperLink* paper = CurrentPaper();
  info.Table = paper ? paper->Number : 0;
  const bool same = FLastWritten && SameContent(*snapshot, *FLastWritten) && info.FileName == FLastInfo.FileName &&
                    info.Title == FLastInfo.Title && info.Table == FLastInfo.Table;
  if (!same) {
    FLastWritten = snapshot;
    FLastInfo = info;
    FWriter->Submit(std::move(snapshot), std::move(info));
  }
  if (wait) FWriter->Flush();
}

void TRecoveryController::Written(const std::string& failure) {
  if (failure.empty()) {
    FFailureShown = false;
    return;
  }
  // The same data is to be tried again at the next change.
  FLastWritten.reset();
  if (FFailureShown) return;
  FFailureShown = true;
  if (TDocumentUI* ui = ::DocumentUI()) ui->ShowError(failure);
  else QMessageBox::critical(nullptr, ToQ(ApplicationTitle), ToQ(failure));
}
