#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "Foundation/NSData.h"
#include "Security/SecBase.h"

// Keychain items, kept in one file in the app home beside (not inside) Documents, Library and
// tmp, so that they outlive the removal of the app's files. Queries and attributes are
// dictionaries keyed by the constants below; only generic-password items exist here.

inline constexpr const char* kSecClass = "class";
inline constexpr const char* kSecClassGenericPassword = "genp";
inline constexpr const char* kSecAttrService = "svce";
inline constexpr const char* kSecAttrAccount = "acct";
inline constexpr const char* kSecAttrAccessible = "pdmn";
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "ak";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlock = "ck";
inline constexpr const char* kSecAttrAccessibleAlways = "dk";
inline constexpr const char* kSecValueData = "v_Data";
inline constexpr const char* kSecReturnData = "r_Data";
inline constexpr const char* kSecMatchLimit = "m_Limit";
inline constexpr const char* kSecMatchLimitOne = "m_LimitOne";

inline constexpr OSStatus errSecIO = -36;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;

// The item's file name inside the app home.
inline constexpr const char* kSecKeychainFileName = "keychain.plist";

// Adds an item of the attributes (class, service, account, accessibility; the value data as
// binary). errSecDuplicateItem when one with the same class, service and account exists.
OSStatus SecItemAdd(const nlohmann::json& attributes);
// The value data of the first item matching the query's class, service and account (those
// given); the query must ask for the data with a match limit of one.
OSStatus SecItemCopyMatching(const nlohmann::json& query, std::optional<NSData>* result);
// Sets the value data (binary) and the accessibility given in attributesToUpdate on every item
// matching the query, in one write of the file; errSecItemNotFound when none matches, errSecParam
// for any other attribute.
OSStatus SecItemUpdate(const nlohmann::json& query, const nlohmann::json& attributesToUpdate);
// Deletes every item matching the query; errSecItemNotFound when none does. The file of a
// keychain left empty is removed, which needs no room on a full disk.
OSStatus SecItemDelete(const nlohmann::json& query);

// Every call answers errSecDecode, and changes nothing, while the file cannot be read as a
// keychain; errSecIO when it cannot be written. The first call on a home removes the file's
// temporaries that a process killed while writing it left.
