#pragma once
// The headless converter: turns .qtor, .csv, .txt and LaTeX (.tex) files into
// LaTeX or into each other from the command line, for build pipelines. Plain
// C++: it needs no display and creates no window.
//
//   quiltor --latex IN [-o OUT]      the LaTeX of IN, to OUT or stdout
//   quiltor --convert IN OUT         by the extensions .qtor .csv .txt .tex
//   quiltor --render IN -o OUT       IN typeset by LaTeX, to OUT.pdf or OUT.png
//   --dpi N                          the PNG's resolution (default 300)
//   --from TYPE                      IN's type (csv, txt, qtor, tex) whatever
//                                    its name; IN '-' is standard input
//   --table N                        the N-th table of LaTeX input (1-based);
//                                    converting other input to an existing
//                                    .tex file: the table replaced in place
//   --keep-format                    the new texts in that table's own look
//   --delimiters CHARS, --merge      how text input is split into cells
//   --quoted                         text input has fields in double quotes
//   --escape                         LaTeX specials in text input escaped
//   --style classic|booktabs         the rule style of the table written
//   --align                          LaTeX code with its "&" lined up
//   --allow-truncation               text cut by a NUL byte is no failure
//   -h/--help, -v/--version
//
// Options follow the usual conventions (getopt_long): anywhere on the line,
// "--opt=value", "--" ends them. Exit status 0 on success, 1 when a file
// cannot be read or written or text input was cut by a NUL byte (the
// message on stderr), 2 on bad usage.

// True when the command line asks for the converter rather than the editor:
// any argument that starts with '-' (a lone "-", standard input, too).
bool IsConverterCommandLine(int argc, char* argv[]);

// Runs the converter and returns the exit status.
int RunConverter(int argc, char* argv[]);

// --render runs TeX and Qt's PDF module, which live in the editor module;
// the program sets this hook at start, so that the converter itself loads
// no Qt. The hook typesets the document tex and writes the result to out
// (.pdf, or .png at dpi dots per inch), giving TeX and the drawing of the
// PNG timeoutSeconds each. It returns 0 on success; else 1 with
// TeX's log in log when LaTeX failed, or why in message.
#include <string>
using TTypesetRenderer = int (*)(const std::string& tex, const std::string& out, int dpi, int timeoutSeconds,
                                 std::string& log, std::string& message);
void SetTypesetRenderer(TTypesetRenderer renderer);
