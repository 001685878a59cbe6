#pragma once
#include <cstddef>
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

// The module's second entry point, for the converter's --render: typesets
// the LaTeX document tex (texSize bytes) and writes the cropped result to
// out, a .pdf or a .png at dpi; TeX, and the drawing of the PNG, each get
// timeoutSeconds. Returns 0 on success; else 1, with TeX's log
// handed to append(log, ...) when LaTeX failed, or why to
// append(message, ...). Plain C: no C++ object crosses between the program
// and the module.
extern "C" int QuiltorRenderTypeset(const char* tex, size_t texSize, const char* out, int dpi, int timeoutSeconds,
                                    void (*append)(void* target, const char* data, size_t size), void* log,
                                    void* message);
inline constexpr const char* kRenderEntryPoint = "QuiltorRenderTypeset";

// The module's third entry point: the child process that draws a PDF page
// for the typeset preview and --render, started as the program itself with
// kRasteriseChildOption (the same text as TypesetRunner.h's kRasteriseChildArgument,
// which this Qt-free side cannot include).
extern "C" int QuiltorRasteriseChild(int argc, char** argv);
inline constexpr const char* kRasteriseChildEntryPoint = "QuiltorRasteriseChild";
inline constexpr const char* kRasteriseChildOption = "--quiltor-rasterise-child";
int RasteriseChildWithEditorModule(int argc, char** argv);

// Opens the module and renders through it: the converter's typesetting hook.
#include <string>
int RenderWithEditorModule(const std::string& tex, const std::string& out, int dpi, int timeoutSeconds,
                           std::string& log, std::string& message);
