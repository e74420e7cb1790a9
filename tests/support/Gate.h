#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace testsupport {

// Holds threads in pass() until the test lets them through, without sleeping. A gate that goes
// opens first, so a test that fails early leaves no thread waiting on it.
class Gate {
  public:
    Gate() = default;
    ~Gate();
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    void pass();
    // Lets everyone through, now and later.
    void open();
    // Lets the next n through.
    void admit(std::size_t n);
    // How many are held in pass() now.
    std::size_t waiting();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    std::size_t admitted_ = 0;
    std::size_t waiting_ = 0;
};

}  // namespace testsupport
