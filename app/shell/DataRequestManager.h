#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "Foundation/NSObject.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLLoader.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIViewController.h"

// A value from the user or from a reply, made safe to put into a request body: '%', '&', '='
// and '+' are percent-escaped so that a value can neither end itself nor bring in a key. Any
// other text stays byte for byte as it is.
std::string formValue(std::string_view value);

// A reply value as the screens show it ("%@"), with a missing or null value as empty text.
std::string replyText(const nlohmann::json& reply, const std::string& key);

// The one way the screens talk to the service API: form bodies POSTed with a 10-second time-out,
// JSON dictionaries back on the main thread. Every other request of the app (sign-in, sign-out,
// pictures) is made by requestForURL too, so none goes without the reply limit and the deadline.
// The body is the request's key: while a request is in flight an identical one is dropped. Every
// reply takes the loading overlay down; a status other than 200 and a failure show as a toast; a
// dictionary reply goes to the screen (or the block), is kept under its key and is posted as a
// notification named by the key.
class DataRequestManager : public NSObject {
  public:
    using Block = std::function<void(const nlohmann::json& dictionary, bool success)>;
    // The longest answer taken from the service API, the sign-in's included: dozens of times a
    // full page of a hundred inquiries. A longer one fails as any failed request does.
    static constexpr std::uint64_t kMaxReplyLength = std::uint64_t{2} << 20;

    // Seconds by which every request of the app has ended, however slowly the server answers.
    static constexpr double kTimeoutInterval = 10.0;

    static std::shared_ptr<DataRequestManager> shareManger();

    // A request of the app to the servers, with the reply limit and the deadline; a form body
    // makes it a POST.
    std::shared_ptr<NSMutableURLRequest> requestForURL(
        std::shared_ptr<NSURL> url, std::optional<std::string_view> formBody = std::nullopt) const;
    double timeoutInterval() const { return timeoutInterval_; }
    // Tests shorten it so that a slow server is seen failing within seconds.
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }

    // url: the service's base address with "api/" and the path. The screen is held weakly: a
    // reply for a screen that has gone reaches nobody.
    void requestWithURLString(const std::string& url, const std::string& currentText,
                              std::weak_ptr<UIViewController> cls);
    // A dictionary reply goes to the block as (dictionary, true) instead of the screen.
    void requestWithURLString(const std::string& url, const std::string& currentText,
                              std::weak_ptr<UIViewController> cls, Block block);

    bool isInFlight(const std::string& key) const { return inFlight_.count(key) > 0; }
    bool hasRequestsInFlight() const { return !inFlight_.empty(); }
    // The last dictionary that came back for the key, or null.
    nlohmann::json replyForKey(const std::string& key) const;
    // Forgets every kept reply, for a launch that must not see an earlier one's (the manager
    // lives as long as the process, which may launch the app more than once).
    void forgetReplies() { replies_.clear(); }
    // The text of the toast for an answer with this status.
    static std::string statusText(long statusCode);

    // Where requests are loaded: the shared network thread when null (tests hand in a loader
    // with a transport of their own).
    void setLoader(std::shared_ptr<NSURLLoader> loader) { loader_ = std::move(loader); }

  private:
    class Request;
    DataRequestManager() = default;
    void finish(const std::shared_ptr<Request>& request, long status, const std::string& body);
    void fail(const std::shared_ptr<Request>& request, const NSError& error);

    std::map<std::string, std::shared_ptr<Request>> inFlight_;
    std::map<std::string, nlohmann::json> replies_;
    std::shared_ptr<NSURLLoader> loader_;
    double timeoutInterval_ = kTimeoutInterval;
};
