#include "commands/HistoryList.h"

#include <algorithm>

#include "undo/UndoBuffers.h"

std::vector<std::string> HistoryListCaptions(const TUndoBuffer& history, bool redo) {
  const int n = std::min(redo ? history.RedoCount() : history.UndoCount(), kHistoryListMax);
  std::vector<std::string> captions;
  captions.reserve(static_cast<size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) captions.push_back(redo ? history.RedoCaption(i) : history.UndoCaption(i));
  return captions;
}

std::string HistoryLabelText(int steps, bool redo) {
  if (steps <= 0) return redo ? "Can't Redo" : "Can't Undo";
  return std::string(redo ? "Redo " : "Undo ") + std::to_string(steps) + (steps == 1 ? " action" : " actions");
}

int HistoryStepsFor(int entry) { return entry < 0 ? 0 : entry + 1; }
