#include "VAvaMD5Addition.h"

#include "Security/CommonCrypto.h"

namespace {

std::string hexDigest(std::span<const std::uint8_t> data) {
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

}  // namespace

std::optional<std::string> vm_MD5String(std::string_view text) {
    // Only an empty string has no digest; one that starts with a zero byte digests no bytes.
    if (text.empty()) return std::nullopt;
    text = text.substr(0, text.find('\0'));
    return hexDigest(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> vm_MD5String(std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    return hexDigest(data);
}
