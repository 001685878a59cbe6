// Delimited text files: one line per row, one field per column; quoted
// fields (which may span lines) as an option on reading, and quotes on
// writing only around the fields that need them.
#include "model/AtomicFile.h"
#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextImport.h"

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
  // First the shape, so that a refused import leaves the table as it was.
  const TTextShape shape = MeasureText(stream, name, options);

  CurrentCell = nullptr;
  Clear();
  try {
    const int cols = static_cast<int>(shape.Columns);
    Columns.Reserve(cols);
    for (int i = 0; i < cols; ++i) new TColumn(*this);
    Rows.Reserve(static_cast<int>(shape.Rows));
    std::string scratch;
    const int64_t nulAt = ForEachTextRecord(stream, shape, options, [&](const std::vector<std::string_view>& fields) {
      TRow* row = new TRow(*this);
      row->Reserve(cols);
      for (std::string_view field : fields) (new TCell(*row))->SetText(std::string(FieldText(field, options, scratch)));
      for (int i = row->Count(); i < cols; ++i) new TCell(*row);
    });
    while (RowCount() < static_cast<int>(shape.Rows)) AddRow();
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
void AppendField(std::string& line, const std::string& text, char delimiter, bool first = false) {
  const char special[] = {delimiter, '"', '\r', '\n'};
  // At the very start of the file, a byte-order mark (UTF-8, or the UTF-16
  // ones) would be taken for the file's own and dropped or decoded: in
  // quotes it is the field's.
  const bool startsLikeMark = first && (text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xFF\xFE") ||
                                        text.starts_with("\xFE\xFF"));
  if (!startsLikeMark && text.find_first_of(special, 0, sizeof special) == std::string::npos) {
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
  // A NUL ends the text on reading, quoted or not: the rest of the file
  // would be lost. Refused before the old file is touched.
  for (const TRow* row : Rows)
    for (int i = 0; i < row->Count(); ++i)
      if ((*row)[i]->Text().find('\0') != std::string::npos)
        throw EQuiltorError(FormatStr("Cannot write %s: a cell holds a NUL character, which a text file cannot keep",
                                      fileName.c_str()));
  TAtomicFile file(fileName);
  TStream& stream = file.Stream();
  std::string line;
  for (const TRow* row : Rows) {
    line.clear();
    for (int i = 0; i < row->Count(); ++i) {
      const TCell* cell = (*row)[i];
      if (i > 0) line += delimiter;
      AppendField(line, cell->Text(), delimiter, row == Rows[0] && i == 0);
      // A joined cell keeps its columns: its text, then empty fields.
      if (cell->Span > 1) line.append(static_cast<size_t>(cell->Span - 1), delimiter);
    }
    line += "\r\n";
    stream.Write(line.data(), line.size());
  }
  file.Commit();
}
