#include "NSHTTPCookie.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <nlohmann/json.hpp>

namespace {

// Name and value together; a larger cookie is refused rather than cut.
constexpr size_t kMaxCookieBytes = 4096;
// Max-Age beyond this (about a century) is taken as this, so the date cannot overflow.
constexpr long long kLongestMaxAge = 100LL * 365 * 24 * 3600;
constexpr long long kLongestStoredSeconds = 4LL * kLongestMaxAge;

std::string_view trimmedText(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

bool isAddressLiteral(std::string_view host) {
    return host.find(':') != std::string_view::npos ||
           std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isdigit(c) || c == '.'; });
}

bool domainMatches(std::string_view host, std::string_view domain) {
    if (host == domain) return true;
    return !isAddressLiteral(host) && host.size() > domain.size() && host.ends_with(domain) &&
           host[host.size() - domain.size() - 1] == '.';
}

// The directory of the request's path, as cookies without a Path attribute take it.
std::string defaultPath(const NSURL& url) {
    const std::string& path = url.percentEncodedPath();
    if (path.empty() || path.front() != '/') return "/";
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<NSHTTPCookie::Date> parseHTTPDate(std::string_view text) {
    const std::string value(text);
    for (const char* format :
         {"%a, %d %b %Y %H:%M:%S", "%a, %d-%b-%Y %H:%M:%S", "%A, %d-%b-%y %H:%M:%S"}) {
        std::tm tm{};
        const char* end = strptime(value.c_str(), format, &tm);
        if (end == nullptr) continue;
        const std::string_view rest = trimmedText(end);
        if (!rest.empty() && rest != "GMT" && rest != "UTC") continue;
        return std::chrono::system_clock::from_time_t(timegm(&tm));
    }
    return std::nullopt;
}

}  // namespace

std::optional<NSHTTPCookie> NSHTTPCookie::cookieWithSetCookieValue(std::string_view value,
                                                                   const NSURL& url, Date now) {
    if (url.host().empty() || hasControl(value)) return std::nullopt;
    const auto firstSemicolon = value.find(';');
    const std::string_view pair = value.substr(0, firstSemicolon);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    NSHTTPCookie cookie;
    cookie.name_ = trimmedText(pair.substr(0, equals));
    cookie.value_ = trimmedText(pair.substr(equals + 1));
    if (cookie.name_.empty() || cookie.name_.size() + cookie.value_.size() > kMaxCookieBytes)
        return std::nullopt;

    const std::string host = lowered(url.host());
    std::optional<Date> expires;
    std::optional<Date> maxAge;
    std::string domain;
    std::string path;
    std::string_view rest =
        firstSemicolon == std::string_view::npos ? "" : value.substr(firstSemicolon + 1);
    while (!rest.empty()) {
        const auto semicolon = rest.find(';');
        const std::string_view attribute = rest.substr(0, semicolon);
        rest = semicolon == std::string_view::npos ? "" : rest.substr(semicolon + 1);
        const auto eq = attribute.find('=');
        const std::string key = lowered(trimmedText(attribute.substr(0, eq)));
        const std::string_view text =
            eq == std::string_view::npos ? "" : trimmedText(attribute.substr(eq + 1));
        if (key == "expires") {
            if (const auto date = parseHTTPDate(text)) expires = date;
        } else if (key == "max-age") {
            long long seconds = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
            if (ec == std::errc::result_out_of_range && !text.starts_with('-')) {
                seconds = kLongestMaxAge;
            } else if (ec != std::errc() || end != text.data() + text.size()) {
                continue;
            }
            maxAge = seconds <= 0 ? Date::min()
                                  : now + std::chrono::seconds(std::min(seconds, kLongestMaxAge));
        } else if (key == "domain" && !text.empty()) {
            domain = lowered(text.starts_with('.') ? text.substr(1) : text);
        } else if (key == "path") {
            path = text.starts_with('/') ? std::string(text) : std::string();
        } else if (key == "secure") {
            cookie.secure_ = true;
        } else if (key == "httponly") {
            cookie.httpOnly_ = true;
        }
    }
    // A plain-text answer could otherwise overwrite what only an encrypted one may set.
    if (cookie.secure_ && url.scheme() != "https") return std::nullopt;
    if (domain.empty()) {
        cookie.domain_ = host;
    } else {
        // A bare top-level name would hand the cookie to every site under it.
        if (!domainMatches(host, domain) ||
            (domain != host && domain.find('.') == std::string::npos))
            return std::nullopt;
        cookie.domain_ = domain;
        cookie.hostOnly_ = false;
    }
    cookie.path_ = path.empty() ? defaultPath(url) : path;
    cookie.expires_ = maxAge ? maxAge : expires;
    return cookie;
}

bool NSHTTPCookie::matchesURL(const NSURL& url) const {
    const std::string host = lowered(url.host());
    if (hostOnly_ ? host != domain_ : !domainMatches(host, domain_)) return false;
    if (secure_ && url.scheme() != "https") return false;
    const std::string& requestPath =
        url.percentEncodedPath().empty() ? std::string("/") : url.percentEncodedPath();
    if (requestPath == path_) return true;
    return requestPath.starts_with(path_) &&
           (path_.ends_with('/') || requestPath[path_.size()] == '/');
}

std::string NSHTTPCookie::storedForm() const {
    nlohmann::json json{{"name", name_},        {"value", value_},   {"domain", domain_},
                        {"path", path_},        {"secure", secure_}, {"httpOnly", httpOnly_},
                        {"hostOnly", hostOnly_}};
    if (expires_)
        json["expires"] =
            std::chrono::duration_cast<std::chrono::seconds>(expires_->time_since_epoch()).count();
    return json.dump();
}

std::optional<NSHTTPCookie> NSHTTPCookie::fromStoredForm(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    NSHTTPCookie cookie;
    try {
        cookie.name_ = json.at("name").get<std::string>();
        cookie.value_ = json.at("value").get<std::string>();
        cookie.domain_ = json.at("domain").get<std::string>();
        cookie.path_ = json.at("path").get<std::string>();
        cookie.secure_ = json.at("secure").get<bool>();
        cookie.httpOnly_ = json.at("httpOnly").get<bool>();
        cookie.hostOnly_ = json.at("hostOnly").get<bool>();
        if (const auto it = json.find("expires"); it != json.end()) {
            const long long seconds = it->get<long long>();
            // Beyond what the clock holds: a damaged file.
            if (seconds < 0 || seconds > kLongestStoredSeconds) return std::nullopt;
            cookie.expires_ = Date(std::chrono::seconds(seconds));
        }
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    if (cookie.name_.empty() || cookie.domain_.empty() || !cookie.path_.starts_with('/'))
        return std::nullopt;
    return cookie;
}
