#pragma once

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>

namespace testsupport {

// The disk under the writes to files below a directory, for the life of the object: from the
// n-th such write on, each fails with the error. From the first, with ENOSPC: a full disk. From
// a later one: a process killed during that write, which writes nothing more.
class FailingWrites {
  public:
    explicit FailingWrites(const std::filesystem::path& under, int from = 1, int error = ENOSPC);
    ~FailingWrites();
    FailingWrites(const FailingWrites&) = delete;
    FailingWrites& operator=(const FailingWrites&) = delete;

    // The writes below the directory so far, the failed ones included.
    int writes() const { return *writes_; }

  private:
    std::shared_ptr<std::atomic<int>> writes_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace testsupport
