#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ChildProcess.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSRunLoop.h"
#include "TempDir.h"
#include "UIKit/UIImageView.h"
#include "host/HeadlessHost.h"
#include "shell/AppOptions.h"
#include "shell/DevServerProcess.h"
#include "shell/LoginView.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

TEST(AppOptions, ParsesEveryFlagAndRefusesWhatItDoesNotKnow) {
    std::string error;
    auto o =
        AppOptions::parse({"--home", "/tmp/h", "--server", "http://127.0.0.1:9", "--headless",
                           "--screenshot", "s.png", "--after", "1.5", "--location", "31.2,121.5"},
                          error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->home, "/tmp/h");
    EXPECT_EQ(o->server, "http://127.0.0.1:9/");
    EXPECT_TRUE(o->headless);
    EXPECT_EQ(o->screenshot, "s.png");
    EXPECT_DOUBLE_EQ(o->after, 1.5);
    EXPECT_EQ(o->location, "31.2,121.5");

    // The binary's own test sees the other refusals with their messages.
    EXPECT_FALSE(AppOptions::parse({"--home"}, error));
    EXPECT_FALSE(AppOptions::parse({"--server", "127.0.0.1:9"}, error));
    EXPECT_FALSE(AppOptions::parse({"--after", "2"}, error));
}

class LoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<devserver::DevServer>(dir.path() / "data.sqlite");
        std::string error;
        ASSERT_TRUE(server->start(0, &error)) << error;
        base = "http://127.0.0.1:" + std::to_string(server->port()) + "/";
        view = LoginView::create(host.window()->bounds(), base);
        host.window()->addSubview(view);
    }
    void TearDown() override { server->stop(); }

    void typeInto(const std::shared_ptr<UITextField>& field, const std::string& text) {
        const CGRect f = field->convertRectToView(field->bounds(), nullptr);
        host.tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
        ASSERT_TRUE(host.typeText(text));
    }
    void tapLogin() {
        const CGRect f =
            view->loginButton()->convertRectToView(view->loginButton()->bounds(), nullptr);
        host.tap(CGPointMake(CGRectGetMidX(f), CGRectGetMidY(f)));
    }
    bool waitForReply() {
        return testsupport::runUntil([&] { return !view->isRequesting(); });
    }

    HeadlessHost host;
    TempDir dir;
    std::unique_ptr<devserver::DevServer> server;
    std::string base;
    std::shared_ptr<LoginView> view;
};

TEST_F(LoginTest, EmptyFieldsSendNothingRefusalShowsTheTipAndReturnSignsIn) {
    for (const auto& field : {view->userField(), view->passwordField()}) {
        auto icon = std::dynamic_pointer_cast<UIImageView>(field->leftView());
        ASSERT_TRUE(icon && icon->image());
        EXPECT_EQ(icon->image()->size(), (CGSize{22, 22}));
    }
    tapLogin();
    EXPECT_FALSE(view->isRequesting());
    EXPECT_EQ(view->statusLabel()->text(), "请输入用户名和密码");

    typeInto(view->userField(), "zhangwei");
    typeInto(view->passwordField(), "wrong&PassWord=zw123456");
    tapLogin();
    ASSERT_TRUE(waitForReply());
    EXPECT_EQ(view->statusLabel()->text(), "用户名或密码错误");

    // Return moves from the user name to the password, and there signs in.
    view->userField()->setText("");
    view->passwordField()->setText("");
    typeInto(view->userField(), "zhangwei");
    ASSERT_TRUE(host.pressReturn());
    EXPECT_TRUE(view->passwordField()->isFirstResponder());
    EXPECT_FALSE(view->isRequesting());
    ASSERT_TRUE(host.typeText("zw123456"));
    ASSERT_TRUE(host.pressReturn());
    EXPECT_TRUE(view->isRequesting());
    EXPECT_FALSE(view->passwordField()->isFirstResponder());
    ASSERT_TRUE(waitForReply());
    EXPECT_EQ(view->statusLabel()->text().rfind("登录成功", 0), 0u) << view->statusLabel()->text();
    EXPECT_TRUE(view->loginButton()->isEnabled());
}

// The server is still starting when the request is made: it waits for the server, not fails.
// Once the server is gone, the port refuses and that is reported, not hung on.
TEST(DevServerProcessTest, RequestBeforeTheServerIsUpIsAnsweredAndAGoneServerIsReported) {
    HeadlessHost host;
    TempDir dir;
    std::string error;
    auto child = DevServerProcess::start(BRISFOLD_DEVSERVER_PATH, dir / "d.sqlite", error);
    ASSERT_TRUE(child) << error;
    const std::string base = child->baseURL();
    auto view = LoginView::create(host.window()->bounds(), base);
    host.window()->addSubview(view);
    view->userField()->setText("zhangwei");
    view->passwordField()->setText("zw123456");
    view->login();
    ASSERT_TRUE(testsupport::runUntil([&] { return !view->isRequesting(); }));
    EXPECT_EQ(view->statusLabel()->text().rfind("登录成功", 0), 0u) << view->statusLabel()->text();

    child.reset();  // the server is gone: the port now refuses
    view->login();
    ASSERT_TRUE(testsupport::runUntil([&] { return !view->isRequesting(); }));
    EXPECT_FALSE(view->statusLabel()->text().empty());
    EXPECT_EQ(view->statusLabel()->text().find("登录成功"), std::string::npos);
}

TEST(DevServerProcessTest, ServerThatNeverServesNorStopsIsKilledAndReaped) {
    TempDir dir;
    const fs::path script = dir.path() / "silent-server";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ntrap '' TERM PIPE\ntouch \"$0.ready\"\n"
               "while true; do printf x; sleep 0.05; done\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    std::string error;
    auto child = DevServerProcess::start(script.string(), dir / "d.sqlite", error);
    ASSERT_TRUE(child) << error;
    // Stopped only once it ignores the request to stop.
    ASSERT_TRUE(testsupport::runUntil([&] { return fs::exists(script.string() + ".ready"); }));
    const pid_t pid = child->pid();
    child.reset();
    // Killed and reaped, not left running or as a zombie.
    EXPECT_TRUE(testsupport::processIsGone(pid));
    for (const pid_t other : testsupport::childrenOf(getpid())) {
        std::string name;
        std::ifstream("/proc/" + std::to_string(other) + "/comm") >> name;
        EXPECT_NE(name, "silent-server") << other;
    }
}

}  // namespace
