#include "Hex.h"

#include <stdexcept>

namespace testsupport {

namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

}  // namespace

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const auto b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xf];
    }
    return out;
}

std::vector<std::uint8_t> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd length of hex text");
    std::vector<std::uint8_t> out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(digitValue(hex[i]) * 16 + digitValue(hex[i + 1])));
    }
    return out;
}

}  // namespace testsupport
