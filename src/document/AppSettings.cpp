#include "document/AppSettings.h"

#include <algorithm>

#include "document/AppModule.h"
#include "document/Recovery.h"
#include "document/Settings.h"
#include "model/Errors.h"
#include "undo/UndoBuffers.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
  TNameLess less;
  return !less(a, b) && !less(b, a);
}

void ReadIfExists(const TSettingsStore& key, const char* name, int& value) {
  if (key.ValueExists(name)) value = key.ReadInteger(name);
}

void ReadIfExists(const TSettingsStore& key, const char* name, std::string& value) {
  if (key.ValueExists(name)) value = key.ReadString(name);
}

void ReadIfExists(const TSettingsStore& key, const char* name, bool& value) {
  if (key.ValueExists(name)) value = key.ReadBool(name);
}

// The stored recent files as far as they can be read: the list ends at the
// first missing number, and also at a value that is not a string, which the
// save is about to write over anyway.
std::vector<std::string> ReadStoredList(const TSettingsStore& key) {
  std::vector<std::string> items;
  for (int k = 1;; ++k) {
    const std::string name = std::to_string(k);
    if (!key.ValueExists(name)) break;
    try {
      items.push_back(key.ReadString(name));
    } catch (const EQuiltorError&) {
      break;
    }
  }
  return items;
}

// Closes the store after a failure without a second message: the first
// error is the one the user is told.
void CloseQuietly(TSettingsStore& store) {
  try {
    store.CloseKey();
  } catch (const EQuiltorError&) {
  }
}

}  // namespace

int FindToolbarLook(std::string_view name) {
  for (int i = 0; i < kToolbarLookCount; ++i)
    if (SameName(kToolbarLooks[i], name)) return i;
  return 0;
}

std::string ToolbarLookName(std::string_view name) { return kToolbarLooks[FindToolbarLook(name)]; }

std::string TSettingsReport::Text() const {
  std::string text;
  for (const std::string& m : Messages) {
    if (!text.empty()) text += "\n\n";
    text += m;
  }
  return text;
}

TRect ClampPlacement(int left, int top, int width, int height, const TScreenRects& screens) {
  if (screens.empty()) return TRect{left, top, left + width, top + height};
  // The screen is chosen by the rectangle as stored, before any clamping.
  const long long cx = static_cast<long long>(left) + width / 2;
  const long long cy = static_cast<long long>(top) + height / 2;
  const TRect* screen = &screens.front();
  for (const TRect& s : screens)
    if (cx >= s.Left && cx < s.Right && cy >= s.Top && cy < s.Bottom) {
      screen = &s;
      break;
    }
  const int w = screen->Right - screen->Left;
  const int h = screen->Bottom - screen->Top;
  // Relative to the screen's corner, in this order.
  long long x = static_cast<long long>(left) - screen->Left;
  long long y = static_cast<long long>(top) - screen->Top;
  long long cw = width;
  long long ch = height;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (cw < 10) cw = 10;
  if (ch < 10) ch = 10;
  if (cw > w) cw = w;
  if (ch > h) ch = h;
  if (x + cw > w) x = w - cw;
  if (y + ch > h) y = h - ch;
  const int l = static_cast<int>(x + screen->Left);
  const int t = static_cast<int>(y + screen->Top);
  return TRect{l, t, l + static_cast<int>(cw), t + static_cast<int>(ch)};
}

std::optional<TRect> ReadPlacement(const TSettingsStore& key, const std::string& name, const TScreenRects& screens) {
  const std::string names[4] = {name + " Left", name + " Top", name + " Width", name + " Height"};
  for (const std::string& n : names)
    if (!key.ValueExists(n)) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) v[i] = key.ReadInteger(names[i]);
  return ClampPlacement(v[0], v[1], v[2], v[3], screens);
}

void WritePlacement(TSettingsStore& key, const std::string& name, const TRect& rect) {
  key.WriteInteger(name + " Left", rect.Left);
  key.WriteInteger(name + " Top", rect.Top);
  key.WriteInteger(name + " Width", rect.Right - rect.Left);
  key.WriteInteger(name + " Height", rect.Bottom - rect.Top);
}

TSettingsReport LoadSettings(TSettingsStore& store, TAppSettings& values, const TScreenRects& screens) {
  TSettingsReport report;
  if (!store.LoadProblem().empty()) report.Messages.push_back(store.LoadProblem());
  try {
    if (store.OpenKeyReadOnly(kSettingsKey)) {
      ReadIfExists(store, "Undo Levels", values.UndoLevels);
      ReadIfExists(store, "Last Open Path", values.LastOpenPath);
      ReadIfExists(store, "Last Save Path", values.LastSavePath);
      ReadIfExists(store, "Last Environment", values.LastEnvironment);
      ReadIfExists(store, "Last Env. Options", values.LastEnvOptions);
      ReadIfExists(store, "Recovery Interval", values.RecoveryInterval);

      if (store.OpenKeyReadOnly(kSettingsUIKey)) {
        if (auto r = ReadPlacement(store, "Main Window", screens)) values.MainWindow = r;
        if (auto r = ReadPlacement(store, "Code Window", screens)) values.CodeWindow = r;
        ReadIfExists(store, "Code Window Visible", values.CodeWindowVisible);
        ReadIfExists(store, "Font Name", values.FontName);
        ReadIfExists(store, "Font Size", values.FontSize);
        ReadIfExists(store, "Code Font Name", values.CodeFontName);
        ReadIfExists(store, "Code Font Size", values.CodeFontSize);
        ReadIfExists(store, "Typeset Preview Visible", values.TypesetVisible);
        ReadIfExists(store, "Typeset Preamble", values.TypesetPreamble);
        // Absent reads as empty, which selects the first look; the name in
        // force replaces whatever was stored.
        values.ToolbarStyle = ToolbarLookName(store.ReadString("TB Style"));
      }
      if (store.OpenKeyReadOnly(kRecentFormatsKey)) values.RecentFormats.LoadFromRegistry(store);
      if (store.OpenKeyReadOnly(kRecentFilesKey)) values.RecentFiles.LoadFromRegistry(store);
    }
    store.CloseKey();
  } catch (const EQuiltorError& e) {
    report.Completed = false;
    report.Messages.push_back(e.what());
    CloseQuietly(store);
  }
  return report;
}

TSList MergeRecentFiles(const TSList& mine, const std::vector<std::string>& stored) {
  TSList merged = mine;
  for (const std::string& s : stored) {
    if (merged.Count() >= merged.MaxCount()) break;
    if (merged.IndexOf(s) < 0) merged.Add(s);
  }
  return merged;
}

TSettingsReport SaveSettings(TSettingsStore& store, const TAppSettings& values) {
  TSettingsReport report;
  if (!store.LoadProblem().empty()) report.Messages.push_back(store.LoadProblem());
  try {
    // One open key after another and a single close at the end, so that the
    // file is written once, with everything in it.
    if (store.OpenKey(kSettingsKey, true)) {
      store.WriteInteger("Undo Levels", values.UndoLevels);
      store.WriteString("Last Open Path", values.LastOpenPath);
      store.WriteString("Last Save Path", values.LastSavePath);
      store.WriteString("Last Environment", values.LastEnvironment);
      store.WriteString("Last Env. Options", values.LastEnvOptions);
      store.WriteInteger("Recovery Interval", values.RecoveryInterval);

      if (store.OpenKey(kSettingsUIKey, true)) {
        if (values.MainWindow) WritePlacement(store, "Main Window", *values.MainWindow);
        if (values.CodeWindow) WritePlacement(store, "Code Window", *values.CodeWindow);
        store.WriteBool("Code Window Visible", values.CodeWindowVisible);
        store.WriteString("Font Name", values.FontName);
        store.WriteInteger("Font Size", values.FontSize);
        store.WriteString("Code Font Name", values.CodeFontName);
        store.WriteInteger("Code Font Size", values.CodeFontSize);
        store.WriteBool("Typeset Preview Visible", values.TypesetVisible);
        store.WriteString("Typeset Preamble", values.TypesetPreamble);
        store.WriteString("TB Style", values.ToolbarStyle);
      }
      if (store.OpenKey(kRecentFormatsKey, true)) values.RecentFormats.SaveToRegistry(store);
      if (store.OpenKey(kRecentFilesKey, true))
        MergeRecentFiles(values.RecentFiles, ReadStoredList(store)).SaveToRegistry(store);
    }
    store.CloseKey();
  } catch (const EQuiltorError& e) {
    report.Completed = false;
    report.Messages.push_back(e.what());
    CloseQuietly(store);
  }
  return report;
}

void CaptureDocumentSettings(TAppSettings& values) {
  if (UndoBuffer) values.UndoLevels = UndoBuffer->MaxLevels;
  values.LastOpenPath = OpenDialog.InitialDir;
  values.LastSavePath = SaveDialog.InitialDir;
  values.RecoveryInterval = RecoveryInterval;
  if (CurrentTable) {
    values.LastEnvironment = CurrentTable->Environment;
    values.LastEnvOptions = CurrentTable->EnvOptions;
    values.FontName = CurrentTable->FontName;
    values.FontSize = CurrentTable->FontSize;
  }
  if (RecentFormats) values.RecentFormats = *RecentFormats;
  if (RecentFiles) values.RecentFiles = *RecentFiles;
}

void ApplyDocumentSettings(const TAppSettings& values) {
  if (UndoBuffer) UndoBuffer->MaxLevels = values.UndoLevels;
  OpenDialog.InitialDir = values.LastOpenPath;
  SaveDialog.InitialDir = values.LastSavePath;
  // A number edited by hand is held to what the Options dialog allows: a
  // negative one means off, as 0 does, and a huge one would overflow the
  // timer's milliseconds and turn recovery data off without a word.
  RecoveryInterval = std::clamp(values.RecoveryInterval, 0, kMaxRecoveryInterval);
  if (CurrentTable) {
    CurrentTable->Environment = values.LastEnvironment;
    CurrentTable->EnvOptions = values.LastEnvOptions;
    CurrentTable->FontName = values.FontName;
    CurrentTable->FontSize = values.FontSize;
    // At start-up the history holds the document as it was before the
    // settings: its one state is recorded again, so that undoing the first
    // edit keeps the environment the settings gave.
    if (UndoBuffer && UndoBuffer->Count() == 1 && !DocumentModified()) {
      RecordUndo("Initial State");
      UndoBuffer->DeleteOldest();
      MarkSaved();
    }
  }
  // The lists keep their own MaxCount and letter-case rule; only the
  // entries come from the settings.
  auto copyEntries = [](TSList* list, const TSList& from) {
    if (!list) return;
    list->Clear();
    for (const std::string& s : from.Items()) list->Add(s);
  };
  copyEntries(RecentFormats, values.RecentFormats);
  copyEntries(RecentFiles, values.RecentFiles);
}
