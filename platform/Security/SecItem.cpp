#include "SecItem.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyListSerialization.h"

namespace {

constexpr const char* kMatchKeys[] = {kSecClass, kSecAttrService, kSecAttrAccount};

// One thread reads and replaces the file at a time (and clears its leftovers); the replacement is
// atomic, so another process only ever sees a whole file.
std::mutex gKeychainMutex;

std::string keychainPath() { return NSHomeDirectory() + "/" + kSecKeychainFileName; }

// The file whose stale temporaries were cleared last (under the mutex): the first call on a home
// clears them.
std::string gClearedKeychainPath;

bool isTextOrAbsent(const nlohmann::json& query, const char* key) {
    const auto it = query.find(key);
    return it == query.end() || it->is_string();
}

bool isValidQuery(const nlohmann::json& query) {
    if (!query.is_object()) return false;
    const auto secClass = query.find(kSecClass);
    if (secClass == query.end() || *secClass != kSecClassGenericPassword) return false;
    return isTextOrAbsent(query, kSecAttrService) && isTextOrAbsent(query, kSecAttrAccount) &&
           isTextOrAbsent(query, kSecAttrAccessible);
}

bool matches(const nlohmann::json& item, const nlohmann::json& query) {
    for (const char* key : kMatchKeys) {
        const auto wanted = query.find(key);
        if (wanted == query.end()) continue;
        const auto have = item.find(key);
        if (have == item.end() || *have != *wanted) return false;
    }
    return true;
}

bool isValidItem(const nlohmann::json& item) {
    if (!isValidQuery(item)) return false;
    const auto data = item.find(kSecValueData);
    return data != item.end() && data->is_binary();
}

// The stored items; an absent file is an empty keychain, anything unreadable is errSecDecode.
OSStatus readItems(std::vector<nlohmann::json>& items) {
    items.clear();
    const std::string path = keychainPath();
    if (path != gClearedKeychainPath) {
        NSDataRemoveStaleTemporaries(path);
        gClearedKeychainPath = path;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return ec ? errSecIO : errSecSuccess;
    const auto data = NSDataWithContentsOfFile(path);
    if (!data) return errSecIO;
    const auto list = NSPropertyListSerialization::propertyListWithData(*data);
    if (!list || !list->is_array()) return errSecDecode;
    for (const auto& item : *list) {
        if (!isValidItem(item)) return errSecDecode;
        items.push_back(item);
    }
    return errSecSuccess;
}

// Readable by the owner only, and swapped in whole: a crash leaves the old file or the new one.
// No item left is no file: its removal needs no room on a full disk, where a rewrite does.
OSStatus writeItems(const std::vector<nlohmann::json>& items) {
    if (items.empty())
        return ::unlink(keychainPath().c_str()) == 0 || errno == ENOENT ? errSecSuccess : errSecIO;
    const auto data = NSPropertyListSerialization::dataWithPropertyList(
        nlohmann::json(items), NSPropertyListBinaryFormat_v1_0);
    if (!data) return errSecInternalComponent;
    return NSDataWriteToFile(*data, keychainPath(), true, nullptr, 0600) ? errSecSuccess : errSecIO;
}

}  // namespace

OSStatus SecItemAdd(const nlohmann::json& attributes) {
    if (!isValidQuery(attributes) || !attributes.contains(kSecAttrService) ||
        !attributes.contains(kSecAttrAccount))
        return errSecParam;
    const auto data = attributes.find(kSecValueData);
    if (data == attributes.end() || !data->is_binary()) return errSecParam;
    std::lock_guard lock(gKeychainMutex);
    std::vector<nlohmann::json> items;
    if (const OSStatus status = readItems(items); status != errSecSuccess) return status;
    for (const auto& item : items)
        if (matches(item, attributes)) return errSecDuplicateItem;
    nlohmann::json item = nlohmann::json::object();
    for (const char* key :
         {kSecClass, kSecAttrService, kSecAttrAccount, kSecAttrAccessible, kSecValueData}) {
        if (const auto it = attributes.find(key); it != attributes.end()) item[key] = *it;
    }
    if (!item.contains(kSecAttrAccessible))
        item[kSecAttrAccessible] = kSecAttrAccessibleWhenUnlocked;
    items.push_back(std::move(item));
    return writeItems(items);
}

OSStatus SecItemCopyMatching(const nlohmann::json& query, std::optional<NSData>* result) {
    if (result != nullptr) result->reset();
    const auto returnData = query.find(kSecReturnData);
    const auto matchLimit = query.find(kSecMatchLimit);
    if (!isValidQuery(query) || returnData == query.end() || *returnData != true ||
        matchLimit == query.end() || *matchLimit != kSecMatchLimitOne)
        return errSecParam;
    std::lock_guard lock(gKeychainMutex);
    std::vector<nlohmann::json> items;
    if (const OSStatus status = readItems(items); status != errSecSuccess) return status;
    for (const auto& item : items) {
        if (!matches(item, query)) continue;
        if (result != nullptr) *result = NSData(item.at(kSecValueData).get_binary());
        return errSecSuccess;
    }
    return errSecItemNotFound;
}

OSStatus SecItemUpdate(const nlohmann::json& query, const nlohmann::json& attributesToUpdate) {
    if (!isValidQuery(query) || !attributesToUpdate.is_object() || attributesToUpdate.empty())
        return errSecParam;
    for (const auto& [key, value] : attributesToUpdate.items()) {
        const bool data = key == kSecValueData && value.is_binary();
        const bool accessible = key == kSecAttrAccessible && value.is_string();
        if (!data && !accessible) return errSecParam;
    }
    std::lock_guard lock(gKeychainMutex);
    std::vector<nlohmann::json> items;
    if (const OSStatus status = readItems(items); status != errSecSuccess) return status;
    bool found = false;
    for (auto& item : items) {
        if (!matches(item, query)) continue;
        item.update(attributesToUpdate);
        found = true;
    }
    return found ? writeItems(items) : errSecItemNotFound;
}

OSStatus SecItemDelete(const nlohmann::json& query) {
    if (!isValidQuery(query)) return errSecParam;
    std::lock_guard lock(gKeychainMutex);
    std::vector<nlohmann::json> items;
    if (const OSStatus status = readItems(items); status != errSecSuccess) return status;
    const auto removed =
        std::erase_if(items, [&](const auto& item) { return matches(item, query); });
    if (removed == 0) return errSecItemNotFound;
    return writeItems(items);
}
