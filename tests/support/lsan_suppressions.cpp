// Leak checking under AddressSanitizer: fontconfig keeps the configuration it parses
// for the life of the process, which LeakSanitizer would report at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}
