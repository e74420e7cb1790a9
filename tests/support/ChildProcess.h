#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Deadline.h"

namespace testsupport {

// A program run as a child of the test, its standard output (and, when asked, its standard
// error) on pipes. The child never outlives the object: one that does not stop when asked is
// killed and reaped, and one whose test process dies is killed by the kernel, so no test leaves
// a process behind however it ends. The kernel watches the thread that started the child: start
// children from a thread that lives as long as they should.
class ChildProcess {
  public:
    struct Options {
        std::vector<std::string> args;           // args[0] is the program's path
        std::map<std::string, std::string> env;  // set in the child
        std::vector<std::string> unsetEnv;       // removed in the child
        std::string workingDirectory;            // empty: the test's
        std::optional<uid_t> user;               // run as this user and its group (root only)
        bool captureStderr = false;              // otherwise the child writes to the test's
        int stderrFd = -1;  // uncaptured, the child's standard error instead of the test's
    };

    // Whether the program started shows in started(): a program that cannot be run does not.
    explicit ChildProcess(std::vector<std::string> args);
    explicit ChildProcess(Options options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // True once the child had to be killed because it did not stop when asked.
    bool killed() const { return killed_; }

    // The next line of standard output, without its newline; nothing when the output ends or the
    // deadline passes first.
    std::optional<std::string> readLine(CFTimeInterval seconds = kPatience);
    // Collects output until standard error holds the text; false when it ends or the deadline
    // passes first.
    bool waitForStderr(const std::string& text, CFTimeInterval seconds = kPatience);
    // Everything collected so far, lines taken by readLine() included.
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

    // The exit status once the child ended (128 + the signal when a signal ended it), or nothing
    // when it is still running at the deadline.
    std::optional<int> waitForExit(CFTimeInterval seconds = kPatience);
    // Sends SIGTERM and waits up to the grace period; a child still running then is killed and
    // reaped. Returns the exit status as waitForExit() gives it.
    int stop(CFTimeInterval grace = kPatience);

  private:
    // Reads what the pipes hold, waiting until something comes, the child ends or the deadline.
    void collect(CFTimeInterval deadline);
    int kill();
    int reap(int status);

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    size_t lineStart_ = 0;
    bool outEnded_ = false;
    bool errEnded_ = false;
    bool killed_ = false;
    std::string out_;
    std::string err_;
    std::optional<int> status_;
};

// Runs one disabled test of this test program ("Suite.DISABLED_Name") in a child process of its
// own and waits up to the deadline for its end: how a test tries what a process makes once
// (shared objects, their first-use set-up) from a fresh start, however often it is repeated in
// this one. Succeeds when that test ran and passed; otherwise carries the child's output.
::testing::AssertionResult passesInFreshProcess(const std::string& test,
                                                CFTimeInterval seconds = 10 * kPatience);

// Processes whose parent is pid.
std::vector<pid_t> childrenOf(pid_t pid);
// Whether the process no longer exists (not even as a zombie).
bool processIsGone(pid_t pid);
// Waits until the process has ended; reaps it when it is a child of the test.
bool waitForProcessEnd(pid_t pid, CFTimeInterval seconds = kPatience);
// For a failure's message: each thread of a process with what it waits in and the signals it has
// pending and blocked, and the process's shared pending signals.
std::string threadStates(pid_t pid);

}  // namespace testsupport
