#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

// The local devserver as a child process, stopped (and reaped) when this object goes. The child
// also gets SIGTERM when the thread that started it ends, so that it never outlives the app,
// even one that is killed: start it from the main thread.
//
// Its socket is bound and listening before the child starts, so that the app has the server's
// address at once and need not wait for it: requests made while the server is still starting
// wait in the socket's backlog and are answered once it is up.
class DevServerProcess {
  public:
    // Starts the server on a free port with its data in dataFile; null with a message in error
    // when no socket can be had or the child cannot be started. A server that fails later
    // closes the socket, and requests to it are refused.
    static std::unique_ptr<DevServerProcess> start(const std::string& executable,
                                                   const std::string& dataFile, std::string& error);
    // The devserver built beside the app, or the one $BRISFOLD_DEVSERVER names.
    static std::string defaultExecutable();
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string baseURL() const;

  private:
    DevServerProcess(pid_t pid, int port) : pid_(pid), port_(port) {}
    pid_t pid_;
    int port_;
};
