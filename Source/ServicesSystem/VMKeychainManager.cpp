#include "VMKeychainManager.h"

#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSLog.h"
#include "Security/SecItem.h"

std::optional<nlohmann::json> VMKeychainManager::getKeychainItemForKey(const std::string& key) {
    if (key.empty()) return std::nullopt;
    return nlohmann::json{{kSecClass, kSecClassGenericPassword},
                          {kSecAttrService, key},
                          {kSecAttrAccount, key},
                          {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock}};
}

void VMKeychainManager::setObject(const nlohmann::json& object, const std::string& key) {
    if (object.is_null() || key.empty()) return;
    // Archived first, so that a value that cannot be stored does not cost the stored one.
    const auto archive = NSKeyedArchiver::archivedDataWithRootObject(object);
    if (!archive) return;
    auto item = *getKeychainItemForKey(key);
    const auto value = nlohmann::json::binary(*archive);
    // Replaced in place, in one write of the keychain: a delete and an add are two, and a process
    // ended between them would lose the value.
    const nlohmann::json replaced{{kSecValueData, value},
                                  {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock}};
    if (SecItemUpdate(item, replaced) != errSecItemNotFound) return;
    item[kSecValueData] = value;
    SecItemAdd(item);
}

std::optional<nlohmann::json> VMKeychainManager::objectForKey(const std::string& key) {
    auto query = getKeychainItemForKey(key);
    if (!query) return std::nullopt;
    (*query)[kSecReturnData] = true;
    (*query)[kSecMatchLimit] = kSecMatchLimitOne;
    std::optional<NSData> data;
    if (SecItemCopyMatching(*query, &data) != errSecSuccess || !data) return std::nullopt;
    NSError error;
    auto object = NSKeyedUnarchiver::unarchiveObjectWithData(*data, &error);
    if (!object) {
        NSLog("Unarchive of %s failed: %s", key.c_str(), error.localizedDescription.c_str());
        return std::nullopt;
    }
    return object;
}

void VMKeychainManager::removeObjectForKey(const std::string& key) {
    if (const auto query = getKeychainItemForKey(key)) SecItemDelete(*query);
}
