#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "Deadline.h"
#include "Foundation/NSURLErrorDescription.h"
#include "HostileReplies.h"
#include "ShellHome.h"
#include "TestHTTPServer.h"
#include "host/HeadlessHost.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"
#include "shell/LoginView.h"
#include "shell/ShowAlertView.h"

namespace {

using testsupport::runUntil;

// The process's resident memory now, in bytes.
std::size_t residentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

// The app signed in on a server whose every answer is hostile: it trickles, or never ends.
class AppRequestLimitsTest : public ::testing::Test {
  protected:
    void TearDown() override { manager->setTimeoutInterval(DataRequestManager::kTimeoutInterval); }

    // Launches on the base and signs in without asking the server.
    void launchSignedIn(const std::string& base) {
        app = BrisfoldAppDelegate::launch(host.window(), base);
        app->didLogin({{"UserID", "U1"}, {"FullName", "张伟"}}, "zhangwei", "zw123456");
        runUntil([] { return !FactoryClass::isLoadingShown(); });
    }
    std::string toastText() {
        std::string text;
        for (const auto& v : host.window()->subviews())
            if (auto t = std::dynamic_pointer_cast<ShowAlertView>(v)) text = t->message();
        return text;
    }
    void clearToasts() {
        for (const auto& v : host.window()->subviews())
            if (std::dynamic_pointer_cast<ShowAlertView>(v)) v->removeFromSuperview();
    }

    struct Case {
        std::string name;
        // Sends the request; returns what the app shows once it ended, or nothing while it runs.
        std::function<std::function<std::optional<std::string>()>()> send;
    };
    // Every kind of request the app makes, sent to the app's base address.
    std::vector<Case> everyKind(const std::vector<std::string>& servicePaths) {
        std::vector<Case> cases;
        for (const auto& path : servicePaths) {
            cases.push_back({path, [this, path] {
                                 const std::string key = "brisfoldID=U1&p=" + path;
                                 manager->requestWithURLString(app->serviceURL(path), key,
                                                               std::weak_ptr<UIViewController>());
                                 return std::function([this, key]() -> std::optional<std::string> {
                                     if (manager->isInFlight(key)) return std::nullopt;
                                     return toastText();
                                 });
                             }});
        }
        cases.push_back({"Engineer/Login", [this] {
                             login = LoginView::create(host.window()->bounds(), base);
                             login->userField()->setText("zhangwei");
                             login->passwordField()->setText("zw123456");
                             login->login();
                             return std::function([this]() -> std::optional<std::string> {
                                 if (login->isRequesting()) return std::nullopt;
                                 return login->statusLabel()->text();
                             });
                         }});
        cases.push_back({"Engineer/Logout", [this] {
                             app->logout();
                             return std::function([this]() -> std::optional<std::string> {
                                 if (!app->loginView()) return std::nullopt;
                                 return toastText();
                             });
                         }});
        return cases;
    }

    ShellHome home;
    HeadlessHost host;
    const std::shared_ptr<DataRequestManager> manager = DataRequestManager::shareManger();
    std::shared_ptr<BrisfoldAppDelegate> app;
    std::shared_ptr<LoginView> login;
    std::string base;
};

const std::vector<std::string> kServicePaths = {
    "AskPrice/AskPriceList",  "AskPrice/AskPriceDetail", "AskPrice/EngineerPrice",
    "AskPrice/GetDeviceList", "AskPrice/GetDictionary",  "AskPrice/GetGoodsName",
    "Order/OrderList",        "Order/OrderDetail",       "Order/StartImplement",
    "Order/EngineerStart",    "Order/EngineerFinish",    "Order/CancelService",
    "NewsCenter/Index",       "NewsCenter/GetNotice",    "NewsCenter/NewsIsRead",
    "NewsCenter/DeleteNews",
};

// A server that sent a byte every few seconds held sign-in, sign-out and every call of the
// service API for as long as it liked.
TEST_F(AppRequestLimitsTest, SlowRepliesEndWithATimeOutWhenItHasPassed) {
    const testsupport::HostileServer drip(' ', "", "application/json");
    base = drip.dripURL("/");
    constexpr double kTimeout = 0.6;
    manager->setTimeoutInterval(kTimeout);
    launchSignedIn(base);
    for (const auto& c : everyKind({"Order/OrderList"})) {
        clearToasts();
        const double start = Clock::realNow();
        const auto shown = c.send();
        std::optional<std::string> text;
        // Never, had the trickle kept it going; well within this when a busy machine is late.
        runUntil([&] { return (text = shown()).has_value(); }, kTimeout + 10);
        EXPECT_TRUE(text) << c.name << " still running after " << Clock::realNow() - start << " s";
        if (!text) continue;
        EXPECT_GE(Clock::realNow() - start, kTimeout - 0.05) << c.name;
        EXPECT_EQ(*text, NSURLErrorDescription(NSURLErrorTimedOut)) << c.name;
    }
}

// An endless answer to the sign-out was read whole: 64 MiB of it took the app to 341 MB. Every
// request the app makes stops reading at its limit.
TEST_F(AppRequestLimitsTest, EndlessRepliesFailAsTooLongAndMemoryStaysBounded) {
    static_assert(DataRequestManager::kMaxReplyLength < testsupport::kHostileCap / 4);
    // Only the service API answers without end, so that what the map kit asks of the same
    // servers is not counted against the app's requests.
    const testsupport::EndlessReply endless(testsupport::kHostileCap, ' ', R"({"code":"1"})");
    testsupport::TestHTTPServer server;
    const auto answer = [&endless](const httplib::Request&, httplib::Response& res) {
        endless.answer(res, "application/json");
    };
    server.server().Get("/api/.*", answer).Post("/api/.*", answer);
    base = server.url("/");
    launchSignedIn(base);
    const std::string tooLong = NSURLErrorDescription(NSURLErrorDataLengthExceedsMaximum);
    for (const auto& c : everyKind(kServicePaths)) {
        clearToasts();
        const std::size_t residentBefore = residentBytes();
        std::size_t residentPeak = residentBefore;
        const auto shown = c.send();
        std::optional<std::string> text;
        ASSERT_TRUE(runUntil([&] {
            residentPeak = std::max(residentPeak, residentBytes());
            return (text = shown()).has_value();
        })) << c.name;
        EXPECT_EQ(*text, tooLong) << c.name;
        // What the server counts as sent includes what waits in the sockets' buffers.
        EXPECT_LT(endless.mostByOneAnswer(), endless.cap() / 2) << c.name;
        EXPECT_LT(residentPeak - residentBefore, endless.cap() / 4) << c.name;
    }
    // A sign-out builds the engineer's screens anew, whose lists ask the same server while the
    // sign-in shows: they too stop at their limit.
    ASSERT_TRUE(runUntil([&] { return !manager->hasRequestsInFlight(); }));
    EXPECT_LT(endless.mostByOneAnswer(), endless.cap() / 2);
}

}  // namespace
