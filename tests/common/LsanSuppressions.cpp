// fontconfig keeps its caches for the life of the process and never frees
// them; LeakSanitizer would report them at exit of every test that lays out
// text. Linked into every test program.
extern "C" __attribute__((weak, used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
