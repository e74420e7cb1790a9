#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "Database.h"
#include "HttpServer.h"

namespace devserver {

// Remote notifications, as the app's notification source reads them (format in README.md), for
// the engineer of the request's session only:
//   POST /push/send   stores an unread message for him and a notification of it.
//   GET  /push/poll   answers once a notification newer than the one named comes for him; it
//                     waits parked in the server, holding no worker.
// Notifications and their numbers are kept in the data file, so that a restarted server goes on
// where the last one stopped.
class PushEndpoints {
  public:
    // A poll waits at most this long when it asks for longer.
    static constexpr int kMaxWaitSeconds = 30;
    // Notifications kept per engineer for polls that come late; older ones are dropped.
    static constexpr std::size_t kKeptPerEngineer = 100;
    // Messages that pushes made kept per engineer; older ones are dropped. Others are kept.
    static constexpr std::size_t kMessagesKeptPerEngineer = 1000;
    static_assert(kKeptPerEngineer <= kMessagesKeptPerEngineer,
                  "a notification kept names a message that is kept");
    static constexpr std::size_t kMaxAlertBytes = 512;
    using WithDatabase = std::function<void(const std::function<void(Database&)>&)>;

    // Parks waiting polls on the server, which must outlive this.
    PushEndpoints(WithDatabase withDatabase, HttpServer& server);

    static bool owns(std::string_view path);
    void registerOn(HttpServer& server);
    // Polls waiting now.
    std::size_t waitingPolls() const { return server_.parked(); }

  private:
    // What a poll asks: after which notification (none: from now on) and for how long.
    struct Asked {
        std::optional<std::uint64_t> after;
        int waitSeconds;
    };
    static std::optional<Asked> asked(const httplib::Request& request);
    // The session's engineer; empty without a live session.
    std::string engineerOf(const httplib::Request& request);
    void parkIfWaiting(const httplib::Request& head, HttpServer::Parker& parker);
    // Under mutex_.
    bool hasNewer(const std::string& engineerId, std::uint64_t after);
    // Stores an unread message for the engineer and its notification, then wakes his waiting
    // polls; returns the notification's number.
    std::uint64_t send(const std::string& engineerId, const std::string& alert);
    static std::string newMessageId(Database& db);
    // Drops the engineer's oldest messages that pushes made beyond those kept.
    static void storeMessage(Database& db, const std::string& engineerId, const std::string& alert,
                             const std::string& messageId, std::int64_t pushId);
    // Returns its number.
    static std::int64_t storeNotification(Database& db, const std::string& engineerId,
                                          const nlohmann::json& userInfo);

    WithDatabase withDatabase_;
    HttpServer& server_;
    // Orders parking against waking: a notification is stored and its engineer woken under it,
    // and a poll is parked under it only once it has found nothing newer.
    std::mutex mutex_;
};

}  // namespace devserver
