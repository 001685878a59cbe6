#pragma once
// The file system a TeX run may see, and the bounds of its life.
//
// kpathsea's paranoid mode guards only \input, \openin and \openout, and not
// every way of naming a file there: "~/notes.tex" passes it, and pdfTeX's own
// primitives (\pdfobj file, for one) read any file by absolute name into the
// PDF. A table file from someone else could so copy the user's private files
// into a PDF the user then passes on. The kernel's Landlock confinement
// closes that: the run may read and execute only the system's program and
// library folders, the folder of the TeX programs themselves and the TeX
// trees kpathsea searches, and may write only in its own folder. None of
// these is ever the home folder or a folder above it, whatever PATH holds: a
// pdflatex found through ~/bin is followed to the installation it links to.
//
// Every run also lives in a process group of its own (stopped at the time
// limit with everything it started), dies with the process that started it,
// and has a CPU time limit of its own in case both of those miss it.
#include <sys/types.h>

#include <QString>
#include <QStringList>

class QProcess;

// Whether this kernel can confine a run; without Landlock, runs rely on
// kpathsea's paranoid mode alone.
bool TexSandboxAvailable();

// The folders a run of pdflatex (as found on PATH) may read: the system's
// program and library folders, the folder holding the real pdflatex (links
// followed) and the TeX trees its kpsewhich names. Never home or above it.
QStringList TexReadableFolders(const QString& pdflatex);

// The choice behind TexReadableFolders, from what it found: every candidate
// that exists, with links resolved, except the root, home and any folder
// that holds home.
QStringList ChooseReadableFolders(const QStringList& candidates, const QString& home);

// Sets process up to start in a process group of its own, to be killed when
// this process dies, with a CPU time limit a little above timeLimitMs and,
// where the kernel allows, confined to the readable folders with write
// access to folder alone. Call before start(); the process may be started
// once. False, with the reason in message, when the kernel has Landlock but
// the confinement cannot be built: the run must not start then.
bool ConfineTexProcess(QProcess& process, const QString& pdflatex, const QString& folder, int timeLimitMs,
                       QString& message);

// The exit status of a run whose confinement failed in the child, before
// TeX was started.
inline constexpr int kCannotConfineExit = 127;
// What the user is told then.
extern const char* const kCannotConfineMessage;

// Kills the run and everything it started: the whole process group. Call
// while the process has not yet been waited for, so that its group id is
// still its own.
void KillTexProcessGroup(QProcess& process);

// Sets up the calling child (between fork and exec, or a forked helper) to
// die with parentPid and to have cpuSeconds of processor time. Async-signal
// safe. False when the parent has already gone.
bool BindChildToParent(pid_t parentPid, long cpuSeconds);

// The kernel calls the sandbox makes, replaceable so that tests can make
// each one fail on its own. The defaults are the system calls.
struct TTexSandboxCalls {
  int (*Version)();
  long (*AddRule)(int ruleset, const void* pathBeneathAttr);
  long (*RestrictSelf)(int ruleset);
};
TTexSandboxCalls& TexSandboxCalls();
