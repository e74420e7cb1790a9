#include "VAvaMD5Addition.h"

#include "Security/CommonCrypto.h"

std::optional<std::string> ma_MD5String(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    return ma_MD5String(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> ma_MD5String(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return std::nullopt;
    }
    std::uint8_t digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(data, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * CC_MD5_DIGEST_LENGTH);
    for (const std::uint8_t byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}
