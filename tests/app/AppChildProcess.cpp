#include "AppChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Foundation/Clock.h"

extern char** environ;

namespace {

// Deadlines are in Clock::realNow() seconds.
int millisecondsUntil(double deadline) {
    return static_cast<int>(std::ceil(std::max(0.0, deadline - Clock::realNow()) * 1000));
}

// Appends what is there to read; true at the end of the stream.
bool drain(int fd, std::string& into) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<size_t>(n));
    return n == 0;
}

int statusOf(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    return 128 + WTERMSIG(raw);
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const Options& options) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return nullptr;
    }
    // Everything the child needs is built before the fork.
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool dropped = options.env.count(name) > 0;
        for (const auto& u : options.unsetEnv) dropped = dropped || u == name;
        if (!dropped) envText.push_back(entry);
    }
    for (const auto& [name, value] : options.env) envText.push_back(name + "=" + value);
    std::vector<char*> envp, argv;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = options.args;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* cwd = options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();

    const pid_t pid = fork();
    if (pid == 0) {
        if (dup2(out[1], STDOUT_FILENO) < 0 || dup2(err[1], STDERR_FILENO) < 0) _exit(126);
        if (cwd && chdir(cwd) != 0) _exit(126);
        if (options.user) {
            const gid_t group = *options.user;
            if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(*options.user) != 0)
                _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return nullptr;
    }
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->pid_ = pid;
    child->outFd_ = out[0];
    child->errFd_ = err[0];
    return child;
}

ChildProcess::~ChildProcess() {
    if (!status_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(outFd_);
    close(errFd_);
}

void ChildProcess::collect(int timeoutMs, int pidfd) {
    pollfd fds[3] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}, {pidfd, POLLIN, 0}};
    poll(fds, pidfd < 0 ? 2 : 3, timeoutMs);
    drain(outFd_, out_);
    errEnded_ = drain(errFd_, err_);
}

std::optional<int> ChildProcess::wait(double seconds) {
    if (status_) return status_;
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    const double deadline = Clock::realNow() + seconds;
    while (true) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = statusOf(raw);
            break;
        }
        const int left = millisecondsUntil(deadline);
        if (left <= 0) break;
        collect(left, pidfd);
    }
    // What the child wrote just before it ended; a grandchild may hold the pipes open, so
    // only what is there now.
    drain(outFd_, out_);
    drain(errFd_, err_);
    if (pidfd >= 0) close(pidfd);
    return status_;
}

bool ChildProcess::waitForStderr(const std::string& text, double seconds) {
    const double deadline = Clock::realNow() + seconds;
    while (err_.find(text) == std::string::npos) {
        const int left = millisecondsUntil(deadline);
        if (left <= 0 || errEnded_) return false;
        collect(left);
    }
    return true;
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

bool processIsGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

bool waitForProcessEnd(pid_t pid, double seconds) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) return processIsGone(pid);
    pollfd p{pidfd, POLLIN, 0};
    const bool ended = poll(&p, 1, static_cast<int>(seconds * 1000)) > 0;
    close(pidfd);
    if (ended) waitpid(pid, nullptr, WNOHANG);
    return ended;
}
