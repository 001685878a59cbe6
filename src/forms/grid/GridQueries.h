#pragma once
// What the main window's grid asks of the table: its status text, the undo
// captions of typing, the pointer and the drag frame of the mouse, and the
// scrolling. Plain C++ on the model, so that it is tested without a window.
// The selection queries behind the commands' states are the command layer's
// (commands/CommandStates.h).
#include <string>

#include "commands/CommandStates.h"
#include "model/Tables.h"

// " Col: 2   Row: 3", " Col: 2-4   Row: 3" for a joined cell, " Col: 2
// Row: 3-5" for a block, or empty without a current cell.
std::string StatusText(const TTable& table);

// The undo caption of a finished edit of a cell's text: "Typing" and the
// start of the text, at most ten characters of it. Characters, not bytes:
// the text is UTF-8 and is never cut inside a character.
std::string TypingCaption(const std::string& text);

// An undo step's caption as menus and hints show it: every control
// character (C0, DEL, and C1 in UTF-8) becomes a blank, so that a TAB or a
// line break typed into a cell neither splits the entry nor breaks its
// line. The history keeps the caption as it was recorded.
std::string ShownCaption(const std::string& caption);

// ---- mouse selection

// What a mouse drag is selecting.
enum TDragMode : uint8_t { dmNone = 0, dmCells = 1, dmRows = 2, dmColumns = 3 };

// The pointer shapes of the grid, by their numbers; 0 is the normal arrow.
enum TGridPointer : int {
  crGridDefault = 0,
  crRow = 2,   // arrow pointing right, over the left margin
  crCol = 3,   // arrow pointing down, over the top margin
  crRow2 = 4,  // arrow pointing left, over the right margin
  crCol2 = 5,  // arrow pointing up, over the bottom margin
};

// The pointer over table pixel (x, y) of the last layout: the normal arrow
// inside the table's inner area and in the four corner squares, else the
// arrow that points at the rows or columns the margin selects.
TGridPointer PointerAt(const TTable& table, int x, int y);

// The press point (Left, Top) and the latest point (Right, Bottom) of a drag
// as a pixel rectangle covering both corner pixels, at least 2 pixels wide
// and high.
TRect NormalizeDragRect(TRect r);
// The dotted frame shows only once a drag has gone more than a few pixels.
bool DragFrameVisible(const TRect& normalized);
// Whether two pixel rectangles share at least one pixel.
bool RectsIntersect(const TRect& a, const TRect& b);

// How far pos lies outside the span [0, size]: negative before it, positive
// beyond it, 0 inside.
int Overshoot(int pos, int size);
// The auto-scroll step for an overshoot: half of it, rounded toward zero,
// but at least minimum in magnitude unless it is 0.
int AutoScrollStep(int overshoot, int minimum);

// The new scroll position that brings the span [lo, hi) of content
// coordinates into a view of the given size at position pos: the near edge
// to the view's near border when it lies before it, the far edge to the far
// border when it lies beyond it; a span larger than the view shows its near
// edge.
int ScrollToShow(int pos, int viewSize, int lo, int hi);
