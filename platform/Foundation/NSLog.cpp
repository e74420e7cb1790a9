#include "NSLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {
std::mutex gSinkMutex;
// Never destroyed: objects torn down at exit may still log.
NSLogSink& sinkSlot() {
    static NSLogSink* sink = new NSLogSink;
    return *sink;
}

void writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}
}  // namespace

std::string NSStringWithFormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(needed));
    return out;
}

std::string NSStringWithFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = NSStringWithFormatV(format, args);
    va_end(args);
    return out;
}

void NSLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string message = NSStringWithFormatV(format, args);
    va_end(args);

    NSLogSink sink;
    {
        std::lock_guard lock(gSinkMutex);
        sink = sinkSlot();
    }
    if (sink) {
        sink(message);
        return;
    }

    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line =
        NSStringWithFormat("%s.%03lld %s[%d:%ld] ", stamp, static_cast<long long>(millis),
                           program_invocation_short_name, static_cast<int>(getpid()),
                           static_cast<long>(syscall(SYS_gettid)));
    line += message;
    if (line.empty() || line.back() != '\n') line += '\n';
    writeAll(STDERR_FILENO, line);
}

NSLogSink NSLogSetSink(NSLogSink sink) {
    std::lock_guard lock(gSinkMutex);
    NSLogSink previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}
