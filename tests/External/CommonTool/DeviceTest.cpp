#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "Foundation/NSBundle.h"
#include "TempDir.h"
#include "VAvaIdentifierAddition.h"
#include "VAvaMD5Addition.h"
#include "ZIRidUdoDoNotBackup.h"

namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

TEST(DeviceIdentifier, HardwareAddressAndItsDigests) {
    const auto mac = macaddress();
    ASSERT_TRUE(mac) << "this machine has no interface with a hardware address";
    EXPECT_TRUE(std::regex_match(*mac, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}"))) << *mac;
    EXPECT_EQ(vavaMACAddress(), mac);

    const auto global = vavaUniqueGlobalDeviceIdentifier();
    ASSERT_TRUE(global);
    EXPECT_TRUE(std::regex_match(*global, std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(vavaUniqueGlobalDeviceIdentifier(), global);
    EXPECT_EQ(global, ma_MD5String(*mac));
}

TEST(DeviceIdentifier, PerApplicationIdentifierIncludesTheBundleIdentifier) {
    TempDir dir;
    std::ofstream(dir.path() / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
           "<string>com.brisfold.test</string></dict></plist>\n";
    const std::string previous = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(dir.path().string());
    const auto mac = macaddress();
    ASSERT_TRUE(mac);
    EXPECT_EQ(vavaUniqueDeviceIdentifier(), ma_MD5String(*mac + "com.brisfold.test"));
    EXPECT_NE(vavaUniqueDeviceIdentifier(), vavaUniqueGlobalDeviceIdentifier());
    NSBundle::setMainBundlePath(previous);
}

TEST(DoNotBackup, MarksExistingPathsOnly) {
    TempDir dir;
    const fs::path missing = dir.path() / "missing";
    EXPECT_FALSE(forbidBackup(missing));
    EXPECT_FALSE(fs::exists(missing));

    const fs::path nested = dir.path() / "a" / "b";
    ASSERT_TRUE(createDirectoryAndForbidBackup(nested));
    EXPECT_TRUE(fs::is_directory(nested));
    char value[8] = {};
    ASSERT_EQ(getxattr(nested.c_str(), "user.excluded-from-backup", value, sizeof value), 1);
    EXPECT_EQ(value[0], '1');

    // A file where a directory should go.
    std::ofstream(dir.path() / "file") << "x";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(createDirectoryAndForbidBackup(dir.path() / "file" / "sub"));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::HasSubstr("Error create directory"));
}

TEST(DoNotBackup, SystemVersionsCompareNumerically) {
    EXPECT_TRUE(systemVersionGreaterThanOrEqualTo("0"));
    EXPECT_TRUE(systemVersionGreaterThanOrEqualTo("2.6.32"));
    EXPECT_FALSE(systemVersionGreaterThanOrEqualTo("999.0"));
}

}  // namespace
