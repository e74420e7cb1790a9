#include "NSHTTPURLResponse.h"

#include <cctype>
#include <charconv>

namespace {

std::string trimmedLower(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

long long contentLength(const NSHTTPHeaderFields& headers) {
    if (const auto encoding = NSHTTPHeaderValue(headers, "Content-Encoding")) {
        const auto e = trimmedLower(*encoding);
        if (!e.empty() && e != "identity") return NSURLResponse::kUnknownLength;
    }
    const auto value = NSHTTPHeaderValue(headers, "Content-Length");
    if (!value) return NSURLResponse::kUnknownLength;
    const auto text = trimmedLower(*value);
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0)
        return NSURLResponse::kUnknownLength;
    return n;
}

}  // namespace

std::shared_ptr<NSHTTPURLResponse> NSHTTPURLResponse::create(std::shared_ptr<NSURL> URL,
                                                             long statusCode,
                                                             std::string HTTPVersion,
                                                             NSHTTPHeaderFields headerFields) {
    std::string mimeType;
    std::string charset;
    if (const auto header = NSHTTPHeaderValue(headerFields, "Content-Type")) {
        std::string_view rest = *header;
        auto semi = rest.find(';');
        mimeType = trimmedLower(rest.substr(0, semi));
        while (semi != std::string_view::npos) {
            rest = rest.substr(semi + 1);
            semi = rest.find(';');
            const auto param = rest.substr(0, semi);
            const auto eq = param.find('=');
            if (eq == std::string_view::npos || trimmedLower(param.substr(0, eq)) != "charset")
                continue;
            charset = trimmedLower(param.substr(eq + 1));
            if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
                charset = charset.substr(1, charset.size() - 2);
            break;
        }
    }
    const long long length = contentLength(headerFields);
    return std::shared_ptr<NSHTTPURLResponse>(new NSHTTPURLResponse(
        std::move(URL), statusCode, std::move(HTTPVersion), std::move(headerFields),
        std::move(mimeType), length, std::move(charset)));
}

NSHTTPURLResponse::NSHTTPURLResponse(std::shared_ptr<NSURL> url, long statusCode,
                                     std::string version, NSHTTPHeaderFields headers,
                                     std::string mimeType, long long expectedContentLength,
                                     std::string textEncodingName)
    : NSURLResponse(std::move(url), std::move(mimeType), expectedContentLength,
                    std::move(textEncodingName)),
      statusCode_(statusCode),
      version_(std::move(version)),
      headers_(std::move(headers)) {}

std::optional<std::string> NSHTTPURLResponse::valueForHTTPHeaderField(
    std::string_view field) const {
    return NSHTTPHeaderValue(headers_, field);
}
