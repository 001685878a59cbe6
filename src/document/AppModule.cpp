#include "document/AppModule.h"

#include <filesystem>
#include <memory>

#include "document/DocumentFiles.h"
#include "undo/UndoBuffers.h"

TTable* CurrentTable = nullptr;
TSList* RecentFiles = nullptr;
TSList* RecentFormats = nullptr;
std::string ApplicationTitle = "Quiltor";
const char* const kPreviewCroppedNote = "... contents of the file has been cropped for faster preview.";

// Each entry's extension is the default one while the entry is selected.
TFileDialog OpenDialog({{"All supported formats", "*.qtor;*.csv;*.txt", "qtor"},
                        {"Quiltor data (*.qtor)", "*.qtor", "qtor"},
                        {"Text files (*.csv; *.txt)", "*.csv;*.txt", "csv"},
                        {"All files", "*.*", "qtor"}});
TFileDialog SaveDialog({{"Quiltor data (*.qtor)", "*.qtor", "qtor"},
                        {"Comma separated (*.csv)", "*.csv", "csv"},
                        {"Tab delimeted (*.txt)", "*.txt", "txt"},
                        {"All files", "*.*", "qtor"}});

namespace {

TDocumentUI* gUI = nullptr;

// The save dialog's type entry that matches a file's extension.
int SaveTypeFor(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  if (ext == ".csv") return 2;
  if (ext == ".txt") return 3;
  return 1;
}

}  // namespace

void SetDocumentUI(TDocumentUI* ui) { gUI = ui; }
TDocumentUI* DocumentUI() { return gUI; }

void StartAppModule() {
  CurrentTable = new TTable;
  SetUndoDocument(CurrentTable);
  SetUndoCaptionRefresh(UpdateCaption);
  RecentFormats = new TSList(8);
  RecentFiles = new TSList(9);
  NewDocument(4, 4);
  RecordUndo("Initial State");
}

void StopAppModule() {
  SetUndoCaptionRefresh(nullptr);
  SetUndoDocument(nullptr);
  delete RecentFiles;
  RecentFiles = nullptr;
  delete RecentFormats;
  RecentFormats = nullptr;
  delete CurrentTable;
  CurrentTable = nullptr;
}

std::string SaveChangesText(const std::string& title) {
  return "Contents of " + title + " has been changed. \r\n" + "Do you want to save changes?";
}

void UpdateCaption() {
  if (gUI) gUI->SetCaption(ApplicationTitle + " - " + CurrentTable->Title);
}

bool QuerySaveChanges() {
  if (!DocumentModified()) return true;
  if (!gUI) return false;
  switch (gUI->AskSaveChanges("Confirm", SaveChangesText(CurrentTable->Title))) {
    case TSaveAnswer::Yes:
      return SaveDocument();
    case TSaveAnswer::No:
      return true;
    case TSaveAnswer::Cancel:
      break;
  }
  return false;
}

bool NewDocument(int rows, int cols) {
  if (!QuerySaveChanges()) return false;
  CurrentTable->CurrentCell = nullptr;
  CurrentTable->Clear();
  CurrentTable->Title = "Untitled";
  CurrentTable->FileName.clear();
  UpdateCaption();
  while (CurrentTable->ColCount() < cols) new TColumn(*CurrentTable);
  while (CurrentTable->RowCount() < rows) CurrentTable->AddRow();
  return true;
}

namespace {

// Runs the save dialog as prepared by the caller and saves to the chosen path.
bool SaveWithDialog() {
  if (!gUI || !gUI->ExecuteSaveDialog(SaveDialog)) return false;
  const std::string path = SaveDialog.FileName;
  WriteDocumentFile(*CurrentTable, path);
  CurrentTable->FileName = path;
  CurrentTable->Title = FileTitle(path);
  UpdateCaption();
  MarkSaved();
  SaveDialog.InitialDir = ExtractFilePath(path);
  RecentFiles->AddToTop(path);
  return true;
}

}  // namespace

bool SaveDocument() {
  const std::string& fileName = CurrentTable->FileName;
  if (!fileName.empty() && FileExists(fileName)) {
    WriteDocumentFile(*CurrentTable, fileName);
    MarkSaved();
    return true;
  }
  SaveDialog.FileName = CurrentTable->Title;
  SaveDialog.FilterIndex = SaveTypeFor(fileName);
  return SaveWithDialog();
}

bool SaveDocumentAs() {
  const std::string& fileName = CurrentTable->FileName;
  if (!fileName.empty()) {
    SaveDialog.FileName = ExtractFileName(fileName);
    SaveDialog.FilterIndex = SaveTypeFor(fileName);
  } else {
    SaveDialog.FileName = CurrentTable->Title;
    SaveDialog.FilterIndex = 1;
  }
  return SaveWithDialog();
}

bool OpenDocument() {
  if (!gUI || !gUI->ExecuteOpenDialog(OpenDialog)) return false;
  const std::string path = OpenDialog.FileName;
  const bool opened = OpenFile(path);
  if (opened) OpenDialog.InitialDir = ExtractFilePath(path);
  return opened;
}

bool OpenFile(const std::string& fileName) {
  if (!FileExists(fileName)) return false;
  if (!QuerySaveChanges()) return false;
  auto scratch = std::make_unique<TTable>();
  const std::string ext = ExtractFileExt(fileName);
  if (ext == ".csv" || ext == ".txt") {
    TTextPreview preview = ReadTextPreview(fileName, kPreviewLines, kPreviewBytes);
    if (preview.Lines.empty()) return false;
    if (preview.Cropped) preview.Lines.push_back(kPreviewCroppedNote);
    std::string delimiters;
    bool merge = false;
    if (!gUI || !gUI->ExecuteImportDialog(preview.Lines, std::string(), delimiters, merge)) return false;
    scratch->ImportText(fileName, delimiters, merge);
  } else {
    ReadNativeFile(*scratch, fileName);
  }
  CurrentTable->CurrentCell = nullptr;
  CurrentTable->Assign(*scratch);
  scratch.reset();
  CurrentTable->FileName = fileName;
  CurrentTable->Title = FileTitle(fileName);
  if (gUI) gUI->DocumentReplaced();
  UpdateCaption();
  RecordUndo("Opening file");
  MarkSaved();
  RecentFiles->AddToTop(fileName);
  return true;
}

bool OpenRecentFile(const std::string& fileName) {
  CurrentTable->CurrentCell = nullptr;
  // The entry moves to the top whatever the open does, failures included.
  struct MoveToTop {
    const std::string& Name;
    ~MoveToTop() { RecentFiles->AddToTop(Name); }
  } moveToTop{fileName};
  return OpenFile(fileName);
}

namespace {

void DialogTypeChange(TFileDialog& dialog, int filterIndex) {
  if (filterIndex >= 1 && filterIndex <= static_cast<int>(dialog.Types.size()))
    dialog.DefaultExt = dialog.Types[static_cast<size_t>(filterIndex - 1)].DefaultExt;
}

}  // namespace

void OpenDialogTypeChange(int filterIndex) { DialogTypeChange(OpenDialog, filterIndex); }
void SaveDialogTypeChange(int filterIndex) { DialogTypeChange(SaveDialog, filterIndex); }
