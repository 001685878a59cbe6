// Start-up: a command line with options is the headless converter, which
// needs no display and creates no window; anything else (a file to open, or
// nothing) starts the editor.
#include <csignal>
#include <cstdio>

#include "document/Converter.h"
#ifdef QUILTOR_WITH_EDITOR
#include "forms/AppStart.h"
#endif

int main(int argc, char* argv[]) {
  // A file size limit must make a write fail with a message, never kill the
  // process: for the editor that would lose the unsaved edits, for the
  // converter it would end without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  if (IsConverterCommandLine(argc, argv)) return RunConverter(argc, argv);
#ifdef QUILTOR_WITH_EDITOR
  return RunEditor(argc, argv);
#else
  std::fputs("quiltor: this build has no editor; see quiltor --help for the converter\n", stderr);
  return 2;
#endif
}
