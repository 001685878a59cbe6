#pragma once
// A table's column list ("|l|p{3cm}|*{3}{c}|") split into the formats of
// its columns and the "|" rules between them, as the generator writes them
// back; and the test whether an unknown environment's group reads as one.
//
// It guarantees that the formats, written back one after the other with
// the boundary rules the generator decides between them, split again into
// the same formats, and that no more than kMaxColumns columns come out of
// any repetition; past that, or for a \begin or \end inside the list, it
// raises EQuiltorError naming the place in the text. It drops what LaTeX
// refuses in a column list (commands outside braces, a stray "*") and does
// not check that a column letter names a column type LaTeX knows.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace LatexRead {

// A parsed column specification: the formats of the columns, as the
// generator writes them back, and the "|" rules at the column boundaries.
struct TSpec {
  std::vector<std::string> Formats;
  std::vector<bool> Rules;  // Formats.size() + 1 entries
};

// *{n}{..} expanded; where names the text in messages.
std::string ExpandRepeats(std::string_view text, std::string_view spec, size_t at, const char* where,
                          int depth = 0);
bool EndsWithRule(std::string_view format);
// The column list rawSpec, which stands at offset at of text.
TSpec ParseSpec(std::string_view text, std::string_view rawSpec, size_t at);
bool LooksLikeSpec(std::string_view spec);

}  // namespace LatexRead
