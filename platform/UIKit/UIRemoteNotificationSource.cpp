#include "UIKit/UIRemoteNotificationSource.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"

namespace {

// The server holds a poll for its wait; the request waits that long and some more.
constexpr double kTimeoutMargin = 10;

}  // namespace

std::shared_ptr<UIRemoteNotificationSource> UIRemoteNotificationSource::start(std::string pollURL,
                                                                              int waitSeconds) {
    auto source = std::shared_ptr<UIRemoteNotificationSource>(
        new UIRemoteNotificationSource(std::move(pollURL), waitSeconds));
    source->poll();
    return source;
}

UIRemoteNotificationSource::~UIRemoteNotificationSource() {
    thread_.verifyThread();
    if (connection_) connection_->cancel();
    if (retry_) retry_->invalidate();
}

void UIRemoteNotificationSource::poll() {
    thread_.verifyThread();
    std::string url = pollURL_;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "wait=" + std::to_string(waitSeconds_);
    if (last_) url += "&after=" + std::to_string(*last_);
    const auto address = NSURL::URLWithString(url);
    if (!address) {
        NSLog("Remote notifications: cannot poll %s", url.c_str());
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(address);
    request->setTimeoutInterval(waitSeconds_ + kTimeoutMargin);
    request->setMaximumResponseLength(kMaxReplyBytes);
    body_.clear();
    replyUsable_ = false;
    connection_ = NSURLConnection::create(
        request, std::weak_ptr<NSURLConnectionDelegate>(shared_from_this()), true);
}

void UIRemoteNotificationSource::retryLater() {
    connection_.reset();
    std::weak_ptr<UIRemoteNotificationSource> weak = shared_from_this();
    retry_ = NSTimer::scheduledTimerWithTimeInterval(kRetrySeconds, false, [weak](NSTimer&) {
        if (auto self = weak.lock()) self->poll();
    });
}

void UIRemoteNotificationSource::connectionDidReceiveResponse(
    NSURLConnection&, const std::shared_ptr<NSHTTPURLResponse>& response) {
    replyUsable_ = response && response->statusCode() == 200;
}

void UIRemoteNotificationSource::connectionDidReceiveData(NSURLConnection&,
                                                          std::span<const std::uint8_t> data) {
    if (!replyUsable_) return;
    body_.insert(body_.end(), data.begin(), data.end());
}

void UIRemoteNotificationSource::connectionDidFinishLoading(NSURLConnection&) {
    const NSData body = std::move(body_);
    body_.clear();
    if (!replyUsable_ || !take(body)) {
        retryLater();
        return;
    }
    poll();
}

void UIRemoteNotificationSource::connectionDidFailWithError(NSURLConnection&, const NSError&) {
    retryLater();
}

bool UIRemoteNotificationSource::take(const NSData& body) {
    const auto reply = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (!reply.is_object()) return false;
    const auto last = reply.find("last");
    const auto list = reply.find("notifications");
    if (last == reply.end() || !last->is_number_unsigned() || list == reply.end() ||
        !list->is_array())
        return false;
    const std::optional<std::uint64_t> seen = last_;
    last_ = std::max(last->get<std::uint64_t>(), seen.value_or(0));
    for (const auto& item : *list) {
        const auto id = item.find("id");
        const auto userInfo = item.find("userInfo");
        if (id == item.end() || !id->is_number_unsigned() || userInfo == item.end() ||
            !userInfo->is_object())
            continue;
        if (seen && id->get<std::uint64_t>() <= *seen) continue;
        // On a later turn, in order: the delegate may drop the source while it hears one.
        NSRunLoop::mainRunLoop()->performBlock([info = *userInfo] {
            UIApplication::sharedApplication()->didReceiveRemoteNotification(info);
        });
    }
    return true;
}
