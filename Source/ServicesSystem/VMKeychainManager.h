#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// Small values of the map kit kept in the keychain, one generic-password item per key (service
// and account both the key), so that they outlive the removal of the application's files.
// Values are anything keyed archiving writes: property-list values as nlohmann::json.
class VMKeychainManager {
  public:
    // The item query of the key; nothing for an empty key.
    static std::optional<nlohmann::json> getKeychainItemForKey(const std::string& key);
    // Replaces the key's item with the archive of the object. Nothing happens for a null object,
    // an empty key or an object that cannot be archived: the stored value then stays.
    static void setObject(const nlohmann::json& object, const std::string& key);
    // Nothing for an empty key, an absent item, or a value that does not unarchive (logged).
    static std::optional<nlohmann::json> objectForKey(const std::string& key);
    static void removeObjectForKey(const std::string& key);
};
