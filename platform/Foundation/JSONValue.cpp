#include "JSONValue.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "NSPropertyListSerialization.h"
#include "SaturatingCast.h"

namespace {

std::string shortestDouble(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
}

std::string describeData(const nlohmann::json::binary_t& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "<";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0xF];
    }
    return out + ">";
}

// A date outside the calendar's span has no calendar text: it is described by its seconds.
std::string describeDate(double secondsSince1970) {
    if (!NSPropertyListDateIsRepresentable(secondsSince1970))
        return shortestDouble(secondsSince1970);
    const auto seconds = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return text;
}

bool isPlainWord(const std::string& text) {
    if (text.empty()) return false;
    for (const unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '$' || c == '/' ||
                           c == ':' || c == '-';
        if (!plain) return false;
    }
    return true;
}

std::string quoted(const std::string& text) {
    if (isPlainWord(text)) return text;
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

std::string indent(int level) { return std::string(static_cast<size_t>(level) * 4, ' '); }

std::string describeAt(const nlohmann::json& value, int level, bool nested);

std::string describeContainer(const nlohmann::json& value, int level) {
    std::string out = indent(level);
    if (value.is_array()) {
        out += "(\n";
        for (size_t i = 0; i < value.size(); ++i) {
            out += indent(level + 1) + describeAt(value[i], level + 1, true);
            out += i + 1 < value.size() ? ",\n" : "\n";
        }
        return out + indent(level) + ")";
    }
    out += "{\n";
    for (const auto& [key, item] : value.items()) {
        out += indent(level + 1) + quoted(key) + " = " + describeAt(item, level + 1, true) + ";\n";
    }
    return out + indent(level) + "}";
}

std::string describeAt(const nlohmann::json& value, int level, bool nested) {
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
        case Type::string:
            return nested ? quoted(value.get_ref<const std::string&>())
                          : value.get_ref<const std::string&>();
        case Type::number_integer:
            return std::to_string(value.get<std::int64_t>());
        case Type::number_unsigned:
            return std::to_string(value.get<std::uint64_t>());
        case Type::number_float:
            return shortestDouble(value.get<double>());
        case Type::boolean:
            return value.get<bool>() ? "1" : "0";
        case Type::null:
        case Type::discarded:
            return nested ? quoted("<null>") : "<null>";
        case Type::binary:
            return NSPropertyListIsDate(value) ? describeDate(NSPropertyListDateSeconds(value))
                                               : describeData(value.get_binary());
        case Type::array:
        case Type::object:
            return describeContainer(value, level);
    }
    return {};
}

std::int64_t leadingInteger(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    std::uint64_t magnitude = 0;
    bool overflow = false;
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(kMax) + 1;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
        if (magnitude > (kLimit - digit) / 10) {
            overflow = true;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (overflow || magnitude > static_cast<std::uint64_t>(kMax))
            return std::numeric_limits<std::int64_t>::min();
        return -static_cast<std::int64_t>(magnitude);
    }
    if (overflow || magnitude > static_cast<std::uint64_t>(kMax)) return kMax;
    return static_cast<std::int64_t>(magnitude);
}

}  // namespace

std::string describe(const nlohmann::json& value) { return describeAt(value, 0, false); }

std::string describeValueForKey(const nlohmann::json& dictionary, const std::string& key) {
    if (!dictionary.is_object()) return "(null)";
    const auto it = dictionary.find(key);
    return it == dictionary.end() ? "(null)" : describe(*it);
}

std::int64_t integerValue(const nlohmann::json& value) {
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
        case Type::number_integer:
            return value.get<std::int64_t>();
        case Type::number_unsigned: {
            const auto n = value.get<std::uint64_t>();
            constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
            return n > static_cast<std::uint64_t>(kMax) ? kMax : static_cast<std::int64_t>(n);
        }
        case Type::number_float:
            return saturatingCast<std::int64_t>(value.get<double>());
        case Type::boolean:
            return value.get<bool>() ? 1 : 0;
        case Type::string:
            return leadingInteger(value.get_ref<const std::string&>());
        default:
            return 0;
    }
}
