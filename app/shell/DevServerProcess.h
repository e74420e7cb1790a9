#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "Foundation/NSRunLoop.h"

// The local devserver as a child process, stopped (and reaped) when this object goes. The child
// also gets SIGTERM when the thread that started it ends, so that it never outlives the app,
// even one that is killed: start it from the main thread, whose run loop watches it.
//
// Its socket is bound and listening before the child starts, so that the app has the server's
// address at once and need not wait for it: requests made while the server is still starting
// wait in the socket's backlog and are answered once it is up. The socket stays open here too,
// so that a server that ends can be started again on it, at the same address; should that
// server have shut the socket down, the next one gets a fresh socket on the same port.
//
// What the server writes on stderr goes on to the app's stderr once it serves (it announces its
// port on stdout when it does). A server that ends before it served did not start: the start
// failure handler hears what it said. One that ends after it served, however it ends, is
// reaped, said so on stderr and started once more on the same socket; when that one ends too,
// or cannot start, the socket closes, so that requests are refused at once (the request layer's
// "cannot connect to the server") rather than left waiting.
class DevServerProcess {
  public:
    // reason: what the server said on stderr, or how it ended when it said nothing.
    using StartFailureHandler = std::function<void(const std::string& reason)>;

    // Starts the server on a free port with its data in dataFile; null with a message in error
    // when no socket can be had or the child cannot be started.
    static std::unique_ptr<DevServerProcess> start(const std::string& executable,
                                                   const std::string& dataFile, std::string& error,
                                                   StartFailureHandler onStartFailure = {});
    // The devserver built beside the app, or the one $BRISFOLD_DEVSERVER names.
    static std::string defaultExecutable();
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    int port() const { return port_; }
    // The server running now; -1 once it has ended for good.
    pid_t pid() const { return pid_; }
    // Whether the server running now announced that it serves.
    bool isServing() const { return serving_; }
    // Whether the server has ended for good and its socket is closed.
    bool isGone() const { return listening_ < 0; }
    std::string baseURL() const;

  private:
    DevServerProcess(std::string executable, std::string dataFile, int listening, int port,
                     StartFailureHandler onStartFailure);
    bool spawn(std::string& error);
    void readOutput();
    void readErrors();
    void childEnded();
    void giveUp(const std::string& why);
    void unwatch();

    const std::string executable_;
    const std::string dataFile_;
    int listening_;
    const int port_;
    StartFailureHandler onStartFailure_;
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    NSRunLoop::Token pidWatch_ = 0;
    NSRunLoop::Token outWatch_ = 0;
    NSRunLoop::Token errWatch_ = 0;
    bool serving_ = false;
    bool restarted_ = false;
    // What the server said on stderr before it served, held back as the reason of a failed
    // start; the tail only.
    std::string startErrors_;
};
