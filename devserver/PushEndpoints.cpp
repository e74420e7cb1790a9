#include "PushEndpoints.h"

#include <httplib.h>

#include <chrono>

#include "ApiRouter.h"
#include "FormBody.h"

namespace devserver {

namespace {

constexpr int kDefaultWaitSeconds = 25;

void answerJSON(httplib::Response& response, int status, const nlohmann::json& body) {
    response.status = status;
    response.set_content(body.dump(), "application/json; charset=utf-8");
}

bool engineerExists(Database& db, const std::string& id) {
    auto row = db.query("SELECT 1 FROM engineers WHERE user_id = ?", id);
    return row.step();
}

}  // namespace

bool PushEndpoints::owns(std::string_view path) {
    return path == "/push/send" || path == "/push/poll";
}

void PushEndpoints::registerOn(httplib::Server& server) {
    server.Post("/push/send", [this](const httplib::Request& request, httplib::Response& response) {
        std::string error;
        const auto form = FormBody::parse(request.body, &error);
        if (!form) {
            answerJSON(response, 400, actionReply(false, error));
            return;
        }
        const auto engineer = form->optional("brisfoldID").value_or("");
        const auto alert = form->optional("alert").value_or("");
        if (engineer.empty() || alert.empty() || alert.size() > kMaxAlertBytes) {
            answerJSON(response, 400, actionReply(false, "brisfoldID and alert are required"));
            return;
        }
        std::string messageId;
        bool known = false;
        withDatabase_([&](Database& db) {
            known = engineerExists(db, engineer);
            if (!known) return;
            auto id = db.query("SELECT lower(hex(randomblob(16)))");
            id.step();
            messageId = id.text(0);
            // About the engineer's newest order, so that it counts as unread as other order
            // messages do; an engineer without orders gets a notice.
            auto order = db.query(
                "SELECT order_id FROM orders WHERE engineer_id = ? ORDER BY add_date DESC LIMIT 1",
                engineer);
            const bool hasOrder = order.step();
            db.run(
                "INSERT INTO messages (news_id, engineer_id, news_type_id, news_type, content, "
                "resource_id, is_read, add_date) VALUES (?, ?, ?, ?, ?, ?, 0, "
                "strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'))",
                messageId, engineer, hasOrder ? 57 : -1, hasOrder ? "订单状态" : "系统公告", alert,
                hasOrder ? order.text(0) : std::string());
        });
        if (!known) {
            answerJSON(response, 404, actionReply(false, "no such engineer"));
            return;
        }
        const auto id =
            push(engineer, {{"aps", {{"alert", alert}, {"badge", 1}}}, {"NewsID", messageId}});
        auto body = actionReply(true, "");
        body["id"] = id;
        answerJSON(response, 200, body);
    });
    server.Get("/push/poll", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string engineer = request.get_param_value("brisfoldID");
        if (engineer.empty()) {
            answerJSON(response, 400, actionReply(false, "brisfoldID is required"));
            return;
        }
        int wait = kDefaultWaitSeconds;
        std::uint64_t after = 0;
        const bool fromNow = !request.has_param("after");
        try {
            if (request.has_param("wait")) wait = std::stoi(request.get_param_value("wait"));
            if (!fromNow) after = std::stoull(request.get_param_value("after"));
        } catch (const std::exception&) {
            answerJSON(response, 400, actionReply(false, "after and wait are numbers"));
            return;
        }
        if (wait < 0 || wait > kMaxWaitSeconds) wait = kMaxWaitSeconds;
        if (fromNow) {
            std::lock_guard lock(mutex_);
            answerJSON(response, 200,
                       {{"last", lastId_}, {"notifications", nlohmann::json::array()}});
            return;
        }
        answerJSON(response, 200, poll(engineer, after, wait));
    });
}

nlohmann::json PushEndpoints::poll(const std::string& engineerId, std::uint64_t after,
                                   int waitSeconds) {
    std::unique_lock lock(mutex_);
    const auto newer = [&] {
        const auto it = queued_.find(engineerId);
        return it != queued_.end() && !it->second.empty() && it->second.back().id > after;
    };
    ++waiting_;
    changed_.wait_for(lock, std::chrono::seconds(waitSeconds),
                      [&] { return stopping_ || newer(); });
    --waiting_;
    nlohmann::json list = nlohmann::json::array();
    std::uint64_t last = after;
    if (const auto it = queued_.find(engineerId); it != queued_.end()) {
        for (const auto& queued : it->second) {
            if (queued.id <= after) continue;
            list.push_back({{"id", queued.id}, {"userInfo", queued.userInfo}});
            last = queued.id;
        }
    }
    return {{"last", last}, {"notifications", std::move(list)}};
}

std::uint64_t PushEndpoints::push(const std::string& engineerId, nlohmann::json userInfo) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = ++lastId_;
        auto& queue = queued_[engineerId];
        queue.push_back({id, std::move(userInfo)});
        while (queue.size() > kKeptPerEngineer) queue.pop_front();
    }
    changed_.notify_all();
    return id;
}

std::size_t PushEndpoints::waitingPolls() {
    std::lock_guard lock(mutex_);
    return waiting_;
}

void PushEndpoints::shutDown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

}  // namespace devserver
