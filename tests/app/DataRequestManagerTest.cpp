#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Deadline.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSURLErrorDescription.h"
#include "HostileReplies.h"
#include "ShellHome.h"
#include "TestHTTPServer.h"
#include "UIKit/UIApplication.h"
#include "host/HeadlessHost.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/ShowAlertView.h"
#include "shell/UIViewController+CustomVC.h"

namespace {

using testsupport::runUntil;

class RecordingScreen : public UIViewController, public CustomVC {
  public:
    static std::shared_ptr<RecordingScreen> create() {
        return std::shared_ptr<RecordingScreen>(new RecordingScreen());
    }
    void updateDataWithDictionary(const nlohmann::json& dictionary) override {
        replies.push_back(dictionary);
    }
    std::vector<nlohmann::json> replies;
};

class DataRequestManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = BrisfoldAppDelegate::launch(host.window(), server.url("/"));
        server.server().Post(
            "/api/Echo", [this](const httplib::Request& req, httplib::Response& res) {
                ++hits;
                method = req.method;
                body = req.body;
                res.set_content(nlohmann::json{{"code", "1"}, {"got", req.body}}.dump(),
                                "application/json");
            });
    }
    void TearDown() override { manager->setLoader(nullptr); }

    void send(const std::string& path, const std::string& text,
              DataRequestManager::Block block = nullptr) {
        if (block)
            manager->requestWithURLString(app->serviceURL(path), text, screen, std::move(block));
        else
            manager->requestWithURLString(app->serviceURL(path), text, screen);
    }
    bool waitUntilIdle(const std::string& key) {
        return runUntil([&] { return !manager->isInFlight(key); });
    }

    ShellHome home;
    HeadlessHost host;
    testsupport::TestHTTPServer server;
    std::shared_ptr<BrisfoldAppDelegate> app;
    const std::shared_ptr<DataRequestManager> manager = DataRequestManager::shareManger();
    const std::shared_ptr<RecordingScreen> screen = RecordingScreen::create();
    std::atomic<int> hits{0};
    std::string method;
    std::string body;
};

// The message view on the window, if one shows.
std::shared_ptr<ShowAlertView> toastOn(const std::shared_ptr<UIWindow>& window) {
    for (const auto& v : window->subviews())
        if (auto toast = std::dynamic_pointer_cast<ShowAlertView>(v)) return toast;
    return nullptr;
}

TEST_F(DataRequestManagerTest, DictionaryReplyReachesTheScreenOrTheBlockIsKeptAndPosted) {
    const std::string key = "brisfoldID=U1&IsOffer=0&rows=10&pageindex=1&lastDateTime=";
    int posted = 0;
    const auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        key, nullptr, [&](const NSNotification&) { ++posted; });
    send("Echo", key);
    EXPECT_TRUE(manager->isInFlight(key));
    EXPECT_TRUE(FactoryClass::isLoadingShown());
    EXPECT_TRUE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
    ASSERT_TRUE(waitUntilIdle(key));
    NSNotificationCenter::defaultCenter()->removeObserver(token);

    EXPECT_EQ(method + " " + body, "POST " + key);
    ASSERT_EQ(screen->replies.size(), 1u);
    EXPECT_EQ(manager->replyForKey(key), screen->replies[0]);
    EXPECT_EQ(posted, 1);
    EXPECT_FALSE(FactoryClass::isLoadingShown());
    EXPECT_FALSE(UIApplication::sharedApplication()->isNetworkActivityIndicatorVisible());
    EXPECT_FALSE(toastOn(host.window()));

    // A block takes the reply instead of the screen.
    std::vector<std::pair<nlohmann::json, bool>> got;
    send("Echo", "brisfoldID=U1", [&](const nlohmann::json& d, bool ok) {
        got.push_back({d, ok});
    });
    ASSERT_TRUE(waitUntilIdle("brisfoldID=U1"));
    EXPECT_EQ(got, (std::vector<std::pair<nlohmann::json, bool>>{
                       {{{"code", "1"}, {"got", "brisfoldID=U1"}}, true}}));
    EXPECT_EQ(screen->replies.size(), 1u);
}

TEST_F(DataRequestManagerTest, IdenticalRequestInFlightIsDroppedAndItsKeyFreedAfterwards) {
    server.server().Post("/api/Slow", [this](const httplib::Request&, httplib::Response& res) {
        ++hits;
        server.waitAtGate();
        res.set_content(R"({"code":"1"})", "application/json");
    });
    send("Slow", "a=1");
    ASSERT_TRUE(runUntil([&] { return server.waitingAtGate() == 1; }));
    send("Slow", "a=1");
    send("Echo", "a=1");
    server.releaseGate();
    ASSERT_TRUE(waitUntilIdle("a=1"));
    EXPECT_EQ(hits, 1);
    EXPECT_EQ(screen->replies.size(), 1u);

    send("Echo", "a=1");
    ASSERT_TRUE(waitUntilIdle("a=1"));
    EXPECT_EQ(hits, 2);
    EXPECT_EQ(screen->replies.size(), 2u);
}

TEST_F(DataRequestManagerTest, StatusOtherThan200ShowsItsTextAndTheBodyIsStillParsed) {
    server.server().Post("/api/Broken", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content(R"({"code":"0","tip":"数据库忙"})", "application/json");
    });
    send("Broken", "x=1");
    ASSERT_TRUE(waitUntilIdle("x=1"));
    auto toast = toastOn(host.window());
    ASSERT_TRUE(toast);
    EXPECT_EQ(toast->message(), DataRequestManager::statusText(500));
    ASSERT_EQ(screen->replies.size(), 1u);
    EXPECT_EQ(screen->replies[0]["tip"], "数据库忙");
    EXPECT_FALSE(FactoryClass::isLoadingShown());
}

// Replies past the longest the app takes fail too, whether they never end or a small gzip body
// inflates: whitespace may lead a JSON reply, and an endless one took the app to 2.7 GB.
TEST_F(DataRequestManagerTest, FailuresAndRepliesThatAreNoDictionaryReachNobody) {
    server.server().Post("/api/List", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("[1,2]", "application/json");
    });
    static_assert(DataRequestManager::kMaxReplyLength < testsupport::kHostileCap / 4);
    const testsupport::HostileServer hostile(' ', R"({"code":"1"})", "application/json");
    std::string refusedURL;
    {
        testsupport::TestHTTPServer gone;
        refusedURL = gone.url("/api/Echo");
    }
    struct Case {
        const char* name;
        std::string url;
        std::shared_ptr<NSURLLoader> loader;
        std::string toast;  // empty: none
    };
    const auto offline = std::make_shared<NSURLLoader>(
        [](const std::shared_ptr<const NSURLRequest>& request, NSURLLoader::TestReply reply) {
            reply(nullptr, {},
                  NSURLErrorWithCode(NSURLErrorNotConnectedToInternet,
                                     request->URL()->absoluteString()));
        });
    const Case cases[] = {
        {"refused", refusedURL, nullptr,
         NSURLErrorWithCode(NSURLErrorCannotConnectToHost, refusedURL).localizedDescription},
        {"no network", app->serviceURL("Echo"), offline, "网络异常"},
        {"array reply", app->serviceURL("List"), nullptr, ""},
        {"endless reply", hostile.endlessURL(), nullptr,
         NSURLErrorWithCode(NSURLErrorDataLengthExceedsMaximum, hostile.endlessURL())
             .localizedDescription},
        {"gzip bomb", hostile.bombURL(), nullptr,
         NSURLErrorWithCode(NSURLErrorDataLengthExceedsMaximum, hostile.bombURL())
             .localizedDescription},
    };
    for (const Case& c : cases) {
        if (auto old = toastOn(host.window())) old->removeFromSuperview();
        manager->setLoader(c.loader);
        bool blockCalled = false;
        manager->requestWithURLString(c.url, "k=1", screen,
                                      [&](const nlohmann::json&, bool) { blockCalled = true; });
        ASSERT_TRUE(waitUntilIdle("k=1")) << c.name;
        EXPECT_FALSE(blockCalled) << c.name;
        EXPECT_TRUE(screen->replies.empty()) << c.name;
        EXPECT_FALSE(FactoryClass::isLoadingShown()) << c.name;
        auto toast = toastOn(host.window());
        EXPECT_EQ(toast ? toast->message() : "", c.toast) << c.name;
    }
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

TEST(FormValue, EscapesOnlyWhatCouldEndAValueOrStartAKey) {
    const std::pair<std::string, std::string> cases[] = {
        {"1200.50", "1200.50"},
        {"", ""},
        {"设备 坏了, 需要更换", "设备 坏了, 需要更换"},
        {"50%", "50%25"},
        {"1&price=1", "1%26price%3D1"},
        {"a+b", "a%2Bb"},
        {"%26", "%2526"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(formValue(in), out) << in;
}

}  // namespace
