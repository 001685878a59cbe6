// The one symbol the editor module exports (the rest is hidden at link
// time): the program opens the module and calls this to run the editor.
#include "app/EditorModule.h"
#include "forms/mainwindow/AppStart.h"

extern "C" __attribute__((visibility("default"))) int QuiltorEditorMain(int argc, char** argv) {
  return RunEditor(argc, argv);
}
