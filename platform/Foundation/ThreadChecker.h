#pragma once

#include <source_location>
#include <thread>

// The call site a failed check names. Clang 14 with this standard library has no
// std::source_location (the fuzz preset builds with it), so it gets one of the same shape.
#if defined(__cpp_lib_source_location)
using ThreadCallSite = std::source_location;
#else
struct ThreadCallSite {
    static constexpr ThreadCallSite current(const char* function = __builtin_FUNCTION(),
                                            const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) noexcept {
        return {function, file, line};
    }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr unsigned line() const noexcept { return line_; }

    const char* function_;
    const char* file_;
    unsigned line_;
};
#endif

// Debug and sanitizer builds check that an object belonging to one thread (a run loop, a view
// tree) is changed only there; other builds compile the checks away. The checker's members are
// there in every build, so that an object holding one has the same layout in a program built
// without NDEBUG as in the kit built with it.
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BRISFOLD_THREAD_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BRISFOLD_THREAD_CHECKS 1
#endif
#endif

// Remembers the thread that owns an object; verifyThread() aborts with a message naming the
// kind of object, the call and both threads when it is called on any other thread.
class ThreadChecker {
  public:
    explicit ThreadChecker(const char* kind, std::thread::id owner = std::this_thread::get_id())
        : kind_(kind), owner_(owner) {}

    // Hands the object over to the calling thread (an object made on one thread and then run by
    // another, such as a loader's network thread).
    void attachToCurrentThread() { owner_ = std::this_thread::get_id(); }

    void verifyThread([[maybe_unused]] ThreadCallSite call = ThreadCallSite::current()) const {
#ifdef BRISFOLD_THREAD_CHECKS
        if (std::this_thread::get_id() != owner_) fail(call);
#endif
    }

  private:
    [[noreturn]] void fail(const ThreadCallSite& call) const;

    const char* kind_;
    std::thread::id owner_;
};
