#include "model/TextLines.h"

#include <algorithm>
#include <cstring>

namespace TextLines {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEBom = "\xFF\xFE";
constexpr std::string_view kUtf16BEBom = "\xFE\xFF";
constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void TTextDecoder::Decode(std::string& text, size_t from, bool last) {
  if (Ended()) {
    text.resize(from);
    return;
  }
  if (!FHeld.empty()) {
    text.insert(from, FHeld);
    FHeld.clear();
  }
  if (!FDetected) {
    const std::string_view head = std::string_view(text).substr(from, kUtf8Bom.size());
    size_t mark = 0;
    if (head.starts_with(kUtf16LEBom)) {
      FEncoding = TTextEncoding::Utf16LE;
      mark = kUtf16LEBom.size();
    } else if (head.starts_with(kUtf16BEBom)) {
      FEncoding = TTextEncoding::Utf16BE;
      mark = kUtf16BEBom.size();
    } else if (head.starts_with(kUtf8Bom)) {
      FEncoding = TTextEncoding::Utf8Bom;
      mark = kUtf8Bom.size();
    } else if (!last && (kUtf8Bom.starts_with(head) || kUtf16LEBom.starts_with(head) || kUtf16BEBom.starts_with(head))) {
      // Too few bytes yet to tell a mark from text.
      FHeld.assign(head);
      text.resize(from);
      return;
    }
    FDetected = true;
    text.erase(from, mark);
    FConsumed += static_cast<int64_t>(mark);
  }
  if (IsUtf16()) {
    DecodeUtf16(text, from, last);
    return;
  }
  const char* begin = text.data() + from;
  const size_t n = text.size() - from;
  if (const void* nul = std::memchr(begin, '\0', n)) {
    const size_t k = static_cast<size_t>(static_cast<const char*>(nul) - begin);
    FNulAt = FConsumed + static_cast<int64_t>(k);
    FConsumed = FNulAt;
    text.resize(from + k);
    return;
  }
  FConsumed += static_cast<int64_t>(n);
}

void TTextDecoder::DecodeUtf16(std::string& text, size_t from, bool last) {
  const bool little = FEncoding == TTextEncoding::Utf16LE;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(text.data()) + from;
  const size_t n = text.size() - from;
  auto unit = [b, little](size_t i) -> uint32_t {
    return little ? b[i] | static_cast<uint32_t>(b[i + 1]) << 8 : static_cast<uint32_t>(b[i]) << 8 | b[i + 1];
  };
  FScratch.clear();
  FScratch.reserve(n + n / 2);
  size_t i = 0;
  while (i + 2 <= n) {
    uint32_t u = unit(i);
    if (u == 0) {
      FNulAt = FConsumed + static_cast<int64_t>(i);
      break;
    }
    size_t used = 2;
    if (IsHighSurrogate(u)) {
      if (i + 4 <= n) {
        const uint32_t low = unit(i + 2);
        if (IsLowSurrogate(low)) {
          u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          used = 4;
        } else {
          u = kReplacement;  // the unit after it is read on its own
        }
      } else if (!last) {
        break;  // its partner may come with the next piece
      } else {
        u = kReplacement;
      }
    } else if (IsLowSurrogate(u)) {
      u = kReplacement;
    }
    AppendUtf8(FScratch, u);
    i += used;
  }
  if (Ended()) {
    FConsumed = FNulAt;
  } else {
    if (i < n) {
      if (last) {
        AppendUtf8(FScratch, kReplacement);  // an odd last byte
        i = n;
      } else {
        FHeld.assign(text, from + i, n - i);
      }
    }
    FConsumed += static_cast<int64_t>(i);
  }
  text.replace(from, std::string::npos, FScratch);
}

size_t FindNulUnit(std::string_view bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    if (bytes[i] == '\0' && bytes[i + 1] == '\0') return i;
  return std::string_view::npos;
}

std::string_view CutLine(std::string_view line, size_t maxBytes) {
  if (line.size() <= maxBytes) return line;
  auto byte = [line](size_t i) { return static_cast<unsigned char>(line[i]); };
  // A continuation byte at the cut belongs to a sequence that started before
  // it: cut before that sequence's lead byte instead.
  size_t k = maxBytes;
  while (k > 0 && maxBytes - k < 3 && (byte(k) & 0xC0) == 0x80) --k;
  if (k == maxBytes || byte(k) < 0xC0) return line.substr(0, maxBytes);  // not UTF-8 there: bytes as they are
  const size_t length = byte(k) >= 0xF0 ? 4 : byte(k) >= 0xE0 ? 3 : 2;
  return line.substr(0, k + length <= maxBytes ? maxBytes : k);
}

std::string_view UpToNul(std::string_view text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  if (!nul) return text;
  return text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
}

size_t TakeLines(std::string_view text, bool last, std::vector<std::string_view>& lines, bool& ended) {
  const std::string_view whole = UpToNul(text);
  ended = whole.size() < text.size();
  last = last || ended;
  const char* const begin = whole.data();
  const char* const end = begin + whole.size();
  const char* p = begin;
  // Where the next LF and the next CR are (end for none), found with memchr,
  // which is far faster than a look at every byte for either. Each search
  // starts past the last one, so the text is scanned once for each.
  const char* nextLf = nullptr;
  const char* nextCr = nullptr;
  auto next = [&](const char*& found, char c) {
    if (!found || found < p) {
      found = static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
      if (!found) found = end;
    }
    return found;
  };
  while (p < end) {
    const char* q = std::min(next(nextLf, '\n'), next(nextCr, '\r'));
    if (q == end && !last) break;  // the line's break is still to come
    const char* after = q;
    if (q < end) {
      if (*q == '\r') {
        if (q + 1 == end && !last) break;  // maybe CR LF, split between pieces
        if (q + 1 < end && q[1] == '\n') ++after;
      }
      ++after;
    }
    lines.emplace_back(p, static_cast<size_t>(q - p));
    // A break at the very end leaves p == end, so it starts no further line.
    p = after;
  }
  return static_cast<size_t>(p - begin);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  bool ended;
  TakeLines(text, true, lines, ended);
  return lines;
}

TDelimiterSet::TDelimiterSet(std::string_view chars) {
  for (char c : chars) FMember[static_cast<unsigned char>(c)] = true;
  FMember[0] = false;
}

namespace {

// Walks the fields of line and calls emit(begin, length) for each; both
// SplitFields and CountFields use it so that they cannot disagree.
template <class Emit>
void WalkFields(std::string_view line, const TDelimiterSet& delimiters, bool merge, Emit emit) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end) {
    const char* q = p;
    while (q < end && !delimiters.Contains(*q)) ++q;
    emit(p, static_cast<size_t>(q - p));
    if (q == end) return;
    ++q;
    if (merge)
      while (q < end && delimiters.Contains(*q)) ++q;
    // A delimiter (or a run of them) at the end of the line still separates:
    // an empty last field follows.
    if (q == end) emit(q, 0);
    p = q;
  }
}

}  // namespace

void SplitFields(std::string_view line, const TDelimiterSet& delimiters, bool merge,
                 std::vector<std::string_view>& fields) {
  fields.clear();
  WalkFields(line, delimiters, merge, [&fields](const char* p, size_t n) { fields.emplace_back(p, n); });
}

size_t CountFields(std::string_view line, const TDelimiterSet& delimiters, bool merge) {
  size_t n = 0;
  WalkFields(line, delimiters, merge, [&n](const char*, size_t) { ++n; });
  return n;
}

}  // namespace TextLines

namespace TextLines {

namespace {

constexpr char kQuote = '"';

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

TQuotedSplitter::TQuotedSplitter(const TDelimiterSet& delimiters, bool merge)
    : FDelimiters(delimiters), FMerge(merge), FQuoting(!delimiters.Contains(kQuote)) {}

void TQuotedSplitter::EndField() {
  FRecord.push_back(std::move(FField));
  FField.clear();
}

void TQuotedSplitter::EndRecord(std::vector<TRecord>& records) {
  records.push_back(std::move(FRecord));
  FRecord.clear();
  FState = TState::RecordStart;
}

void TQuotedSplitter::Feed(std::string_view text, bool last, std::vector<TRecord>& records) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char c = *p;
    if (FSkipLf) {
      FSkipLf = false;
      if (c == '\n') {
        ++p;
        continue;
      }
    }
    switch (FState) {
      case TState::RecordStart:
      case TState::FieldStart:
        if (IsBreak(c)) {
          // After a delimiter the line ends in an empty field; an empty line
          // is a record of no fields.
          if (FState == TState::FieldStart) EndField();
          EndRecord(records);
          FSkipLf = c == '\r';
        } else if (FDelimiters.Contains(c)) {
          if (!(FMerge && FState == TState::FieldStart)) EndField();
          FState = TState::FieldStart;
        } else if (c == kQuote && FQuoting) {
          FState = TState::Quoted;
        } else {
          FField += c;
          FState = TState::Unquoted;
        }
        ++p;
        break;
      case TState::Unquoted: {
        // The run up to the next delimiter or break goes in at once.
        const char* q = p;
        while (q < end && !IsBreak(*q) && !FDelimiters.Contains(*q)) ++q;
        FField.append(p, static_cast<size_t>(q - p));
        p = q;
        if (p == end) break;
        EndField();
        if (IsBreak(*p)) {
          EndRecord(records);
          FSkipLf = *p == '\r';
        } else {
          FState = TState::FieldStart;
        }
        ++p;
        break;
      }
      case TState::Quoted: {
        const char* q = static_cast<const char*>(std::memchr(p, kQuote, static_cast<size_t>(end - p)));
        if (!q) q = end;
        FField.append(p, static_cast<size_t>(q - p));
        p = q;
        if (p < end) {
          FState = TState::QuoteInQuoted;
          ++p;
        }
        break;
      }
      case TState::QuoteInQuoted:
        if (c == kQuote) {
          FField += kQuote;  // "" inside quotes
          FState = TState::Quoted;
          ++p;
        } else {
          FState = TState::Unquoted;  // closed: the rest up to the delimiter is taken as it is
        }
        break;
    }
  }
  if (last) {
    FSkipLf = false;
    if (FState != TState::RecordStart) {
      EndField();
      EndRecord(records);
    }
  }
}

std::vector<TRecord> SplitRecords(std::string_view text, const TDelimiterSet& delimiters, bool merge, bool quoted,
                                  size_t maxRecords) {
  std::vector<TRecord> records;
  text = UpToNul(text);
  if (!quoted) {
    std::vector<std::string_view> lines = SplitLines(text);
    if (lines.size() > maxRecords) lines.resize(maxRecords);
    std::vector<std::string_view> fields;
    records.reserve(lines.size());
    for (std::string_view line : lines) {
      SplitFields(line, delimiters, merge, fields);
      records.emplace_back(fields.begin(), fields.end());
    }
    return records;
  }
  TQuotedSplitter splitter(delimiters, merge);
  // In pieces, so that a preview of a few records does not split all of a
  // long text.
  constexpr size_t kPiece = 64 * 1024;
  for (size_t at = 0; records.size() < maxRecords; at += kPiece) {
    const bool last = at + kPiece >= text.size();
    splitter.Feed(text.substr(std::min(at, text.size()), kPiece), last, records);
    if (last) break;
  }
  if (records.size() > maxRecords) records.resize(maxRecords);
  return records;
}

namespace {

// From a quote at p that opens a field: the position just past its closing
// quote, or nullptr when it never closes. Sets broken when the quotes hold a
// line break or a TAB.
const char* SkipQuoted(const char* p, const char* end, bool& broken) {
  for (++p; p < end; ++p) {
    if (*p == kQuote) {
      if (p + 1 < end && p[1] == kQuote) {
        ++p;
        continue;
      }
      return p + 1;
    }
    if (IsBreak(*p) || *p == '\t') broken = true;
  }
  return nullptr;
}

}  // namespace

bool HasQuotedFields(std::string_view text, const TDelimiterSet& delimiters) {
  if (delimiters.Contains(kQuote)) return false;
  const char* p = text.data();
  const char* const end = p + text.size();
  bool fieldStart = true;
  while (p < end) {
    if (fieldStart && *p == kQuote) {
      bool broken = false;
      const char* after = SkipQuoted(p, end, broken);
      if (!after) return false;  // runs to the end: nothing closes it
      if (after == end || IsBreak(*after) || delimiters.Contains(*after)) return true;
      p = after;
      fieldStart = false;
      continue;
    }
    fieldStart = IsBreak(*p) || delimiters.Contains(*p);
    ++p;
  }
  return false;
}

bool IsQuotedCellText(std::string_view text) {
  text = UpToNul(text);
  const char* p = text.data();
  const char* const end = p + text.size();
  bool fieldStart = true;
  bool holdsBreak = false;
  while (p < end) {
    if (fieldStart && *p == kQuote) {
      const char* after = SkipQuoted(p, end, holdsBreak);
      if (!after) return false;
      if (after < end && !IsBreak(*after) && *after != '\t') return false;
      p = after;
      fieldStart = false;
      continue;
    }
    fieldStart = IsBreak(*p) || *p == '\t';
    ++p;
  }
  return holdsBreak;
}

}  // namespace TextLines
