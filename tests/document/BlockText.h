#pragma once
// A block or a table row by row as text, for comparisons: cells separated by
// " | ", a joined cell followed by "<N>" for the columns it covers and "^N"
// for the rows (a table's covered cells show as "^").
#include <string>
#include <vector>

#include "document/CellBlock.h"

inline std::vector<std::string> BlockRows(const TCellBlock& block) {
  std::vector<std::string> rows;
  for (const auto& cells : block.Rows) {
    std::string row;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i) row += " | ";
      row += cells[i].Text;
      if (cells[i].Span > 1) row += "<" + std::to_string(cells[i].Span) + ">";
      if (cells[i].RowSpan > 1) row += "^" + std::to_string(cells[i].RowSpan);
    }
    rows.push_back(row);
  }
  return rows;
}

inline std::vector<std::string> TableRows(const TTable& table) {
  std::vector<std::string> rows;
  for (const TRow* r : table.Rows) {
    std::string row;
    for (int i = 0; i < r->Count(); ++i) {
      if (i) row += " | ";
      row += (*r)[i]->Text();
      const TCell& cell = *(*r)[i];
      if (cell.Span > 1) row += "<" + std::to_string(cell.Span) + ">";
      if (cell.RowSpan > 1) row += "^" + std::to_string(cell.RowSpan);
      if (cell.Covered()) row += "^";
    }
    rows.push_back(row);
  }
  return rows;
}
