#pragma once
// A table edited where it lives: one table environment of a LaTeX file (a
// paper), put back in place of its own source so that every other byte of
// the file - the text around it, its line endings, its encoding - stays as
// it was.
//
// Offsets are byte offsets into the file's bytes as they are on disk (a
// UTF-8 byte-order mark counted). A table's source runs from its "\begin" to
// just after the "}" that closes its "\end{...}".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "latex/LatexReader.h"
#include "model/Tables.h"

class TTable;

// Papers larger than this are refused: a LaTeX source of that size is no
// paper, and the whole file is held in memory while a table is replaced.
constexpr int64_t kMaxPaperBytes = int64_t{64} << 20;

// What tells whether a file was changed by someone else since it was read
// or written: device, inode, size and modification time.
struct TFileIdentity {
  bool Known = false;  // false: the file did not exist (or could not be looked at)
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t MTimeSec = 0;
  int64_t MTimeNsec = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// The identity of the file path names now (following links).
TFileIdentity FileIdentityOf(const std::string& path);

// The bytes of a LaTeX file that is to be edited in place, and its identity
// as it was read. Refuses, with a message naming the file, anything but a
// regular file, a file above kMaxPaperBytes and a file holding a NUL byte (a
// binary file, or a UTF-16 one, whose tables cannot be put back byte-exact).
std::string ReadPaperFile(const std::string& path, TFileIdentity* identity = nullptr);

// The tables of a paper's bytes (FindLatexTables, offsets into bytes).
std::vector<TLatexTableSource> FindPaperTables(std::string_view bytes);
// Where the source of table (one of FindPaperTables(bytes)) ends: just after
// its "\end{...}". npos when the table has no end.
size_t TableSourceEnd(std::string_view bytes, const TLatexTableSource& table);
// The bytes a table's code replaces: its source, or with withFloat (the code
// writes a float) the table float around it when the reader keeps that
// float with the table (FindLatexFloat). Code without a float leaves the
// paper's float as it is. End is npos when the table has no end.
struct TPaperSpan {
  size_t Begin = 0;
  size_t End = 0;
};
TPaperSpan PaperTableSpan(std::string_view bytes, const TLatexTableSource& table, bool withFloat);

// Whether the bytes hold one table and nothing else but blanks and line
// breaks around it: such a file is the table's own and may be written whole.
bool IsLoneTable(std::string_view bytes);

// How code put into a paper is laid out, so that the paper's diff shows the
// table's changed lines alone: its line break, and for code that replaces a
// table, the indentation of the old source (the \end line takes that of the
// \begin line, the lines between that of the first line after \begin), and
// no blanks at line ends, which TeX drops anyway.
struct TCodeLayout {
  std::string LineBreak = "\n";
  std::string Indent;
  std::string InnerIndent;
  bool TrimLineEnds = false;
};
// The layout of the table source bytes[begin, end). Without a line break in
// it, the file's first one is used, else "\n".
TCodeLayout CodeLayoutOf(std::string_view bytes, size_t begin, size_t end);
// The layout for code appended to bytes: its line break, nothing else.
TCodeLayout AppendLayoutOf(std::string_view bytes);
// The table's code as TableToLatex generates it, laid out as layout says:
// lines joined by its line break (none after the last), and line feeds
// inside a line (a cell text spanning lines) written as that break too, so
// that a CR LF paper stays CR LF throughout.
std::string TableCode(const TTable& table, const TCodeLayout& layout = {}, bool withFloat = true);

// The bytes with [begin, end) replaced by code.
std::string SpliceTable(std::string_view bytes, size_t begin, size_t end, std::string_view code);
// The bytes with code appended as a paragraph of its own at the end; the
// offset where code starts is stored in at.
std::string AppendTable(std::string_view bytes, std::string_view code, const TCodeLayout& layout, size_t& at);

// A document's link to the table of a paper it edits.
struct TPaperLink {
  std::string Path;
  int Number = 0;  // 1-based; 0: the document is not a table of a paper
  // The table's source as last read or written, and where it was. Empty
  // when unknown (a recovered document): the table is then found by number.
  size_t Begin = 0;
  std::string Source;
  // The table's float as read or last written: while the table's float is
  // this one, the paper's own float text around the table stays untouched
  // and only the environment is replaced.
  TTableFloat Float;
  // The file as last read or written.
  TFileIdentity Identity;
  // What the generator will write differently from the source, in words;
  // told once, before the first save.
  std::vector<std::string> Approximations;
  bool Bound() const { return Number > 0; }
};

// Where the linked table is in the paper's bytes now.
struct TPaperPlace {
  enum { Found, Changed, Gone } State = Gone;
  size_t Begin = 0;
  size_t End = 0;
  int Number = 0;  // the table's number now, 1-based
};
// Found: the file is the one last read or written (same identity, the old
// source where it was). Changed: the file changed since, and the table was
// found anew - the one with the same source, else the one with the same
// number. Gone: there are fewer tables than the number, or the number-th
// has no end.
TPaperPlace LocatePaperTable(std::string_view bytes, const TFileIdentity& now, const TPaperLink& link);

// The approximations of reading source and writing table again, each as a
// phrase ("booktabs rules become \hline", "3 comments are dropped"),
// followed by the reader's warnings.
std::vector<std::string> DescribeApproximations(std::string_view source, const TTable& table,
                                                const std::vector<std::string>& readerWarnings,
                                                bool withFloat = true);
// "Saving rewrites table 2 of paper.tex in Quiltor's style: ..."
std::string ApproximationQuestion(const std::string& fileName, int number,
                                  const std::vector<std::string>& approximations);

// Writes bytes over path atomically (TAtomicFile: owner, mode and links kept).
void WritePaperFile(const std::string& path, std::string_view bytes);

// Puts the cell texts of data into the structure of table: formats, rules,
// joins, prefixes, postfixes and environment stay. A joined cell takes the
// text of data's cell at its first column, a block also the texts of data
// where it covers cells. Rows missing at the end are added looking like the
// last row (without its blocks); rows beyond data's are removed, and blocks
// end at the new last row. Columns
// missing at the end are added with the last column's format, so that no
// text of data is lost.
void MergeCellTexts(TTable& table, const TTable& data);
