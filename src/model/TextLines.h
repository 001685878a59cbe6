#pragma once
// Line and field splitting of delimited text: the one place that decides
// where a line or a field ends, used by text import and by pasting cell text.
// Pure functions over a byte buffer; the views they return point into it.
//
// Lines end at CR LF, at a lone LF or at a lone CR; a break at the very end
// does not start another line; a NUL byte ends the text. Fields are split at
// any character of a delimiter set, with no quoting and no escaping.
#include <cstddef>
#include <string_view>
#include <vector>

namespace TextLines {

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

}  // namespace TextLines
