#include "model/TextLines.h"

#include <algorithm>
#include <cstring>

namespace TextLines {

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
