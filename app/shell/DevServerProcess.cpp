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

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>

#include "Foundation/NSLog.h"

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;

// What a server that failed to start said is kept to this many bytes, its last.
constexpr size_t kStartErrorsKept = 4096;

int millisecondsUntil(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// A socket on port of 127.0.0.1 (0: a free one, and port is set to it), listening; -1 with a
// message in error.
int listenOn(int& port, std::string& error) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // Connections of the server before may hold the port in TIME_WAIT for a while.
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
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

bool listens(int fd) {
    int on = 0;
    socklen_t size = sizeof on;
    return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &size) == 0 && on != 0;
}

// Whether the child ends within timeoutMs (it is not reaped here).
bool endsWithin(pid_t pid, int timeoutMs) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return false;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
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

// How a child ended, from its wait status.
std::string describeEnd(int status) {
    if (WIFSIGNALED(status))
        return "ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    return "exit status " + std::to_string(WEXITSTATUS(status));
}

// Hands each chunk the descriptor holds to use, without waiting; false once it has ended.
bool drainPipe(int fd, const std::function<void(std::string_view)>& use) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            use(std::string_view(buffer, static_cast<size_t>(n)));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
}

void writeToStderr(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

std::string withoutTrailingSpace(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

void closeDescriptor(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

std::unique_ptr<DevServerProcess> DevServerProcess::start(const std::string& executable,
                                                          const std::string& dataFile,
                                                          std::string& error,
                                                          StartFailureHandler onStartFailure) {
    int port = 0;
    const int listening = listenOn(port, error);
    if (listening < 0) return nullptr;
    std::unique_ptr<DevServerProcess> server(
        new DevServerProcess(executable, dataFile, listening, port, std::move(onStartFailure)));
    if (!server->spawn(error)) return nullptr;
    return server;
}

DevServerProcess::DevServerProcess(std::string executable, std::string dataFile, int listening,
                                   int port, StartFailureHandler onStartFailure)
    : executable_(std::move(executable)),
      dataFile_(std::move(dataFile)),
      listening_(listening),
      port_(port),
      onStartFailure_(std::move(onStartFailure)) {}

bool DevServerProcess::spawn(std::string& error) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(out[0]);
        close(out[1]);
        return false;
    }
    const std::string fd = std::to_string(listening_);
    const char* argv[] = {executable_.c_str(), "--listen-fd", fd.c_str(), "--data",
                          dataFile_.c_str(),   nullptr};
    const std::string execFailed = "cannot run " + executable_ + "\n";
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec. The server goes when the app goes,
        // however it goes; a parent already gone before the request took hold is checked for.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
        // The app holds its quit signals back in every thread; the server starts with none held.
        sigset_t none;
        sigemptyset(&none);
        if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0) _exit(127);
        if (dup2(out[1], STDOUT_FILENO) < 0 || dup2(err[1], STDERR_FILENO) < 0 ||
            fcntl(listening_, F_SETFD, 0) != 0)
            _exit(127);
        execve(executable_.c_str(), const_cast<char* const*>(argv), environ);
        [[maybe_unused]] const ssize_t n =
            write(STDERR_FILENO, execFailed.data(), execFailed.size());
        _exit(127);
    }
    const int forkError = errno;
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        error = "cannot start " + executable_ + ": " + std::strerror(forkError);
        close(out[0]);
        close(err[0]);
        return false;
    }
    // The run loop reads them as they come, and must never wait on them.
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    pid_ = pid;
    outFd_ = out[0];
    errFd_ = err[0];
    serving_ = false;
    startErrors_.clear();
    const auto loop = NSRunLoop::mainRunLoop();
    outWatch_ = loop->addFileDescriptor(outFd_, POLLIN, [this](short) { readOutput(); });
    errWatch_ = loop->addFileDescriptor(errFd_, POLLIN, [this](short) { readErrors(); });
    // Without process descriptors (kernels before 5.3) the end of the server goes unnoticed
    // until the app ends.
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd_ >= 0)
        pidWatch_ = loop->addFileDescriptor(pidFd_, POLLIN, [this](short) { childEnded(); });
    return true;
}

void DevServerProcess::readOutput() {
    // The port on the first line says that the server serves; nothing else is of interest.
    const bool open = drainPipe(outFd_, [this](std::string_view chunk) {
        if (serving_ || chunk.find('\n') == std::string_view::npos) return;
        serving_ = true;
        writeToStderr(startErrors_);
        startErrors_.clear();
    });
    if (open) return;
    NSRunLoop::mainRunLoop()->removeFileDescriptor(std::exchange(outWatch_, 0));
    closeDescriptor(outFd_);
}

void DevServerProcess::readErrors() {
    const bool open = drainPipe(errFd_, [this](std::string_view chunk) {
        if (serving_) {
            writeToStderr(chunk);
            return;
        }
        startErrors_.append(chunk);
        if (startErrors_.size() > kStartErrorsKept)
            startErrors_.erase(0, startErrors_.size() - kStartErrorsKept);
    });
    if (open) return;
    NSRunLoop::mainRunLoop()->removeFileDescriptor(std::exchange(errWatch_, 0));
    closeDescriptor(errFd_);
}

void DevServerProcess::childEnded() {
    // What it wrote before it ended counts: its port, and its last words.
    if (outFd_ >= 0) readOutput();
    if (errFd_ >= 0) readErrors();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    unwatch();
    const std::string how = describeEnd(status);
    const bool served = std::exchange(serving_, false);
    if (!served) {
        const std::string said = withoutTrailingSpace(std::exchange(startErrors_, {}));
        const std::string reason = said.empty() ? how : said + " (" + how + ")";
        if (restarted_ || !onStartFailure_) {
            giveUp("could not start: " + reason);
            return;
        }
        closeDescriptor(listening_);
        onStartFailure_(reason);
        return;
    }
    if (restarted_) {
        giveUp("ended again (" + how + ")");
        return;
    }
    restarted_ = true;
    NSLog("the devserver ended (%s); starting it again", how.c_str());
    if (!listens(listening_)) {
        // A server that shut the socket down, rather than only closing it, took it from every
        // process holding it: the next one gets a fresh one at the same address (what waited
        // in the old one is lost).
        closeDescriptor(listening_);
        int port = port_;
        std::string error;
        listening_ = listenOn(port, error);
        if (listening_ < 0) {
            giveUp("could not listen again: " + error);
            return;
        }
    }
    if (std::string error; !spawn(error)) giveUp("could not start again: " + error);
}

void DevServerProcess::giveUp(const std::string& why) {
    closeDescriptor(listening_);
    NSLog("the devserver %s; requests to it fail from now on", why.c_str());
}

void DevServerProcess::unwatch() {
    const auto loop = NSRunLoop::mainRunLoop();
    for (NSRunLoop::Token* watch : {&pidWatch_, &outWatch_, &errWatch_})
        if (*watch != 0) loop->removeFileDescriptor(std::exchange(*watch, 0));
    closeDescriptor(pidFd_);
    closeDescriptor(outFd_);
    closeDescriptor(errFd_);
}

std::string DevServerProcess::defaultExecutable() {
    if (const char* path = std::getenv("BRISFOLD_DEVSERVER")) return path;
    return BRISFOLD_DEVSERVER_PATH;
}

DevServerProcess::~DevServerProcess() {
    if (pid_ > 0) {
        stopChild(pid_);
        // What it said before it served, or as it stopped, is its last word.
        std::string last = std::exchange(startErrors_, {});
        if (errFd_ >= 0) drainPipe(errFd_, [&last](std::string_view chunk) { last.append(chunk); });
        writeToStderr(last);
    }
    unwatch();
    closeDescriptor(listening_);
}

std::string DevServerProcess::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}
