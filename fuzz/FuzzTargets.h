#pragma once
// The bodies of the fuzz targets, shared by the libFuzzer programs in this
// folder and by the ordinary test that replays the saved corpus. Each body
// must never crash, hang or leak on any input, and aborts when one of the
// properties it checks does not hold.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "latex/LatexReader.h"
#include "latex/TabToLatex.h"
#include "model/StreamIO.h"
#include "model/Tables.h"
#include "model/TextLines.h"

namespace FuzzTargets {

inline void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
  }
}

inline void RequireSpans(const TTable& t) {
  for (const TRow* row : t.Rows) {
    long long sum = 0;
    for (const TCell* c : *row) {
      Require(c->Span >= 1, "span >= 1");
      sum += c->Span;
    }
    Require(sum == t.ColCount(), "row covers the columns");
  }
}

inline std::string Save(const TTable& t) {
  TMemoryStream out;
  t.SaveToStream(out);
  return out.Data();
}

// Any bytes as a native file. A file that loads must satisfy the span rule,
// survive the LaTeX generator, and save to bytes that load back to a table
// that saves to the very same bytes. A file that fails must leave the target
// as it was.
inline void TableFile(const uint8_t* data, size_t size) {
  TTable table;
  new TColumn(table);
  (new TRow(table))->Reserve(1);
  new TCell(*table.Rows[0]);
  table.Rows[0]->First()->SetText("untouched");
  const std::string before = Save(table);

  TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    table.LoadFromStream(in);
  } catch (const EQuiltorError&) {
    Require(Save(table) == before, "a failed load leaves the table as it was");
    return;
  }
  RequireSpans(table);
  std::vector<std::string> lines;
  TableToLatex(table, lines);

  // An empty environment is not written and reads back as the default: the
  // one difference a save and load may make.
  if (table.Environment.empty()) table.Environment = "tabular";
  std::string saved;
  try {
    saved = Save(table);
  } catch (const EQuiltorError&) {
    return;  // legal content too large for the format ("Invalid chunk")
  }
  TTable again;
  TMemoryStream reread(saved);
  again.LoadFromStream(reread);
  Require(Save(again) == saved, "save, load, save gives the same bytes");
}

// A scratch file for ImportText and ExportText, in memory where the system
// offers a memory file system; removed when the process ends.
inline const std::string& ScratchFileName() {
  static const std::string name = [] {
    const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/quiltor-fuzz-" + std::to_string(::getpid()) + ".txt";
  }();
  static const bool cleanup = [] { return std::atexit([] { ::unlink(ScratchFileName().c_str()); }) == 0; }();
  (void)cleanup;
  return name;
}

inline void PutScratchFile(std::string_view text) {
  FILE* f = std::fopen(ScratchFileName().c_str(), "wb");
  Require(f != nullptr, "create scratch file");
  Require(std::fwrite(text.data(), 1, text.size(), f) == text.size(), "write scratch file");
  Require(std::fclose(f) == 0, "close scratch file");
}

inline std::vector<TextLines::TRecord> QuotedRecords(std::string_view text, const TextLines::TDelimiterSet& set, bool merge,
                                                    size_t step) {
  TextLines::TQuotedSplitter splitter(set, merge);
  std::vector<TextLines::TRecord> records;
  for (size_t at = 0;; at += step) {
    const bool last = at + step >= text.size();
    splitter.Feed(text.substr(std::min(at, text.size()), step), last, records);
    if (last) return records;
  }
}

// Quoted splitting of decoded text: the same records whole and in pieces of
// any size; exactly the plain split when no quote is in the text; an import
// that makes a cell of every field; and a table written out with quotes
// where needed reads back with quoting as the very same texts.
inline void QuotedImport(std::string_view text, const std::string& decoded, const std::string& delimiters, bool merge,
                         int64_t nulAt) {
  const TextLines::TDelimiterSet set(delimiters);
  const std::vector<TextLines::TRecord> records = TextLines::SplitRecords(decoded, set, merge, true);
  Require(QuotedRecords(decoded, set, merge, 1) == records, "quoted splitting byte by byte agrees");
  Require(QuotedRecords(decoded, set, merge, 7) == records, "quoted splitting in pieces agrees");
  if (decoded.find('"') == std::string::npos)
    Require(TextLines::SplitRecords(decoded, set, merge, false) == records, "without quotes, quoted splitting is plain");
  size_t longest = 0;
  for (const TextLines::TRecord& r : records) longest = std::max(longest, r.size());
  if (std::max<size_t>(1, longest) * std::max<size_t>(1, records.size()) > 100000) return;

  PutScratchFile(text);
  TTextImportOptions options;
  options.Delimiters = delimiters;
  options.Merge = merge;
  options.Quoted = true;
  TTable table;
  Require(table.ImportText(ScratchFileName(), options) == nulAt, "quoted: the NUL's offset is reported");
  Require(table.RowCount() == static_cast<int>(std::max<size_t>(1, records.size())), "quoted: one row per record");
  Require(table.ColCount() == static_cast<int>(std::max<size_t>(1, longest)), "quoted: one column per field");
  for (size_t r = 0; r < records.size(); ++r)
    for (size_t i = 0; i < records[r].size(); ++i)
      Require((*table.Rows[static_cast<int>(r)])[static_cast<int>(i)]->Text() == records[r][i], "quoted: cell text is the field");

  const char delimiter = delimiters.empty() ? ',' : delimiters[0];
  if (delimiter == '\0' || delimiter == '\r' || delimiter == '\n' || delimiter == '"') return;
  table.ExportText(ScratchFileName(), delimiter);
  std::string start(3, '\0');
  if (FILE* f = std::fopen(ScratchFileName().c_str(), "rb")) {
    start.resize(std::fread(start.data(), 1, start.size(), f));
    std::fclose(f);
  }
  if (start.starts_with("\xEF\xBB\xBF") || start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) return;
  TTextImportOptions back;
  back.Delimiters = std::string(1, delimiter);
  back.Quoted = true;
  TTable again;
  again.ImportText(ScratchFileName(), back);
  Require(again.RowCount() == table.RowCount() && again.ColCount() == table.ColCount(), "quoted round trip: same size");
  for (int r = 0; r < table.RowCount(); ++r)
    for (int i = 0; i < table.ColCount(); ++i)
      Require(again.GetCell(r, i)->Text() == table.GetCell(r, i)->Text(), "quoted round trip: same texts");
}

// Any bytes as delimited text. The first byte holds the merge flag (bit 0),
// the number of delimiter characters that follow (bits 1..3) and the quoted
// flag (bit 4); the rest is the file.
inline void TextImport(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const bool merge = data[0] & 1;
  const bool quoted = data[0] & 0x10;
  const size_t k = std::min<size_t>((data[0] >> 1) & 7, size - 1);
  const std::string delimiters(reinterpret_cast<const char*>(data + 1), k);
  const std::string_view text(reinterpret_cast<const char*>(data + 1 + k), size - 1 - k);

  // The file as the import reads it: decoded, up to its NUL. Handing the
  // bytes over one at a time must give the same text and the same NUL.
  std::string decoded(text);
  TextLines::TTextDecoder decoder;
  decoder.Decode(decoded, 0, true);
  {
    TextLines::TTextDecoder bytewise;
    std::string pieces;
    for (size_t i = 0; i < text.size(); ++i) {
      const size_t from = pieces.size();
      pieces += text[i];
      bytewise.Decode(pieces, from, i + 1 == text.size());
    }
    Require(pieces == decoded && bytewise.NulAt() == decoder.NulAt(), "decoding in pieces agrees");
  }
  Require(decoded.find('\0') == std::string::npos, "decoded text holds no NUL");
  // In UTF-16 only a whole code unit of zeros ends the text.
  const bool hasNul = decoder.IsUtf16() ? TextLines::FindNulUnit(text.substr(2)) != std::string_view::npos
                                        : text.find('\0') != std::string_view::npos;
  Require((decoder.NulAt() >= 0) == hasNul, "a NUL is reported exactly when there is one");
  // The quoted checks come on top of the plain ones, so that inputs kept
  // for the plain splitting keep checking it.
  if (quoted) QuotedImport(text, decoded, delimiters, merge, decoder.NulAt());

  const TextLines::TDelimiterSet set(delimiters);
  const std::vector<std::string_view> lines = TextLines::SplitLines(decoded);
  size_t longest = 0;
  std::vector<std::string_view> fields;
  for (std::string_view line : lines) {
    for (char c : line) Require(c != '\r' && c != '\n' && c != '\0', "a line holds no break and no NUL");
    TextLines::SplitFields(line, set, merge, fields);
    Require(fields.size() == TextLines::CountFields(line, set, merge), "CountFields agrees");
    Require(line.empty() == fields.empty(), "only an empty line has no fields");
    size_t length = 0;
    for (std::string_view f : fields) {
      for (char c : f) Require(!set.Contains(c), "a field holds no delimiter");
      length += f.size();
    }
    Require(length + (fields.empty() ? 0 : fields.size() - 1) <= line.size(), "fields fit in the line");
    longest = std::max(longest, fields.size());
  }
  // Importing pads every line to the longest; keep the tables small enough
  // for thousands of runs a second.
  if (std::max<size_t>(1, longest) * std::max<size_t>(1, lines.size()) > 100000) return;

  PutScratchFile(text);
  TTable table;
  Require(table.ImportText(ScratchFileName(), delimiters, merge) == decoder.NulAt(), "the NUL's offset is reported");
  Require(table.RowCount() == static_cast<int>(std::max<size_t>(1, lines.size())), "one row per line");
  Require(table.ColCount() == static_cast<int>(std::max<size_t>(1, longest)), "one column per field");
  RequireSpans(table);
  for (int r = 0; r < static_cast<int>(lines.size()); ++r) {
    TextLines::SplitFields(lines[static_cast<size_t>(r)], set, merge, fields);
    for (size_t i = 0; i < fields.size(); ++i)
      Require((*table.Rows[r])[static_cast<int>(i)]->Text() == fields[i], "cell text is the field");
  }

  // Writing the table out and reading it back with the same single delimiter
  // gives the same texts whenever no text holds that delimiter or a quote
  // (such a text is written in quotes, which only quoted reading removes).
  const char delimiter = delimiters.empty() ? ',' : delimiters[0];
  // A line break as the delimiter would split the lines themselves.
  if (delimiter == '\0' || delimiter == '\r' || delimiter == '\n') return;
  table.ExportText(ScratchFileName(), delimiter);
  TTable back;
  back.ImportText(ScratchFileName(), std::string(1, delimiter), false);
  bool clean = true;
  for (const TRow* row : table.Rows)
    for (const TCell* c : *row)
      for (char ch : c->Text()) clean = clean && ch != delimiter && ch != '"';
  // A file that starts with what reads as a byte-order mark loses it (or is
  // taken for UTF-16) when it is read back.
  std::string start(3, '\0');
  if (FILE* f = std::fopen(ScratchFileName().c_str(), "rb")) {
    start.resize(std::fread(start.data(), 1, start.size(), f));
    std::fclose(f);
  }
  if (start.starts_with("\xEF\xBB\xBF") || start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) return;
  // A table of one empty row exports a bare line break, which reads back as
  // one line of one empty field: still the same texts.
  if (!clean) return;
  for (int r = 0; r < table.RowCount(); ++r)
    for (int i = 0; i < table.ColCount(); ++i) {
      const TCell* b = back.GetCell(r, i);
      Require(b && b->Text() == table.GetCell(r, i)->Text(), "text round trip");
    }
}

// Any bytes as LaTeX source. Every table found either reads or is refused
// with the reader's error; one that reads satisfies the span rule, and its
// generated code reads back to a table that generates the very same code:
// reading may normalise hand-written code, never code the generator wrote.
inline void LatexReader(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<TLatexTableSource> tables = FindLatexTables(text);
  for (size_t i = 0; i < tables.size() && i < 4; ++i) {
    const TLatexTableSource& source = tables[i];
    Require(source.Begin < source.BodyEnd && source.BodyEnd <= size, "a table lies inside the text");
    Require(i == 0 || tables[i - 1].BodyEnd <= source.Begin, "tables do not overlap");
    TTable table;
    try {
      ReadLatexTable(text, source, table);
    } catch (const EQuiltorError&) {
      continue;
    }
    RequireSpans(table);
    Require(TableDefect(table).empty(), "a table read is consistent");
    std::vector<std::string> lines, again;
    TableToLatex(table, lines);
    std::string code;
    for (const std::string& line : lines) code += line + "\n";
    TTable back;
    try {
      ReadLatexTable(code, back);
    } catch (const EQuiltorError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      Require(false, "generated code reads");
    }
    RequireSpans(back);
    TableToLatex(back, again);
    Require(again == lines, "generated code reads back to a table that generates the same code");
  }
}

}  // namespace FuzzTargets
