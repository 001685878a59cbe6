#pragma once
// The per-user settings store: a tree of keys named by paths such as
// "\Software\LaTeX\Quiltor\Recent Files", each holding named values of one of
// four types (string, integer, boolean, bytes). A store object works on one
// open key at a time, like a registry handle: open a key (read-only, or
// creating it), test for and read or write its values, close it.
//
// Key paths and value names compare without regard to ASCII letter case and
// keep the spelling they were created with. A path that starts with a
// backslash is absolute; any other path is taken below the open key.
//
// Types are kept: reading a value as a type it was not written with raises
// "Invalid data type for '%s'", except that integers and booleans read as
// each other (a boolean is the number 1 or 0, and any non-zero number reads as
// true).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Other: a value the store holds but this program cannot read as any of
// the four (a number with a fraction in a hand-edited file, or a kind of a
// later version); reading it raises "Invalid data type for '%s'" like any
// type mismatch, and the store keeps it as it was (Data in the store's own
// form) until it is written over.
enum class TSettingType : uint8_t { String, Integer, Boolean, Bytes, Other };

struct TSettingValue {
  TSettingType Type = TSettingType::String;
  std::string Data;    // the string or the bytes
  int32_t Number = 0;  // the integer, or 1 / 0 for a boolean
  bool operator==(const TSettingValue&) const = default;
};

// Orders names by their ASCII lower-case form.
struct TNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// The whole tree: every key by its normalised absolute path ("\A\B", the root
// being "\"), with its values. A key's ancestors exist whenever it does.
struct TSettingsData {
  using TValues = std::map<std::string, TSettingValue, TNameLess>;
  std::map<std::string, TValues, TNameLess> Keys;
};

// "\A\B" for "A\\B\", "\A\B" and similar spellings; relative paths are joined
// to base first.
std::string NormaliseKeyPath(std::string_view path, std::string_view base = "\\");

// Whether bytes form valid UTF-8; names in the store must, and the file store
// writes other strings in an encoded form.
bool IsValidUtf8(std::string_view bytes);

class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;

  // Opens the key at path; when it does not exist, creates it (and its
  // ancestors) if canCreate is set, else returns false and keeps the key that
  // was open.
  bool OpenKey(const std::string& path, bool canCreate);
  // Opens an existing key for reading only; false when it does not exist.
  bool OpenKeyReadOnly(const std::string& path);
  // Closes the open key and writes pending changes through to the backing
  // storage (see Flush).
  void CloseKey();
  bool KeyExists(const std::string& path) const;
  bool HasOpenKey() const { return FOpen; }
  // Path of the open key, spelled as when the key was created.
  const std::string& CurrentPath() const { return FPath; }

  bool ValueExists(const std::string& name) const;
  // A missing value reads as the empty string.
  std::string ReadString(const std::string& name) const;
  // A missing value raises "Failed to get data for '%s'".
  int32_t ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const;
  std::vector<uint8_t> ReadBinaryData(const std::string& name) const;
  // Writing with no key open, into a read-only key, or with a name that is not
  // UTF-8 raises "Failed to set data for '%s'". A write replaces the value and
  // its type.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);
  void WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value);
  bool DeleteValue(const std::string& name);
  // Names of the open key's values, in name order.
  std::vector<std::string> GetValueNames() const;

  // Makes written values durable. The in-memory store has nothing to do.
  virtual void Flush() {}
  // A problem met while the store read its backing storage, to be shown to
  // the user; empty when there was none. The store then starts empty.
  virtual std::string LoadProblem() const { return {}; }

 protected:
  // The tree the front end above works on.
  virtual TSettingsData& Data() = 0;
  virtual const TSettingsData& Data() const = 0;
  // Called after every change of the tree.
  virtual void Changed() {}

 private:
  const TSettingValue* Find(const std::string& name) const;
  // The path as the existing key was first spelled.
  std::string Spelled(const std::string& normalised) const;
  void Write(const std::string& name, TSettingValue value);

  bool FOpen = false;
  bool FReadOnly = false;
  std::string FPath;
};

// Keys held in memory only: the store of the tests, and the program's store
// when no file store was installed. Stores made over the same data see each
// other's changes, like two handles on one registry.
class TMemorySettings : public TSettingsStore {
 public:
  TMemorySettings() : FData(std::make_shared<TSettingsData>()) {}
  explicit TMemorySettings(std::shared_ptr<TSettingsData> data) : FData(std::move(data)) {}
  std::shared_ptr<TSettingsData> SharedData() const { return FData; }

 protected:
  TSettingsData& Data() override { return *FData; }
  const TSettingsData& Data() const override { return *FData; }

 private:
  std::shared_ptr<TSettingsData> FData;
};

// The store the program reads and writes its settings through. The
// application installs a factory for the per-user file at start-up; until
// then every store works on one set of keys held in memory for the run.
using TSettingsFactory = std::function<std::unique_ptr<TSettingsStore>()>;
void SetSettingsFactory(TSettingsFactory factory);
std::unique_ptr<TSettingsStore> CreateSettingsStore();
