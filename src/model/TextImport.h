#pragma once
// Reading a delimited text file record by record: the one place that turns a
// file's bytes into the fields of the table it makes. The table import builds
// its cells from these records; the converter writes LaTeX straight from them
// without building a table. Both read the text twice: once for the table's
// shape, once for the fields.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStream;
struct TTextImportOptions;

// The table a text makes: a row for every record (one empty row when there
// is none), a column for every field of the longest record (at least one).
// Shorter records are padded with empty cells.
struct TTextShape {
  size_t Rows = 1;
  size_t Columns = 1;
  int64_t NulAt = -1;  // file offset of the NUL that ended the text, or -1
};

// Reads all of the text in stream, from its start, and returns the shape of
// its table. A text that would make more than TextLines::kMaxImportCells
// cells is refused with "Cannot import NAME: ..." (name stands for stream).
TTextShape MeasureText(TStream& stream, const std::string& name, const TTextImportOptions& options);

// The fields of one record; they point into the reader's buffer and are
// valid during the call only.
using TTextRecordHandler = std::function<void(const std::vector<std::string_view>& fields)>;

// Reads the text in stream again from its start and calls onRecord with the
// fields of each record, split as options say (not yet escaped: see
// FieldText). A record that does not fit shape, which was measured from the
// same stream, means the file changed between the two readings: that is
// "Stream read error", since the table's shape is already given out. Returns
// the offset of the NUL that ended the text this time, or -1.
int64_t ForEachTextRecord(TStream& stream, const TTextShape& shape, const TTextImportOptions& options,
                          const TTextRecordHandler& onRecord);

// The text a field becomes in its cell: the field as it is, or with its
// LaTeX specials escaped (into scratch) when options ask for it.
std::string_view FieldText(std::string_view field, const TTextImportOptions& options, std::string& scratch);
