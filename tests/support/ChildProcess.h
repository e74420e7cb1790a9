#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "Deadline.h"

namespace testsupport {

// A program run as a child with its standard output on a pipe. The child never outlives the
// object: one that does not stop when asked is killed and reaped, so no test leaves a process
// behind however it ends.
class ChildProcess {
  public:
    // argv[0] is the program's path. Whether it started shows in started().
    explicit ChildProcess(std::vector<std::string> argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // The next line of standard output, without its newline; nothing when the output ends or the
    // deadline passes first.
    std::optional<std::string> readLine(CFTimeInterval seconds = kPatience);

    // The exit code once the child ended (-1 when a signal ended it), or nothing when it is still
    // running at the deadline.
    std::optional<int> waitForExit(CFTimeInterval seconds = kPatience);
    // Sends SIGTERM and waits up to the grace period; a child still running then is killed.
    // Returns the exit code, -1 when a signal ended it.
    int stop(CFTimeInterval grace = kPatience);

  private:
    int reap(int status);
    int kill();

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int out_ = -1;
    std::string pending_;
    std::optional<int> exitCode_;
};

}  // namespace testsupport
