#include "NSURLRequest.h"

NSURLRequest::NSURLRequest(std::shared_ptr<NSURL> url, NSURLRequestCachePolicy cachePolicy,
                           NSTimeInterval timeoutInterval)
    : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

NSURLRequest::NSURLRequest(const NSURLRequest& other)
    : NSObject(),
      url_(other.url_),
      cachePolicy_(other.cachePolicy_),
      timeoutInterval_(other.timeoutInterval_),
      timeoutIsIdleLimit_(other.timeoutIsIdleLimit_),
      method_(other.method_),
      headers_(other.headers_),
      body_(other.body_),
      maximumResponseLength_(other.maximumResponseLength_) {}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> URL) {
    return requestWithURL(std::move(URL), NSURLRequestUseProtocolCachePolicy,
                          kDefaultTimeoutInterval);
}

std::shared_ptr<NSURLRequest> NSURLRequest::requestWithURL(std::shared_ptr<NSURL> URL,
                                                           NSURLRequestCachePolicy cachePolicy,
                                                           NSTimeInterval timeoutInterval) {
    return std::shared_ptr<NSURLRequest>(
        new NSURLRequest(std::move(URL), cachePolicy, timeoutInterval));
}

std::optional<std::string> NSURLRequest::valueForHTTPHeaderField(std::string_view field) const {
    return NSHTTPHeaderValue(headers_, field);
}

std::shared_ptr<NSMutableURLRequest> NSURLRequest::mutableCopy() const {
    return std::shared_ptr<NSMutableURLRequest>(new NSMutableURLRequest(*this));
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(
    std::shared_ptr<NSURL> URL) {
    return requestWithURL(std::move(URL), NSURLRequestUseProtocolCachePolicy,
                          kDefaultTimeoutInterval);
}

std::shared_ptr<NSMutableURLRequest> NSMutableURLRequest::requestWithURL(
    std::shared_ptr<NSURL> URL, NSURLRequestCachePolicy cachePolicy,
    NSTimeInterval timeoutInterval) {
    return std::shared_ptr<NSMutableURLRequest>(
        new NSMutableURLRequest(std::move(URL), cachePolicy, timeoutInterval));
}

void NSMutableURLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    const auto it = headers_.find(field);
    if (!value) {
        if (it != headers_.end()) headers_.erase(it);
        return;
    }
    if (it != headers_.end()) {
        it->second = std::move(*value);
        return;
    }
    headers_.emplace(std::string(field), std::move(*value));
}

void NSMutableURLRequest::addValue(const std::string& value, std::string_view field) {
    const auto it = headers_.find(field);
    if (it == headers_.end()) {
        headers_.emplace(std::string(field), value);
        return;
    }
    it->second += ", " + value;
}
