#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "Foundation/NSURLErrorDescription.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace {

using nlohmann::json;
using testsupport::TempDir;

// Points the main bundle at a directory whose Info.plist names the region (or none), and back
// at the app's resources when it goes.
class RegionBundle {
  public:
    explicit RegionBundle(const std::optional<std::string>& region) {
        json info = {{"CFBundleIdentifier", "com.example.region"}};
        if (region) info["CFBundleDevelopmentRegion"] = *region;
        const auto data =
            NSPropertyListSerialization::dataWithPropertyList(info, NSPropertyListXMLFormat_v1_0);
        EXPECT_TRUE(data && NSDataWriteToFile(*data, dir_ / "Info.plist", false));
        NSBundle::setMainBundlePath(dir_.path().string());
    }
    ~RegionBundle() { NSBundle::setMainBundlePath(BRISFOLD_RESOURCES_DIR); }

  private:
    TempDir dir_;
};

TEST(BundleTest, InfoDictionaryOfTheMainBundleOfABinaryPlistAndOfADamagedOne) {
    auto bundle = NSBundle::mainBundle();
    EXPECT_EQ(bundle->bundleIdentifier(), "com.brisfold.engineer");
    EXPECT_TRUE(bundle->objectForInfoDictionaryKey("NoSuchKey").is_null());
    // Its keys are read through the kit's map URL search, from bundles of its test's own.

    TempDir dir;
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        json{{"CFBundleIdentifier", "com.example.binary"}}, NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(data && NSDataWriteToFile(*data, dir / "Info.plist", false));
    EXPECT_EQ(NSBundle::bundleWithPath(dir.path().string())->bundleIdentifier(),
              "com.example.binary");

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

TEST(URLErrorDescriptionTest, FollowsTheMainBundlesDevelopmentRegion) {
    const std::string chinese = "未能连接到服务器。";
    const std::string english = "Could not connect to the server.";
    const struct {
        std::optional<std::string> region;
        std::string expected;
    } cases[] = {
        {"zh-Hans", chinese}, {"zh_CN", chinese},      {"zh-Hans-CN", chinese},
        {"zh", chinese},      {"en", english},         {"zh-Hant", english},
        {"zh_TW", english},   {std::nullopt, english},
    };
    for (const auto& c : cases) {
        RegionBundle bundle(c.region);
        EXPECT_EQ(NSURLErrorDescription(NSURLErrorCannotConnectToHost), c.expected)
            << c.region.value_or("(none)");
    }
}

TEST(URLErrorDescriptionTest, SpeaksThePhonesWordsInBothLanguages) {
    const struct {
        long code;
        const char* english;
        const char* chinese;
    } cases[] = {
        {NSURLErrorTimedOut, "The request timed out.", "请求超时。"},
        {NSURLErrorNotConnectedToInternet, "The Internet connection appears to be offline.",
         "似乎已断开与互联网的连接。"},
        {NSURLErrorCannotFindHost, "A server with the specified hostname could not be found.",
         "未能找到使用指定主机名的服务器。"},
        {NSURLErrorNetworkConnectionLost, "The network connection was lost.", "网络连接已中断。"},
        {NSURLErrorCancelled, "cancelled", "已取消"},
        // A code without a text of its own.
        {NSURLErrorFileDoesNotExist, "unknown error", "未知错误"},
    };
    for (const auto& c : cases) {
        {
            RegionBundle bundle("en");
            EXPECT_EQ(NSURLErrorDescription(c.code), c.english) << c.code;
        }
        RegionBundle bundle("zh-Hans");
        EXPECT_EQ(NSURLErrorDescription(c.code), c.chinese) << c.code;
    }
}

TEST(URLErrorDescriptionTest, TheAppsOwnBundleIsChineseAndErrorsCarryTheirDetails) {
    const auto error = NSURLErrorWithCode(NSURLErrorBadURL, "http://h/x", "no host");
    EXPECT_EQ(error.domain, NSURLErrorDomain);
    EXPECT_EQ(error.code, NSURLErrorBadURL);
    EXPECT_EQ(error.localizedDescription, "错误的URL");
    EXPECT_EQ(error.userInfo["NSErrorFailingURLStringKey"], "http://h/x");
    EXPECT_EQ(error.userInfo["NSDebugDescription"], "no host");
    const auto bare = NSURLErrorWithCode(NSURLErrorBadURL, "");
    EXPECT_FALSE(bare.userInfo.contains("NSErrorFailingURLStringKey"));
    EXPECT_FALSE(bare.userInfo.contains("NSDebugDescription"));
}

}  // namespace
