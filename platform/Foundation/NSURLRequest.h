#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Clock.h"
#include "NSData.h"
#include "NSHTTPHeaderFields.h"
#include "NSObject.h"
#include "NSURL.h"

enum NSURLRequestCachePolicy : unsigned long {
    NSURLRequestUseProtocolCachePolicy = 0,
    NSURLRequestReloadIgnoringLocalCacheData = 1,
    NSURLRequestReloadIgnoringCacheData = NSURLRequestReloadIgnoringLocalCacheData,
    NSURLRequestReturnCacheDataElseLoad = 2,
    NSURLRequestReturnCacheDataDontLoad = 3,
    NSURLRequestReloadIgnoringLocalAndRemoteCacheData = 4,
    NSURLRequestReloadRevalidatingCacheData = 5,
};

class NSMutableURLRequest;

// What to load: URL, method, header fields, body, time-out and cache policy. There is no local
// cache, so the reload-ignoring policies only ask the servers on the way not to answer from theirs.
class NSURLRequest : public NSObject {
  public:
    static constexpr NSTimeInterval kDefaultTimeoutInterval = 60.0;

    static std::shared_ptr<NSURLRequest> requestWithURL(std::shared_ptr<NSURL> URL);
    static std::shared_ptr<NSURLRequest> requestWithURL(std::shared_ptr<NSURL> URL,
                                                        NSURLRequestCachePolicy cachePolicy,
                                                        NSTimeInterval timeoutInterval);

    const std::shared_ptr<NSURL>& URL() const { return url_; }
    NSURLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    // Seconds after the start by which loading has ended, with a time-out error if it had not
    // finished, however the server trickles its bytes; or, for a request whose time-out is an
    // idle limit, seconds without progress.
    NSTimeInterval timeoutInterval() const { return timeoutInterval_; }
    // Set only for large downloads, which may take as long as they keep moving.
    bool timeoutIsIdleLimit() const { return timeoutIsIdleLimit_; }
    const std::string& HTTPMethod() const { return method_; }
    const NSHTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
    const NSData& HTTPBody() const { return body_; }
    // The largest body (as decoded) the caller can use; 0 for no limit. A longer reply fails
    // with NSURLErrorDataLengthExceedsMaximum instead of growing without end.
    std::uint64_t maximumResponseLength() const { return maximumResponseLength_; }

    std::shared_ptr<NSMutableURLRequest> mutableCopy() const;

  protected:
    NSURLRequest(std::shared_ptr<NSURL> url, NSURLRequestCachePolicy cachePolicy,
                 NSTimeInterval timeoutInterval);
    NSURLRequest(const NSURLRequest& other);

    std::shared_ptr<NSURL> url_;
    NSURLRequestCachePolicy cachePolicy_;
    NSTimeInterval timeoutInterval_;
    bool timeoutIsIdleLimit_ = false;
    std::string method_ = "GET";
    NSHTTPHeaderFields headers_;
    NSData body_;
    std::uint64_t maximumResponseLength_ = 0;
};

class NSMutableURLRequest : public NSURLRequest {
  public:
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(std::shared_ptr<NSURL> URL);
    static std::shared_ptr<NSMutableURLRequest> requestWithURL(std::shared_ptr<NSURL> URL,
                                                               NSURLRequestCachePolicy cachePolicy,
                                                               NSTimeInterval timeoutInterval);

    void setURL(std::shared_ptr<NSURL> URL) { url_ = std::move(URL); }
    void setCachePolicy(NSURLRequestCachePolicy policy) { cachePolicy_ = policy; }
    void setTimeoutInterval(NSTimeInterval seconds) { timeoutInterval_ = seconds; }
    void setTimeoutIsIdleLimit(bool idleLimit) { timeoutIsIdleLimit_ = idleLimit; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }
    // Replaces the field (whatever the case of its name); an absent value removes it.
    void setValue(std::optional<std::string> value, std::string_view field);
    // Appends to an existing field with ", ".
    void addValue(const std::string& value, std::string_view field);
    void setAllHTTPHeaderFields(NSHTTPHeaderFields fields) { headers_ = std::move(fields); }
    void setHTTPBody(NSData body) { body_ = std::move(body); }
    void setHTTPBody(std::string_view body) { body_.assign(body.begin(), body.end()); }
    void setMaximumResponseLength(std::uint64_t bytes) { maximumResponseLength_ = bytes; }

  private:
    friend class NSURLRequest;
    NSMutableURLRequest(std::shared_ptr<NSURL> url, NSURLRequestCachePolicy cachePolicy,
                        NSTimeInterval timeoutInterval)
        : NSURLRequest(std::move(url), cachePolicy, timeoutInterval) {}
    explicit NSMutableURLRequest(const NSURLRequest& other) : NSURLRequest(other) {}
};
