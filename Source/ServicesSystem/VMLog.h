#pragma once

#include <cstdarg>
#include <cstdio>

// The map kit's log line: one formatted line on standard error.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void
VMLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}
