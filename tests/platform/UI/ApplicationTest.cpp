#include <atomic>

#include "Deadline.h"
#include "Foundation/NSNotificationCenter.h"
#include "HostileReplies.h"
#include "LogCapture.h"
#include "TestHTTPServer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIRemoteNotificationSource.h"
#include "UITestCommon.h"

namespace {

class ApplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = UIApplication::sharedApplication();
        app->reset();
        for (const char* name : {UIApplicationWillResignActiveNotification,
                                 UIApplicationDidEnterBackgroundNotification,
                                 UIApplicationWillEnterForegroundNotification,
                                 UIApplicationDidBecomeActiveNotification,
                                 UIApplicationDidReceiveMemoryWarningNotification,
                                 UIApplicationDidChangeStatusBarOrientationNotification}) {
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, nullptr, [this](const NSNotification& n) {
                    posted.push_back(n.name);
                    userInfo = n.userInfo;
                }));
        }
    }
    void TearDown() override {
        for (auto t : tokens) NSNotificationCenter::defaultCenter()->removeObserver(t);
        app->reset();
    }

    std::shared_ptr<UIApplication> app;
    std::vector<NSNotificationCenter::Token> tokens;
    std::vector<std::string> posted;
    nlohmann::json userInfo;
};

TEST_F(ApplicationTest, StateChangesWarningsAndOrientationArePostedAndKnownSchemesOpen) {
    app->setApplicationState(UIApplicationStateBackground);
    app->setApplicationState(UIApplicationStateActive);
    EXPECT_EQ(posted, (std::vector<std::string>{UIApplicationWillResignActiveNotification,
                                                UIApplicationDidEnterBackgroundNotification,
                                                UIApplicationWillEnterForegroundNotification,
                                                UIApplicationDidBecomeActiveNotification}));
    posted.clear();
    app->setApplicationState(UIApplicationStateActive);
    EXPECT_TRUE(posted.empty());

    app->didReceiveMemoryWarning();
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);  // unchanged: nothing posted
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(posted,
              (std::vector<std::string>{UIApplicationDidReceiveMemoryWarningNotification,
                                        UIApplicationDidChangeStatusBarOrientationNotification}));
    EXPECT_EQ(userInfo["UIApplicationStatusBarOrientationUserInfoKey"],
              static_cast<int>(UIInterfaceOrientationPortrait));

    testsupport::LogCapture log;
    EXPECT_TRUE(app->openURL("tel:4008001234"));
    // Nothing here makes the call; a person sees that on stderr.
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"openURL tel:4008001234: nothing on this system opens it"});
    // Unknown schemes, text that is no URL, and server text with spaces or ideographs.
    for (const char* refused :
         {"weird-scheme://x", "no scheme at all", "tel:400 800 1234", "tel:电话", "tel:%zz"}) {
        EXPECT_FALSE(app->openURL(refused)) << refused;
    }
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(app->canOpenURL("tel:%2B8613800000000"));
    EXPECT_TRUE(app->canOpenURL("HTTPS://example.invalid"));
    app->registerURLScheme("weird-scheme");
    EXPECT_TRUE(app->openURL("weird-scheme://x"));
    EXPECT_EQ(app->openedURLs(), (std::vector<std::string>{"tel:4008001234", "weird-scheme://x"}));
}

// A poll answered without end was read for ever, and the source never asked again.
TEST(RemoteNotificationSource, RepliesPastTheLongestFailAndThePollIsAskedAgain) {
    constexpr std::size_t kCap = testsupport::kHostileCap;
    static_assert(UIRemoteNotificationSource::kMaxReplyBytes < kCap / 4);
    const testsupport::EndlessReply endless(kCap, ' ', R"({"last":1,"notifications":[]})");
    std::atomic<int> polls{0};
    testsupport::TestHTTPServer http;
    http.server().Get("/push/poll", [&](const httplib::Request&, httplib::Response& res) {
        if (polls++ == 0) return endless.answer(res, "application/json");
        res.set_content(R"({"last":3,"notifications":[]})", "application/json");
    });
    const auto source = UIRemoteNotificationSource::start(http.url("/push/poll"), 1);
    // A failed poll is asked again after a pause.
    ASSERT_TRUE(testsupport::runUntil([&] { return source->lastId().has_value(); },
                                      testsupport::kPatience + 5));
    EXPECT_EQ(source->lastId(), 3u);
    EXPECT_LT(endless.sent(), kCap);
}

}  // namespace
