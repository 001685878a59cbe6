// Delimited text files: one line per row, one field per column; quoted
// fields (which may span lines) as an option on reading, and quotes on
// writing only around the fields that need them.
#include <algorithm>
#include <cstring>

#include "model/AtomicFile.h"
#include "model/LatexEscape.h"
#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextLines.h"

namespace {

using TextLines::kMaxImportCells;

constexpr size_t kPieceSize = 1 << 20;

// Calls onLine for every line of the text in stream, reading it in pieces so
// that the file never has to fit in memory beside the table it becomes.
// Returns the file offset of the NUL that ended the text, or -1.
template <class OnLine>
int64_t ForEachLine(TStream& stream, OnLine onLine) {
  stream.Seek(0);
  TextLines::TTextDecoder decoder;
  std::string buffer;
  std::vector<std::string_view> lines;
  size_t kept = 0;  // bytes of an incomplete line carried in front of the next piece
  bool last = false;
  while (!last) {
    // A small file needs no full piece. A line longer than a piece makes the
    // next read as large as the line, so that re-scanning the carried part
    // costs no more than reading it did.
    const size_t want = std::max<size_t>(kept, std::clamp<int64_t>(stream.Remaining() + 1, 4096, kPieceSize));
    buffer.resize(kept + want);
    const size_t got = stream.Read(buffer.data() + kept, want);
    last = got < want;
    buffer.resize(kept + got);
    decoder.Decode(buffer, kept, last);
    last = last || decoder.Ended();
    const std::string_view text(buffer);
    lines.clear();
    bool ended;
    const size_t used = TextLines::TakeLines(text, last, lines, ended);
    for (std::string_view line : lines) onLine(line);
    kept = text.size() - used;
    std::memmove(buffer.data(), buffer.data() + used, kept);
  }
  return decoder.NulAt();
}

// The same for quoted fields: calls onRecord with the fields of every
// record. A quoted field may run over any number of pieces and lines, so the
// splitter keeps its state from one piece to the next instead of carrying
// text.
template <class OnRecord>
int64_t ForEachQuotedRecord(TStream& stream, const TextLines::TDelimiterSet& delimiters, bool merge,
                            OnRecord onRecord) {
  stream.Seek(0);
  TextLines::TTextDecoder decoder;
  TextLines::TQuotedSplitter splitter(delimiters, merge);
  std::string buffer;
  std::vector<TextLines::TRecord> records;
  std::vector<std::string_view> fields;
  bool last = false;
  while (!last) {
    const size_t want = std::clamp<int64_t>(stream.Remaining() + 1, 4096, kPieceSize);
    buffer.resize(want);
    const size_t got = stream.Read(buffer.data(), want);
    last = got < want;
    buffer.resize(got);
    decoder.Decode(buffer, 0, last);
    last = last || decoder.Ended();
    records.clear();
    splitter.Feed(buffer, last, records);
    for (const TextLines::TRecord& record : records) {
      fields.assign(record.begin(), record.end());
      onRecord(fields);
    }
  }
  return decoder.NulAt();
}

// Calls onRecord with the fields of every line (or quoted record) of the
// text in stream, split as options say.
template <class OnRecord>
int64_t ForEachRecord(TStream& stream, const TextLines::TDelimiterSet& delimiters, const TTextImportOptions& options,
                      OnRecord onRecord) {
  if (options.Quoted) return ForEachQuotedRecord(stream, delimiters, options.Merge, onRecord);
  std::vector<std::string_view> fields;
  return ForEachLine(stream, [&](std::string_view line) {
    TextLines::SplitFields(line, delimiters, options.Merge, fields);
    onRecord(fields);
  });
}

}  // namespace

int64_t TTable::ImportText(const std::string& fileName, const std::string& delimiters, bool mergeDelimiters) {
  TTextImportOptions options;
  options.Delimiters = delimiters;
  options.Merge = mergeDelimiters;
  return ImportText(fileName, options);
}

int64_t TTable::ImportText(TStream& stream, const std::string& name, const std::string& delimiters,
                           bool mergeDelimiters) {
  TTextImportOptions options;
  options.Delimiters = delimiters;
  options.Merge = mergeDelimiters;
  return ImportText(stream, name, options);
}

int64_t TTable::ImportText(const std::string& fileName, const TTextImportOptions& options) {
  TFileStream file(fileName, TFileStream::fmOpenRead);
  return ImportText(file, fileName, options);
}

int64_t TTable::ImportText(TStream& stream, const std::string& name, const TTextImportOptions& options) {
  const TextLines::TDelimiterSet delimiterSet(options.Delimiters);
  const bool mergeDelimiters = options.Merge;

  // First the shape, so that a refused import leaves the table as it was.
  size_t lineCount = 0;
  size_t fieldCount = 1;
  if (options.Quoted) {
    ForEachQuotedRecord(stream, delimiterSet, mergeDelimiters, [&](const std::vector<std::string_view>& fields) {
      ++lineCount;
      fieldCount = std::max(fieldCount, fields.size());
    });
  } else {
    ForEachLine(stream, [&](std::string_view line) {
      ++lineCount;
      fieldCount = std::max(fieldCount, TextLines::CountFields(line, delimiterSet, mergeDelimiters));
    });
  }
  lineCount = std::max<size_t>(1, lineCount);
  if (static_cast<long double>(fieldCount) * lineCount > kMaxImportCells)
    throw EQuiltorError(FormatStr("Cannot import %s: %zu lines of up to %zu fields make more than %lld cells",
                                  name.c_str(), lineCount, fieldCount, kMaxImportCells));

  CurrentCell = nullptr;
  Clear();
  try {
    const int cols = static_cast<int>(fieldCount);
    Columns.Reserve(cols);
    for (int i = 0; i < cols; ++i) new TColumn(*this);
    Rows.Reserve(static_cast<int>(lineCount));
    const int64_t nulAt = ForEachRecord(stream, delimiterSet, options, [&](const std::vector<std::string_view>& fields) {
      // A file that grew between the two readings cannot widen the table.
      if (fields.size() > fieldCount || Rows.Count() >= static_cast<int>(lineCount))
        throw EQuiltorError("Stream read error");
      TRow* row = new TRow(*this);
      row->Reserve(cols);
      for (std::string_view field : fields)
        (new TCell(*row))->SetText(options.Escape ? EscapeLatexSpecials(field) : std::string(field));
      for (int i = row->Count(); i < cols; ++i) new TCell(*row);
    });
    while (RowCount() < static_cast<int>(lineCount)) AddRow();
    return nulAt;
  } catch (...) {
    // A failing device or memory part way: an empty table is at least a
    // whole one.
    Clear();
    throw;
  }
}

namespace {

// Appends text as one field: in quotes, its quotes doubled, when it holds
// what would end or open a field on reading (the delimiter, a quote, a line
// break); as it is otherwise, so that plain tables are written exactly as
// without quoting.
void AppendField(std::string& line, const std::string& text, char delimiter) {
  const char special[] = {delimiter, '"', '\r', '\n'};
  if (text.find_first_of(special, 0, sizeof special) == std::string::npos) {
    line += text;
    return;
  }
  line += '"';
  for (char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

}  // namespace

void TTable::ExportText(const std::string& fileName, char delimiter) const {
  TAtomicFile file(fileName);
  TStream& stream = file.Stream();
  std::string line;
  for (const TRow* row : Rows) {
    line.clear();
    for (int i = 0; i < row->Count(); ++i) {
      const TCell* cell = (*row)[i];
      if (i > 0) line += delimiter;
      AppendField(line, cell->Text(), delimiter);
      // A joined cell keeps its columns: its text, then empty fields.
      if (cell->Span > 1) line.append(static_cast<size_t>(cell->Span - 1), delimiter);
    }
    line += "\r\n";
    stream.Write(line.data(), line.size());
  }
  file.Commit();
}
