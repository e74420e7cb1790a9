#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

extern char** environ;

namespace testsupport {

namespace {

int millisecondsUntil(CFTimeInterval deadline) {
    const double left = std::max(0.0, deadline - Clock::realNow());
    return static_cast<int>(std::ceil(std::min(left, 3600.0) * 1000));
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv) {
    int fds[2];
    if (argv.empty() || ::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
    if (pid_ > 0) pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
    // A child still running here was given up on: a short grace to end its own children, then
    // it is killed.
    if (started() && !exitCode_) stop(1.0);
    if (pidFd_ >= 0) ::close(pidFd_);
    if (out_ >= 0) ::close(out_);
}

std::optional<std::string> ChildProcess::readLine(CFTimeInterval seconds) {
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    for (;;) {
        const auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        pollfd readable{out_, POLLIN, 0};
        if (out_ < 0 || ::poll(&readable, 1, millisecondsUntil(deadline)) <= 0) return {};
        char buffer[256];
        const auto n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return {};
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

std::optional<int> ChildProcess::waitForExit(CFTimeInterval seconds) {
    if (exitCode_ || !started()) return exitCode_;
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) return reap(status);
        if (done < 0) {  // not a child of ours any more: nothing is left to wait for
            exitCode_ = -1;
            return exitCode_;
        }
        if (Clock::realNow() >= deadline) return {};
        // The process descriptor turns readable when the child ends; without one, poll briefly.
        pollfd ended{pidFd_, POLLIN, 0};
        ::poll(&ended, pidFd_ >= 0 ? 1 : 0, pidFd_ >= 0 ? millisecondsUntil(deadline) : 10);
    }
}

int ChildProcess::stop(CFTimeInterval grace) {
    if (exitCode_ || !started()) return exitCode_.value_or(-1);
    ::kill(pid_, SIGTERM);
    if (const auto code = waitForExit(grace)) return *code;
    return kill();
}

int ChildProcess::kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    return reap(status);
}

int ChildProcess::reap(int status) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return *exitCode_;
}

}  // namespace testsupport
