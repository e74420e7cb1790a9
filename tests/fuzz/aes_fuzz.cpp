// AES. Whatever is encrypted, in either mode and with any key, decrypts back to itself; any
// bytes handed to decryption fail cleanly or give no more than they were.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "Security/CommonCrypto.h"
#include "VMAES.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout: mode byte, key length byte, key, 16-byte IV, data; short inputs pad with zeros.
    std::span<const std::uint8_t> rest(data, size);
    auto take = [&rest](std::size_t n) {
        const auto piece = rest.first(std::min(n, rest.size()));
        rest = rest.subspan(piece.size());
        return piece;
    };
    const auto header = take(2);
    const bool ecb = !header.empty() && (header[0] & 1) != 0;
    const auto key = take(header.size() > 1 ? header[1] % 48 : 0);
    std::array<std::uint8_t, kCCBlockSizeAES128> iv{};
    const auto ivBytes = take(iv.size());
    std::copy(ivBytes.begin(), ivBytes.end(), iv.begin());

    const auto encrypted = VMAES::encryptData(rest, ecb, key, iv.data());
    FUZZ_CHECK(encrypted.has_value() == (!rest.empty() && !key.empty()));
    std::array<std::uint8_t, kCCKeySizeAES256> fullKey{};
    std::copy_n(key.begin(), std::min(key.size(), fullKey.size()), fullKey.begin());
    const unsigned options = kCCOptionPKCS7Padding | (ecb ? kCCOptionECBMode : 0u);
    if (encrypted) {
        FUZZ_CHECK(encrypted->size() == (rest.size() / 16 + 1) * 16);
        std::vector<std::uint8_t> plain(encrypted->size());
        std::size_t moved = 0;
        FUZZ_CHECK(CCCrypt(kCCDecrypt, kCCAlgorithmAES128, options, fullKey, iv.data(), *encrypted,
                           plain, moved) == kCCSuccess);
        FUZZ_CHECK(std::equal(plain.begin(), plain.begin() + static_cast<long>(moved), rest.begin(),
                              rest.end()));
    }

    std::vector<std::uint8_t> out(rest.size());
    std::size_t moved = 0;
    if (CCCrypt(kCCDecrypt, kCCAlgorithmAES128, options, fullKey, iv.data(), rest, out, moved) ==
        kCCSuccess) {
        FUZZ_CHECK(moved <= rest.size());
    }
    return 0;
}
