// The settings file: values come back with their types and bytes in a fresh
// store, the file is plain JSON, damaged files are kept aside, and a failed
// write leaves the old file as it was.
#include "platform/JsonSettings.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "model/Errors.h"

namespace {

const std::string kKey = "\\Software\\LaTeX\\Quiltor";

class JsonSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath("LaTeX/Quiltor.json");
  }

  QByteArray FileBytes(const QString& p) const {
    QFile f(p);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
  }

  void PutFile(const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
  }

  QStringList FilesInFolder() const { return QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files, QDir::Name); }

  void WriteSample() {
    TJsonSettings store(path);
    ASSERT_TRUE(store.OpenKey(kKey, true));
    store.WriteInteger("Undo Levels", 100);
    store.CloseKey();
  }

  QTemporaryDir dir;
  QString path;
};

TEST_F(JsonSettingsFile, ValuesComeBackWithTypeAndBytesInAFreshStore) {
  const std::vector<std::string> strings = {
      "",
      "tabular",
      "/home/\xc3\xa9t\xc3\xa9/Tables/",
      std::string("nul\0inside", 10),
      "\xef\xbb\xbf" "starts with a byte order mark",
      "Latin-1 \xe9t\xe9, not UTF-8",
      "quote \" backslash \\ tab \t line\r\n",
  };
  std::vector<uint8_t> allBytes;
  for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<uint8_t>(b));
  {
    TJsonSettings store(path);
    EXPECT_EQ(store.LoadProblem(), "");
    ASSERT_TRUE(store.OpenKey(kKey + "\\UI", true));
    for (size_t i = 0; i < strings.size(); ++i) store.WriteString("S" + std::to_string(i), strings[i]);
    store.WriteInteger("Min", INT32_MIN);
    store.WriteInteger("Max", INT32_MAX);
    store.WriteInteger("Five", 5);
    store.WriteString("FiveText", "5");
    store.WriteBool("Yes", true);
    store.WriteBool("No", false);
    store.WriteBinaryData("Bytes", allBytes);
    store.WriteBinaryData("Empty", {});
    store.CloseKey();
  }
  TJsonSettings store(path);
  EXPECT_EQ(store.LoadProblem(), "");
  ASSERT_TRUE(store.OpenKeyReadOnly(kKey + "\\UI"));
  EXPECT_TRUE(store.KeyExists(kKey));
  for (size_t i = 0; i < strings.size(); ++i)
    EXPECT_EQ(store.ReadString("S" + std::to_string(i)), strings[i]) << i;
  EXPECT_EQ(store.ReadInteger("Min"), INT32_MIN);
  EXPECT_EQ(store.ReadInteger("Max"), INT32_MAX);
  EXPECT_TRUE(store.ReadBool("Yes"));
  EXPECT_FALSE(store.ReadBool("No"));
  EXPECT_EQ(store.ReadBinaryData("Bytes"), allBytes);
  EXPECT_TRUE(store.ReadBinaryData("Empty").empty());
  // An integer stays an integer and a numeric string a string.
  const std::pair<const char*, std::function<void()>> wrong[] = {
      {"Invalid data type for 'Five'", [&] { (void)store.ReadString("Five"); }},
      {"Invalid data type for 'FiveText'", [&] { (void)store.ReadInteger("FiveText"); }},
      {"Invalid data type for 'Bytes'", [&] { (void)store.ReadString("Bytes"); }},
      {"Invalid data type for 'S1'", [&] { (void)store.ReadBinaryData("S1"); }},
  };
  for (const auto& [message, call] : wrong) {
    try {
      call();
      ADD_FAILURE() << "no error: " << message;
    } catch (const EQuiltorError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

// Another program can read the file: keys by path, plain JSON values.
TEST_F(JsonSettingsFile, FileIsPlainJson) {
  {
    TJsonSettings store(path);
    ASSERT_TRUE(store.OpenKey(kKey + "\\Recent Files", true));
    store.WriteString("1", "/t/a.qtor");
    ASSERT_TRUE(store.OpenKey(kKey, true));
    store.WriteInteger("Undo Levels", 30);
    store.WriteBool("Flag", true);
    store.CloseKey();
  }
  const QJsonObject root = QJsonDocument::fromJson(FileBytes(path)).object();
  EXPECT_EQ(root.value("\\Software\\LaTeX\\Quiltor\\Recent Files").toObject().value("1").toString(), "/t/a.qtor");
  const QJsonObject main = root.value("\\Software\\LaTeX\\Quiltor").toObject();
  EXPECT_EQ(main.value("Undo Levels").toInteger(), 30);
  EXPECT_EQ(main.value("Flag").toBool(), true);
  EXPECT_TRUE(root.contains("\\Software\\LaTeX"));
}

TEST_F(JsonSettingsFile, NothingIsWrittenWithoutAChange) {
  {
    TJsonSettings store(path);
    EXPECT_FALSE(store.OpenKeyReadOnly(kKey));
    store.CloseKey();
  }
  EXPECT_FALSE(QFile::exists(path));
  WriteSample();
  // Every write renames a new file into place, so the inode tells.
  auto inode = [this] {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
  };
  const ino_t written = inode();
  {
    TJsonSettings store(path);
    ASSERT_TRUE(store.OpenKeyReadOnly(kKey));
    EXPECT_EQ(store.ReadInteger("Undo Levels"), 100);
    store.CloseKey();
  }
  EXPECT_EQ(inode(), written);
  WriteSample();
  EXPECT_NE(inode(), written);
}

// A file that is not a settings file is renamed aside, never written over;
// the store starts empty and says what happened.
TEST_F(JsonSettingsFile, DamagedFileIsKeptAside) {
  const QByteArray cases[] = {
      "",
      "{\"\\\\Software\\\\LaTeX\\\\Quiltor\": {\"Undo Levels\": 10",  // cut short
      "not json at all",
      "[1, 2]",
      "{\"Software\": {}}",                                           // not a key path
      "{\"\\\\K\": 5}",                                               // a key that is not an object
  };
  for (const QByteArray& damaged : cases) {
    SCOPED_TRACE(damaged.toStdString());
    QDir(QFileInfo(path).absolutePath()).removeRecursively();
    PutFile(damaged);
    {
      TJsonSettings store(path);
      const QString backup = path + ".bad";
      EXPECT_EQ(store.BackupPath(), backup);
      const std::string problem = store.LoadProblem();
      EXPECT_NE(problem.find(path.toStdString()), std::string::npos) << problem;
      EXPECT_NE(problem.find("It was kept as " + backup.toStdString()), std::string::npos) << problem;
      EXPECT_EQ(FileBytes(backup), damaged);
      EXPECT_FALSE(store.KeyExists("\\K"));
      ASSERT_TRUE(store.OpenKey(kKey, true));
      store.WriteInteger("Undo Levels", 7);
      store.CloseKey();
      EXPECT_EQ(FileBytes(backup), damaged);
    }
    TJsonSettings again(path);
    EXPECT_EQ(again.LoadProblem(), "");
    ASSERT_TRUE(again.OpenKeyReadOnly(kKey));
    EXPECT_EQ(again.ReadInteger("Undo Levels"), 7);
  }
}

// A value of no form the program reads (a hand-edited 1.5) spoils that
// value only: if it set the whole file aside, every other setting would be
// lost with it. Reading it is a type mismatch, and the value stays in the
// file as it was until it is written over.
TEST_F(JsonSettingsFile, ValueOfNoKnownFormSpoilsOnlyItself) {
  const QByteArray odd[] = {"null", "1.5", "4294967296", "[1]", "{\"bytes\": \"not base64!\"}",
                            "{\"colour\": \"red\"}"};
  for (const QByteArray& value : odd) {
    SCOPED_TRACE(value.toStdString());
    QDir(QFileInfo(path).absolutePath()).removeRecursively();
    PutFile("{\"\\\\Software\\\\LaTeX\\\\Quiltor\": {\"Undo Levels\": " + value + ", \"Last Open Path\": \"/a/\"}}");
    {
      TJsonSettings store(path);
      EXPECT_EQ(store.LoadProblem(), "");
      ASSERT_TRUE(store.OpenKey(kKey, true));
      EXPECT_TRUE(store.ValueExists("Undo Levels"));
      for (const std::function<void()>& read :
           std::vector<std::function<void()>>{[&] { store.ReadInteger("Undo Levels"); },
                                              [&] { store.ReadString("Undo Levels"); },
                                              [&] { store.ReadBool("Undo Levels"); }}) {
        try {
          read();
          ADD_FAILURE() << "read as a known type";
        } catch (const EQuiltorError& e) {
          EXPECT_STREQ(e.what(), "Invalid data type for 'Undo Levels'");
        }
      }
      EXPECT_EQ(store.ReadString("Last Open Path"), "/a/");
      store.WriteString("Last Save Path", "/b/");
      store.CloseKey();
    }
    EXPECT_TRUE(FilesInFolder() == QStringList{"Quiltor.json"}) << FilesInFolder().join(' ').toStdString();
    const QJsonObject key = QJsonDocument::fromJson(FileBytes(path)).object().value(QString::fromStdString(kKey)).toObject();
    EXPECT_EQ(key.value("Undo Levels"), QJsonDocument::fromJson("{\"v\": " + value + "}").object().value("v"))
        << FileBytes(path).toStdString();
  }
}

// Anything but a regular file of a sane size at the settings path is set
// aside unread: a FIFO would block the start for ever, a link to /dev/zero
// would read until the memory runs out.
TEST_F(JsonSettingsFile, NonRegularOrHugeFileIsSetAsideUnread) {
  struct Case {
    const char* Name;
    std::function<void(const std::string&)> Make;
    const char* Why;
  } cases[] = {
      {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "it is not a regular file"},
      {"link to /dev/zero", [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); },
       "it is not a regular file"},
      {"2 MiB", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 2 << 20), 0); }, "larger than 1 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    QDir(QFileInfo(path).absolutePath()).removeRecursively();
    PutFile("{}");
    QFile::remove(path);
    const std::string local = QFile::encodeName(path).toStdString();
    if (std::string(c.Name) == "2 MiB") PutFile("{}");
    c.Make(local);
    // A store that blocked would hang the test: the child is ended by an
    // alarm instead, which fails it.
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(10);
      TJsonSettings store(path);
      ::_exit(store.LoadProblem().find(c.Why) != std::string::npos && store.BackupPath() == path + ".bad" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QFileInfo(path + ".bad").isSymLink() || QFileInfo::exists(path + ".bad"));
  }
}

TEST_F(JsonSettingsFile, EarlierBackupsAreNotReplaced) {
  PutFile("first damage");
  { TJsonSettings store(path); }
  PutFile("second damage");
  TJsonSettings store(path);
  EXPECT_EQ(store.BackupPath(), path + ".bad.2");
  EXPECT_EQ(FileBytes(path + ".bad"), "first damage");
  EXPECT_EQ(FileBytes(path + ".bad.2"), "second damage");
}

// A path that cannot be read at all is left alone: nothing is saved over it.
TEST_F(JsonSettingsFile, UnreadablePathIsNotReplaced) {
  QDir().mkpath(path);  // a folder where the file should be
  TJsonSettings store(path);
  EXPECT_NE(store.LoadProblem().find("will not save them over that file"), std::string::npos) << store.LoadProblem();
  ASSERT_TRUE(store.OpenKey(kKey, true));
  store.WriteInteger("Undo Levels", 1);
  store.CloseKey();
  EXPECT_TRUE(QFileInfo(path).isDir());
}

// A write cut short by the file size limit fails as a whole: the old file
// keeps every byte and no temporary file is left behind.
TEST_F(JsonSettingsFile, FailedWriteKeepsTheOldFile) {
  WriteSample();
  const QByteArray before = FileBytes(path);
  ASSERT_GT(before.size(), 0);

  TJsonSettings store(path);
  ASSERT_TRUE(store.OpenKey(kKey, true));
  store.WriteString("Last Open Path", std::string(4 * static_cast<size_t>(before.size()) + 100, 'x'));

  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limit = saved;
  limit.rlim_cur = static_cast<rlim_t>(before.size()) + 10;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::string error;
  try {
    store.Flush();
  } catch (const EQuiltorError& e) {
    error = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_EQ(error, "Cannot create file " + path.toStdString());
  EXPECT_EQ(FileBytes(path), before);
  EXPECT_EQ(FilesInFolder(), QStringList{"Quiltor.json"});
  // The change is still pending and goes out once writing works again.
  store.CloseKey();
  TJsonSettings reread(path);
  ASSERT_TRUE(reread.OpenKeyReadOnly(kKey));
  EXPECT_EQ(reread.ReadString("Last Open Path").size(), 4 * static_cast<size_t>(before.size()) + 100);
}

// A settings file kept as a link elsewhere (a managed dotfile) stays a link.
TEST_F(JsonSettingsFile, WritesThroughASymbolicLink) {
  const QString real = dir.filePath("dotfiles/Quiltor.json");
  QDir().mkpath(QFileInfo(real).absolutePath());
  QDir().mkpath(QFileInfo(path).absolutePath());
  ASSERT_TRUE(QFile::link(real, path));
  WriteSample();
  EXPECT_TRUE(QFileInfo(path).isSymLink());
  TJsonSettings store(real);
  ASSERT_TRUE(store.OpenKeyReadOnly(kKey));
  EXPECT_EQ(store.ReadInteger("Undo Levels"), 100);
}

}  // namespace
