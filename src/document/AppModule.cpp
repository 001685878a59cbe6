#include "document/AppModule.h"

#include <filesystem>
#include <map>
#include <memory>

#include "document/DocumentFiles.h"
#include "document/SpreadsheetFile.h"
#include "model/AtomicFile.h"
#include "model/Errors.h"
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
                        {"All files", "*.*", "qtor"},
                        // Last, so that the entries stored before it keep their numbers.
                        {"LaTeX table (*.tex)", "*.tex", "tex"}});

namespace {

TDocumentUI* gUI = nullptr;
int gSaves = 0;

// Each file's identity as this editor last read or wrote it, by path: Save
// asks when the file is no longer that one. Kept for every file of the run,
// since undo may bring back a document of an earlier one.
std::map<std::string, TFileIdentity> gIdentities;
// The links to tables of LaTeX files made during the run; the document's is
// the one its name names.
std::vector<TPaperLink> gPapers;

void ForgetPaper(const std::string& path, int number) {
  std::erase_if(gPapers, [&](const TPaperLink& l) { return l.Path == path && l.Number == number; });
}

// The save dialog's type entry that matches a file's extension.
int SaveTypeFor(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  if (ext == ".csv") return 2;
  if (ext == ".txt") return 3;
  if (ext == ".tex") return 5;
  return 1;
}

}  // namespace

TPaperLink* CurrentPaper() {
  const std::string& name = CurrentTable->FileName;
  for (TPaperLink& link : gPapers)
    if (link.Path == name && CurrentTable->Title == PaperTitle(link.Path, link.Number)) return &link;
  return nullptr;
}

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
  gIdentities.clear();
  gPapers.clear();
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

std::string RecentEntry(const std::string& path, int number) {
  return number > 0 ? path + "\ntable " + std::to_string(number) : path;
}

std::string RecentEntryPath(const std::string& entry, int* number) {
  const size_t br = entry.rfind("\ntable ");
  int n = 0;
  if (br != std::string::npos) {
    const std::string digits = entry.substr(br + 7);
    const bool valid = !digits.empty() && digits.size() <= 9 &&
                       digits.find_first_not_of("0123456789") == std::string::npos && digits[0] != '0';
    if (valid) n = std::stoi(digits);
  }
  if (number) *number = n;
  return n > 0 ? entry.substr(0, br) : entry;
}

std::string RecentEntryCaption(const std::string& entry) {
  int number = 0;
  const std::string path = RecentEntryPath(entry, &number);
  return number > 0 ? path + ", table " + std::to_string(number) : path;
}

std::string PaperTitle(const std::string& path, int number) {
  return ExtractFileName(path) + " (table " + std::to_string(number) + ")";
}

std::string ReplaceFileText(const std::string& fileName) {
  return ExtractFileName(fileName) + " already exists. Do you want to replace it?";
}

std::string ChangedOnDiskText(const std::string& fileName) {
  return ExtractFileName(fileName) + " was changed by another program. Save anyway?";
}

std::string PaperChangedText(const std::string& fileName, int number) {
  return ExtractFileName(fileName) + " was changed by another program since it was opened. Replace table " +
         std::to_string(number) + " anyway?";
}

std::string TextFormatText(const std::string& fileName) {
  return ExtractFileName(fileName) +
         " cannot keep the table's rules, joins, formats and environment. Keep the text format, or save as a "
         "Quiltor table?";
}

namespace {

const std::vector<std::string> kYesNo = {"&Yes", "&No"};

// Without a window nothing can be asked: the question answers its last button.
int Ask(const std::string& text, const std::vector<std::string>& buttons) {
  return gUI ? gUI->Ask(ApplicationTitle, text, buttons) : static_cast<int>(buttons.size()) - 1;
}

// The document is now the file at path (not a table of a paper).
void BindToFile(const std::string& path) {
  CurrentTable->FileName = path;
  CurrentTable->Title = FileTitle(path);
  gIdentities[path] = FileIdentityOf(path);
}

// The document is now link's table, written as code at begin; the file is
// as it was just read or written (its identity looked at now, unless given).
void BindToPaper(TPaperLink link, int number, size_t begin, std::string code, const TFileIdentity* identity = nullptr) {
  ForgetPaper(link.Path, link.Number);
  ForgetPaper(link.Path, number);
  link.Number = number;
  link.Begin = begin;
  link.Source = std::move(code);
  link.Float = CurrentTable->Style.Float;
  link.Identity = identity ? *identity : FileIdentityOf(link.Path);
  CurrentTable->FileName = link.Path;
  CurrentTable->Title = PaperTitle(link.Path, number);
  gPapers.push_back(std::move(link));
}

// The document is now table number of the paper whose bytes were just
// written: its environment's source is found in them again, since code
// that holds a float holds more than the environment.
void RebindToPaper(TPaperLink link, int number, std::string_view written) {
  const std::vector<TLatexTableSource> tables = FindPaperTables(written);
  const TLatexTableSource& t = tables.at(static_cast<size_t>(number) - 1);
  const size_t end = TableSourceEnd(written, t);
  BindToPaper(std::move(link), number, t.Begin, std::string(written.substr(t.Begin, end - t.Begin)));
}

TPaperLink NewLink(const std::string& path) {
  TPaperLink link;
  link.Path = path;
  return link;
}

enum class TSaveStep { Done, BackToDialog };

// Save As into a LaTeX file: a new file gets the table's code alone; into
// an existing one the table replaces one of its tables or goes at its end,
// as the user chooses. Nothing but LaTeX is ever written under .tex.
TSaveStep SaveAsLatex(const std::string& path) {
  if (!FileExists(path)) {
    const std::string written = TableCode(*CurrentTable) + "\n";
    WritePaperFile(path, written);
    RebindToPaper(NewLink(path), 1, written);
    return TSaveStep::Done;
  }
  const std::string bytes = ReadPaperFile(path);
  const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
  int choice = TDocumentUI::kAppendTable;
  if (tables.empty()) {
    const std::string text = ExtractFileName(path) + " holds no LaTeX table. Add the table at its end?";
    if (Ask(text, {"&Add", "Cancel"}) != 0) return TSaveStep::BackToDialog;
  } else {
    choice = gUI ? gUI->ChooseTableToReplace(ExtractFileName(path), tables) : -1;
    if (choice != TDocumentUI::kAppendTable && (choice < 0 || static_cast<size_t>(choice) >= tables.size()))
      return TSaveStep::BackToDialog;
  }
  if (choice == TDocumentUI::kAppendTable) {
    const TCodeLayout layout = AppendLayoutOf(bytes);
    const std::string code = TableCode(*CurrentTable, layout);
    size_t at = 0;
    const std::string written = AppendTable(bytes, code, layout, at);
    WritePaperFile(path, written);
    RebindToPaper(NewLink(path), static_cast<int>(tables.size()) + 1, written);
    return TSaveStep::Done;
  }
  const TLatexTableSource& target = tables[static_cast<size_t>(choice)];
  const TPaperSpan span = PaperTableSpan(bytes, target, CurrentTable->Style.Float.Active());
  if (span.End == std::string::npos)
    throw EQuiltorError(FormatStr("Table %d of %s has no \\end: it cannot be replaced", choice + 1,
                                  ExtractFileName(path).c_str()));
  const std::string code = TableCode(*CurrentTable, CodeLayoutOf(bytes, span.Begin, span.End));
  const std::string written = SpliceTable(bytes, span.Begin, span.End, code);
  WritePaperFile(path, written);
  RebindToPaper(NewLink(path), choice + 1, written);
  return TSaveStep::Done;
}

// Asks before a table with more than texts goes into a text format. Yes to
// "Save as Quiltor Table..." prepares the save dialog for the native type.
enum class TTextFormatAnswer { Text, Native, Cancel };
TTextFormatAnswer AskTextFormat(const std::string& path) {
  if (FormatOfFile(path) == TFileFormat::Native || !TextFormatLoses(*CurrentTable)) return TTextFormatAnswer::Text;
  switch (Ask(TextFormatText(path), {"Use Text Format", "Save as Quiltor Table...", "Cancel"})) {
    case 0: return TTextFormatAnswer::Text;
    case 1:
      SaveDialog.FileName = FileTitle(path);
      SaveDialog.FilterIndex = 1;
      return TTextFormatAnswer::Native;
    default: return TTextFormatAnswer::Cancel;
  }
}

// Runs the save dialog as prepared by the caller and saves to the chosen
// path, until a name is chosen that may be written or the user cancels.
bool SaveWithDialog() {
  for (;;) {
    if (!gUI || !gUI->ExecuteSaveDialog(SaveDialog)) return false;
    std::string path = AbsoluteFileName(SaveDialog.FileName);
    // The native format only under its own extension: a name the program
    // knows no format for gets it.
    const std::string ext = ExtractFileExt(path);
    if (ext != ".qtor" && ext != ".csv" && ext != ".txt" && ext != ".tex") path += ".qtor";
    SaveDialog.FileName = ExtractFileName(path);
    if (ext == ".tex") {
      if (SaveAsLatex(path) == TSaveStep::BackToDialog) continue;
    } else {
      if (FileExists(path) && Ask(ReplaceFileText(path), kYesNo) != 0) continue;
      const TTextFormatAnswer format = AskTextFormat(path);
      if (format == TTextFormatAnswer::Cancel) return false;
      if (format == TTextFormatAnswer::Native) continue;
      WriteDocumentFile(*CurrentTable, path);
      BindToFile(path);
    }
    UpdateCaption();
    MarkSaved();
    ++gSaves;
    SaveDialog.InitialDir = ExtractFilePath(path);
    const TPaperLink* paper = CurrentPaper();
    RecentFiles->AddToTop(RecentEntry(path, paper ? paper->Number : 0));
    return true;
  }
}

// Save As for the document's own name: the dialog proposes it.
bool SaveAsWithProposal() {
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

// Save of a table of a paper: its code replaces the table's source in the
// file, and no other byte changes.
bool SavePaperTable(TPaperLink& link) {
  TFileIdentity now;
  const std::string bytes = ReadPaperFile(link.Path, &now);
  const TPaperPlace place = LocatePaperTable(bytes, now, link);
  if (place.State == TPaperPlace::Gone) {
    const std::string text = FormatStr("Table %d can no longer be found in %s. Save the table under another name?",
                                       link.Number, ExtractFileName(link.Path).c_str());
    return Ask(text, kYesNo) == 0 && SaveAsWithProposal();
  }
  if (place.State == TPaperPlace::Changed && Ask(PaperChangedText(link.Path, link.Number), kYesNo) != 0) return false;
  if (!link.Approximations.empty()) {
    if (Ask(ApproximationQuestion(ExtractFileName(link.Path), place.Number, link.Approximations),
            {"&Save", "Cancel"}) != 0)
      return false;
    // Told once per document.
    link.Approximations.clear();
  }
  // With the float as it was, the paper's own float text stays as it is;
  // a changed float is written whole in place of the old one.
  const bool sameFloat = CurrentTable->Style.Float == link.Float;
  TPaperSpan span{place.Begin, place.End};
  if (!sameFloat)
    for (const TLatexTableSource& t : FindPaperTables(bytes))
      if (t.Begin == place.Begin) span = PaperTableSpan(bytes, t, link.Float.Active());
  const std::string code = TableCode(*CurrentTable, CodeLayoutOf(bytes, span.Begin, span.End), !sameFloat);
  const std::string written = SpliceTable(bytes, span.Begin, span.End, code);
  WritePaperFile(link.Path, written);
  if (place.Number != link.Number) {
    // Tables were added or removed above it: the document follows its table.
    RecentFiles->AddToTop(RecentEntry(link.Path, place.Number));
  }
  RebindToPaper(link, place.Number, written);
  UpdateCaption();
  MarkSaved();
  ++gSaves;
  return true;
}

}  // namespace

bool SaveDocument() {
  const std::string fileName = CurrentTable->FileName;
  TPaperLink* paper = CurrentPaper();
  if (paper && FileExists(fileName)) return SavePaperTable(*paper);
  // A LaTeX file is written only through its link: without one (its table
  // could not be put back) the document asks for a name.
  if (!paper && ExtractFileExt(fileName) != ".tex" && FileExists(fileName)) {
    const auto known = gIdentities.find(fileName);
    if (known != gIdentities.end() && known->second.Known && FileIdentityOf(fileName) != known->second &&
        Ask(ChangedOnDiskText(fileName), kYesNo) != 0)
      return false;
    switch (AskTextFormat(fileName)) {
      case TTextFormatAnswer::Cancel: return false;
      case TTextFormatAnswer::Native: return SaveWithDialog();
      case TTextFormatAnswer::Text: break;
    }
    WriteDocumentFile(*CurrentTable, fileName);
    gIdentities[fileName] = FileIdentityOf(fileName);
    MarkSaved();
    ++gSaves;
    return true;
  }
  SaveDialog.FileName = paper ? ExtractFileName(fileName) : CurrentTable->Title;
  SaveDialog.FilterIndex = SaveTypeFor(fileName);
  return SaveWithDialog();
}

bool SaveDocumentAs() { return SaveAsWithProposal(); }

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

bool OpenFile(const std::string& name, int number) {
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
  TPaperLink link;
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
    if (!ReadPaperTable(*scratch, source, number, link)) return false;
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
  if (link.Bound() && !unnamed) {
    // A table of LaTeX source is saved back in place of its source.
    BindToPaper(link, link.Number, link.Begin, link.Source, &link.Identity);
  } else if (ext == ".tex" || IsSpreadsheetFile(fileName) || unnamed) {
    // A table that cannot be put back (it has no \end, or it was read from
    // a copy), or a sheet of a workbook: saving it over its source would
    // replace a whole paper or workbook by one table, so it has no file.
    CurrentTable->FileName.clear();
    CurrentTable->Title = FileTitle(fileName);
  } else {
    BindToFile(fileName);
  }
  if (gUI) gUI->DocumentReplaced();
  UpdateCaption();
  RecordUndo("Opening file");
  MarkSaved();
  const TPaperLink* paper = CurrentPaper();
  RecentFiles->AddToTop(RecentEntry(fileName, paper ? paper->Number : 0));
  return true;
}

void LinkRecoveredPaper(const std::string& path, int number) {
  if (number <= 0 || path.empty()) return;
  // The file is older than the recovered table, and how it changed since is
  // unknown: the table is found by its number.
  TPaperLink link = NewLink(path);
  link.Number = number;
  // Taken for the float the paper holds, so that Save keeps the paper's own
  // float text rather than write a second float inside it.
  link.Float = CurrentTable->Style.Float;
  ForgetPaper(path, number);
  gPapers.push_back(std::move(link));
  CurrentTable->Title = PaperTitle(path, number);
}

bool OpenRecentFile(const std::string& entry) {
  CurrentTable->CurrentCell = nullptr;
  // The entry moves to the top whatever the open does, failures included.
  int number = 0;
  const std::string path = RecentEntryPath(entry, &number);
  struct MoveToTop {
    const std::string& Path;
    int Number;
    ~MoveToTop() { RecentFiles->AddToTop(RecentEntry(AbsoluteFileName(Path), Number)); }
  } moveToTop{path, number};
  return OpenFile(path, number);
}

void OpenDialogTypeChange(int filterIndex) { OpenDialog.TypeChange(filterIndex); }
void SaveDialogTypeChange(int filterIndex) { SaveDialog.TypeChange(filterIndex); }
