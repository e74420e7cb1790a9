#include "VMUserAgent.h"

#include "VMMapServices.h"

namespace {

std::shared_ptr<NSMutableURLRequest> stamped(const std::shared_ptr<NSURLRequest>& request) {
    auto mutableRequest = std::dynamic_pointer_cast<NSMutableURLRequest>(request);
    // A copy keeps the whole request: its body, fields, reply limit and kind of time-out.
    if (!mutableRequest) mutableRequest = request->mutableCopy();
    mutableRequest->setValue(VMMapServices::sharedServices()->userAgent(), "User-Agent");
    mutableRequest->setValue(std::string("2.0"), "logversion");
    return mutableRequest;
}

}  // namespace

std::shared_ptr<NSURLConnection> brandedConnectionWithRequest(
    const std::shared_ptr<NSURLRequest>& request, std::weak_ptr<NSURLConnectionDelegate> delegate,
    bool startImmediately) {
    if (!request) {
        return nullptr;
    }
    return NSURLConnection::create(stamped(request), std::move(delegate), startImmediately);
}

std::optional<std::vector<std::uint8_t>> sendBrandedSynchronousRequest(
    const std::shared_ptr<NSURLRequest>& request, std::shared_ptr<NSHTTPURLResponse>* response,
    NSErrorOpt* error) {
    if (!request) {
        if (error != nullptr) *error = NSError::make(NSURLErrorDomain, NSURLErrorBadURL);
        return std::nullopt;
    }
    NSURLConnectionResult result = NSURLConnection::sendSynchronousRequest(stamped(request));
    if (response != nullptr) *response = result.response;
    if (error != nullptr) *error = result.error;
    if (result.error) {
        return std::nullopt;
    }
    return std::move(result.data);
}
