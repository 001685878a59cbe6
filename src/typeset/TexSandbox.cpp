#include "typeset/TexSandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

const char* const kCannotConfineMessage = "TeX was not run: cannot confine TeX to its own files on this system";

namespace {

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

// The rights of the first Landlock version: everything up to making
// symbolic links.
constexpr uint64_t kAbi1Rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
constexpr uint64_t kReadRights =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// The rights that apply to a file (the others are a folder's); the kernel
// refuses a rule for a file that grants any other.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_TRUNCATE;

int SystemLandlockVersion() {
  const long version = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return version > 0 ? static_cast<int>(version) : 0;
}
long SystemAddRule(int ruleset, const void* rule) {
  return ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, rule, 0);
}
long SystemRestrictSelf(int ruleset) { return ::syscall(SYS_landlock_restrict_self, ruleset, 0); }

uint64_t HandledRights(int version) {
  uint64_t rights = kAbi1Rights;
  if (version >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (version >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  return rights;
}

// Lets the run reach path and what lies beneath it with access. A path that
// does not exist is passed over; false, with why, when the kernel refuses
// the rule.
bool Allow(int ruleset, uint64_t handled, const QString& path, uint64_t access, QString& why) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
  if (fd < 0) return true;
  struct stat st;
  bool ok = true;
  if (::fstat(fd, &st) == 0) {
    if (!S_ISDIR(st.st_mode)) access &= kFileRights;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access & handled;
    rule.parent_fd = fd;
    if (TexSandboxCalls().AddRule(ruleset, &rule) != 0) {
      why = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
      ok = false;
    }
  }
  ::close(fd);
  return ok;
}

// Programs, libraries, fonts and the TeX trees of the system, also where
// Nix, Guix, snaps and Homebrew keep them.
const char* const kSystemFolders[] = {"/usr",        "/bin",           "/sbin",          "/lib",
                                      "/lib32",      "/lib64",         "/libx32",        "/opt",
                                      "/etc/texmf",  "/etc/ld.so.cache", "/etc/localtime", "/var/lib/texmf",
                                      "/var/cache/fonts", "/nix/store",     "/gnu/store",
                                      "/snap",       "/home/linuxbrew/.linuxbrew"};

// The TeX trees kpathsea searches, as the kpsewhich beside pdflatex names
// them; empty when there is none.
QStringList TexTrees(const QString& binFolder) {
  const QString kpsewhich = binFolder + QStringLiteral("/kpsewhich");
  if (!QFileInfo(kpsewhich).isExecutable()) return {};
  QProcess process;
  process.setProgram(kpsewhich);
  process.setArguments({QStringLiteral("-expand-braces=$TEXMFDIST:$TEXMFLOCAL:$TEXMFSYSVAR:$TEXMFSYSCONFIG:"
                                       "$TEXMFHOME:$TEXMFVAR:$TEXMFCONFIG")});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  QStringList trees;
  for (QString tree : QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed().split(QLatin1Char(':'))) {
    if (tree.startsWith(QLatin1String("!!"))) tree.remove(0, 2);  // "search the ls-R only"
    trees << tree;
  }
  return trees;
}

// A ruleset for one run; -1 with why when it cannot be built.
int MakeRuleset(int version, const QString& pdflatex, const QString& folder, QString& why) {
  const uint64_t handled = HandledRights(version);
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = handled;
  const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
  if (ruleset < 0) {
    why = QString::fromLocal8Bit(std::strerror(errno));
    return -1;
  }
  const int fd = static_cast<int>(ruleset);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  bool ok = true;
  for (const QString& path : TexReadableFolders(pdflatex)) ok = ok && Allow(fd, handled, path, kReadRights, why);
  // kpathsea's font makers send their chatter there.
  ok = ok && Allow(fd, handled, QStringLiteral("/dev/null"), kFileRights, why);
  ok = ok && Allow(fd, handled, folder, handled, why);
  if (!ok) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TTexSandboxCalls& TexSandboxCalls() {
  static TTexSandboxCalls calls{SystemLandlockVersion, SystemAddRule, SystemRestrictSelf};
  return calls;
}

bool TexSandboxAvailable() { return TexSandboxCalls().Version() > 0; }

QStringList ChooseReadableFolders(const QStringList& candidates, const QString& home) {
  const QString realHome = QFileInfo(home).canonicalFilePath();
  QStringList chosen;
  for (const QString& candidate : candidates) {
    if (!candidate.startsWith(QLatin1Char('/'))) continue;
    const QString path = QFileInfo(candidate).canonicalFilePath();
    if (path.isEmpty() || path == QLatin1String("/") || chosen.contains(path)) continue;
    // Home or a folder that holds it would open every private file.
    if (!realHome.isEmpty() && (realHome == path || realHome.startsWith(path + QLatin1Char('/')))) continue;
    chosen << path;
  }
  return chosen;
}

QStringList TexReadableFolders(const QString& pdflatex) {
  // The real program: ~/bin/pdflatex may be a link to the system's.
  const QString binFolder = QFileInfo(QFileInfo(pdflatex).canonicalFilePath()).absolutePath();
  // kpsewhich takes a moment; the answer changes only with the TeX
  // installation and the environment.
  static QHash<QString, QStringList> cache;
  const QString key = binFolder + QChar(0) + QProcessEnvironment::systemEnvironment().toStringList().join(QChar(0));
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;

  QStringList candidates;
  for (const char* path : kSystemFolders) candidates << QString::fromLatin1(path);
  candidates << binFolder << TexTrees(binFolder);
  // Folders the user named for TeX's inputs ("~/latex//:"), their own macros.
  for (QString entry : QString::fromLocal8Bit(qgetenv("TEXINPUTS")).split(QLatin1Char(':'))) {
    if (entry.startsWith(QLatin1String("~/"))) entry = QDir::home().filePath(entry.mid(2));
    candidates << entry;
  }
  const QStringList chosen = ChooseReadableFolders(candidates, QDir::homePath());
  cache.insert(key, chosen);
  return chosen;
}

bool BindChildToParent(pid_t parentPid, long cpuSeconds) {
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
  // The parent may have died before the line above: then no signal comes.
  if (::getppid() != parentPid) return false;
  // SIGXCPU at the soft limit, SIGKILL a second later.
  const rlimit cpu{static_cast<rlim_t>(cpuSeconds), static_cast<rlim_t>(cpuSeconds + 1)};
  return ::setrlimit(RLIMIT_CPU, &cpu) == 0;
}

bool ConfineTexProcess(QProcess& process, const QString& pdflatex, const QString& folder, int timeLimitMs,
                       QString& message) {
  int ruleset = -1;
  if (const int version = TexSandboxCalls().Version(); version > 0) {
    QString why;
    ruleset = MakeRuleset(version, pdflatex, folder, why);
    if (ruleset < 0) {
      message = QStringLiteral("%1 (%2)").arg(QString::fromUtf8(kCannotConfineMessage), why);
      return false;
    }
  }
  // Closed with the process object, which holds the modifier.
  auto shared = std::shared_ptr<int>(new int(ruleset), [](int* fd) {
    if (*fd >= 0) ::close(*fd);
    delete fd;
  });
  const pid_t parent = ::getpid();
  const long cpuSeconds = timeLimitMs / 1000 + 2;
  // Runs in the child between fork and exec: system calls only.
  process.setChildProcessModifier([shared, parent, cpuSeconds] {
    ::setpgid(0, 0);
    if (!BindChildToParent(parent, cpuSeconds)) ::_exit(kCannotConfineExit);
    if (*shared < 0) return;
    // A run that was meant to be confined and is not must not run at all.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || TexSandboxCalls().RestrictSelf(*shared) != 0)
      ::_exit(kCannotConfineExit);
  });
  return true;
}

void KillTexProcessGroup(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
  process.kill();
}
