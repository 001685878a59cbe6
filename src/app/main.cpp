// Start-up: a command line with options is the headless converter, which
// needs no display and creates no window; anything else (a file to open, or
// nothing) starts the editor.
//
// The converter is linked in; the editor, with Qt and everything it loads,
// lives in a module of its own that is opened only when the editor starts.
// A pipeline that converts thousands of files so never pays for loading Qt.
#include <csignal>
#include <cstring>

#include "app/EditorModule.h"
#include "document/Converter.h"

int main(int argc, char* argv[]) {
  // A file size limit must make a write fail with a message, never kill the
  // process: for the editor that would lose the unsaved edits, for the
  // converter it would end without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc == 2 && std::strcmp(argv[1], kRasteriseChildOption) == 0) return RasteriseChildWithEditorModule(argc, argv);
  if (IsConverterCommandLine(argc, argv)) {
    // Only --render reaches the editor module, and only when it runs.
    SetTypesetRenderer(&RenderWithEditorModule);
    return RunConverter(argc, argv);
  }
  return StartEditorModule(argc, argv);
}
