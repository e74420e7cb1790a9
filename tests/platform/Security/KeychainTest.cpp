#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "Foundation/NSPathUtilities.h"
#include "Security/SecItem.h"
#include "TempDir.h"
#include "WriteFaults.h"

namespace {

nlohmann::json item(const std::string& service, const std::string& account) {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrService, service},
            {kSecAttrAccount, account},
            {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock}};
}

nlohmann::json withData(nlohmann::json attributes, const std::string& text) {
    attributes[kSecValueData] = nlohmann::json::binary(NSDataFromString(text));
    return attributes;
}

nlohmann::json fetch(nlohmann::json query) {
    query[kSecReturnData] = true;
    query[kSecMatchLimit] = kSecMatchLimitOne;
    return query;
}

class Keychain : public ::testing::Test {
  protected:
    void SetUp() override { NSSetHomeDirectory(home_.path()); }
    std::string file() const { return home_ / kSecKeychainFileName; }
    testsupport::TempDir home_;
};

TEST_F(Keychain, ItemsAreAddedFoundAndDeletedInAFileOfTheOwnersAlone) {
    EXPECT_EQ(SecItemAdd(withData(item("s", "a"), "one")), errSecSuccess);
    EXPECT_EQ(SecItemAdd(withData(item("s", "a"), "two")), errSecDuplicateItem);
    EXPECT_EQ(SecItemAdd(withData(item("s", "b"), "three")), errSecSuccess);
    EXPECT_EQ(SecItemAdd(item("s", "c")), errSecParam) << "no value data";

    std::optional<NSData> data;
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecSuccess);
    EXPECT_EQ(data, NSDataFromString("one"));
    EXPECT_EQ(SecItemCopyMatching(fetch(item("x", "a")), &data), errSecItemNotFound);
    EXPECT_FALSE(data);
    EXPECT_EQ(SecItemCopyMatching(item("s", "a"), &data), errSecParam) << "asks for no data";

    EXPECT_EQ(SecItemDelete(item("s", "a")), errSecSuccess);
    EXPECT_EQ(SecItemDelete(item("s", "a")), errSecItemNotFound);
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecItemNotFound);
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "b")), &data), errSecSuccess);
    EXPECT_EQ(data, NSDataFromString("three"));

    // The file is the owner's alone and outlives the app's directories.
    ASSERT_EQ(SecItemAdd(withData(item("s", "a"), "kept")), errSecSuccess);
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    for (const char* directory : {"Documents", "Library", "tmp"})
        std::filesystem::remove_all(home_ / directory);
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecSuccess);
    EXPECT_EQ(data, NSDataFromString("kept"));
    // Nothing but the file itself is left behind by a replacement.
    ASSERT_EQ(SecItemDelete(item("s", "a")), errSecSuccess);
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home_.path()))
        entries += entry.path().filename().string().starts_with(kSecKeychainFileName);
    EXPECT_EQ(entries, 1u);
}

TEST_F(Keychain, UpdateReplacesTheValueInOneWriteOrLeavesItAsItWas) {
    ASSERT_EQ(SecItemAdd(withData(item("s", "a"), "old")), errSecSuccess);
    const auto value = [](const char* text) {
        return nlohmann::json{{kSecValueData, nlohmann::json::binary(NSDataFromString(text))}};
    };
    std::optional<NSData> data;
    {
        testsupport::FailingWrites full(home_.path());
        EXPECT_EQ(SecItemUpdate(item("s", "a"), value("new")), errSecIO);
        EXPECT_EQ(full.writes(), 1);
    }
    ASSERT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecSuccess);
    EXPECT_EQ(data, NSDataFromString("old"));

    EXPECT_EQ(SecItemUpdate(item("s", "a"), value("new")), errSecSuccess);
    ASSERT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecSuccess);
    EXPECT_EQ(data, NSDataFromString("new"));
    EXPECT_EQ(SecItemUpdate(item("s", "b"), value("new")), errSecItemNotFound);
    EXPECT_EQ(SecItemUpdate(item("s", "a"), {{kSecAttrAccount, "b"}}), errSecParam);
}

// Removing a file needs no room where rewriting it does.
TEST_F(Keychain, OnAFullDiskTheLastItemIsDeletedAndAnotherStaysAsItWas) {
    ASSERT_EQ(SecItemAdd(withData(item("s", "a"), "one")), errSecSuccess);
    ASSERT_EQ(SecItemAdd(withData(item("s", "b"), "two")), errSecSuccess);
    testsupport::FailingWrites full(home_.path());
    EXPECT_EQ(SecItemDelete(item("s", "a")), errSecIO);
    std::optional<NSData> data;
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecSuccess);
    auto everyItem = item("s", "");
    everyItem.erase(kSecAttrAccount);
    EXPECT_EQ(SecItemDelete(everyItem), errSecSuccess);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "b")), &data), errSecItemNotFound);
}

// A process killed while it wrote the file left the write's temporary, holding an older password.
TEST_F(Keychain, FirstCallOnAHomeRemovesTheTemporariesOfKilledWrites) {
    const std::string left = file() + ".A1b2C3";
    { std::ofstream(left) << "zw123456"; }
    std::optional<NSData> data;
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecItemNotFound);
    EXPECT_FALSE(std::filesystem::exists(left));
}

TEST_F(Keychain, DamagedFileIsReportedAndLeftAsItIs) {
    { std::ofstream(file()) << "not a keychain"; }
    std::optional<NSData> data;
    EXPECT_EQ(SecItemCopyMatching(fetch(item("s", "a")), &data), errSecDecode);
    EXPECT_EQ(SecItemAdd(withData(item("s", "a"), "new")), errSecDecode);
    EXPECT_EQ(SecItemDelete(item("s", "a")), errSecDecode);
    std::ifstream in(file());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a keychain");
}

}  // namespace
