// Start-up: a command line with options is the headless converter, which
// needs no display and creates no window; anything else (a file to open, or
// nothing) starts the editor.
#include "document/Converter.h"
#include "forms/AppStart.h"

int main(int argc, char* argv[]) {
  if (IsConverterCommandLine(argc, argv)) return RunConverter(argc, argv);
  return RunEditor(argc, argv);
}
