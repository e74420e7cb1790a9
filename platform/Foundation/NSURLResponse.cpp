#include "NSURLResponse.h"

NSURLResponse::NSURLResponse(std::shared_ptr<NSURL> url, std::string mimeType,
                             long long expectedContentLength, std::string textEncodingName)
    : url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      expectedContentLength_(expectedContentLength),
      textEncodingName_(std::move(textEncodingName)) {}
