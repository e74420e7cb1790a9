#include "OwningThread.h"

#include <cstdio>
#include <cstdlib>

void OwningThread::fail(const char* call) {
    std::fprintf(stderr, "%s called from a thread that does not own the map engine\n", call);
    std::abort();
}
