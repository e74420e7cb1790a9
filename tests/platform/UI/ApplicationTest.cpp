#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSNotificationCenter.h"
#include "UIKit/UIApplication.h"

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

TEST_F(ApplicationTest, StateChangesPassThroughInactiveAndPostEachStep) {
    app->setApplicationState(UIApplicationStateBackground);
    EXPECT_EQ(app->applicationState(), UIApplicationStateBackground);
    app->setApplicationState(UIApplicationStateActive);
    EXPECT_EQ(posted, (std::vector<std::string>{UIApplicationWillResignActiveNotification,
                                                UIApplicationDidEnterBackgroundNotification,
                                                UIApplicationWillEnterForegroundNotification,
                                                UIApplicationDidBecomeActiveNotification}));
    posted.clear();
    app->setApplicationState(UIApplicationStateActive);
    EXPECT_TRUE(posted.empty());
}

TEST_F(ApplicationTest, MemoryWarningAndOrientationChangeArePosted) {
    app->didReceiveMemoryWarning();
    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);  // unchanged: nothing posted
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(posted,
              (std::vector<std::string>{UIApplicationDidReceiveMemoryWarningNotification,
                                        UIApplicationDidChangeStatusBarOrientationNotification}));
    EXPECT_EQ(userInfo["UIApplicationStatusBarOrientationUserInfoKey"],
              static_cast<int>(UIInterfaceOrientationPortrait));
    EXPECT_EQ(app->statusBarOrientation(), UIInterfaceOrientationLandscapeLeft);
}

}  // namespace
