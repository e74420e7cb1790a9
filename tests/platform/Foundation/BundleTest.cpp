#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSBundle.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using testsupport::TempDir;

TEST(BundleTest, MainBundleInfoDictionary) {
    auto bundle = NSBundle::mainBundle();
    EXPECT_EQ(bundle->bundleIdentifier(), "com.brisfold.engineer");
    EXPECT_TRUE(bundle->objectForInfoDictionaryKey("NoSuchKey").is_null());
    const json types = bundle->objectForInfoDictionaryKey("CFBundleURLTypes");
    ASSERT_TRUE(types.is_array());
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types[0]["CFBundleURLName"], "com.brisfold.engineer");
    EXPECT_EQ(types[0]["CFBundleURLSchemes"], json::array({"brisfold"}));
}

TEST(BundleTest, BinaryInfoPlistAndDamagedOne) {
    TempDir dir;
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        json{{"CFBundleIdentifier", "com.example.binary"}}, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data);
    ASSERT_TRUE(NSDataWriteToFile(*data, dir / "Info.plist", false));
    auto binary = NSBundle::bundleWithPath(dir.path().string());
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->bundleIdentifier(), "com.example.binary");

    TempDir damagedDir;
    ASSERT_TRUE(NSDataWriteToFile(NSDataFromString("<plist><dict><key>a"),
                                  damagedDir / "Info.plist", false));
    testsupport::LogCapture log;
    auto damaged = NSBundle::bundleWithPath(damagedDir.path().string());
    EXPECT_TRUE(damaged->infoDictionary().empty());
    EXPECT_EQ(damaged->bundleIdentifier(), "");
    EXPECT_EQ(log.lines().size(), 1u);

    TempDir emptyDir;
    EXPECT_TRUE(NSBundle::bundleWithPath(emptyDir.path().string())->infoDictionary().empty());
}

}  // namespace
