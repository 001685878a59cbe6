#pragma once
// What the drop-down lists of the Undo and Redo buttons show and do: the
// captions of the nearest steps, the label under the list, and how many
// steps a chosen entry stands for.
#include <string>
#include <vector>

class TUndoBuffer;

// A list offers at most this many steps.
constexpr int kHistoryListMax = 9;

// The captions of up to kHistoryListMax steps of one side of history, the
// step the next undo (redo) would take first, as recorded.
std::vector<std::string> HistoryListCaptions(const TUndoBuffer& history, bool redo);

// The label under a list while entries 0 to steps - 1 are highlighted:
// "Undo 1 action", "Undo 3 actions"; on the redo side "Redo 1 action",
// "Redo 3 actions". With no step highlighted: "Can't Undo" / "Can't Redo".
std::string HistoryLabelText(int steps, bool redo);

// Choosing entry k does k + 1 steps; no entry (k < 0) does none.
int HistoryStepsFor(int entry);
