#include "platform/JsonSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "model/AtomicFile.h"
#include "model/Errors.h"

namespace {

std::string LocalName(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString FromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString Base64(const std::string& bytes) {
  return QString::fromLatin1(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64());
}

// ---------------------------------------------------------------- values

QJsonValue ToJson(const TSettingValue& v) {
  switch (v.Type) {
    case TSettingType::String: {
      // Plain text only when it comes back byte for byte: not for bytes that
      // are not UTF-8, nor for a leading byte order mark, which the decoder
      // drops.
      const QString text = FromBytes(v.Data);
      if (IsValidUtf8(v.Data) && text.toStdString() == v.Data) return text;
      return QJsonObject{{"string", Base64(v.Data)}};
    }
    case TSettingType::Integer:
      return static_cast<qint64>(v.Number);
    case TSettingType::Boolean:
      return v.Number != 0;
    case TSettingType::Bytes:
      return QJsonObject{{"bytes", Base64(v.Data)}};
    case TSettingType::Other: {
      // Kept as the file had it: the JSON of a one-element array.
      const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(v.Data));
      return doc.isArray() && !doc.array().isEmpty() ? doc.array().first() : QJsonValue();
    }
  }
  return {};
}

TSettingValue OtherValue(const QJsonValue& j) {
  return TSettingValue{TSettingType::Other, QJsonDocument(QJsonArray{j}).toJson(QJsonDocument::Compact).toStdString(),
                       0};
}

bool DecodeBase64(const QJsonValue& j, std::string& out) {
  if (!j.isString()) return false;
  const auto result = QByteArray::fromBase64Encoding(j.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!result) return false;
  out = result.decoded.toStdString();
  return true;
}

// False when j is not one of the forms ToJson writes.
bool FromJson(const QJsonValue& j, TSettingValue& out) {
  if (j.isString()) {
    out = TSettingValue{TSettingType::String, j.toString().toStdString(), 0};
    return true;
  }
  if (j.isBool()) {
    out = TSettingValue{TSettingType::Boolean, {}, j.toBool() ? 1 : 0};
    return true;
  }
  if (j.isDouble()) {
    const double d = j.toDouble();
    if (d != std::floor(d) || d < std::numeric_limits<int32_t>::min() || d > std::numeric_limits<int32_t>::max())
      return false;
    out = TSettingValue{TSettingType::Integer, {}, static_cast<int32_t>(d)};
    return true;
  }
  if (j.isObject()) {
    const QJsonObject o = j.toObject();
    if (o.size() != 1) return false;
    if (o.contains("bytes")) {
      out.Type = TSettingType::Bytes;
      out.Number = 0;
      return DecodeBase64(o.value("bytes"), out.Data);
    }
    if (o.contains("string")) {
      out.Type = TSettingType::String;
      out.Number = 0;
      return DecodeBase64(o.value("string"), out.Data);
    }
  }
  return false;
}

// ---------------------------------------------------------------- the file's text

// A name must come back as it was; the store took only UTF-8 names, but a
// leading byte order mark would still be lost.
QString NameText(const std::string& name) {
  const QString text = FromBytes(name);
  if (text.toStdString() != name) throw EQuiltorError(FormatStr("Failed to set data for '%s'", name.c_str()));
  return text;
}

QByteArray Serialise(const TSettingsData& data) {
  QJsonObject root;
  for (const auto& [path, values] : data.Keys) {
    QJsonObject key;
    for (const auto& [name, value] : values) key.insert(NameText(name), ToJson(value));
    root.insert(NameText(path), key);
  }
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

// Fills data from the file's text; returns why the text is not a settings
// file, or the empty string.
std::string Parse(const QByteArray& text, TSettingsData& data) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
  if (error.error != QJsonParseError::NoError)
    return FormatStr("%s at offset %d", error.errorString().toStdString().c_str(), static_cast<int>(error.offset));
  if (!doc.isObject()) return "the file does not hold an object";
  const QJsonObject root = doc.object();
  for (auto key = root.begin(); key != root.end(); ++key) {
    const std::string name = key.key().toStdString();
    if (name.empty() || name.front() != '\\') return FormatStr("'%s' is not a key path", name.c_str());
    if (!key.value().isObject()) return FormatStr("key '%s' does not hold values", name.c_str());
    const std::string path = NormaliseKeyPath(name);
    // The key's ancestors exist as well, as when the key was created.
    for (size_t end = path.find('\\', 1);; end = path.find('\\', end + 1)) {
      data.Keys.try_emplace(path.substr(0, end));
      if (end == std::string::npos) break;
    }
    TSettingsData::TValues& values = data.Keys[path];
    const QJsonObject o = key.value().toObject();
    for (auto v = o.begin(); v != o.end(); ++v) {
      // A value of no known form spoils that value only: reading it says
      // "Invalid data type", as a value of the wrong type does, and the
      // others are read as usual.
      TSettingValue value;
      if (!FromJson(v.value(), value)) value = OtherValue(v.value());
      values[v.key().toStdString()] = std::move(value);
    }
  }
  return {};
}

// ---------------------------------------------------------------- files

// Larger than any settings file the program writes by far; reading more
// would only fill the memory (a link to /dev/zero never ends).
constexpr off_t kMaxSettingsBytes = 1 << 20;

// Why the file at path is no settings file to read, before any of it is
// read: empty when it is a regular file of a sane size. Opened without
// blocking, so that a FIFO does not stop the start.
std::string RefusedFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_size > kMaxSettingsBytes) return "it is larger than 1 MiB";
  return {};
}

// Reads the whole file. Returns false with errno set on failure; refused
// (not a regular file, too large) says why and returns false with errno 0.
bool ReadFile(const std::string& path, QByteArray& out, std::string& refused) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  refused = RefusedFile(fd);
  if (!refused.empty()) {
    ::close(fd);
    errno = 0;
    return false;
  }
  out.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<qsizetype>(n));
    // Grown since it was looked at.
    if (out.size() > kMaxSettingsBytes) {
      ::close(fd);
      refused = "it is larger than 1 MiB";
      errno = 0;
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Renames path to the first free name of path.bad, path.bad.2, ...; never
// replaces an existing file. Returns the new name, or empty with errno set.
std::string KeepAside(const std::string& path) {
  for (int n = 1; n <= 1000; ++n) {
    const std::string backup = n == 1 ? path + ".bad" : path + ".bad." + std::to_string(n);
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) == 0) return backup;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return {};
    // A file system without the no-replace rename: test, then rename.
    struct stat st {};
    if (::lstat(backup.c_str(), &st) == 0) continue;
    if (::rename(path.c_str(), backup.c_str()) == 0) return backup;
    return {};
  }
  errno = EEXIST;
  return {};
}

}  // namespace

// ---------------------------------------------------------------- TJsonSettings

TJsonSettings::TJsonSettings(const QString& path) : FPath(path) { Load(); }

TJsonSettings::~TJsonSettings() {
  try {
    Flush();
  } catch (const EQuiltorError&) {
    // Nobody is left to tell; callers that care flush before.
  }
}

QString TJsonSettings::DefaultPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/LaTeX/Quiltor.json";
}

void TJsonSettings::Load() {
  const std::string path = LocalName(FPath);
  const std::string shown = FPath.toStdString();
  QByteArray text;
  std::string refused;
  if (!ReadFile(path, text, refused) && refused.empty()) {
    if (errno == ENOENT) return;  // first run
    FWriteBlocked = true;
    FLoadProblem = FormatStr(
        "The settings file %s could not be read (%s). The program starts with its built-in settings "
        "and will not save them over that file.",
        shown.c_str(), std::strerror(errno));
    return;
  }
  TSettingsData data;
  const std::string reason = refused.empty() ? Parse(text, data) : refused;
  if (reason.empty()) {
    FData = std::move(data);
    return;
  }
  const std::string backup = KeepAside(path);
  if (backup.empty()) {
    FWriteBlocked = true;
    FLoadProblem = FormatStr(
        "The settings file %s could not be read (%s) and could not be kept aside (%s). The program starts "
        "with its built-in settings and will not save them over that file.",
        shown.c_str(), reason.c_str(), std::strerror(errno));
    return;
  }
  FBackupPath = QFile::decodeName(backup.c_str());
  FLoadProblem = FormatStr(
      "The settings file %s could not be read (%s). It was kept as %s, and the program starts with its "
      "built-in settings.",
      shown.c_str(), reason.c_str(), FBackupPath.toStdString().c_str());
}

void TJsonSettings::Flush() {
  if (!FDirty || FWriteBlocked) return;
  const std::string local = LocalName(FPath);
  try {
    if (!QDir().mkpath(QFileInfo(FPath).absolutePath())) throw EQuiltorError("");
    // Written beside the old file and renamed over it (through a symbolic
    // link, over the file it names): a failure leaves the old settings whole.
    const QByteArray bytes = Serialise(FData);
    TAtomicFile file(local);
    file.Stream().Write(bytes.constData(), static_cast<size_t>(bytes.size()));
    file.Commit();
  } catch (const EQuiltorError&) {
    throw EQuiltorError(FormatStr("Cannot create file %s", local.c_str()));
  }
  FDirty = false;
}
