#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ApiRouter.h"
#include "Database.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace devserver {

// The local stand-in for the outside servers: the service API under "/api/" and a health
// check at "/health", on 127.0.0.1 only, with its data in one SQLite file.
class DevServer {
  public:
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    explicit DevServer(std::filesystem::path dataFile);
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Opens the data file (creating and seeding it on first use), binds 127.0.0.1:port
    // (0 picks a free port) and serves on a thread of its own. False with a message when
    // the file cannot be used or the port cannot be bound.
    bool start(int port = 0, std::string* error = nullptr);
    // Stops accepting, finishes the requests in progress and closes the data file.
    void stop();

    bool running() const { return thread_.joinable(); }
    int port() const { return port_; }
    const std::filesystem::path& dataFile() const { return dataFile_; }

    // $XDG_DATA_HOME/brisfold/devserver.sqlite, else ~/.local/share/brisfold/devserver.sqlite.
    static std::filesystem::path defaultDataFile();

  private:
    void configure();
    void handleApi(const httplib::Request& request, httplib::Response& response);

    std::filesystem::path dataFile_;
    ApiRouter router_;
    // SQLite statements of one request must not interleave with another's.
    std::mutex dbMutex_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};
    int port_ = 0;
};

}  // namespace devserver
