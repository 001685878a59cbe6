#pragma once
// Joins span cells of a row, starting at the cell at index, into one, the way
// the join command leaves the row: the first cell widened, the others gone.
#include "model/Tables.h"

inline TCell* JoinRowCells(TTable& table, int row, int index, int span) {
  TRow& r = *table.Rows[row];
  TCell* c = r[index];
  for (int k = 1; k < span; ++k) r.Delete(index + 1);
  c->Span = span;
  return c;
}
