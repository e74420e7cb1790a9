#include "DevServer.h"

#include <httplib.h>

#include <cstdlib>

#include "EngineerEndpoints.h"
#include "SeedData.h"

namespace devserver {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

void reply(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    // Replacement rather than an exception, should text that is not UTF-8 ever reach a reply.
    response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         kJson);
}

std::string tipForStatus(int status) {
    switch (status) {
        case 404:
            return "接口不存在";
        case 413:
            return "请求内容过大";
        default:
            return "请求无效";
    }
}

}  // namespace

DevServer::DevServer(std::filesystem::path dataFile) : dataFile_(std::move(dataFile)) {
    registerEngineerEndpoints(router_);
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

bool DevServer::start(int port, std::string* error) {
    auto fail = [&](std::string message) {
        if (error != nullptr) *error = std::move(message);
        server_.reset();
        db_.reset();
        return false;
    };
    if (running()) return fail("already running");
    if (port < 0 || port > 65535) return fail("port out of range");
    try {
        if (dataFile_.has_parent_path())
            std::filesystem::create_directories(dataFile_.parent_path());
        db_ = std::make_unique<Database>(dataFile_);
        ensureSeeded(*db_);
    } catch (const std::exception& e) {
        return fail(e.what());
    }

    server_ = std::make_unique<httplib::Server>();
    configure();
    const int bound = port == 0 ? server_->bind_to_any_port("127.0.0.1")
                                : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) return fail("cannot bind 127.0.0.1:" + std::to_string(port));
    port_ = bound;

    listenEnded_ = false;
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    // stop() only reaches a server whose accept loop has begun; the socket is bound and
    // queues connections meanwhile, so this wait is short.
    while (!server_->is_running() && !listenEnded_) std::this_thread::yield();
    return true;
}

void DevServer::stop() {
    if (!running()) return;
    server_->stop();
    thread_.join();
    server_.reset();
    db_.reset();
}

void DevServer::configure() {
    // The library's default also sets SO_REUSEPORT, which would let a second server share
    // the port silently and split the requests between the two.
    server_->set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_->set_payload_max_length(kMaxBodyBytes);
    server_->set_read_timeout(5);
    server_->set_keep_alive_timeout(2);

    server_->Get("/health", [](const httplib::Request&, httplib::Response& response) {
        reply(response, 200, actionReply(true, "ok"));
    });
    server_->Post(R"(/api/(.+))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      handleApi(request, response);
                  });
    // Refusals by the HTTP layer (unknown path, body too large) still get the envelope.
    server_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            reply(response, response.status, actionReply(false, tipForStatus(response.status)));
        }
    });
}

void DevServer::handleApi(const httplib::Request& request, httplib::Response& response) {
    const std::string path = request.matches[1];
    const ApiHandler* handler = router_.find(path);
    if (handler == nullptr) {
        reply(response, 404, actionReply(false, tipForStatus(404)));
        return;
    }
    std::string error;
    const auto form = FormBody::parse(request.body, &error);
    if (!form) {
        reply(response, 200, actionReply(false, error));
        return;
    }
    try {
        std::lock_guard lock(dbMutex_);
        reply(response, 200, (*handler)(ApiRequest{*form, *db_}));
    } catch (const BadRequest& bad) {
        reply(response, 200, actionReply(false, bad.tip));
    } catch (const std::exception&) {
        reply(response, 500, actionReply(false, "服务器内部错误"));
    }
}

}  // namespace devserver
