#include "VMLogCipher.h"

#include <cstdint>
#include <vector>

#include "VMAES.h"
#include "VMBase64.h"
#include "VMRSA.h"
#include "VMResources.h"

namespace {

constexpr std::size_t kKeySize = 32;
constexpr std::size_t kIVSize = 16;

std::shared_ptr<VMRSA> sharedRSA() {
    static const std::shared_ptr<VMRSA> rsa = [] {
        const auto certificate = VMResources::publicKeyData();
        return VMRSA::create(std::span<const std::uint8_t>(certificate));
    }();
    return rsa;
}

}  // namespace

std::optional<std::string> VMLogCipher::seal(std::string_view text) {
    const auto rsa = sharedRSA();
    if (!rsa || text.empty()) return std::nullopt;
    auto keyAndIV = VMAES::AESKeyWithSize(kKeySize + kIVSize);
    if (!keyAndIV) return std::nullopt;
    const std::span<const std::uint8_t> key(keyAndIV->data(), kKeySize);
    const std::span<const std::uint8_t> plain(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    const auto cipher = VMAES::encryptUsingCBCModeForData(plain, key, keyAndIV->data() + kKeySize);
    const auto sealedKey = rsa->encryptWithData(*keyAndIV);
    if (!cipher || !sealedKey) return std::nullopt;
    return VMRSA::base64forData(*sealedKey) + ":" + VMRSA::base64forData(*cipher);
}
