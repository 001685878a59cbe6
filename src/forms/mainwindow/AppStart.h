#pragma once
// The editor's life: creates the application, the document and the windows
// in order, runs the event loop until the main window closes, and tears
// everything down in reverse order. Returns the program's exit code.
int RunEditor(int argc, char** argv);

// The program's title for its windows and message boxes, and the name its
// settings and paths go by. Needs the application object.
void NameApplication();
