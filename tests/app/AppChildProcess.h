#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A program run as a child of the test: its arguments, environment, working directory and (when
// the test runs as root) user chosen, its stdout and stderr collected. Waits have deadlines; a
// child still running when this object goes is killed and reaped.
class ChildProcess {
  public:
    struct Options {
        std::vector<std::string> args;           // args[0] is the program
        std::map<std::string, std::string> env;  // set in the child
        std::vector<std::string> unsetEnv;       // removed in the child
        std::string workingDirectory;            // empty: the test's
        std::optional<uid_t> user;               // run as this user and its group (root only)
    };
    static std::unique_ptr<ChildProcess> start(const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status (128 + the signal when a signal ended it); empty when the child is still
    // running at the deadline.
    std::optional<int> wait(double seconds);
    // Collects output until stderr contains the text or the deadline passes.
    bool waitForStderr(const std::string& text, double seconds);
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    ChildProcess() = default;
    // Reads what is ready on the output pipes, waiting at most timeoutMs for something.
    void collect(int timeoutMs, int pidfd = -1);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool errEnded_ = false;
    std::optional<int> status_;
    std::string out_;
    std::string err_;
};

// Processes whose parent is pid.
std::vector<pid_t> childrenOf(pid_t pid);
// Whether the process no longer exists (not even as a zombie).
bool processIsGone(pid_t pid);
// Waits until the process has ended; reaps it when it is a child of the test.
bool waitForProcessEnd(pid_t pid, double seconds);
