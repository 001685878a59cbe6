#include "document/AppModule.h"

#include <filesystem>
#include <memory>

#include "document/DocumentFiles.h"
#include "document/SpreadsheetFile.h"
#include "model/AtomicFile.h"
#include "model/StreamIO.h"
#include "model/TextLines.h"
#include "undo/UndoBuffers.h"

TTable* CurrentTable = nullptr;
TCodePreferences CodePreferences;
TRuleStyle NewTableRules = rsClassic;
TSList* RecentFiles = nullptr;
TSList* RecentFormats = nullptr;
std::string ApplicationTitle = "Quiltor";
const char* const kPreviewCroppedNote = "... contents of the file has been cropped for faster preview.";

// Each entry's extension is the default one while the entry is selected.
TFileDialog OpenDialog({{"All supported formats", "*.qtor;*.csv;*.txt;*.tex;*.xlsx;*.xlsm;*.ods", "qtor"},
                        {"Quiltor data (*.qtor)", "*.qtor", "qtor"},
                        {"Text files (*.csv; *.txt)", "*.csv;*.txt", "csv"},
                        {"All files", "*.*", "qtor"},
                        // Last, so that the entries stored before it keep their numbers.
                        {"LaTeX table (*.tex)", "*.tex", "tex"},
                        {"Spreadsheets (*.xlsx; *.ods)", "*.xlsx;*.xlsm;*.ods", "xlsx"}});
TFileDialog SaveDialog({{"Quiltor data (*.qtor)", "*.qtor", "qtor"},
                        {"Comma separated (*.csv)", "*.csv", "csv"},
                        {"Tab delimeted (*.txt)", "*.txt", "txt"},
                        {"All files", "*.*", "qtor"}});

namespace {

TDocumentUI* gUI = nullptr;
int gSaves = 0;

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
int DocumentSaves() { return gSaves; }

void StartAppModule() {
  CurrentTable = new TTable;
  SetUndoDocument(CurrentTable);
  SetUndoCaptionRefresh(UpdateCaption);
  RecentFormats = new TSList(8);
  // File names are compared exactly: on this platform "Case.qtor" and
  // "case.qtor" are two files.
  RecentFiles = new TSList(9, true);
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

std::string NulCutWarning(int64_t offset) {
  return "The file is cut at byte " + std::to_string(offset) +
         ": it holds a NUL byte there, and the rest of the file will not be imported.";
}

bool PreviewShowsQuotedFields(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) (text += line) += '\n';
  return TextLines::HasQuotedFields(text, TextLines::TDelimiterSet(TextLines::kQuoteDetectionDelimiters));
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
  StartNewDocument();
  CurrentTable->CurrentCell = nullptr;
  CurrentTable->Clear();
  CurrentTable->Style.Rules = NewTableRules;
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
  const std::string path = AbsoluteFileName(SaveDialog.FileName);
  WriteDocumentFile(*CurrentTable, path);
  CurrentTable->FileName = path;
  CurrentTable->Title = FileTitle(path);
  UpdateCaption();
  MarkSaved();
  ++gSaves;
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
    ++gSaves;
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
  std::string path = OpenDialog.FileName;
  // A name typed without extension means the file of the selected type when
  // no file of exactly that name exists.
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && ExtractFileExt(path).empty() && !OpenDialog.DefaultExt.empty())
    path += "." + OpenDialog.DefaultExt;
  const bool opened = OpenFile(path);
  if (opened) OpenDialog.InitialDir = ExtractFilePath(path);
  return opened;
}

namespace {

// A save that writes a file in place keeps its old content beside it until
// the new one is on the disk; finding that copy means such a save was cut
// short and the file may hold a mix of both. The copy is offered. Returns
// the file to read (the file or its copy), or empty when the user cancelled.
std::string FileToOpen(const std::string& fileName) {
  const std::string backup = InPlaceBackupName(fileName);
  if (!FileExists(backup)) return fileName;
  const std::string text = "A save of " + ExtractFileName(fileName) + " was cut short, and the file may be damaged. " +
                           "Its content from before that save was kept in " + backup + ". \r\n" +
                           "Open that copy instead of the file?";
  switch (gUI ? gUI->AskSaveChanges("Interrupted Save", text) : TSaveAnswer::No) {
    case TSaveAnswer::Yes:
      return backup;
    case TSaveAnswer::No:
      return fileName;
    case TSaveAnswer::Cancel:
      break;
  }
  return {};
}

}  // namespace

bool OpenFile(const std::string& name) {
  std::error_code ec;
  if (name.empty() || !std::filesystem::exists(name, ec)) return false;
  const std::string fileName = AbsoluteFileName(name);
  // A FIFO would block the window and a device such as /dev/zero never ends:
  // only regular files are opened, and the refusal comes before the question
  // about unsaved changes, which would be pointless.
  CheckRegularFile(fileName);
  if (!QuerySaveChanges()) return false;
  const std::string source = FileToOpen(fileName);
  if (source.empty()) return false;
  // What the table holds is not what the file holds: saving it under the
  // file's name would change the file behind the user's back, so the
  // document stays unnamed and Save asks for a name.
  bool unnamed = source != fileName;
  auto scratch = std::make_unique<TTable>();
  const std::string ext = ExtractFileExt(fileName);
  if (ext == ".csv" || ext == ".txt") {
    TTextPreview preview = ReadTextPreview(source, kPreviewLines, kPreviewBytes);
    if (preview.Lines.empty()) return false;
    const std::string warning = preview.NulAt >= 0 ? NulCutWarning(preview.NulAt) : std::string();
    TTextImportOptions options;
    options.Quoted = PreviewShowsQuotedFields(preview.Lines);
    if (preview.Cropped) preview.Lines.push_back(kPreviewCroppedNote);
    if (!gUI || !gUI->ExecuteImportDialog(preview.Lines, warning, options)) return false;
    // Escaped texts, or a text cut at a NUL, would be written back as such.
    if (scratch->ImportText(source, options) >= 0 || options.Escape) unnamed = true;
  } else if (ext == ".tex") {
    if (!ReadLatexFile(*scratch, source)) return false;
  } else if (IsSpreadsheetFile(fileName)) {
    if (!ReadSpreadsheetFile(*scratch, source, ExtractFileName(fileName))) return false;
  } else {
    ReadNativeFile(*scratch, source);
  }
  StartNewDocument();
  CurrentTable->CurrentCell = nullptr;
  // Moved, not copied: the file's table is never held twice.
  CurrentTable->TakeContent(*scratch);
  scratch.reset();
  // A table read from LaTeX source or a spreadsheet has no file of its own:
  // saving it over the source would replace a whole paper or workbook by
  // one table.
  CurrentTable->FileName = ext == ".tex" || IsSpreadsheetFile(fileName) || unnamed ? std::string() : fileName;
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
    ~MoveToTop() { RecentFiles->AddToTop(AbsoluteFileName(Name)); }
  } moveToTop{fileName};
  return OpenFile(fileName);
}

void OpenDialogTypeChange(int filterIndex) { OpenDialog.TypeChange(filterIndex); }
void SaveDialogTypeChange(int filterIndex) { SaveDialog.TypeChange(filterIndex); }
