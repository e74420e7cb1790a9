#include "ThreadChecker.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

void ThreadChecker::fail(const ThreadCallSite& call) const {
    std::ostringstream message;
    message << kind_ << " used off its thread: " << call.function_name() << " (" << call.file_name()
            << ':' << call.line() << ") called on thread " << std::this_thread::get_id()
            << ", but the " << kind_ << " belongs to thread " << owner_ << '\n';
    std::fputs(message.str().c_str(), stderr);
    std::abort();
}
