// The test server's library comes from the distribution, built without the thread sanitizer:
// its memory accesses reach the sanitizer only through intercepted calls such as memcmp, without
// the synchronisation around them, which shows up as races inside the library. Our code is
// checked in full; only calls made from inside that library are ignored.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n";
}
