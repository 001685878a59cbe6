#pragma once
// The grid's own pointer shapes: thick arrows that point at the rows or the
// columns a press in the table's margin selects. Drawn here as 32 x 32
// monochrome cursors; the hot spot is the arrow's tip.
#include <QCursor>

#include "forms/grid/GridQueries.h"

// The cursor of one of the four margin pointers (crRow, crCol, crRow2,
// crCol2); the normal arrow for any other number. Needs the application
// object: cursors cannot be made before it exists.
QCursor CreateGridCursor(TGridPointer pointer);
