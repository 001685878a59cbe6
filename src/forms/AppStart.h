#pragma once
// The editor's life: creates the application, the document and the windows
// in order, runs the event loop until the main window closes, and tears
// everything down in reverse order. Returns the program's exit code.
int RunEditor(int argc, char** argv);
