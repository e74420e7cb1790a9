#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "Foundation/NSPathUtilities.h"
#include "TempDir.h"
#include "VMAnalytics.h"

namespace {

class Analytics : public ::testing::Test {
  protected:
    void SetUp() override {
        NSSetHomeDirectory(home_.path());
        analytics_->setLogEnabled(true);
    }
    void TearDown() override {
        analytics_->setLogEnabled(false);
        analytics_->saveTempEvents();
        analytics_->clearAllLogs();
        analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent);  // waits for the queue
    }
    std::string directory(const char* type) const {
        return home_ / (std::string("Library/Caches/VMAnalyticsLog/") + type);
    }
    static std::size_t filesIn(const std::string& path) {
        std::error_code ec;
        std::size_t count = 0;
        for (auto it = std::filesystem::directory_iterator(path, ec);
             it != std::filesystem::directory_iterator(); ++it)
            ++count;
        return count;
    }

    testsupport::TempDir home_;
    std::shared_ptr<VMAnalytics> analytics_ = VMAnalytics::sharedInstance();
};

TEST_F(Analytics, WithLoggingOffOnlyCrashesAreKept) {
    analytics_->setLogEnabled(false);
    analytics_->logInfo("lost", "VMMapView", VMAnalyticsLogTypeError);
    analytics_->logInfo("lost", "VMMapView", VMAnalyticsLogTypeEvent);
    analytics_->logInfo("kept", "VMMapView", VMAnalyticsLogTypeCrash);
    // The crash file is there when the call returns.
    EXPECT_EQ(filesIn(directory("crash")), 1u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 0u);
    analytics_->saveTempEvents();
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 0u);
    const auto crashes = analytics_->logsWithType(VMAnalyticsLogTypeCrash);
    ASSERT_EQ(crashes.size(), 1u);
    EXPECT_TRUE(crashes[0]["log"].get<std::string>().ends_with("||1"));
}

TEST_F(Analytics, TenEventsMakeAFileErrorsStopAtTwoHundredFilesAndCrashesAtTen) {
    for (int i = 0; i < 9; ++i) analytics_->logInfo("e", "VMMapView", VMAnalyticsLogTypeEvent);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 0u);
    analytics_->logInfo("e", "VMMapView", VMAnalyticsLogTypeEvent);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 1u);
    EXPECT_EQ(analytics_->logsWithType(VMAnalyticsLogTypeEvent).size(), 10u);
    // Written as fast as the queue goes: records of one millisecond must not replace each other.
    for (int i = 0; i < 201; ++i) analytics_->logInfo("e", "VMMapView", VMAnalyticsLogTypeError);
    for (int i = 0; i < 11; ++i) analytics_->logInfo("c", "VMMapView", VMAnalyticsLogTypeCrash);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 200u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeCrash), 10u);
    analytics_->logInfo("other", "VMMapView", 7);
    EXPECT_EQ(analytics_->countOfLogsWithType(7), 0u);
    EXPECT_FALSE(std::filesystem::exists(directory("unknown")));
}

TEST_F(Analytics, DamagedFileClearsEveryLogAndGivesWhatWasRead) {
    analytics_->logInfo("kept", "VMMapView", VMAnalyticsLogTypeCrash);
    analytics_->logInfo("read", "VMMapView", VMAnalyticsLogTypeError);
    analytics_->logInfo("read", "VMMapView", VMAnalyticsLogTypeError);
    ASSERT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 2u);
    // Sorts after the two records, which are read first.
    { std::ofstream(directory("error") + "/9999999999999") << "damaged"; }
    EXPECT_EQ(analytics_->logsWithType(VMAnalyticsLogTypeError).size(), 2u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 0u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeCrash), 0u);
}

TEST(AnalyticsFormat, RecordTextsSignaturesAndTheServerURL) {
    EXPECT_EQ(VMAnalytics::logStringWithDictionary({{"a", "1"}, {"b", 2}}, false, false),
              R"("a":"1","b":2)");
    EXPECT_EQ(VMAnalytics::logStringWithDictionary({{"a", "1"}}, false, true), R"("a":"1",)");
    EXPECT_EQ(VMAnalytics::logStringWithDictionary(nlohmann::json::object(), true, true), "");
    const std::string sealed = VMAnalytics::logStringWithDictionary({{"a", "1"}}, true, false);
    EXPECT_EQ(std::count(sealed.begin(), sealed.end(), ':'), 1) << sealed;
    EXPECT_EQ(sealed.find("\"a\""), std::string::npos);

    std::vector<std::uint8_t> body(60);
    std::iota(body.begin(), body.end(), 0);
    EXPECT_EQ(VMAnalytics::signatureWithData(body), "6a846aeb39c6001d097ded63b44749aa");
    const auto analytics = VMAnalytics::sharedInstance();
    analytics->setSignvalue("earlier");
    analytics->initSignvalueWithData(std::vector<std::uint8_t>(body.begin(), body.begin() + 49));
    EXPECT_EQ(analytics->signvalue(), "earlier");
    analytics->initSignvalueWithData(body);
    EXPECT_EQ(analytics->signvalue(), "6a846aeb39c6001d097ded63b44749aa");

    analytics->setLogServerAddress("http://127.0.0.1:9/ws/log/upload");
    EXPECT_EQ(analytics->logServerURL(),
              "http://127.0.0.1:9/ws/log/upload?product=1&type=1&platform=2&channel=open&sign="
              "6a846aeb39c6001d097ded63b44749aa");
    EXPECT_EQ(VMAnalytics::nameWithLogType(5), "unknown");
}

}  // namespace
