#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern char** environ;

namespace devserver::test {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `until` for poll(), never negative.
inline int millisecondsUntil(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 60'000));
}

// A fresh directory under the system temp dir, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "brisfold-devserver-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A program run as a child with its stdout on a pipe. However the test ends, the child is
// ended and reaped: asked with SIGTERM, then killed when it does not exit in time.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, std::vector<std::string> args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        out_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // glibc declares pidfd_open for C only.
        if (pid_ > 0) exited_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    }

    ~ChildProcess() {
        if (pid_ > 0) terminate();
        if (out_ >= 0) close(out_);
        if (exited_ >= 0) close(exited_);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0 && exited_ >= 0; }
    pid_t pid() const { return pid_; }
    // True once the child had to be killed because it did not exit in time.
    bool killed() const { return killed_; }

    // The first line of stdout, or nothing when the child ends or the deadline passes first.
    std::optional<std::string> firstLine(
        std::chrono::milliseconds within = std::chrono::seconds(60)) {
        std::string line;
        const auto until = Clock::now() + within;
        for (;;) {
            pollfd fd{out_, POLLIN, 0};
            const int timeout = millisecondsUntil(until);
            if (poll(&fd, 1, timeout) <= 0) {
                if (timeout == 0) return std::nullopt;
                continue;
            }
            char c = 0;
            if (read(out_, &c, 1) != 1) return std::nullopt;
            if (c == '\n') return line;
            line += c;
        }
    }

    // Sends SIGTERM and returns the exit status; -1 when it did not exit normally in time.
    int terminate(std::chrono::milliseconds grace = std::chrono::seconds(30)) {
        if (pid_ > 0) kill(pid_, SIGTERM);
        return waitForExit(grace);
    }

    // The exit status once the child exits by itself within the time; otherwise it is killed
    // and reaped, and the result is -1.
    int waitForExit(std::chrono::milliseconds within = std::chrono::seconds(60)) {
        const pid_t pid = std::exchange(pid_, -1);
        if (pid <= 0) return -1;
        pollfd fd{exited_, POLLIN, 0};
        const auto until = Clock::now() + within;
        int ready = 0;
        do {
            ready = poll(&fd, 1, millisecondsUntil(until));
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            kill(pid, SIGKILL);
            killed_ = true;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || killed_) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    // Readable once the child has exited.
    int exited_ = -1;
    bool killed_ = false;
};

// A raw TCP connection to 127.0.0.1, for requests no HTTP client library would send.
class RawConnection {
  public:
    explicit RawConnection(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error_ = errno;
            close(fd_);
            fd_ = -1;
        }
    }
    ~RawConnection() {
        if (fd_ >= 0) close(fd_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // errno of a connect that failed.
    int error() const { return error_; }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // True when the server has sent something or closed the connection.
    bool heardFrom(std::chrono::milliseconds within = std::chrono::milliseconds(0)) const {
        pollfd fd{fd_, POLLIN, 0};
        return poll(&fd, 1, static_cast<int>(within.count())) > 0;
    }

    // What the server sends until it closes its side, or nothing when the deadline passes.
    std::optional<std::string> readToEnd(
        std::chrono::milliseconds within = std::chrono::seconds(30)) {
        std::string text;
        const auto until = Clock::now() + within;
        char buffer[4096];
        for (;;) {
            pollfd fd{fd_, POLLIN, 0};
            const int timeout = millisecondsUntil(until);
            const int ready = poll(&fd, 1, timeout);
            if (ready == 0 && timeout == 0) return std::nullopt;
            if (ready <= 0) continue;
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return text;
            text.append(buffer, static_cast<size_t>(got));
        }
    }

  private:
    int fd_ = -1;
    int error_ = 0;
};

struct RawReply {
    int status = 0;
    std::string head;
    std::string body;
};

// Status, head and body of one HTTP/1.1 reply; status 0 when there is none.
inline RawReply parseReply(const std::optional<std::string>& text) {
    RawReply reply;
    if (!text || text->rfind("HTTP/1.1 ", 0) != 0 || text->size() < 12) return reply;
    reply.status = std::atoi(text->c_str() + 9);
    const size_t end = text->find("\r\n\r\n");
    reply.head = text->substr(0, end);
    if (end != std::string::npos) reply.body = text->substr(end + 4);
    return reply;
}

}  // namespace devserver::test
