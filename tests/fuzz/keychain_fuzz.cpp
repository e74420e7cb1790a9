// Arbitrary bytes as the keychain file. A file that does not read as a keychain is refused by
// every call and left exactly as it was; one that reads answers all three calls consistently.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSPathUtilities.h"
#include "FuzzTempDir.h"
#include "Security/SecItem.h"

namespace {

std::string gHome;
std::string gFile;

nlohmann::json query() {
    return {{kSecClass, kSecClassGenericPassword}, {kSecAttrService, "s"}, {kSecAttrAccount, "a"}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gHome = fuzzTempDir("keychain_fuzz").string();
    NSSetHomeDirectory(gHome);
    gFile = gHome + "/" + kSecKeychainFileName;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const NSData bytes(data, data + size);
    FUZZ_CHECK(NSDataWriteToFile(bytes, gFile, true));
    auto fetch = query();
    fetch[kSecReturnData] = true;
    fetch[kSecMatchLimit] = kSecMatchLimitOne;
    std::optional<NSData> found;
    const OSStatus read = SecItemCopyMatching(fetch, &found);
    auto add = query();
    add[kSecValueData] = nlohmann::json::binary(NSDataFromString("value"));
    const OSStatus added = SecItemAdd(add);
    if (read == errSecDecode) {
        FUZZ_CHECK(added == errSecDecode);
        FUZZ_CHECK(SecItemDelete(query()) == errSecDecode);
        FUZZ_CHECK(NSDataWithContentsOfFile(gFile) == bytes);
        return 0;
    }
    FUZZ_CHECK(read == errSecSuccess || read == errSecItemNotFound);
    FUZZ_CHECK(added == (read == errSecSuccess ? errSecDuplicateItem : errSecSuccess));
    FUZZ_CHECK(SecItemDelete(query()) == errSecSuccess);
    FUZZ_CHECK(SecItemCopyMatching(fetch, &found) == errSecItemNotFound);
    return 0;
}
