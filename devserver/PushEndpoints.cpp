#include "PushEndpoints.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <limits>

#include "ApiRouter.h"
#include "FormBody.h"
#include "RequestBody.h"
#include "Sessions.h"

namespace devserver {

namespace {

constexpr int kDefaultWaitSeconds = 25;

template <typename Number>
std::optional<Number> number(const std::string& text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Numbers are SQLite integers: any number past the largest asks what the largest does.
std::int64_t storedNumber(std::uint64_t number) {
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(number, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace

PushEndpoints::PushEndpoints(WithDatabase withDatabase, HttpServer& server)
    : withDatabase_(std::move(withDatabase)), server_(server) {}

bool PushEndpoints::owns(std::string_view path) {
    return path == "/push/send" || path == "/push/poll";
}

std::string PushEndpoints::engineerOf(const httplib::Request& request) {
    const std::string cookies = cookieField(request);
    std::string engineer;
    if (cookies.empty()) return engineer;
    withDatabase_([&](Database& db) { engineer = sessionEngineer(db, cookies); });
    return engineer;
}

std::optional<PushEndpoints::Asked> PushEndpoints::asked(const httplib::Request& request) {
    Asked asked{std::nullopt, kDefaultWaitSeconds};
    if (request.has_param("wait")) {
        const auto wait = number<long long>(request.get_param_value("wait"));
        if (!wait) return std::nullopt;
        asked.waitSeconds =
            *wait < 0 || *wait > kMaxWaitSeconds ? kMaxWaitSeconds : static_cast<int>(*wait);
    }
    if (request.has_param("after")) {
        asked.after = number<std::uint64_t>(request.get_param_value("after"));
        if (!asked.after) return std::nullopt;
    }
    return asked;
}

void PushEndpoints::registerOn(HttpServer& server) {
    server.setParkHook([this](const httplib::Request& head, HttpServer::Parker& parker) {
        parkIfWaiting(head, parker);
    });
    server.Post("/push/send", [this](const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
        // The session first: no body is read, nor decoded, for a request without one.
        const std::string engineer = engineerOf(request);
        if (engineer.empty()) {
            reply(response, 401, actionReply(false, std::string(kSessionExpiredTip)));
            return;
        }
        std::string body;
        if (const int status = readBody(request, reader, body); status != 200) {
            refuseWith(response, status);
            return;
        }
        std::string error;
        const auto form = FormBody::parse(body, &error);
        if (!form) {
            reply(response, 400, actionReply(false, error));
            return;
        }
        const auto named = form->optional("brisfoldID").value_or("");
        if (!named.empty() && named != engineer) {
            reply(response, 403, actionReply(false, std::string(kForbiddenTip)));
            return;
        }
        const auto alert = form->optional("alert").value_or("");
        if (alert.empty() || alert.size() > kMaxAlertBytes) {
            reply(response, 400, actionReply(false, "alert is required"));
            return;
        }
        const auto id = send(engineer, alert);
        auto answer = actionReply(true, "");
        answer["id"] = id;
        reply(response, 200, answer);
    });
    server.Get("/push/poll", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string engineer = engineerOf(request);
        if (engineer.empty()) {
            reply(response, 401, actionReply(false, std::string(kSessionExpiredTip)));
            return;
        }
        const std::string named = request.get_param_value("brisfoldID");
        if (!named.empty() && named != engineer) {
            reply(response, 403, actionReply(false, std::string(kForbiddenTip)));
            return;
        }
        const auto ask = asked(request);
        if (!ask) {
            reply(response, 400, actionReply(false, "after and wait are numbers"));
            return;
        }
        std::lock_guard lock(mutex_);
        if (!ask->after) {
            std::int64_t last = 0;
            withDatabase_([&](Database& db) {
                last = db.scalar(
                    "SELECT COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'pushes'), 0)");
            });
            reply(response, 200, {{"last", last}, {"notifications", nlohmann::json::array()}});
            return;
        }
        // A poll that had to wait was parked first; one the bounds left out is refused.
        if (!hasNewer(engineer, *ask->after) && ask->waitSeconds > 0 &&
            HttpServer::parking() == HttpServer::Parking::Refused) {
            reply(response, 429, actionReply(false, "等待中的请求过多，请稍后再试"));
            return;
        }
        nlohmann::json list = nlohmann::json::array();
        std::uint64_t last = *ask->after;
        withDatabase_([&](Database& db) {
            auto rows = db.query(
                "SELECT id, user_info FROM pushes WHERE engineer_id = ? AND id > ? ORDER BY id",
                engineer, storedNumber(*ask->after));
            while (rows.step()) {
                last = static_cast<std::uint64_t>(rows.integer(0));
                list.push_back({{"id", last}, {"userInfo", nlohmann::json::parse(rows.text(1))}});
            }
        });
        reply(response, 200, {{"last", last}, {"notifications", std::move(list)}});
    });
}

void PushEndpoints::parkIfWaiting(const httplib::Request& head, HttpServer::Parker& parker) {
    if (head.method != "GET" || head.path != "/push/poll") return;
    const auto ask = asked(head);
    if (!ask || !ask->after || ask->waitSeconds == 0) return;
    // Anything the poll would be refused for is answered at once.
    const std::string engineer = engineerOf(head);
    if (engineer.empty()) return;
    const std::string named = head.get_param_value("brisfoldID");
    if (!named.empty() && named != engineer) return;
    std::lock_guard lock(mutex_);
    if (hasNewer(engineer, *ask->after)) return;
    parker.park(engineer,
                std::chrono::steady_clock::now() + std::chrono::seconds(ask->waitSeconds));
}

bool PushEndpoints::hasNewer(const std::string& engineerId, std::uint64_t after) {
    bool newer = false;
    withDatabase_([&](Database& db) {
        newer = db.scalar("SELECT EXISTS (SELECT 1 FROM pushes WHERE engineer_id = ? AND id > ?)",
                          engineerId, storedNumber(after)) != 0;
    });
    return newer;
}

std::uint64_t PushEndpoints::send(const std::string& engineerId, const std::string& alert) {
    std::lock_guard lock(mutex_);
    std::int64_t id = 0;
    // Both or neither: a message without its notification would count as unread, and a sender
    // retrying on the error would make a second.
    withDatabase_([&](Database& db) {
        Transaction transaction(db);
        const std::string messageId = newMessageId(db);
        id = storeNotification(db, engineerId,
                               {{"aps", {{"alert", alert}, {"badge", 1}}}, {"NewsID", messageId}});
        storeMessage(db, engineerId, alert, messageId, id);
        transaction.commit();
    });
    // After the commit, so that a woken poll finds it; under the lock that parking takes too,
    // so that a poll parks before or sees this.
    server_.wake(engineerId);
    return static_cast<std::uint64_t>(id);
}

std::string PushEndpoints::newMessageId(Database& db) {
    auto id = db.query("SELECT lower(hex(randomblob(16)))");
    id.step();
    return id.text(0);
}

void PushEndpoints::storeMessage(Database& db, const std::string& engineerId,
                                 const std::string& alert, const std::string& messageId,
                                 std::int64_t pushId) {
    // About the engineer's newest order, so that it counts as unread as other order messages do;
    // an engineer without orders gets a notice.
    auto order =
        db.query("SELECT order_id FROM orders WHERE engineer_id = ? ORDER BY add_date DESC LIMIT 1",
                 engineerId);
    const bool hasOrder = order.step();
    db.run(
        "INSERT INTO messages (news_id, engineer_id, news_type_id, news_type, content, "
        "resource_id, is_read, add_date, push_id) VALUES (?, ?, ?, ?, ?, ?, 0, "
        "strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'), ?)",
        messageId, engineerId, hasOrder ? 57 : -1, hasOrder ? "订单状态" : "系统公告", alert,
        hasOrder ? order.text(0) : std::string(), pushId);
    // A sender that never stops would otherwise fill the disk. Numbers grow across restarts, so
    // the lowest are the oldest; the seeded messages, which have none, stay.
    db.run(
        "DELETE FROM messages WHERE engineer_id = ?1 AND push_id <= (SELECT push_id FROM "
        "messages WHERE engineer_id = ?1 AND push_id IS NOT NULL ORDER BY push_id DESC "
        "LIMIT 1 OFFSET ?2)",
        engineerId, static_cast<std::int64_t>(kMessagesKeptPerEngineer));
}

std::int64_t PushEndpoints::storeNotification(Database& db, const std::string& engineerId,
                                              const nlohmann::json& userInfo) {
    db.run("INSERT INTO pushes (engineer_id, user_info) VALUES (?, ?)", engineerId,
           userInfo.dump());
    const std::int64_t id = db.scalar("SELECT last_insert_rowid()");
    db.run(
        "DELETE FROM pushes WHERE engineer_id = ?1 AND id NOT IN (SELECT id FROM pushes "
        "WHERE engineer_id = ?1 ORDER BY id DESC LIMIT ?2)",
        engineerId, static_cast<std::int64_t>(kKeptPerEngineer));
    return id;
}

}  // namespace devserver
