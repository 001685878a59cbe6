#include "document/Settings.h"

#include <algorithm>

#include "model/Errors.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

[[noreturn]] void FailGet(const std::string& name) {
  throw EQuiltorError(FormatStr("Failed to get data for '%s'", name.c_str()));
}

[[noreturn]] void FailSet(const std::string& name) {
  throw EQuiltorError(FormatStr("Failed to set data for '%s'", name.c_str()));
}

[[noreturn]] void FailType(const std::string& name) {
  throw EQuiltorError(FormatStr("Invalid data type for '%s'", name.c_str()));
}

}  // namespace

bool TNameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return static_cast<unsigned char>(Lower(x)) <
                                                                  static_cast<unsigned char>(Lower(y)); });
}

std::string NormaliseKeyPath(std::string_view path, std::string_view base) {
  std::string joined;
  if (path.empty() || path.front() != '\\') {
    joined.assign(base);
    joined += '\\';
  }
  joined.append(path);
  std::string out;
  size_t i = 0;
  while (i < joined.size()) {
    const size_t end = std::min(joined.find('\\', i), joined.size());
    if (end > i) {
      out += '\\';
      out.append(joined, i, end - i);
    }
    i = end + 1;
  }
  return out.empty() ? std::string("\\") : out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(bytes[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points beyond U+10FFFF.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
      return false;
    i += len;
  }
  return true;
}

// ---------------------------------------------------------------- TSettingsStore

bool TSettingsStore::KeyExists(const std::string& path) const {
  const std::string p = NormaliseKeyPath(path, FOpen ? FPath : "\\");
  return p == "\\" || Data().Keys.count(p) > 0;
}

bool TSettingsStore::OpenKey(const std::string& path, bool canCreate) {
  const std::string p = NormaliseKeyPath(path, FOpen ? FPath : "\\");
  std::string spelled;
  if (KeyExists(p)) {
    spelled = Spelled(p);
  } else {
    if (!canCreate || !IsValidUtf8(p)) return false;
    // The key and every missing ancestor; existing ancestors keep their
    // spelling, and the new key continues it.
    spelled.clear();
    size_t i = 1;
    while (i <= p.size()) {
      const size_t end = std::min(p.find('\\', i), p.size());
      const std::string prefix = p.substr(0, end);
      if (KeyExists(prefix)) {
        spelled = Spelled(prefix);
      } else {
        spelled += '\\';
        spelled.append(p, i, end - i);
        Data().Keys.try_emplace(spelled);
      }
      i = end + 1;
    }
    Changed();
  }
  FOpen = true;
  FReadOnly = false;
  FPath = spelled;
  return true;
}

bool TSettingsStore::OpenKeyReadOnly(const std::string& path) {
  const std::string p = NormaliseKeyPath(path, FOpen ? FPath : "\\");
  if (!KeyExists(p)) return false;
  FOpen = true;
  FReadOnly = true;
  FPath = Spelled(p);
  return true;
}

std::string TSettingsStore::Spelled(const std::string& normalised) const {
  auto it = Data().Keys.find(normalised);
  return it == Data().Keys.end() ? normalised : it->first;
}

void TSettingsStore::CloseKey() {
  FOpen = false;
  FReadOnly = false;
  FPath.clear();
  Flush();
}

const TSettingValue* TSettingsStore::Find(const std::string& name) const {
  if (!FOpen) return nullptr;
  auto key = Data().Keys.find(FPath);
  if (key == Data().Keys.end()) return nullptr;
  auto value = key->second.find(name);
  return value == key->second.end() ? nullptr : &value->second;
}

bool TSettingsStore::ValueExists(const std::string& name) const { return Find(name) != nullptr; }

std::string TSettingsStore::ReadString(const std::string& name) const {
  if (!FOpen) FailGet(name);
  const TSettingValue* v = Find(name);
  if (!v) return {};
  if (v->Type != TSettingType::String) FailType(name);
  return v->Data;
}

int32_t TSettingsStore::ReadInteger(const std::string& name) const {
  const TSettingValue* v = Find(name);
  if (!v) FailGet(name);
  if (v->Type != TSettingType::Integer && v->Type != TSettingType::Boolean) FailType(name);
  return v->Number;
}

bool TSettingsStore::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

std::vector<uint8_t> TSettingsStore::ReadBinaryData(const std::string& name) const {
  const TSettingValue* v = Find(name);
  if (!v) FailGet(name);
  if (v->Type != TSettingType::Bytes) FailType(name);
  return std::vector<uint8_t>(v->Data.begin(), v->Data.end());
}

void TSettingsStore::Write(const std::string& name, TSettingValue value) {
  if (!FOpen || FReadOnly || !IsValidUtf8(name)) FailSet(name);
  Data().Keys[FPath][name] = std::move(value);
  Changed();
}

void TSettingsStore::WriteString(const std::string& name, const std::string& value) {
  Write(name, TSettingValue{TSettingType::String, value, 0});
}

void TSettingsStore::WriteInteger(const std::string& name, int32_t value) {
  Write(name, TSettingValue{TSettingType::Integer, {}, value});
}

void TSettingsStore::WriteBool(const std::string& name, bool value) {
  Write(name, TSettingValue{TSettingType::Boolean, {}, value ? 1 : 0});
}

void TSettingsStore::WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value) {
  Write(name, TSettingValue{TSettingType::Bytes, std::string(value.begin(), value.end()), 0});
}

bool TSettingsStore::DeleteValue(const std::string& name) {
  if (!FOpen || FReadOnly) FailSet(name);
  auto key = Data().Keys.find(FPath);
  if (key == Data().Keys.end() || key->second.erase(name) == 0) return false;
  Changed();
  return true;
}

std::vector<std::string> TSettingsStore::GetValueNames() const {
  std::vector<std::string> names;
  if (!FOpen) return names;
  auto key = Data().Keys.find(FPath);
  if (key == Data().Keys.end()) return names;
  for (const auto& [name, value] : key->second) names.push_back(name);
  return names;
}

// ---------------------------------------------------------------- the program's store

namespace {

TSettingsFactory gFactory;

}  // namespace

void SetSettingsFactory(TSettingsFactory factory) { gFactory = std::move(factory); }

std::unique_ptr<TSettingsStore> CreateSettingsStore() {
  if (gFactory) return gFactory();
  static const std::shared_ptr<TSettingsData> runData = std::make_shared<TSettingsData>();
  return std::make_unique<TMemorySettings>(runData);
}
