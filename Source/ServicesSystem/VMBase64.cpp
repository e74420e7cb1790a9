#include "VMBase64.h"

#include <algorithm>
#include <array>

#include "Foundation/NSStringEncoding.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}
constexpr auto kDecode = makeDecodeTable();

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> madataWithBase64EncodedString(std::string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t group = 0;
    int symbols = 0;
    for (const char c : text) {
        const std::int8_t value = kDecode[static_cast<unsigned char>(c)];
        if (value < 0) {
            continue;
        }
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (++symbols == 4) {
            out.push_back(static_cast<std::uint8_t>(group >> 16));
            out.push_back(static_cast<std::uint8_t>(group >> 8));
            out.push_back(static_cast<std::uint8_t>(group));
            group = 0;
            symbols = 0;
        }
    }
    // A tail of 2 or 3 symbols carries 1 or 2 bytes; a lone symbol carries none.
    if (symbols == 2) {
        out.push_back(static_cast<std::uint8_t>(group >> 4));
    } else if (symbols == 3) {
        out.push_back(static_cast<std::uint8_t>(group >> 10));
        out.push_back(static_cast<std::uint8_t>(group >> 2));
    }
    if (out.empty()) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> mabase64EncodedStringWithWrapWidth(std::span<const std::uint8_t> data,
                                                              std::size_t wrapWidth) {
    if (data.empty()) {
        return std::nullopt;
    }
    const std::size_t lineLength = wrapWidth >= 4 ? wrapWidth / 4 * 4 : 0;
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4 * (lineLength > 0 ? 2 : 1));
    std::size_t onLine = 0;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t group = static_cast<std::uint32_t>(data[i]) << 16;
        if (n > 1) group |= static_cast<std::uint32_t>(data[i + 1]) << 8;
        if (n > 2) group |= data[i + 2];
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[group & 63] : '=';
        onLine += 4;
        // Every line that whole groups fill ends in a break; the padded tail group never does.
        if (lineLength > 0 && onLine == lineLength && n == 3) {
            out += "\r\n";
            onLine = 0;
        }
    }
    return out;
}

std::optional<std::string> mabase64EncodedString(std::span<const std::uint8_t> data) {
    return mabase64EncodedStringWithWrapWidth(data, 0);
}

std::optional<std::string> mastringWithBase64EncodedString(std::string_view text) {
    auto bytes = madataWithBase64EncodedString(text);
    if (!bytes || !NSStringIsValidUTF8(std::string_view(
                      reinterpret_cast<const char*>(bytes->data()), bytes->size()))) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::string> mabase64EncodedStringWithWrapWidth(std::string_view text,
                                                              std::size_t wrapWidth) {
    return mabase64EncodedStringWithWrapWidth(bytesOf(text), wrapWidth);
}

std::optional<std::string> mabase64EncodedString(std::string_view text) {
    return mabase64EncodedStringWithWrapWidth(bytesOf(text), 0);
}

std::optional<std::string> mabase64DecodedString(std::string_view text) {
    return mastringWithBase64EncodedString(text);
}

std::optional<std::vector<std::uint8_t>> mabase64DecodedData(std::string_view text) {
    return madataWithBase64EncodedString(text);
}
