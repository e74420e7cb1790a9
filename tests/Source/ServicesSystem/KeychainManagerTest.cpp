#include <gtest/gtest.h>

#include <filesystem>

#include "Foundation/NSData.h"
#include "Foundation/NSPathUtilities.h"
#include "LogCapture.h"
#include "Security/SecItem.h"
#include "TempDir.h"
#include "VMKeychainManager.h"

namespace {

class KeychainManager : public ::testing::Test {
  protected:
    void SetUp() override { NSSetHomeDirectory(home_.path()); }
    testsupport::TempDir home_;
};

TEST_F(KeychainManager, SecondValueReplacesTheFirstAndOutlivesTheAppsFiles) {
    const nlohmann::json first = {{"token", "a"}};
    const nlohmann::json second = nlohmann::json::array({1, "two"});
    VMKeychainManager::setObject(first, "session");
    VMKeychainManager::setObject(second, "session");
    for (const char* directory : {"Documents", "Library", "tmp"})
        std::filesystem::remove_all(home_ / directory);
    EXPECT_EQ(VMKeychainManager::objectForKey("session"), second);

    // Exactly one item: once deleted, nothing of the key is left.
    EXPECT_EQ(SecItemDelete(*VMKeychainManager::getKeychainItemForKey("session")), errSecSuccess);
    EXPECT_EQ(VMKeychainManager::objectForKey("session"), std::nullopt);
}

TEST_F(KeychainManager, EmptyKeysNullObjectsAndUnarchivableObjectsChangeNothing) {
    VMKeychainManager::setObject("kept", "k");
    VMKeychainManager::setObject(nullptr, "k");
    VMKeychainManager::setObject(nlohmann::json(nlohmann::json::value_t::discarded), "k");
    VMKeychainManager::setObject("value", "");
    EXPECT_EQ(VMKeychainManager::objectForKey("k"), "kept");
    EXPECT_EQ(VMKeychainManager::getKeychainItemForKey(""), std::nullopt);
    VMKeychainManager::removeObjectForKey("");
    EXPECT_EQ(VMKeychainManager::objectForKey("k"), "kept");
    VMKeychainManager::removeObjectForKey("k");
    EXPECT_EQ(VMKeychainManager::objectForKey("k"), std::nullopt);
}

TEST_F(KeychainManager, MissingKeyIsQuietAndADamagedValueIsLogged) {
    testsupport::LogCapture log;
    EXPECT_EQ(VMKeychainManager::objectForKey("never"), std::nullopt);
    EXPECT_TRUE(log.lines().empty());

    auto item = *VMKeychainManager::getKeychainItemForKey("broken");
    item[kSecValueData] = nlohmann::json::binary(NSDataFromString("not an archive"));
    ASSERT_EQ(SecItemAdd(item), errSecSuccess);
    EXPECT_EQ(VMKeychainManager::objectForKey("broken"), std::nullopt);
    EXPECT_TRUE(log.contains("Unarchive of broken failed: "))
        << testing::PrintToString(log.lines());
}

}  // namespace
