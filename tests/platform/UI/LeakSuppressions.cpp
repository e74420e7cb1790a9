// Fontconfig keeps the patterns and caches it builds for text layout until the process ends and
// never frees them; the leak checker would blame every test that measures or draws text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
