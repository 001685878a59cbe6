#include "forms/TexSandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cstdint>
#include <string>

namespace {

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

// The rights of the first Landlock version: everything up to making
// symbolic links.
constexpr uint64_t kAbi1Rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
constexpr uint64_t kReadRights =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// The rights that apply to a file (the others are a folder's).
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_TRUNCATE;

int LandlockVersion() {
  const long version = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return version > 0 ? static_cast<int>(version) : 0;
}

uint64_t HandledRights(int version) {
  uint64_t rights = kAbi1Rights;
  if (version >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (version >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  return rights;
}

// Lets the run reach path and what lies beneath it with access; a path
// that does not exist is passed over.
void Allow(int ruleset, uint64_t handled, const QString& path, uint64_t access) {
  if (path.isEmpty() || !path.startsWith(QLatin1Char('/'))) return;
  const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (!S_ISDIR(st.st_mode)) access &= kFileRights;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access & handled;
    rule.parent_fd = fd;
    ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
  }
  ::close(fd);
}

// The root of the TeX installation a program belongs to: "/usr" for
// /usr/bin/pdflatex, "/usr/local/texlive/2024" for
// /usr/local/texlive/2024/bin/x86_64-linux/pdflatex. Never "/".
QString InstallationRoot(const QString& program) {
  QDir dir = QFileInfo(program).absoluteDir();
  if (dir.dirName() != QLatin1String("bin")) {
    if (!dir.cdUp() || dir.dirName() != QLatin1String("bin")) return {};
  }
  if (!dir.cdUp() || dir.isRoot()) return {};
  return dir.absolutePath();
}

// A ruleset for one run; -1 when the kernel has no Landlock.
int MakeRuleset(const QString& pdflatex, const QString& folder) {
  const int version = LandlockVersion();
  if (version == 0) return -1;
  const uint64_t handled = HandledRights(version);
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = handled;
  const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
  if (ruleset < 0) return -1;
  const int fd = static_cast<int>(ruleset);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  // Programs, libraries, fonts and the TeX trees of the system, also where
  // Nix, Guix, snaps and Homebrew keep them.
  for (const char* path : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt", "/etc/texmf",
                           "/etc/ld.so.cache", "/etc/localtime", "/var/lib/texmf", "/var/cache/fonts", "/dev/null",
                           "/nix/store", "/gnu/store", "/snap", "/home/linuxbrew/.linuxbrew"})
    Allow(fd, handled, QString::fromLatin1(path), kReadRights);
  for (const QString& program : {pdflatex, QFileInfo(pdflatex).canonicalFilePath()})
    Allow(fd, handled, InstallationRoot(program), kReadRights);
  // The user's own TeX trees: ~/texmf, ~/.texlive2022, ~/.texmf-var and
  // wherever the environment moved them.
  const QDir home = QDir::home();
  for (const QString& name : home.entryList({QStringLiteral("texmf*"), QStringLiteral(".texmf*"),
                                             QStringLiteral(".texlive*")},
                                            QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
    Allow(fd, handled, home.filePath(name), kReadRights);
  for (const char* variable : {"TEXMFHOME", "TEXMFVAR", "TEXMFCONFIG"})
    Allow(fd, handled, QString::fromLocal8Bit(qgetenv(variable)), kReadRights);
  // Folders the user named for TeX's inputs ("~/latex//:"), their own macros.
  for (QString entry : QString::fromLocal8Bit(qgetenv("TEXINPUTS")).split(QLatin1Char(':'))) {
    if (entry.startsWith(QLatin1String("~/"))) entry = home.filePath(entry.mid(2));
    while (entry.size() > 1 && entry.endsWith(QLatin1Char('/'))) entry.chop(1);
    if (entry != QLatin1String("/")) Allow(fd, handled, entry, kReadRights);
  }
  Allow(fd, handled, folder, handled);
  return fd;
}

}  // namespace

bool TexSandboxAvailable() { return LandlockVersion() > 0; }

void ConfineTexProcess(QProcess& process, const QString& pdflatex, const QString& folder) {
  // Closed with the process object, which holds the modifier.
  auto ruleset = std::shared_ptr<int>(new int(MakeRuleset(pdflatex, folder)), [](int* fd) {
    if (*fd >= 0) ::close(*fd);
    delete fd;
  });
  // Runs in the child between fork and exec: system calls only.
  process.setChildProcessModifier([ruleset] {
    ::setpgid(0, 0);
    if (*ruleset < 0) return;
    // A run that was meant to be confined and is not must not run at all.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::syscall(SYS_landlock_restrict_self, *ruleset, 0) != 0)
      ::_exit(127);
  });
}

void KillTexProcessGroup(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
  process.kill();
}
