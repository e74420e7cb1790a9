#include <gtest/gtest.h>

#include <filesystem>

#include "Foundation/NSData.h"
#include "Foundation/NSPathUtilities.h"
#include "LogCapture.h"
#include "Security/SecItem.h"
#include "TempDir.h"
#include "VMKeychainManager.h"
#include "WriteFaults.h"

namespace {

TEST(KeychainManager, KeepsOneItemAKeyAndChangesNothingOnBadInput) {
    testsupport::TempDir home;
    NSSetHomeDirectory(home.path());
    testsupport::LogCapture log;
    EXPECT_EQ(VMKeychainManager::objectForKey("never"), std::nullopt);
    EXPECT_TRUE(log.lines().empty()) << "a missing key is quiet";

    // The second value replaces the first and outlives the app's files.
    const nlohmann::json second = nlohmann::json::array({1, "two"});
    VMKeychainManager::setObject({{"token", "a"}}, "session");
    VMKeychainManager::setObject(second, "session");
    for (const char* directory : {"Documents", "Library", "tmp"})
        std::filesystem::remove_all(home / directory);
    EXPECT_EQ(VMKeychainManager::objectForKey("session"), second);
    // Exactly one item: once deleted, nothing of the key is left.
    EXPECT_EQ(SecItemDelete(*VMKeychainManager::getKeychainItemForKey("session")), errSecSuccess);
    EXPECT_EQ(VMKeychainManager::objectForKey("session"), std::nullopt);

    // Empty keys, null and unarchivable objects change nothing.
    VMKeychainManager::setObject("kept", "k");
    VMKeychainManager::setObject(nullptr, "k");
    VMKeychainManager::setObject(nlohmann::json(nlohmann::json::value_t::discarded), "k");
    VMKeychainManager::setObject("value", "");
    VMKeychainManager::removeObjectForKey("");
    EXPECT_EQ(VMKeychainManager::objectForKey("k"), "kept");
    EXPECT_EQ(VMKeychainManager::getKeychainItemForKey(""), std::nullopt);
    VMKeychainManager::removeObjectForKey("k");
    EXPECT_EQ(VMKeychainManager::objectForKey("k"), std::nullopt);

    // A damaged value is logged.
    auto item = *VMKeychainManager::getKeychainItemForKey("broken");
    item[kSecValueData] = nlohmann::json::binary(NSDataFromString("not an archive"));
    ASSERT_EQ(SecItemAdd(item), errSecSuccess);
    EXPECT_EQ(VMKeychainManager::objectForKey("broken"), std::nullopt);
    EXPECT_TRUE(log.contains("Unarchive of broken failed: "))
        << testing::PrintToString(log.lines());
}

// A process ended during any write of a replacement leaves the old value or the new one.
TEST(KeychainManager, AReplacementEndedAtAnyWriteLeavesOneOfTheValues) {
    testsupport::TempDir home;
    NSSetHomeDirectory(home.path());
    for (int endedAt = 1;; ++endedAt) {
        SCOPED_TRACE(endedAt);
        VMKeychainManager::setObject("old", "session");
        int writes = 0;
        {
            testsupport::FailingWrites ended(home.path(), endedAt);
            VMKeychainManager::setObject("new", "session");
            writes = ended.writes();
        }
        const auto kept = VMKeychainManager::objectForKey("session");
        EXPECT_TRUE(kept == "old" || kept == "new") << testing::PrintToString(kept);
        if (writes < endedAt) break;
    }
}

}  // namespace
