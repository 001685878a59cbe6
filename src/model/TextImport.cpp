#include "model/TextImport.h"

#include <algorithm>
#include <cstring>

#include "model/Errors.h"
#include "model/LatexEscape.h"
#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextLines.h"

namespace {

using TextLines::kMaxImportCells;

constexpr size_t kPieceSize = 1 << 20;

// Calls onLine for every line of the text in stream, reading it in pieces so
// that the file never has to fit in memory beside what is made of it; with
// the line, the same line with its break (none at the end of the text), and
// whether it is the text's last line. Returns the file offset of the NUL
// that ended the text, or -1.
template <class OnLine>
int64_t ForEachLineWithBreak(TStream& stream, OnLine onLine) {
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
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string_view line = lines[i];
      // Lines follow each other in the text: a line's break runs to the next
      // line's start, the last one's to the end of what was used.
      const char* next = i + 1 < lines.size() ? lines[i + 1].data() : text.data() + used;
      const std::string_view withBreak(line.data(), static_cast<size_t>(next - line.data()));
      onLine(line, withBreak, (last || ended) && i + 1 == lines.size());
    }
    kept = text.size() - used;
    std::memmove(buffer.data(), buffer.data() + used, kept);
  }
  return decoder.NulAt();
}

// The same for quoted fields: calls onRecord with the fields of every
// record. Most lines of most files hold no quote at all; outside a record
// that is still open such a line splits exactly as unquoted text does, in
// place. A line with a quote goes to the splitter with its break, and so do
// the lines after it for as long as its record stays open (a quoted field
// may hold any number of line breaks), so that the splitter sees every
// byte of a quoted record as it is.
template <class OnRecord>
int64_t ForEachQuotedRecord(TStream& stream, const TextLines::TDelimiterSet& delimiters, bool merge,
                            OnRecord onRecord) {
  TextLines::TQuotedSplitter splitter(delimiters, merge);
  bool open = false;  // the splitter holds a record that has not ended yet
  std::vector<TextLines::TRecord> records;
  std::vector<std::string_view> fields;
  const int64_t nulAt = ForEachLineWithBreak(stream, [&](std::string_view line, std::string_view withBreak,
                                                          bool final) {
    if (!open && std::memchr(line.data(), '"', line.size()) == nullptr) {
      TextLines::SplitFields(line, delimiters, merge, fields);
      onRecord(fields);
      return;
    }
    records.clear();
    splitter.Feed(withBreak, final, records);
    // The only break fed is the line's own: a record that ended, ended there.
    open = records.empty();
    for (const TextLines::TRecord& record : records) {
      fields.assign(record.begin(), record.end());
      onRecord(fields);
    }
  });
  if (open) {
    // The text ended inside quotes without a line of its own to say so.
    records.clear();
    splitter.Feed({}, true, records);
    for (const TextLines::TRecord& record : records) {
      fields.assign(record.begin(), record.end());
      onRecord(fields);
    }
  }
  return nulAt;
}

template <class OnLine>
int64_t ForEachLine(TStream& stream, OnLine onLine) {
  return ForEachLineWithBreak(stream, [&](std::string_view line, std::string_view, bool) { onLine(line); });
}

}  // namespace

TTextShape MeasureText(TStream& stream, const std::string& name, const TTextImportOptions& options) {
  const TextLines::TDelimiterSet delimiters(options.Delimiters);
  size_t lineCount = 0;
  size_t fieldCount = 1;
  int64_t nulAt;
  if (options.Quoted) {
    nulAt = ForEachQuotedRecord(stream, delimiters, options.Merge, [&](const std::vector<std::string_view>& fields) {
      ++lineCount;
      fieldCount = std::max(fieldCount, fields.size());
    });
  } else {
    nulAt = ForEachLine(stream, [&](std::string_view line) {
      ++lineCount;
      fieldCount = std::max(fieldCount, TextLines::CountFields(line, delimiters, options.Merge));
    });
  }
  lineCount = std::max<size_t>(1, lineCount);
  if (static_cast<long double>(fieldCount) * lineCount > kMaxImportCells)
    throw EQuiltorError(FormatStr("Cannot import %s: %zu lines of up to %zu fields make more than %lld cells",
                                  name.c_str(), lineCount, fieldCount, kMaxImportCells));
  return {lineCount, fieldCount, nulAt};
}

int64_t ForEachTextRecord(TStream& stream, const TTextShape& shape, const TTextImportOptions& options,
                          const TTextRecordHandler& onRecord) {
  const TextLines::TDelimiterSet delimiters(options.Delimiters);
  size_t records = 0;
  auto checked = [&](const std::vector<std::string_view>& fields) {
    // A file that grew between the two readings cannot widen the table.
    if (fields.size() > shape.Columns || records >= shape.Rows) throw EQuiltorError("Stream read error");
    ++records;
    onRecord(fields);
  };
  if (options.Quoted) return ForEachQuotedRecord(stream, delimiters, options.Merge, checked);
  std::vector<std::string_view> fields;
  return ForEachLine(stream, [&](std::string_view line) {
    TextLines::SplitFields(line, delimiters, options.Merge, fields);
    checked(fields);
  });
}

std::string_view FieldText(std::string_view field, const TTextImportOptions& options, std::string& scratch) {
  if (!options.Escape) return field;
  scratch = EscapeLatexSpecials(field);
  return scratch;
}
