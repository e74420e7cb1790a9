// Fontconfig keeps the caches of the system configuration that pango initialises until the
// process ends, by design; the leak checker of sanitizer builds is told they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
