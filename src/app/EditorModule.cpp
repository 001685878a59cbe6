#include "app/EditorModule.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

[[maybe_unused]] int CannotStart(const std::string& why) {
  std::fprintf(stderr, "quiltor: cannot start the editor: %s\n", why.c_str());
  return 1;
}

// The folder of the running program itself, whatever argv[0] says and
// whichever folder it was started from; empty when the system cannot say.
[[maybe_unused]] std::string ProgramFolder(int& error) {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) {
    error = n < 0 ? errno : ENAMETOOLONG;
    return "";
  }
  path.resize(static_cast<size_t>(n));
  return path.substr(0, path.find_last_of('/'));
}

[[maybe_unused]] bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

namespace {

// Opens the module and finds symbol in it; null with the reason in why.
void* EditorModuleSymbol(const char* symbol, std::string& why) {
#ifndef QUILTOR_EDITOR_MODULE
  (void)symbol;
  why = "this build has no editor module";
  return nullptr;
#else
  int error = 0;
  const std::string folder = ProgramFolder(error);
  if (folder.empty()) {
    why = std::string("the program's own folder is unknown (/proc/self/exe: ") + std::strerror(error) + ")";
    return nullptr;
  }
  // QUILTOR_EDITOR_MODULE_DIR: the installed module's folder, relative to
  // the installed program's folder unless absolute.
  const std::string installed = (std::filesystem::path(folder) / QUILTOR_EDITOR_MODULE_DIR).lexically_normal();
  std::string module = folder + "/" + QUILTOR_EDITOR_MODULE;
  if (!IsFile(module)) module = installed + "/" + QUILTOR_EDITOR_MODULE;
  if (!IsFile(module)) {
    why = std::string(QUILTOR_EDITOR_MODULE) + " is in neither " + folder + " nor " + installed;
    return nullptr;
  }
  // Every symbol now: a module that does not fit this system fails here,
  // with the loader's reason, rather than part way through the editor.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    why = ::dlerror();
    return nullptr;
  }
  void* entry = ::dlsym(handle, symbol);
  if (!entry) why = module + " has no entry point " + symbol;
  return entry;
#endif
}

[[maybe_unused]] void AppendTo(void* target, const char* data, size_t size) { static_cast<std::string*>(target)->append(data, size); }

}  // namespace

int StartEditorModule(int argc, char** argv) {
#ifndef QUILTOR_EDITOR_MODULE
  (void)argc;
  (void)argv;
  std::fputs("quiltor: this build has no editor; see quiltor --help for the converter\n", stderr);
  return 2;
#else
  std::string why;
  void* entry = EditorModuleSymbol(kEditorEntryPoint, why);
  if (!entry) return CannotStart(why);
  return reinterpret_cast<decltype(&QuiltorEditorMain)>(entry)(argc, argv);
#endif
}

int RenderWithEditorModule(const std::string& tex, const std::string& out, int dpi, int timeoutSeconds,
                           std::string& log, std::string& message) {
  std::string why;
  void* entry = EditorModuleSymbol(kRenderEntryPoint, why);
  if (!entry) {
    message = "Cannot render: " + why;
    return 1;
  }
  return reinterpret_cast<decltype(&QuiltorRenderTypeset)>(entry)(tex.data(), tex.size(), out.c_str(), dpi,
                                                                 timeoutSeconds, AppendTo, &log, &message);
}

int RasteriseChildWithEditorModule(int argc, char** argv) {
  std::string why;
  void* entry = EditorModuleSymbol(kRasteriseChildEntryPoint, why);
  if (!entry) {
    std::fprintf(stderr, "quiltor: %s\n", why.c_str());
    return 1;
  }
  return reinterpret_cast<decltype(&QuiltorRasteriseChild)>(entry)(argc, argv);
}
