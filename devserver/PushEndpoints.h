#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "Database.h"

namespace httplib {
class Server;
}

namespace devserver {

// Remote notifications, as the app's notification source reads them (format in README.md):
//   POST /push/send   stores an unread message for an engineer and queues a notification of it.
//   GET  /push/poll   waits until a notification newer than the one named comes for an engineer.
class PushEndpoints {
  public:
    // A poll waits at most this long when it asks for longer.
    static constexpr int kMaxWaitSeconds = 30;
    // Notifications kept per engineer for polls that come late; older ones are dropped.
    static constexpr std::size_t kKeptPerEngineer = 100;
    static constexpr std::size_t kMaxAlertBytes = 512;
    using WithDatabase = std::function<void(const std::function<void(Database&)>&)>;

    explicit PushEndpoints(WithDatabase withDatabase) : withDatabase_(std::move(withDatabase)) {}

    static bool owns(std::string_view path);
    void registerOn(httplib::Server& server);
    // Answers every waiting poll at once, so that the server can stop.
    void shutDown();
    // Polls waiting now.
    std::size_t waitingPolls();
    // Queues a notification for the engineer; returns its number.
    std::uint64_t push(const std::string& engineerId, nlohmann::json userInfo);

  private:
    struct Queued {
        std::uint64_t id;
        nlohmann::json userInfo;
    };
    nlohmann::json poll(const std::string& engineerId, std::uint64_t after, int waitSeconds);

    WithDatabase withDatabase_;
    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    bool stopping_ = false;
    std::size_t waiting_ = 0;
    std::uint64_t lastId_ = 0;
    std::map<std::string, std::deque<Queued>, std::less<>> queued_;
};

}  // namespace devserver
