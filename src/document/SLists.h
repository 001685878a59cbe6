#pragma once
// A short list of recently used strings, newest first, as offered by the
// recent-files menu and the column format drop-down. Entries keep the order
// they were put in and compare without regard to ASCII letter case, unless
// the list is made case-sensitive (file names on a file system where
// "Case.qtor" and "case.qtor" are two files). A list stores itself in a
// settings key as string values "1", "2", ... in order.
#include <string>
#include <vector>

class TSettingsStore;

class TSList {
 public:
  TSList() = default;
  explicit TSList(int maxCount, bool caseSensitive = false) : FCaseSensitive(caseSensitive) {
    SetMaxCount(maxCount);
  }

  // Puts s at the top. An entry equal to s (in any letter case, unless the
  // list is case-sensitive) moves to the top as it was stored; a new entry is
  // inserted and the list is cut back to MaxCount.
  void AddToTop(const std::string& s);
  // n below 1 counts as 1. The list is not cut now but at the next insertion.
  void SetMaxCount(int n) { FMaxCount = n > 0 ? n : 1; }
  int MaxCount() const { return FMaxCount; }
  bool CaseSensitive() const { return FCaseSensitive; }

  // Replaces the entries by the open key's values "1", "2", ... up to the
  // first missing number; MaxCount is not applied.
  void LoadFromRegistry(const TSettingsStore& key);
  // Writes entry k as value "k" for k = 1..Count; higher numbers already in
  // the key stay as they are.
  void SaveToRegistry(TSettingsStore& key) const;

  // The general list operations. An index outside the list raises
  // "List index out of bounds (%d)".
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& operator[](int index) const;
  const std::string& Strings(int index) const { return (*this)[index]; }
  // Position of s (any letter case unless case-sensitive), or -1.
  int IndexOf(const std::string& s) const;
  void Add(const std::string& s) { FItems.push_back(s); }
  void Insert(int index, const std::string& s);
  void Delete(int index);
  void Move(int curIndex, int newIndex);
  void Clear() { FItems.clear(); }
  const std::vector<std::string>& Items() const { return FItems; }

 private:
  void Check(int index) const;
  std::vector<std::string> FItems;
  int FMaxCount = 10;
  bool FCaseSensitive = false;
};
