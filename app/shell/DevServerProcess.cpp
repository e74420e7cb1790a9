#include "shell/DevServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// Reads the first line the child prints, waiting at most timeoutMs in all.
std::string readFirstLine(int fd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    char c;
    while (line.size() < 64) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    return line;
}

// Asks the child to stop, and makes it stop if it has not within a few seconds.
void stopChild(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string portArg = "0";
    const char* argv[] = {executable.c_str(), "--port",         portArg.c_str(),
                          "--data",           dataFile.c_str(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, executable.c_str(), &actions, nullptr,
                               const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        error = "cannot start " + executable + ": " + std::strerror(rc);
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
