#pragma once
// The headless converter: turns .qtor, .csv and .txt files into LaTeX or into
// each other from the command line, for build pipelines. Plain C++: it needs
// no display and creates no window.
//
//   quiltor --latex FILE [-o OUT]    the LaTeX of FILE, to OUT or stdout
//   quiltor --convert IN OUT         by the extensions .qtor .csv .txt .tex
//   --delimiters CHARS, --merge      how text input is split into cells
//   --help, --version
//
// Exit status 0 on success, 1 when a file cannot be read or written (the
// message on stderr), 2 on bad usage.

// True when the command line asks for the converter rather than the editor:
// any argument that starts with '-'.
bool IsConverterCommandLine(int argc, char* argv[]);

// Runs the converter and returns the exit status.
int RunConverter(int argc, char* argv[]);
