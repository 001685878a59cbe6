#pragma once
// The editor module (quiltor-editor.so): the editor, with Qt and everything
// it loads, opened by the program only when the editor starts.
//
// The program looks for the module beside itself (the build tree) and then
// in the installed library folder relative to itself, so that an installed
// copy keeps working wherever its prefix was moved.

// The module's entry point: runs the editor and returns its exit status.
extern "C" int QuiltorEditorMain(int argc, char** argv);

// Its exported name.
inline constexpr const char* kEditorEntryPoint = "QuiltorEditorMain";

// Opens the module and runs the editor in it; returns the editor's exit
// status. A module that is missing, cannot be loaded or lacks its entry point
// is reported on stderr and gives 1; a build without the editor gives 2.
int StartEditorModule(int argc, char** argv);
