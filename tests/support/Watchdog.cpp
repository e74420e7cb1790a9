#include "Watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace testsupport {

Watchdog::Watchdog(std::string what, CFTimeInterval seconds) {
    thread_ = std::thread([this, what = std::move(what), seconds] {
        std::unique_lock lock(mutex_);
        if (disarmed_.wait_for(lock, std::chrono::duration<double>(seconds),
                               [this] { return done_; })) {
            return;
        }
        std::fprintf(stderr, "still waiting after %.0f s: %s\n", seconds, what.c_str());
        std::abort();
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    disarmed_.notify_all();
    thread_.join();
}

}  // namespace testsupport
