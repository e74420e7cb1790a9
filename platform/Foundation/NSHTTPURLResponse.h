#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "NSHTTPHeaderFields.h"
#include "NSURLResponse.h"

// An HTTP answer: any status, 404 and 500 included, is a response rather than a failure.
class NSHTTPURLResponse : public NSURLResponse {
  public:
    // The expected length comes from Content-Length, except for an encoded (compressed) body,
    // whose decoded length is unknown in advance.
    static std::shared_ptr<NSHTTPURLResponse> create(std::shared_ptr<NSURL> URL, long statusCode,
                                                     std::string HTTPVersion,
                                                     NSHTTPHeaderFields headerFields);

    long statusCode() const { return statusCode_; }
    const std::string& HTTPVersion() const { return version_; }
    const NSHTTPHeaderFields& allHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;

  private:
    NSHTTPURLResponse(std::shared_ptr<NSURL> url, long statusCode, std::string version,
                      NSHTTPHeaderFields headers, std::string mimeType,
                      long long expectedContentLength, std::string textEncodingName);

    long statusCode_;
    std::string version_;
    NSHTTPHeaderFields headers_;
};
