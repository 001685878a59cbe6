#pragma once
// File names and the reading and writing of a document file by its name. The
// format follows the extension, compared exactly and case-sensitively:
// ".csv" comma separated, ".txt" tab delimited, anything else native.
#include <cstdint>
#include <string>
#include <vector>

#include "document/PaperTable.h"
#include "latex/LatexReader.h"
#include "model/Tables.h"

class TStream;

// The extension with its dot ("" when the name has none): "a/b.tar.gz" gives ".gz".
std::string ExtractFileExt(const std::string& path);
// The name without its folder.
std::string ExtractFileName(const std::string& path);
// The folder with its trailing separator ("" for a bare name).
std::string ExtractFilePath(const std::string& path);
// The name without folder and extension: the document's title.
std::string FileTitle(const std::string& path);
// True for an existing file (not a folder).
bool FileExists(const std::string& path);
// path from the working folder's root, as the document, the recent files
// and the recovery data keep a name: a name kept relative would name
// another file once the program runs in another folder. "." parts are
// dropped; ".." and symbolic links stay as given. Empty stays empty.
std::string AbsoluteFileName(const std::string& path);

enum class TFileFormat { Native, Csv, Tab };
TFileFormat FormatOfFile(const std::string& path);

// Whether writing the table as delimited text loses anything but its texts:
// rules, joined cells, column formats, cell alignments, row prefixes or
// postfixes, or an environment other than a bare "tabular".
bool TextFormatLoses(const TTable& table);

// Writes the table to path in the format its extension selects. The old file
// stays intact when the write fails.
void WriteDocumentFile(const TTable& table, const std::string& path);
// Reads a native file into table (a scratch table: on failure it may be left
// half read).
void ReadNativeFile(TTable& table, const std::string& path);
// What the Text Import dialog shows of a file before it is imported. Only the
// start of the file is read for the lines, so that a huge file or a file of
// one huge line opens the dialog at once.
struct TTextPreview {
  // At most maxLines lines from at most maxBytes bytes, each cut for display.
  std::vector<std::string> Lines;
  // The file goes on beyond the lines shown.
  bool Cropped = false;
  // Byte offset of the NUL byte that ends the text, -1 when there is none.
  // The whole file is searched, not only the part shown.
  int64_t NulAt = -1;
};
// The preview of a text file (UTF-16 files arrive converted to UTF-8, as the
// import will read them). Raises as TFileStream does for a file that is not
// a regular file or cannot be read.
TTextPreview ReadTextPreview(const std::string& path, int maxLines, size_t maxBytes);

// ---- LaTeX tables

// The text of LaTeX source from stream, from its start: its bytes, a UTF-8
// byte-order mark dropped.
std::string ReadLatexText(TStream& stream);

// What reading a LaTeX file needs to ask and tell the user; the window
// implements it, tests script it.
class TLatexTableUI {
 public:
  virtual ~TLatexTableUI() = default;
  // Which of several tables to read: its index, or -1 when cancelled.
  virtual int ChooseLatexTable(const std::vector<TLatexTableSource>& tables) = 0;
  // What the reader changed to fit the table into the model, told once.
  virtual void ShowLatexWarnings(const std::vector<std::string>& warnings) = 0;
};
void SetLatexTableUI(TLatexTableUI* ui);

// Reads one table of LaTeX text into table (a scratch table): the only one,
// or the one the user chooses among several; the warnings are shown. False
// when the user cancelled the choice. A text without any table raises
// "No LaTeX table found in <name>"; a table the reader refuses raises its
// message, prefixed by name.
bool ReadLatexTableOf(TTable& table, std::string_view text, const std::string& name);

// Reads one table of a LaTeX file for editing where it lives: the number-th
// (1-based), or when number is 0 the only one or the one the user chooses;
// the reader's warnings are shown. link then names the file, the table and
// its source as read, with what saving it back will change in style. A
// table without its \end cannot be put back: link stays unbound then. False
// when the user cancelled the choice. Refuses files ReadPaperFile refuses,
// and raises as ReadLatexTableOf does.
bool ReadPaperTable(TTable& table, const std::string& path, int number, TPaperLink& link);
