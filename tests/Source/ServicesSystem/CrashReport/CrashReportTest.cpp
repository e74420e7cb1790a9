// The map kit's crash record and location-failure record, made by a real map view. A crash is
// made in a child process: this program run again on one of its disabled tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "ChildProcess.h"
#include "Foundation/NSException.h"
#include "Foundation/NSPathUtilities.h"
#include "LogUpload.h"
#include "TempDir.h"
#include "UIKit/UIApplication.h"
#include "VMAnalytics.h"
#include "VMMapView.h"

namespace {

constexpr const char* kHomeVariable = "BRISFOLD_CRASH_HOME";

std::string childHome() {
    const char* home = std::getenv(kHomeVariable);
    return home != nullptr ? home : "";
}

// The handler in place before the map kit's: it must still run.
void earlierHandler(const NSException& exception) {
    std::ofstream(childHome() + "/earlier-handler") << exception.name();
}

class ThrowingDelegate : public VMMapViewDelegate {
  public:
    void mapViewWillStartLocatingUser(VMMapView&) override {
        throw std::runtime_error("the delegate gave up");
    }
};

[[noreturn]] void throwOutsideTheKit() { throw std::logic_error("not the kit's"); }

// The decrypted records of a type, read from the home's Caches.
std::vector<nlohmann::json> openedRecords(long type) {
    std::vector<nlohmann::json> records;
    for (const auto& entry : VMAnalytics::sharedInstance()->logsWithType(type)) {
        std::string sealed = entry.value("log", "");
        if (!sealed.ends_with("||1")) continue;
        sealed.resize(sealed.size() - 3);
        const auto text = devserver::LogKey::shared().open(sealed);
        if (!text) continue;
        records.push_back(nlohmann::json::parse("{" + *text + "}", nullptr, false));
    }
    return records;
}

int runChild(const std::string& test, const std::string& home) {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return -1;
    self[length] = '\0';
    testsupport::ChildProcess::Options options;
    options.args = {self, "--gtest_also_run_disabled_tests", "--gtest_catch_exceptions=0",
                    "--gtest_filter=CrashChild.DISABLED_" + test};
    options.env = {{kHomeVariable, home}};
    options.captureStderr = true;
    testsupport::ChildProcess child(options);
    return child.waitForExit().value_or(-1);
}

TEST(CrashChild, DISABLED_ThrowBelowTheMapView) {
    NSSetHomeDirectory(childHome());
    NSSetUncaughtExceptionHandler(&earlierHandler);
    const auto view = VMMapView::create(CGRectMake(0, 0, 320, 480));
    if (!view) std::exit(77);  // no OpenGL ES on this machine
    const auto delegate = std::make_shared<ThrowingDelegate>();
    view->setDelegate(delegate);
    view->setShowsUserLocation(true);
}

TEST(CrashChild, DISABLED_ThrowOutsideTheKit) {
    NSSetHomeDirectory(childHome());
    NSSetUncaughtExceptionHandler(&earlierHandler);
    VMAnalytics::sharedInstance()->setCrashReportEnabled(true);
    throwOutsideTheKit();
}

TEST(CrashReport, ExceptionThrownBelowTheMapViewLeavesOneCrashRecord) {
    testsupport::TempDir home;
    const int status = runChild("ThrowBelowTheMapView", home.path());
    if (status == 77) GTEST_SKIP() << "no OpenGL ES context on this machine";
    EXPECT_EQ(status, 128 + SIGABRT);
    std::ifstream earlier(home / "earlier-handler");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "std::runtime_error");

    NSSetHomeDirectory(home.path());
    const auto records = openedRecords(VMAnalyticsLogTypeCrash);
    ASSERT_EQ(records.size(), 1u);
    const auto& record = records[0];
    EXPECT_EQ(record["et"], "crash");
    EXPECT_EQ(record["classname"], "std::runtime_error");
    const std::string detail = record["detail"];
    EXPECT_TRUE(
        detail.starts_with("name: std::runtime_error\nreason: the delegate gave up\ntime: "))
        << detail;
    EXPECT_NE(detail.find("\ncallstacks: \n("), std::string::npos) << detail;
    EXPECT_NE(detail.find("VMMapView::setShowsUserLocation(bool)"), std::string::npos) << detail;
}

TEST(CrashReport, ExceptionOutsideTheKitLeavesNothingAndTheEarlierHandlerRuns) {
    testsupport::TempDir home;
    EXPECT_EQ(runChild("ThrowOutsideTheKit", home.path()), 128 + SIGABRT);
    std::ifstream earlier(home / "earlier-handler");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "std::logic_error");
    EXPECT_FALSE(std::filesystem::exists(home / "Library/Caches/VMAnalyticsLog/crash"));
}

TEST(CrashReport, LocationFailureOfAMapViewIsStoredAsAnError) {
    testsupport::TempDir home;
    NSSetHomeDirectory(home.path());
    UIApplication::sharedApplication()->reset();
    const auto view = VMMapView::create(CGRectMake(0, 0, 320, 480));
    if (!view) GTEST_SKIP() << "no OpenGL ES context on this machine";
    EXPECT_TRUE(VMAnalytics::sharedInstance()->isLogEnabled());
    EXPECT_TRUE(VMAnalytics::sharedInstance()->isCrashReportEnabled());
    view->locationManagerDidFailWithError(*view->locationManager(),
                                          NSError::make("kCLErrorDomain", 0, "denied"));
    const auto records = openedRecords(VMAnalyticsLogTypeError);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["classname"], "LOCATION_FAILED_ERROR");
    EXPECT_EQ(records[0]["detail"], "denied");
}

}  // namespace
