#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "ApiRouter.h"
#include "Database.h"
#include "LogThrottle.h"
#include "MapDataEndpoints.h"
#include "PasswordHash.h"
#include "PushEndpoints.h"
#include "RequestBody.h"
#include "ServicesEndpoints.h"

namespace httplib {
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace devserver {

class HttpServer;
class TileEndpoints;

struct DevServerOptions {
    // For the accounts a fresh data file is seeded with; tests that create many lower it.
    int passwordIterations = kPasswordIterations;
    // A client has this long to send its whole request, and this long for its request line and
    // headers; a connection that has not sent them then is closed.
    std::chrono::milliseconds requestDeadline = std::chrono::seconds(10);
    std::chrono::milliseconds headDeadline = std::chrono::seconds(3);
    // When stopping, requests in flight get this long to arrive before they are cut off.
    std::chrono::milliseconds drainDeadline = std::chrono::seconds(3);
    // A reply whose client takes nothing of it for this long is given up.
    std::chrono::milliseconds replyStallTimeout = std::chrono::seconds(5);
    // The kernel's send buffer of each connection (SO_SNDBUF); 0 leaves the kernel's own. Tests
    // lower it to have a small reply outlast what the kernel holds of it.
    size_t sendBufferBytes = 0;
    // Requests processed at once; a request takes a worker only once it has arrived.
    size_t workers = 64;
    // Polls waiting at once for one engineer, and in all; more are answered 429.
    size_t parkedPollsPerEngineer = 8;
    size_t parkedPolls = 256;
    // How long a request waits for another process's write lock on the data file.
    std::chrono::milliseconds busyTimeout = std::chrono::seconds(10);
    // Gets one line for each internal error, with its cause, and for each request to the map
    // kit's services; standard error when empty.
    std::function<void(const std::string&)> log;
    // How long a held tile waits for its gate's release before it is answered 503.
    std::chrono::milliseconds heldTileDeadline = std::chrono::seconds(30);
    // How long a package the test knobs stall or throttle is sent before its connection is closed.
    std::chrono::milliseconds slowPackageDeadline = std::chrono::seconds(60);
    // Runs before each password check, outside the data lock (tests hold logins there).
    std::function<void()> beforePasswordCheck;
    // Gets one line for each map data request, with its headers.
    std::function<void(const std::string&)> mapDataLog;
    // What each of the two logs writes at most; the lines beyond are counted in one line.
    LogLines logLines;
    // What the analytics log keeps of its records' texts; the oldest records go first.
    size_t analyticsLogBytes = 16 * 1024 * 1024;
};

// The local stand-in for the outside servers: the service API under "/api/" and a health
// check at "/health", on 127.0.0.1 only, with its data in one SQLite file.
class DevServer {
  public:
    // Every request body, whatever its type or framing.
    static constexpr size_t kMaxBodyBytes = ::devserver::kMaxBodyBytes;

    explicit DevServer(std::filesystem::path dataFile, DevServerOptions options = {});
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Binds 127.0.0.1:port (0 picks a free port), then opens the data file (creating and
    // seeding it on first use) and serves on threads of its own. False with a message when the
    // port cannot be bound (the data file is then left untouched) or the file cannot be used.
    bool start(int port = 0, std::string* error = nullptr);
    // The same on a socket already bound and listening (one handed down by the process that
    // started this one, whose clients may connect before this server is up: they queue in the
    // socket's backlog). The server owns the socket from then on, even when it fails.
    bool startOnSocket(int listeningSocket, std::string* error = nullptr);
    // Stops accepting, answers the requests in flight (those still arriving get the drain
    // deadline) and closes the data file.
    void stop();

    bool running() const;
    // Waits until the logs have written every line given them before; the lines beyond their
    // bounds are then written as a count.
    void flushLogs();
    int port() const { return port_; }
    const std::filesystem::path& dataFile() const { return dataFile_; }

    // $XDG_DATA_HOME/brisfold/devserver.sqlite, else ~/.local/share/brisfold/devserver.sqlite.
    static std::filesystem::path defaultDataFile();

    const ApiRouter& router() const { return router_; }
    MapDataEndpoints& mapData() { return *mapData_; }
    ServicesEndpoints& services() { return services_; }
    TileEndpoints& tiles() { return *tiles_; }
    PushEndpoints& push() { return *push_; }

  private:
    bool startWith(int port, int listeningSocket, std::string* error);
    void configure();
    // The body the event loop gathers for a request: only one a POST's path takes (the map kit's
    // log upload a larger one than the rest), none where the path refuses it from the head.
    size_t bodyBytesFor(std::string_view method, std::string_view path, bool chunked) const;
    // Answers what is not a POST to a known API path: 405 for another method on a known path,
    // 404 for an unknown one, 400 for a body whose length cannot be known. True if it answered.
    bool refuse(const httplib::Request& request, httplib::Response& response) const;
    void handleApi(const httplib::Request& request, httplib::Response& response,
                   const httplib::ContentReader& reader);

    std::filesystem::path dataFile_;
    DevServerOptions options_;
    std::shared_ptr<LogThrottle> log_;
    std::shared_ptr<LogThrottle> mapDataLog_;
    ApiRouter router_;
    std::unique_ptr<MapDataEndpoints> mapData_;
    // SQLite statements of one request must not interleave with another's.
    std::mutex dbMutex_;
    std::unique_ptr<Database> db_;
    ServicesEndpoints services_;
    std::unique_ptr<HttpServer> http_;
    std::unique_ptr<TileEndpoints> tiles_;
    std::unique_ptr<PushEndpoints> push_;
    int port_ = 0;
};

}  // namespace devserver
