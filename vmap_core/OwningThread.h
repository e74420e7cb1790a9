#pragma once

#include <thread>

// Debug and sanitizer builds check that an object's one-thread calls come from its thread.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VMAP_CORE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VMAP_CORE_SANITIZED 1
#endif

// The thread that made an object. verifyThread stops the process, naming the call, when another
// thread makes a call that belongs to the owner: such a call races with the owner's own and would
// otherwise show up only as corrupted state much later. Compiled out of release builds.
class OwningThread {
  public:
#if !defined(NDEBUG) || defined(VMAP_CORE_SANITIZED)
    static constexpr bool kChecked = true;
#else
    static constexpr bool kChecked = false;
#endif

    OwningThread() : owner_(std::this_thread::get_id()) {}

    void verifyThread(const char* call) const {
        if constexpr (kChecked) {
            if (std::this_thread::get_id() != owner_) fail(call);
        }
    }

  private:
    [[noreturn]] static void fail(const char* call);

    const std::thread::id owner_;
};
