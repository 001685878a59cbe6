#pragma once
// The file system a TeX run may see. kpathsea's paranoid mode guards only
// \input, \openin and \openout, and not every way of naming a file there:
// "~/notes.tex" passes it, and pdfTeX's own primitives (\pdfobj file, for
// one) read any file by absolute name into the PDF. A table file from
// someone else could so copy the user's private files into a PDF the user
// then passes on. The kernel's Landlock confinement closes that: the run
// may read and execute only the system's programs and libraries and the TeX
// trees (the system's and the user's own), and may write only in its own
// folder.
#include <QString>
#include <memory>

class QProcess;

// Whether this kernel can confine a run; without Landlock, runs rely on
// kpathsea's paranoid mode alone.
bool TexSandboxAvailable();

// Sets process up to start in a process group of its own (so that a run
// stopped at its time limit takes every program it started with it) and,
// where the kernel allows, confined to the TeX trees with write access to
// folder alone. Call before start(); the process may be started once.
void ConfineTexProcess(QProcess& process, const QString& pdflatex, const QString& folder);

// Kills the run and everything it started: the whole process group. Call
// while the process has not yet been waited for, so that its group id is
// still its own.
void KillTexProcessGroup(QProcess& process);
