#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep. A failure aborts, so that libFuzzer saves the input and the
// replay test fails on it.
#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                                  \
            std::abort();                                                              \
        }                                                                              \
    } while (false)
