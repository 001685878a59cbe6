#include "document/SLists.h"

#include <algorithm>

#include "document/Settings.h"
#include "model/Errors.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  TNameLess less;
  return !less(a, b) && !less(b, a);
}

}  // namespace

void TSList::AddToTop(const std::string& s) {
  const int i = IndexOf(s);
  if (i > 0) {
    Move(i, 0);
  } else if (i < 0) {
    FItems.insert(FItems.begin(), s);
    if (Count() > FMaxCount) FItems.resize(static_cast<size_t>(FMaxCount));
  }
}

void TSList::LoadFromRegistry(const TSettingsStore& key) {
  FItems.clear();
  for (int k = 1;; ++k) {
    const std::string name = std::to_string(k);
    if (!key.ValueExists(name)) break;
    FItems.push_back(key.ReadString(name));
  }
}

void TSList::SaveToRegistry(TSettingsStore& key) const {
  for (int k = 1; k <= Count(); ++k) key.WriteString(std::to_string(k), FItems[static_cast<size_t>(k - 1)]);
}

const std::string& TSList::operator[](int index) const {
  Check(index);
  return FItems[static_cast<size_t>(index)];
}

int TSList::IndexOf(const std::string& s) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FCaseSensitive ? FItems[i] == s : SameText(FItems[i], s)) return static_cast<int>(i);
  return -1;
}

void TSList::Insert(int index, const std::string& s) {
  if (index < 0 || index > Count()) throw EListError(index);
  FItems.insert(FItems.begin() + index, s);
}

void TSList::Delete(int index) {
  Check(index);
  FItems.erase(FItems.begin() + index);
}

void TSList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  Check(curIndex);
  Check(newIndex);
  std::string item = std::move(FItems[static_cast<size_t>(curIndex)]);
  FItems.erase(FItems.begin() + curIndex);
  FItems.insert(FItems.begin() + newIndex, std::move(item));
}

void TSList::Check(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
}
