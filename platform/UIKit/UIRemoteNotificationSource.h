#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/ThreadChecker.h"

// Where remote notifications come from on this platform: a long-poll endpoint of the servers.
// The source asks it, again and again, for the notifications after the last one it has seen;
// each reply is one JSON object {"last": n, "notifications": [{"id": n, "userInfo": {...}}]},
// and each notification's userInfo goes once, in order, to the application delegate. The first
// request carries no "after", so the source starts with what comes from then on. A failed or
// unreadable reply is tried again after a pause. Made and dropped on the main thread; dropping
// it stops it.
class UIRemoteNotificationSource : public NSURLConnectionDelegate,
                                   public std::enable_shared_from_this<UIRemoteNotificationSource> {
  public:
    static constexpr int kDefaultWaitSeconds = 25;
    static constexpr double kRetrySeconds = 5;
    // A longer reply fails the poll, which is tried again after the pause.
    static constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

    // pollURL: the endpoint, with any query of its own (the request carries the cookies of the
    // session, which name the receiver); the source adds "wait" (how long the server may hold a
    // request) and "after".
    static std::shared_ptr<UIRemoteNotificationSource> start(std::string pollURL,
                                                             int waitSeconds = kDefaultWaitSeconds);
    ~UIRemoteNotificationSource() override;

    // The number of the last notification seen; none before the first reply.
    std::optional<std::uint64_t> lastId() const { return last_; }

    void connectionDidReceiveResponse(NSURLConnection& connection,
                                      const std::shared_ptr<NSHTTPURLResponse>& response) override;
    void connectionDidReceiveData(NSURLConnection& connection,
                                  std::span<const std::uint8_t> data) override;
    void connectionDidFinishLoading(NSURLConnection& connection) override;
    void connectionDidFailWithError(NSURLConnection& connection, const NSError& error) override;

  private:
    UIRemoteNotificationSource(std::string pollURL, int waitSeconds)
        : pollURL_(std::move(pollURL)), waitSeconds_(waitSeconds) {}
    void poll();
    void retryLater();
    // False when the reply is not one the source can read.
    bool take(const NSData& body);

    const std::string pollURL_;
    const int waitSeconds_;
    ThreadChecker thread_{"UIRemoteNotificationSource"};
    std::shared_ptr<NSURLConnection> connection_;
    std::shared_ptr<NSTimer> retry_;
    NSData body_;
    bool replyUsable_ = false;
    std::optional<std::uint64_t> last_;
};
