#pragma once

#include <cstdio>
#include <cstdlib>
#include <thread>

// Debug and sanitizer builds check that an object which belongs to one thread is only used
// there; in other builds the check costs nothing.
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BRISFOLD_THREAD_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BRISFOLD_THREAD_CHECKS 1
#endif
#endif

// Records the thread that owns an object: the one that made it, or the one that later takes it
// over with attachToCurrentThread(). verifyThread() aborts when called from any other thread.
class ThreadChecker {
  public:
#ifdef BRISFOLD_THREAD_CHECKS
    static constexpr bool kEnabled = true;
#else
    static constexpr bool kEnabled = false;
#endif

    ThreadChecker() : owner_(std::this_thread::get_id()) {}

    void attachToCurrentThread() { owner_ = std::this_thread::get_id(); }
    bool isCurrent() const { return owner_ == std::this_thread::get_id(); }

    void verifyThread(const char* what = "object") const {
        if (kEnabled && !isCurrent()) {
            std::fprintf(stderr, "ThreadChecker: %s used off its owning thread\n", what);
            std::abort();
        }
    }

  private:
    std::thread::id owner_;
};
