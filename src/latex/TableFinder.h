#pragma once
// Finding tables in a LaTeX text: the environments that are tables, the
// arguments of their \begin line, the \end that closes them, and the table
// float around one (FindLatexTables and FindLatexFloat of LatexReader.h
// live here).
//
// It reads only as far as it must to find its way (comments and \verb are
// skipped, \begin and \end counted); it raises nothing and leaves the rows
// to the row reader.
#include <cstddef>
#include <string>
#include <string_view>

struct TTableFloat;

namespace LatexRead {

// The \begin line of a table.
struct THeader {
  std::string Environment;
  std::string Options;
  size_t SpecBegin = 0;  // the column list's '{'
  size_t SpecEnd = 0;    // after its '}'
};

bool ReadHeader(std::string_view s, std::string_view name, size_t p, THeader& header, size_t* unclosed);
void ReadFloat(std::string_view s, size_t begin, size_t afterEnd, TTableFloat& tableFloat);

}  // namespace LatexRead
