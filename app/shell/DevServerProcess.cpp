#include "shell/DevServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Reads the first line the child prints, waiting at most timeoutMs in all.
std::string readFirstLine(int fd, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    char c;
    while (line.size() < 64) {
        const int left = millisecondsUntil(deadline);
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    return line;
}

// Whether the child ends within timeoutMs (it is not reaped here).
bool endsWithin(pid_t pid, int timeoutMs) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int ready;
    do {
        pollfd p{fd, POLLIN, 0};
        ready = poll(&p, 1, millisecondsUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    close(fd);
    return ready > 0;
}

// Asks the child to stop, kills it if it has not within a few seconds, and reaps it.
void stopChild(pid_t pid) {
    kill(pid, SIGTERM);
    if (!endsWithin(pid, 3000)) kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::unique_ptr<DevServerProcess> DevServerProcess::start(const std::string& executable,
                                                          const std::string& dataFile,
                                                          std::string& error, int timeoutMs) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    const char* argv[] = {executable.c_str(), "--port", "0", "--data", dataFile.c_str(), nullptr};
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The server goes when the app goes,
        // however it goes; a parent already gone before the request took hold is checked for.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        if (dup2(out[1], STDOUT_FILENO) < 0) _exit(127);
        execve(executable.c_str(), const_cast<char* const*>(argv), environ);
        _exit(127);
    }
    const int forkError = errno;
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        error = "cannot start " + executable + ": " + std::strerror(forkError);
        return nullptr;
    }
    const std::string line = readFirstLine(out[0], timeoutMs);
    close(out[0]);
    char* end = nullptr;
    const long port = std::strtol(line.c_str(), &end, 10);
    if (line.empty() || *end != '\0' || port <= 0 || port > 65535) {
        stopChild(pid);
        error = "the devserver did not announce its port";
        return nullptr;
    }
    return std::unique_ptr<DevServerProcess>(new DevServerProcess(pid, static_cast<int>(port)));
}

std::string DevServerProcess::defaultExecutable() {
    if (const char* path = std::getenv("BRISFOLD_DEVSERVER")) return path;
    return BRISFOLD_DEVSERVER_PATH;
}

DevServerProcess::~DevServerProcess() { stopChild(pid_); }

std::string DevServerProcess::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}
