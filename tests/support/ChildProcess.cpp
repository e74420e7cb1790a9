#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

extern char** environ;

namespace testsupport {

namespace {

int millisecondsUntil(CFTimeInterval deadline) {
    const double left = std::max(0.0, deadline - Clock::realNow());
    return static_cast<int>(std::ceil(std::min(left, 3600.0) * 1000));
}

// Appends what the descriptor holds now; true at the end of the stream. A bounded number of
// reads, so that a child that writes without pause cannot keep the caller here.
bool drain(int fd, std::string& into) {
    char buffer[4096];
    for (int reads = 0; reads < 64; ++reads) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) return errno != EAGAIN && errno != EINTR;
        into.append(buffer, static_cast<size_t>(n));
    }
    return false;
}

std::vector<std::string> environmentFor(const ChildProcess::Options& options) {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool dropped = options.env.count(name) > 0 ||
                             std::find(options.unsetEnv.begin(), options.unsetEnv.end(), name) !=
                                 options.unsetEnv.end();
        if (!dropped) entries.push_back(entry);
    }
    for (const auto& [name, value] : options.env) entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// In the child between fork and exec only async-signal-safe calls: on failure the errno goes to
// the parent through the status pipe, which exec closes when it succeeds.
[[noreturn]] void becomeChild(const ChildProcess::Options& options, char** argv, char** envp,
                              int out, int err, int status, pid_t parent) {
    auto fail = [status] {
        const int error = errno;
        (void)!::write(status, &error, sizeof error);
        ::_exit(127);
    };
    if (::dup2(out, STDOUT_FILENO) < 0) fail();
    if (err >= 0 && ::dup2(err, STDERR_FILENO) < 0) fail();
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) fail();
    if (options.user) {
        const gid_t group = *options.user;
        if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(*options.user) != 0)
            fail();
    }
    // A test process that dies without its destructors takes the child along. Set after the
    // change of user, which clears it; a parent already gone is caught by the second check.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) fail();
    ::execve(argv[0], argv, envp);
    fail();
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> args)
    : ChildProcess([&] {
          Options options;
          options.args = std::move(args);
          return options;
      }()) {}

ChildProcess::ChildProcess(Options options) {
    if (options.args.empty()) return;
    int out[2] = {-1, -1}, err[2] = {-1, -1}, status[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {out[0], out[1], err[0], err[1], status[0], status[1]})
            if (fd >= 0) ::close(fd);
    };
    if (::pipe2(out, O_CLOEXEC) != 0 || (options.captureStderr && ::pipe2(err, O_CLOEXEC) != 0) ||
        ::pipe2(status, O_CLOEXEC) != 0) {
        closeAll();
        return;
    }
    // Everything the child needs is built before the fork.
    std::vector<std::string> environment = environmentFor(options);
    std::vector<char*> envp = pointersTo(environment);
    std::vector<std::string> args = options.args;
    std::vector<char*> argv = pointersTo(args);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0)
        becomeChild(options, argv.data(), envp.data(), out[1],
                    options.captureStderr ? err[1] : options.stderrFd, status[1], parent);
    ::close(std::exchange(status[1], -1));
    int childError = 0;
    ssize_t got;
    while ((got = ::read(status[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    if (pid < 0 || got > 0) {
        if (pid > 0) {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        closeAll();
        return;
    }
    pid_ = pid;
    outFd_ = std::exchange(out[0], -1);
    errFd_ = std::exchange(err[0], -1);
    errEnded_ = errFd_ < 0;
    closeAll();
    ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
    if (errFd_ >= 0) ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
    // A child still running here was given up on: a short grace to end its own children, then
    // it is killed.
    if (started() && !status_) stop(1.0);
    for (int fd : {pidFd_, outFd_, errFd_})
        if (fd >= 0) ::close(fd);
}

void ChildProcess::collect(CFTimeInterval deadline) {
    pollfd fds[3];
    nfds_t count = 0;
    if (!outEnded_) fds[count++] = {outFd_, POLLIN, 0};
    if (!errEnded_) fds[count++] = {errFd_, POLLIN, 0};
    // Readable once the child has ended; without a descriptor, look again shortly.
    const bool watchEnd = !status_ && pidFd_ >= 0;
    if (watchEnd) fds[count++] = {pidFd_, POLLIN, 0};
    const int timeout = !status_ && pidFd_ < 0 ? std::min(10, millisecondsUntil(deadline))
                                               : millisecondsUntil(deadline);
    if (::poll(fds, count, timeout) < 0 && errno != EINTR) return;
    if (!outEnded_) outEnded_ = drain(outFd_, out_);
    if (!errEnded_) errEnded_ = drain(errFd_, err_);
    if (!status_) {
        int raw = 0;
        const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) reap(raw);
        if (done < 0 && errno == ECHILD) status_ = -1;  // reaped elsewhere: nothing to wait for
    }
}

std::optional<std::string> ChildProcess::readLine(CFTimeInterval seconds) {
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    for (;;) {
        const auto newline = out_.find('\n', lineStart_);
        if (newline != std::string::npos) {
            std::string line = out_.substr(lineStart_, newline - lineStart_);
            lineStart_ = newline + 1;
            return line;
        }
        if (!started() || outEnded_ || Clock::realNow() >= deadline) return {};
        collect(deadline);
    }
}

bool ChildProcess::waitForStderr(const std::string& text, CFTimeInterval seconds) {
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    while (err_.find(text) == std::string::npos) {
        if (!started() || errEnded_ || Clock::realNow() >= deadline) return false;
        collect(deadline);
    }
    return true;
}

std::optional<int> ChildProcess::waitForExit(CFTimeInterval seconds) {
    if (!started()) return {};
    const CFTimeInterval deadline = Clock::realNow() + seconds;
    while (!status_) {
        // Output is collected meanwhile, so that a child blocked on a full pipe can end.
        collect(deadline);
        if (!status_ && Clock::realNow() >= deadline) return {};
    }
    // What the child wrote just before it ended; a grandchild may hold the pipes open, so only
    // what is there now.
    if (!outEnded_) outEnded_ = drain(outFd_, out_);
    if (!errEnded_) errEnded_ = drain(errFd_, err_);
    return status_;
}

int ChildProcess::stop(CFTimeInterval grace) {
    if (status_ || !started()) return status_.value_or(-1);
    ::kill(pid_, SIGTERM);
    if (const auto status = waitForExit(grace)) return *status;
    return kill();
}

int ChildProcess::kill() {
    ::kill(pid_, SIGKILL);
    killed_ = true;
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    return reap(raw);
}

int ChildProcess::reap(int raw) {
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return *status_;
}

::testing::AssertionResult passesInFreshProcess(const std::string& test, CFTimeInterval seconds) {
    ChildProcess::Options options;
    options.args = {std::filesystem::read_symlink("/proc/self/exe").string(),
                    "--gtest_also_run_disabled_tests", "--gtest_filter=" + test};
    options.captureStderr = true;
    ChildProcess child(options);
    if (!child.started()) return ::testing::AssertionFailure() << "the test program did not start";
    const auto status = child.waitForExit(seconds);
    // A filter that names no test passes too, with none run.
    if (status == 0 && child.out().find("[  PASSED  ] 1 test.") != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << test << (status ? " ended with " + std::to_string(*status) : " did not end") << "\n"
           << child.out() << child.err();
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: the name may hold spaces and parentheses.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent) found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

bool processIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

bool waitForProcessEnd(pid_t pid, CFTimeInterval seconds) {
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd < 0) return processIsGone(pid);
    pollfd ended{pidFd, POLLIN, 0};
    const bool gone = ::poll(&ended, 1, millisecondsUntil(Clock::realNow() + seconds)) > 0;
    ::close(pidFd);
    if (gone) ::waitpid(pid, nullptr, WNOHANG);
    return gone;
}

namespace {

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The value of one "Name:\tvalue" line of a status file.
std::string statusField(const std::filesystem::path& status, const std::string& name) {
    std::ifstream in(status);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + ":", 0) == 0) return line.substr(name.size() + 2);
    return "?";
}

}  // namespace

std::string threadStates(pid_t pid) {
    namespace fs = std::filesystem;
    const fs::path process = "/proc/" + std::to_string(pid);
    std::ostringstream out;
    out << "process " << pid << " ShdPnd " << statusField(process / "status", "ShdPnd") << "\n";
    std::error_code error;
    for (const auto& task : fs::directory_iterator(process / "task", error)) {
        out << "  " << task.path().filename().string() << " " << firstLine(task.path() / "comm")
            << " waits in " << firstLine(task.path() / "wchan") << ", SigPnd "
            << statusField(task.path() / "status", "SigPnd") << ", SigBlk "
            << statusField(task.path() / "status", "SigBlk") << "\n";
    }
    if (error) out << "  (" << error.message() << ")\n";
    return out.str();
}

}  // namespace testsupport
