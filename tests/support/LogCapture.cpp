#include "LogCapture.h"

#include <algorithm>

namespace testsupport {

LogCapture::LogCapture() {
    previous_ = NSLogSetSink([this](const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    });
}

LogCapture::~LogCapture() { NSLogSetSink(previous_); }

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogCapture::contains(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

}  // namespace testsupport
