#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSUserDefaults.h"
#include "LogCapture.h"
#include "TempDir.h"

namespace {

using nlohmann::json;

class UserDefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NSUserDefaults::resetStandardUserDefaults();
        NSSetHomeDirectory(home.path().string());
    }
    void TearDown() override {
        NSUserDefaults::resetStandardUserDefaults();
        NSRunLoop::mainRunLoop()->runUntilIdle();
    }
    std::string preferencesFile() const {
        return home / "Library/Preferences/com.brisfold.engineer.plist";
    }

    testsupport::TempDir home;
    testsupport::LogCapture log;
};

TEST_F(UserDefaultsTest, ValuesSurviveARestart) {
    {
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setInteger(7, "APPNotReadCount");
        defaults->setString("工程师", "name");
        defaults->setBool(true, "loggedIn");
        defaults->setDouble(0.5, "ratio");
        defaults->setData(NSData{0, 1, 0xFE}, "token");
        defaults->setObject(json::array({1, "two"}), "list");
        defaults->setObject(json{{"k", json{{"deep", 1}}}}, "dict");
        defaults->setString("gone", "temporary");
        defaults->removeObjectForKey("temporary");
        ASSERT_TRUE(defaults->synchronize());
    }
    NSUserDefaults::resetStandardUserDefaults();
    auto data = NSDataWithContentsOfFile(preferencesFile());
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->begin() + 8), "bplist00");

    auto defaults = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults->integerForKey("APPNotReadCount"), 7);
    EXPECT_EQ(defaults->stringForKey("name"), "工程师");
    EXPECT_TRUE(defaults->boolForKey("loggedIn"));
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("ratio"), 0.5);
    EXPECT_EQ(defaults->dataForKey("token"), (NSData{0, 1, 0xFE}));
    EXPECT_EQ(defaults->arrayForKey("list"), json::array({1, "two"}));
    EXPECT_EQ(defaults->dictionaryForKey("dict"), (json{{"k", json{{"deep", 1}}}}));
    EXPECT_TRUE(defaults->objectForKey("temporary").is_null());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(UserDefaultsTest, FileIsTheOwnersOnlyWhateverTheUmask) {
    for (const mode_t mask : {0077u, 0022u, 0u}) {
        const mode_t old = ::umask(mask);
        NSUserDefaults::standardUserDefaults()->setString("secret", "APPUserToken");
        const bool written = NSUserDefaults::standardUserDefaults()->synchronize();
        ::umask(old);
        ASSERT_TRUE(written);
        struct stat info {};
        ASSERT_EQ(::stat(preferencesFile().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << "umask " << mask;
        NSUserDefaults::standardUserDefaults()->removeObjectForKey("APPUserToken");
    }
}

TEST_F(UserDefaultsTest, ChangesAreWrittenOnTheNextRunLoopTurn) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setInteger(3, "count");
    defaults->setInteger(4, "count");
    NSRunLoop::mainRunLoop()->runUntilIdle();
    // A second store on the same file sees what the first wrote without synchronize().
    auto reader = NSUserDefaults::create(preferencesFile());
    EXPECT_EQ(reader->integerForKey("count"), 4);
}

TEST_F(UserDefaultsTest, WritersOnSeveralThreadsLoseNothing) {
    auto defaults = NSUserDefaults::create(home / "threads.plist");
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([defaults, t] {
            for (int i = 0; i <= 50; ++i) {
                defaults->setInteger(i, "writer" + std::to_string(t));
                if (i % 10 == 0) defaults->synchronize();
            }
        });
    }
    for (auto& writer : writers) writer.join();
    ASSERT_TRUE(defaults->synchronize());
    auto reader = NSUserDefaults::create(home / "threads.plist");
    for (int t = 0; t < 4; ++t) EXPECT_EQ(reader->integerForKey("writer" + std::to_string(t)), 50);
}

TEST_F(UserDefaultsTest, TypedGettersConvertLikeThePlatform) {
    auto defaults = NSUserDefaults::create(home / "typed.plist");
    defaults->setObject("12", "numericText");
    defaults->setObject("YES", "yesText");
    defaults->setObject(42, "number");
    defaults->setObject(json::array({1}), "array");
    EXPECT_EQ(defaults->integerForKey("numericText"), 12);
    EXPECT_TRUE(defaults->boolForKey("numericText"));
    EXPECT_TRUE(defaults->boolForKey("yesText"));
    EXPECT_EQ(defaults->stringForKey("number"), "42");
    EXPECT_FALSE(defaults->stringForKey("array"));
    EXPECT_FALSE(defaults->dictionaryForKey("array"));
    EXPECT_FALSE(defaults->dataForKey("number"));
    EXPECT_FALSE(defaults->stringForKey("missing"));
}

TEST_F(UserDefaultsTest, RefusesValuesWithoutPropertyListFormAndKeepsTheOld) {
    auto defaults = NSUserDefaults::create(home / "refuse.plist");
    defaults->setObject(json::array({1}), "list");
    EXPECT_FALSE(defaults->setObject(json::array({nullptr}), "list"));
    EXPECT_EQ(defaults->arrayForKey("list"), json::array({1}));
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("list"));
    // Null itself removes, as setting nil does.
    EXPECT_TRUE(defaults->setObject(nullptr, "list"));
    EXPECT_TRUE(defaults->objectForKey("list").is_null());
}

// A file that cannot be written reports failure and keeps the value in memory.
TEST_F(UserDefaultsTest, DamagedFileGivesEmptyDefaultsAndIsKeptAsideAnUnwritableOneFails) {
    const std::string path = home / "damaged.plist";
    ASSERT_TRUE(NSDataWriteToFile(NSDataFromString("bplist00 torn write"), path, false));
    auto defaults = NSUserDefaults::create(path);
    EXPECT_TRUE(defaults->dictionaryRepresentation().empty());
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("unreadable"));
    EXPECT_EQ(NSDataWithContentsOfFile(path + ".damaged"), NSDataFromString("bplist00 torn write"));

    defaults->setInteger(1, "fresh");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_EQ(NSUserDefaults::create(path)->integerForKey("fresh"), 1);

    // A readable property list that is not a dictionary is damage as well.
    const std::string arrayPath = home / "array.plist";
    auto array = NSPropertyListSerialization::dataWithPropertyList(json::array({1}),
                                                                   NSPropertyListXMLFormat_v1_0);
    ASSERT_TRUE(NSDataWriteToFile(*array, arrayPath, false));
    EXPECT_TRUE(NSUserDefaults::create(arrayPath)->dictionaryRepresentation().empty());

    auto unwritable = NSUserDefaults::create(path + "/prefs.plist");  // under a file
    unwritable->setInteger(1, "x");
    const size_t logged = log.lines().size();
    EXPECT_FALSE(unwritable->synchronize());
    EXPECT_GT(log.lines().size(), logged);
    EXPECT_EQ(unwritable->integerForKey("x"), 1);
}

}  // namespace
