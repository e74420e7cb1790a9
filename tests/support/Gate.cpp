#include "Gate.h"

namespace testsupport {

Gate::~Gate() {
    open();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_ == 0; });
}

void Gate::pass() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.wait(lock, [this] { return open_ || admitted_ > 0; });
    if (!open_) --admitted_;
    --waiting_;
    changed_.notify_all();
}

void Gate::open() {
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    changed_.notify_all();
}

void Gate::admit(std::size_t n) {
    {
        std::lock_guard lock(mutex_);
        admitted_ += n;
    }
    changed_.notify_all();
}

std::size_t Gate::waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
}

}  // namespace testsupport
