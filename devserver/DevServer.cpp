#include "DevServer.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <exception>

#include "AskPriceEndpoints.h"
#include "EngineerEndpoints.h"
#include "EngineerPictures.h"
#include "HttpServer.h"
#include "InquiryScreensEndpoints.h"
#include "MessageEndpoints.h"
#include "OfflineEndpoints.h"
#include "OrderEndpoints.h"
#include "RequestBody.h"
#include "SearchEndpoints.h"
#include "SeedData.h"
#include "Sessions.h"
#include "TileEndpoints.h"

namespace devserver {

namespace {

constexpr std::string_view kApiPrefix = "/api/";
// The request line and headers, as common servers bound them.
constexpr size_t kMaxHeadBytes = 32 * 1024;

// The library would cut whatever a handler answers to the request's Range, refusals and errors
// included, and send a part with the status of the whole. A range is of a 200 representation:
// the handlers that have one answer it themselves (answerRange), everything else goes out whole.
void keepWhole(const httplib::Request& request) {
    const_cast<httplib::Request&>(request).ranges.clear();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// 0 when the end of the body is known, else the status refusing the request: two lengths, a
// length beside chunks or a length that is not a number leave it to guessing, and a guess
// that differs from another party's lets one request hide inside another.
int framingStatus(const httplib::Request& request) {
    const size_t lengths = request.get_header_value_count("Content-Length");
    const size_t codings = request.get_header_value_count("Transfer-Encoding");
    if (lengths > 1 || codings > 1 || (lengths == 1 && codings == 1)) return 400;
    if (lengths == 1) {
        const std::string value = request.get_header_value("Content-Length");
        const bool digits =
            !value.empty() && std::all_of(value.begin(), value.end(),
                                          [](unsigned char c) { return std::isdigit(c) != 0; });
        if (!digits) return 400;
    }
    if (codings == 1 &&
        !equalsIgnoringCase(request.get_header_value("Transfer-Encoding"), "chunked")) {
        return 501;
    }
    return 0;
}

std::string describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace

DevServer::DevServer(std::filesystem::path dataFile, DevServerOptions options)
    : dataFile_(std::move(dataFile)),
      options_(std::move(options)),
      services_([this](const std::string& line) { options_.log(line); },
                [this](const std::function<void(Database&)>& use) {
                    std::lock_guard lock(dbMutex_);
                    if (!db_) throw DatabaseError("the data file is not open");
                    use(*db_);
                },
                options_.analyticsLogBytes) {
    if (!options_.log) options_.log = standardErrorSink("brisfold-devserver: ");
    const auto throttled = [this](std::function<void(const std::string&)>& log,
                                  std::shared_ptr<LogThrottle>& throttle) {
        if (!log) return;
        throttle = std::make_shared<LogThrottle>(std::move(log), options_.logLines);
        log = [throttle](const std::string& line) { throttle->write(line); };
    };
    throttled(options_.log, log_);
    throttled(options_.mapDataLog, mapDataLog_);
    // The app registers one vendor key, for its searches and its map kit alike.
    services_.addKnownKey(std::string(kSearchApiKey));
    registerEngineerEndpoints(router_, options_.beforePasswordCheck);
    registerAskPriceEndpoints(router_);
    registerOrderEndpoints(router_);
    registerSearchEndpoints(router_);
    registerInquiryScreensEndpoints(router_);
    mapData_ = std::make_unique<MapDataEndpoints>(options_.mapDataLog);
    registerMessageEndpoints(router_);
}

DevServer::~DevServer() { stop(); }

std::filesystem::path DevServer::defaultDataFile() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / "brisfold" / "devserver.sqlite";
}

bool DevServer::start(int port, std::string* error) { return startWith(port, -1, error); }

bool DevServer::startOnSocket(int listeningSocket, std::string* error) {
    return startWith(0, listeningSocket, error);
}

bool DevServer::startWith(int port, int listeningSocket, std::string* error) {
    if (running()) {
        if (listeningSocket >= 0) ::close(listeningSocket);
        if (error != nullptr) *error = "already running";
        return false;
    }
    auto fail = [&](std::string message) {
        if (error != nullptr) *error = std::move(message);
        http_.reset();
        push_.reset();
        db_.reset();
        return false;
    };
    if (port < 0 || port > 65535) return fail("port out of range");

    // The port first: a server that cannot have it must not create or seed a data file.
    HttpLimits limits{options_.requestDeadline, options_.drainDeadline, options_.workers,
                      kMaxHeadBytes};
    limits.headDeadline = options_.headDeadline;
    limits.bodyBytes = [this](std::string_view method, std::string_view path, bool chunked) {
        return bodyBytesFor(method, path, chunked);
    };
    limits.parkedPerKey = options_.parkedPollsPerEngineer;
    limits.parkedInAll = options_.parkedPolls;
    limits.replyStallTimeout = options_.replyStallTimeout;
    limits.sendBufferBytes = options_.sendBufferBytes;
    http_ = std::make_unique<HttpServer>(limits, options_.log);
    configure();
    if (listeningSocket >= 0) {
        port = http_->adoptListeningSocket(listeningSocket);
        if (port <= 0)
            return fail("descriptor " + std::to_string(listeningSocket) +
                        " is not a listening socket");
    }
    const int bound = listeningSocket >= 0 ? port
                      : port == 0          ? http_->bind_to_any_port("127.0.0.1")
                                           : (http_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) return fail("cannot bind 127.0.0.1:" + std::to_string(port));
    try {
        if (dataFile_.has_parent_path())
            std::filesystem::create_directories(dataFile_.parent_path());
        db_ = std::make_unique<Database>(dataFile_, options_.busyTimeout);
        ensureSeeded(*db_, options_.passwordIterations);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    port_ = bound;
    if (!http_->startListening())
        return fail("cannot listen on 127.0.0.1:" + std::to_string(bound));
    return true;
}

void DevServer::stop() {
    if (http_ == nullptr) return;
    mapData_->shutDown();
    tiles_->releaseAll();
    http_->stopAndDrain();
    http_.reset();
    push_.reset();
    db_.reset();
    // A log whose sink takes nothing (standard error on a pipe nobody reads) must not keep the
    // server from stopping.
    const auto until = LogThrottle::Clock::now() + options_.logLines.lastFlush;
    for (auto* log : {&log_, &mapDataLog_})
        if (*log) (*log)->lastFlush(until);
}

void DevServer::flushLogs() {
    for (auto* log : {&log_, &mapDataLog_})
        if (*log) (*log)->flush();
}

bool DevServer::running() const { return http_ != nullptr && http_->listening(); }

void DevServer::configure() {
    auto& http = *http_;
    // The library's default also sets SO_REUSEPORT, which would let a second server share
    // the port silently and split the requests between the two.
    http.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Before any body is read, so that a refused request is refused before it is received.
    http.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            keepWhole(request);
            return refuse(request, response) ? httplib::Server::HandlerResponse::Handled
                                             : httplib::Server::HandlerResponse::Unhandled;
        });
    http.Get("/health", [](const httplib::Request&, httplib::Response& response) {
        reply(response, 200, actionReply(true, "ok"));
    });
    // Packages sent slowly are bounded as held tiles are, by half the workers.
    registerOfflineEndpoints(http, options_.log,
                             {options_.workers / 2, options_.slowPackageDeadline});
    mapData_->registerOn(http);
    services_.install(http);
    // Half the workers at most, so that the release and everyone else are still served.
    tiles_ = std::make_unique<TileEndpoints>(options_.workers / 2, options_.heldTileDeadline);
    tiles_->registerOn(http);
    push_ = std::make_unique<PushEndpoints>(
        [this](const std::function<void(Database&)>& use) {
            std::lock_guard lock(dbMutex_);
            use(*db_);
        },
        http);
    push_->registerOn(http);
    registerEngineerPictures(http);
    http.Post(R"(/api/.+)", [this](const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader& reader) {
        handleApi(request, response, reader);
    });
    http.set_exception_handler([this](const httplib::Request& request, httplib::Response& response,
                                      std::exception_ptr error) {
        options_.log(request.method + " " + request.path + ": " + describe(error));
        refuseWith(response, 500);
    });
    // Refusals by the HTTP layer (a malformed request line, a header too long) still get the
    // envelope.
    http.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        keepWhole(request);
        if (response.body.empty()) refuseWith(response, response.status);
    });
}

size_t DevServer::bodyBytesFor(std::string_view method, std::string_view path, bool chunked) const {
    if (method != "POST") return 0;
    // The log upload takes one Content-Length only.
    if (const size_t upload = ServicesEndpoints::maxBodyBytes(path)) return chunked ? 0 : upload;
    const bool takesBody =
        path == "/push/send" || TileEndpoints::isRelease(path) ||
        (path.starts_with(kApiPrefix) && router_.find(path.substr(kApiPrefix.size())) != nullptr);
    return takesBody ? kMaxBodyBytes : 0;
}

bool DevServer::refuse(const httplib::Request& request, httplib::Response& response) const {
    if (services_.refuse(request, response)) return true;
    if (const int status = framingStatus(request); status != 0) {
        refuseWith(response, status);
        return true;
    }
    const std::string_view path = request.path;
    const char* allowed = nullptr;
    bool allowedMethod = false;
    if (TileEndpoints::owns(path)) {
        // Else the library would read a body for any other method before its 404.
        const bool release = TileEndpoints::isRelease(path);
        allowed = release ? "POST" : "GET, HEAD";
        allowedMethod = release ? request.method == "POST"
                                : request.method == "GET" || request.method == "HEAD";
    } else if (PushEndpoints::owns(path)) {
        allowed = path == "/push/send" ? "POST" : "GET";
        allowedMethod = request.method == allowed;
    } else if (ownsEngineerPicture(path)) {
        allowed = "GET, HEAD";
        allowedMethod = request.method == "GET" || request.method == "HEAD";
    } else if (path == "/health") {
        allowed = "GET, HEAD";
        allowedMethod = request.method == "GET" || request.method == "HEAD";
    } else if (isOfflinePath(path)) {
        allowed = "GET, HEAD";
        allowedMethod = request.method == "GET" || request.method == "HEAD";
    } else if (const char* method = ServicesEndpoints::methodForPath(path)) {
        allowed = method;
        allowedMethod = request.method == method;
    } else if (path.starts_with(kApiPrefix) &&
               router_.find(path.substr(kApiPrefix.size())) != nullptr) {
        allowed = "POST";
        allowedMethod = request.method == "POST";
    } else if (MapDataEndpoints::handles(path)) {
        allowed = "GET";
        allowedMethod = request.method == "GET";
    } else {
        refuseWith(response, 404);
        return true;
    }
    if (allowedMethod) return false;
    response.set_header("Allow", allowed);
    refuseWith(response, 405);
    return true;
}

void DevServer::handleApi(const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader& reader) {
    const std::string path = request.path.substr(kApiPrefix.size());
    const ApiEndpoint* endpoint = router_.find(path);
    if (endpoint == nullptr) {
        refuseWith(response, 404);
        return;
    }
    const std::string cookies = cookieField(request);
    // An endpoint that needs a session refuses a request without one before reading its body.
    if (endpoint->access.kind == ApiAccess::Session ||
        endpoint->access.kind == ApiAccess::Engineer) {
        bool live = false;
        try {
            std::lock_guard lock(dbMutex_);
            live = !sessionEngineer(*db_, cookies).empty();
        } catch (const std::exception& e) {
            options_.log(path + ": " + e.what());
            refuseWith(response, 500);
            return;
        }
        if (!live) {
            reply(response, 401, actionReply(false, std::string(kSessionExpiredTip)));
            return;
        }
    }
    std::string body;
    if (const int status = readBody(request, reader, body); status != 200) {
        refuseWith(response, status);
        return;
    }
    std::string error;
    const auto form = FormBody::parse(body, &error);
    if (!form) {
        reply(response, 200, actionReply(false, error));
        return;
    }
    try {
        std::unique_lock lock(dbMutex_);
        const std::string engineer = sessionEngineer(*db_, cookies);
        if (const auto refusal = refuseAccess(endpoint->access, *form, engineer)) {
            reply(response, refusal->status, actionReply(false, refusal->tip));
            return;
        }
        std::string setCookie;
        const auto answer =
            endpoint->handler(ApiRequest{*form, *db_, engineer, lock, setCookie, cookies});
        if (!setCookie.empty()) response.set_header("Set-Cookie", setCookie);
        reply(response, 200, answer);
    } catch (const BadRequest& bad) {
        reply(response, 200, actionReply(false, bad.tip));
    } catch (const std::exception& e) {
        options_.log(path + ": " + e.what());
        refuseWith(response, 500);
    }
}

}  // namespace devserver
