#include "NSURL.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "NSCharacterSet.h"
#include "NSURLUtilities.h"

namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Characters that may appear in a part, escapes aside: unreserved, sub-delimiters and the extras.
bool partIsValid(std::string_view part, std::string_view extra) {
    static const NSCharacterSet base = [] {
        auto set = NSCharacterSet::alphanumericCharacterSet();
        set.addCharactersInString("-._~!$&'()*+,;=");
        return set;
    }();
    for (size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '%') {
            if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2])) return false;
            i += 2;
            continue;
        }
        if (!base.characterIsMember(c) && extra.find(c) == std::string_view::npos) return false;
    }
    return true;
}

bool schemeIsValid(std::string_view scheme) {
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return false;
    return std::all_of(scheme.begin(), scheme.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::shared_ptr<NSURL> NSURL::URLWithString(std::string_view string) {
    if (string.empty()) return nullptr;
    auto url = std::shared_ptr<NSURL>(new NSURL());
    url->string_ = std::string(string);
    std::string_view rest = string;

    if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
        url->fragment_ = std::string(rest.substr(hash + 1));
        if (!partIsValid(url->fragment_, ":@/?")) return nullptr;
        rest = rest.substr(0, hash);
    }
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        url->query_ = std::string(rest.substr(q + 1));
        if (!partIsValid(url->query_, ":@/?")) return nullptr;
        rest = rest.substr(0, q);
    }
    if (const auto colon = rest.find(':');
        colon != std::string_view::npos && colon < rest.find('/')) {
        // A colon in the first segment either ends a scheme or makes the reference invalid.
        if (!schemeIsValid(rest.substr(0, colon))) return nullptr;
        url->scheme_ = lowered(rest.substr(0, colon));
        rest = rest.substr(colon + 1);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto end = std::min(rest.find('/'), rest.size());
        std::string_view authority = rest.substr(0, end);
        rest = rest.substr(end);
        if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
            url->user_ = std::string(authority.substr(0, at));
            if (!partIsValid(url->user_, ":")) return nullptr;
            authority = authority.substr(at + 1);
        }
        std::string_view portText;
        if (authority.starts_with('[')) {
            const auto close = authority.find(']');
            if (close == std::string_view::npos) return nullptr;
            const auto literal = authority.substr(1, close - 1);
            if (literal.empty() || !std::all_of(literal.begin(), literal.end(), [](char c) {
                    return isHex(c) || c == ':' || c == '.';
                }))
                return nullptr;
            url->host_ = std::string(literal);
            const auto after = authority.substr(close + 1);
            if (!after.empty() && !after.starts_with(':')) return nullptr;
            if (!after.empty()) portText = after.substr(1);
        } else {
            const auto colon = authority.rfind(':');
            url->host_ = std::string(authority.substr(0, colon));
            if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
            if (!partIsValid(url->host_, "")) return nullptr;
        }
        if (!portText.empty()) {
            if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c));
                }))
                return nullptr;
            const int port = std::stoi(std::string(portText));
            if (port > 65535) return nullptr;
            url->port_ = port;
        }
    }
    url->path_ = std::string(rest);
    if (!partIsValid(url->path_, ":@/")) return nullptr;
    return url;
}

std::shared_ptr<NSURL> NSURL::fileURLWithPath(std::string_view path) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec) absolute = std::filesystem::path(path);
    return URLWithString("file://" +
                         stringByAddingPercentEncodingWithAllowedCharacters(
                             absolute.string(), NSCharacterSet::URLPathAllowedCharacterSet()));
}

std::string NSURL::path() const {
    std::string decoded = stringByRemovingPercentEncoding(path_).value_or(path_);
    if (decoded.size() > 1 && decoded.back() == '/') decoded.pop_back();
    return decoded;
}
