#pragma once

#include <memory>
#include <string>

#include "NSObject.h"
#include "NSURL.h"

// What came back before the body: where from, what kind and how long it is expected to be.
class NSURLResponse : public NSObject {
  public:
    static constexpr long long kUnknownLength = -1;

    const std::shared_ptr<NSURL>& URL() const { return url_; }
    // Lower-case media type without parameters, e.g. "text/html"; empty when not given.
    const std::string& MIMEType() const { return mimeType_; }
    // The body length in bytes as it will be delivered, or kUnknownLength.
    long long expectedContentLength() const { return expectedContentLength_; }
    // The "charset" parameter, lower-case; empty when not given.
    const std::string& textEncodingName() const { return textEncodingName_; }

  protected:
    NSURLResponse(std::shared_ptr<NSURL> url, std::string mimeType, long long expectedContentLength,
                  std::string textEncodingName);

  private:
    std::shared_ptr<NSURL> url_;
    std::string mimeType_;
    long long expectedContentLength_;
    std::string textEncodingName_;
};
