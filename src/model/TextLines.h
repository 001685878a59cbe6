#pragma once
// Line and field splitting of delimited text: the one place that decides
// where a line or a field ends, used by text import and by pasting cell text.
// Pure functions over a byte buffer; the views they return point into it.
//
// Lines end at CR LF, at a lone LF or at a lone CR; a break at the very end
// does not start another line; a NUL byte ends the text. Fields are split at
// any character of a delimiter set, with no quoting and no escaping.
//
// Quoted splitting (the form spreadsheets write, RFC 4180) is the option:
// a field that starts with a double quote runs to the matching closing
// quote, "" inside stands for one quote, and delimiters and line breaks
// inside belong to the field. Text without a quote at the start of a field
// splits exactly as without the option.
//
// Files arrive through TTextDecoder first: it drops a UTF-8 byte-order mark
// and turns UTF-16 (marked FF FE or FE FF) into UTF-8, so that the splitting
// only ever sees 8-bit text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TextLines {

// Beyond this many cells an import or a paste is refused rather than left to
// exhaust the memory: every line becomes a row as wide as the longest line,
// so one long line among many short ones multiplies into lines x fields.
constexpr long long kMaxImportCells = 1LL << 25;

// What a file's first bytes announce about its text.
enum class TTextEncoding {
  Bytes,     // no byte-order mark: 8-bit text taken as it is
  Utf8Bom,   // EF BB BF, then 8-bit text
  Utf16LE,   // FF FE, then little-endian UTF-16
  Utf16BE,   // FE FF, then big-endian UTF-16
};

// Turns the bytes of a text file, handed over piece by piece in file order,
// into 8-bit (UTF-8) text. A byte-order mark is dropped; UTF-16 becomes
// UTF-8, a pair of surrogates one 4-byte sequence, an unpaired surrogate or
// an odd last byte U+FFFD. The text ends at its first NUL: a NUL byte in
// 8-bit text, a NUL code unit in UTF-16 (a zero byte inside another code
// unit is text). Nothing after it is given out.
class TTextDecoder {
 public:
  // Decodes text[from..], the next bytes of the file, in place. Bytes that
  // may belong to later ones (the start of a byte-order mark, half a code
  // unit, a high surrogate) are held back for the next call; with last set
  // nothing is held back.
  void Decode(std::string& text, size_t from, bool last);
  // A NUL has ended the text; later calls add nothing.
  bool Ended() const { return FNulAt >= 0; }
  // Byte offset in the file of the NUL (the first byte of a NUL code unit),
  // -1 while none was seen.
  int64_t NulAt() const { return FNulAt; }
  // The bytes of the file taken so far, the byte-order mark included and
  // held-back bytes excluded: in UTF-16 always a whole number of code units.
  int64_t Consumed() const { return FConsumed; }
  // Known once the first bytes have been seen (Bytes until then).
  TTextEncoding Encoding() const { return FEncoding; }
  bool IsUtf16() const { return FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE; }

 private:
  void DecodeUtf16(std::string& text, size_t from, bool last);

  bool FDetected = false;
  TTextEncoding FEncoding = TTextEncoding::Bytes;
  std::string FHeld;
  std::string FScratch;
  int64_t FConsumed = 0;
  int64_t FNulAt = -1;
};

// Where the first NUL code unit of UTF-16 bytes is (an offset into bytes),
// or npos; bytes must start on a code unit, and a half unit at the end is
// not looked at. For scanning on beyond what a TTextDecoder was given.
size_t FindNulUnit(std::string_view bytes);

// The longest start of line that holds at most maxBytes bytes and does not
// end inside a UTF-8 sequence.
std::string_view CutLine(std::string_view line, size_t maxBytes);

// The text up to its first NUL byte.
std::string_view UpToNul(std::string_view text);

// The lines of a whole text, without their breaks. An empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

// For text that arrives in pieces: appends the complete lines at the start
// of text to lines and returns how many bytes they took, breaks included;
// the rest belongs in front of the next piece. Unless last is set, a line is
// complete only when its break is seen whole (a CR at the very end may be
// the first half of a CR LF). A NUL byte ends the text: the lines before it
// are taken and ended is set.
size_t TakeLines(std::string_view text, bool last, std::vector<std::string_view>& lines, bool& ended);

// A set of 8-bit delimiter characters; NUL is never one of them.
class TDelimiterSet {
 public:
  TDelimiterSet() = default;
  // Every character of chars, in any order and with repetitions.
  explicit TDelimiterSet(std::string_view chars);
  bool Contains(char c) const { return FMember[static_cast<unsigned char>(c)]; }

 private:
  bool FMember[256] = {};
};

// Replaces fields by the fields of line. An empty line has no fields; a line
// ending in a delimiter ends in an empty field. With merge, a run of
// delimiters separates like one. Fields are not trimmed.
void SplitFields(std::string_view line, const TDelimiterSet& delimiters, bool merge,
                 std::vector<std::string_view>& fields);
// How many fields SplitFields would give, without building them.
size_t CountFields(std::string_view line, const TDelimiterSet& delimiters, bool merge);

// ------------------------------------------------------------ quoted fields

// The fields of one record.
using TRecord = std::vector<std::string>;

// Splits text handed over piece by piece into records with quoted fields.
// A record ends at a line break outside quotes (CR LF, LF or CR; a break at
// the very end starts no further record, an empty line is a record without
// fields). Outside quotes the fields split as SplitFields does. A field that
// starts with a quote (at the start of a record or right after a delimiter)
// runs to the next quote that is not doubled; "" inside is one quote; line
// breaks inside are kept as they are. Text after the closing quote, up to the
// next delimiter or break, is appended as it is (a lenient reading of
// "ab"cd as abcd); a quote elsewhere in a field is an ordinary character. A
// quote that never closes runs to the end of the text. With the quote
// among the delimiters nothing is quoted.
class TQuotedSplitter {
 public:
  TQuotedSplitter(const TDelimiterSet& delimiters, bool merge);
  // Appends the records that text completes; with last set the end of the
  // text ends the record in progress. Text must hold no NUL (cut it first).
  void Feed(std::string_view text, bool last, std::vector<TRecord>& records);

 private:
  enum class TState { RecordStart, FieldStart, Unquoted, Quoted, QuoteInQuoted };
  void EndField();
  void EndRecord(std::vector<TRecord>& records);

  TDelimiterSet FDelimiters;
  bool FMerge;
  bool FQuoting;
  TState FState = TState::RecordStart;
  bool FSkipLf = false;  // a CR ended the last record: an LF right after it belongs to that break
  std::string FField;
  TRecord FRecord;
};

// The records of a whole text (up to its first NUL), quoted or not; at most
// maxRecords of them. Both ways give what the import makes of the same text.
std::vector<TRecord> SplitRecords(std::string_view text, const TDelimiterSet& delimiters, bool merge, bool quoted,
                                  size_t maxRecords = static_cast<size_t>(-1));

// The delimiters that the quote detection of a file looks for: those that
// spreadsheets write. A blank is not among them: prose quotes words after
// blanks.
constexpr std::string_view kQuoteDetectionDelimiters = ",;\t";

// True when text shows a quoted field: a quote at the start of a line or
// right after a delimiter, and the matching closing quote (a quote not
// doubled) followed by a delimiter, a line break or the end of the text.
bool HasQuotedFields(std::string_view text, const TDelimiterSet& delimiters);

// True when clipboard text is quoted tab-separated text as spreadsheets write
// it for cells that hold a line break or a TAB: every field that starts with
// a quote closes with a quote followed by a TAB, a line break or the end of
// the text, and at least one of them holds a line break or a TAB between its
// quotes. Ordinary text, a lone leading quote or "quoted" words included,
// fails this and keeps the plain splitting.
bool IsQuotedCellText(std::string_view text);

}  // namespace TextLines
