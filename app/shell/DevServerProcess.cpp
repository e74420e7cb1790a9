#include "shell/DevServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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

// A socket on a free port of 127.0.0.1, listening; -1 with a message in error.
int listenOnFreePort(int& port, std::string& error) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        error = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
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
                                                          std::string& error) {
    int port = 0;
    const int listening = listenOnFreePort(port, error);
    if (listening < 0) return nullptr;
    // The server's own announcement of the port is not needed: the port is known here.
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (quiet < 0) {
        error = std::string("/dev/null: ") + std::strerror(errno);
        close(listening);
        return nullptr;
    }
    const std::string fd = std::to_string(listening);
    const char* argv[] = {executable.c_str(), "--listen-fd",    fd.c_str(),
                          "--data",           dataFile.c_str(), nullptr};
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The server goes when the app goes,
        // however it goes; a parent already gone before the request took hold is checked for.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        if (dup2(quiet, STDOUT_FILENO) < 0 || fcntl(listening, F_SETFD, 0) != 0) _exit(127);
        execve(executable.c_str(), const_cast<char* const*>(argv), environ);
        _exit(127);
    }
    const int forkError = errno;
    // The child holds the socket alone, so that it closes, refusing requests, if the child ends.
    close(listening);
    close(quiet);
    if (pid < 0) {
        error = "cannot start " + executable + ": " + std::strerror(forkError);
        return nullptr;
    }
    return std::unique_ptr<DevServerProcess>(new DevServerProcess(pid, port));
}

std::string DevServerProcess::defaultExecutable() {
    if (const char* path = std::getenv("BRISFOLD_DEVSERVER")) return path;
    return BRISFOLD_DEVSERVER_PATH;
}

DevServerProcess::~DevServerProcess() { stopChild(pid_); }

std::string DevServerProcess::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}
