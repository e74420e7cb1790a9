#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSLog.h"

namespace testsupport {

// Collects what NSLog writes, from any thread, while the object lives; the previous sink is
// restored when it goes.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    // Whether some line holds the text.
    bool contains(std::string_view text) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    NSLogSink previous_;
};

}  // namespace testsupport
