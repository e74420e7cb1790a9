#include "FormBody.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "Foundation/NSURLUtilities.h"

namespace devserver {

namespace {

// Whether the '%' at i starts a "%XX" escape.
bool startsEscape(std::string_view text, size_t i) {
    constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";
    return i + 2 < text.size() && kHexDigits.find(text[i + 1]) != std::string_view::npos &&
           kHexDigits.find(text[i + 2]) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> formDecode(std::string_view text) {
    // The form's lenience spelled out for the platform's strict decoder: a stray '%' becomes
    // the escape of itself.
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            escaped += ' ';
        } else if (text[i] == '%' && !startsEscape(text, i)) {
            escaped += "%25";
        } else {
            escaped += text[i];
        }
    }
    return stringByRemovingPercentEncoding(escaped);
}

std::optional<FormBody> FormBody::parse(std::string_view body, std::string* error) {
    auto reject = [error](std::string message) -> std::optional<FormBody> {
        if (error != nullptr) *error = std::move(message);
        return std::nullopt;
    };
    FormBody form;
    // A tree rather than a hash: a client cannot choose keys that make it slow.
    std::set<std::string, std::less<>> seen;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view piece = body.substr(start, end - start);
        start = end + 1;
        // Empty pieces ("a=1&&b=2", a trailing '&') carry nothing.
        if (piece.empty()) continue;
        const size_t equals = piece.find('=');
        std::optional<std::string> key = formDecode(piece.substr(0, equals));
        std::optional<std::string> value =
            equals == std::string_view::npos ? std::string() : formDecode(piece.substr(equals + 1));
        if (key && key->empty()) return reject("请求参数格式错误");
        if (!key || !value || key->find('\0') != std::string::npos ||
            value->find('\0') != std::string::npos) {
            return reject("请求参数不是有效的文本");
        }
        if (!seen.insert(*key).second) return reject("请求参数重复: " + *key);
        form.fields_.emplace_back(std::move(*key), std::move(*value));
    }
    return form;
}

bool FormBody::has(std::string_view key) const {
    return std::any_of(fields_.begin(), fields_.end(),
                       [key](const auto& field) { return field.first == key; });
}

std::optional<std::string> FormBody::optional(std::string_view key) const {
    for (const auto& [name, value] : fields_) {
        if (name == key) return value;
    }
    return std::nullopt;
}

const std::string& FormBody::required(std::string_view key) const {
    for (const auto& [name, value] : fields_) {
        if (name == key && !value.empty()) return value;
    }
    throw BadRequest{"缺少参数: " + std::string(key)};
}

int64_t FormBody::integer(std::string_view key, int64_t fallback, int64_t min, int64_t max) const {
    const auto text = optional(key);
    if (!text || text->empty()) return fallback;
    int64_t value = 0;
    const auto* first = text->data();
    const auto* last = first + text->size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || value < min || value > max) {
        throw BadRequest{"参数无效: " + std::string(key)};
    }
    return value;
}

}  // namespace devserver
