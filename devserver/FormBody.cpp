#include "FormBody.h"

#include <algorithm>
#include <charconv>

#include "Foundation/NSStringEncoding.h"

namespace devserver {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string formDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<FormBody> FormBody::parse(std::string_view body, std::string* error) {
    auto reject = [error](std::string message) -> std::optional<FormBody> {
        if (error != nullptr) *error = std::move(message);
        return std::nullopt;
    };
    FormBody form;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view piece = body.substr(start, end - start);
        start = end + 1;
        // Empty pieces ("a=1&&b=2", a trailing '&') carry nothing.
        if (piece.empty()) continue;
        const size_t equals = piece.find('=');
        std::string key = formDecode(piece.substr(0, equals));
        std::string value =
            equals == std::string_view::npos ? std::string() : formDecode(piece.substr(equals + 1));
        if (key.empty()) return reject("请求参数格式错误");
        if (!NSStringIsValidUTF8(key) || !NSStringIsValidUTF8(value) ||
            key.find('\0') != std::string::npos || value.find('\0') != std::string::npos) {
            return reject("请求参数不是有效的文本");
        }
        if (form.has(key)) return reject("请求参数重复: " + key);
        form.fields_.emplace_back(std::move(key), std::move(value));
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
