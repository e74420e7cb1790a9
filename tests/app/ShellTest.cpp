#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURLErrorDescription.h"
#include "HostileReplies.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "ShellHome.h"
#include "TempDir.h"
#include "TestDevServer.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImageView.h"
#include "host/HeadlessHost.h"
#include "shell/AppOptions.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"
#include "shell/DevServerProcess.h"
#include "shell/FactoryClass.h"
#include "shell/LoginView.h"
#include "shell/MiddleNavView.h"
#include "shell/QuitSignals.h"
#include "shell/ShowAlertView.h"

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
    // The other flags are seen at work in the binary's own tests, as are the other refusals.
    EXPECT_EQ(o->server, "http://127.0.0.1:9/");
    EXPECT_FALSE(AppOptions::parse({"--home"}, error));
    EXPECT_FALSE(AppOptions::parse({"--server", "127.0.0.1:9"}, error));
    EXPECT_FALSE(AppOptions::parse({"--after", "2"}, error));
}

class LoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<devserver::DevServer>(dir.path() / "data.sqlite",
                                                        testsupport::devServerTestOptions());
        std::string error;
        ASSERT_TRUE(server->start(0, &error)) << error;
        base = "http://127.0.0.1:" + std::to_string(server->port()) + "/";
        view = LoginView::create(host.window()->bounds(), base);
        host.window()->addSubview(view);
    }
    void TearDown() override { server->stop(); }

    void typeInto(const std::shared_ptr<UITextField>& field, const std::string& text) {
        tapView(host, field);
        ASSERT_TRUE(host.typeText(text));
    }
    void tapLogin() { tapView(host, view->loginButton()); }
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

// A sign-in answered without end was read whole, however long: whitespace may lead its JSON.
TEST(LoginReplyTest, AnswerPastTheLongestFailsTheSignIn) {
    const testsupport::HostileServer hostile(' ', R"({"code":"1","FullName":"张伟"})",
                                             "application/json");
    HeadlessHost host;
    auto view = LoginView::create(host.window()->bounds(), hostile.endlessURL("/"));
    host.window()->addSubview(view);
    view->userField()->setText("zhangwei");
    view->passwordField()->setText("zw123456");
    view->login();
    ASSERT_TRUE(testsupport::runUntil([&] { return !view->isRequesting(); }));
    EXPECT_EQ(view->statusLabel()->text(),
              NSURLErrorWithCode(NSURLErrorDataLengthExceedsMaximum,
                                 hostile.endlessURL("/api/Engineer/Login"))
                  .localizedDescription);
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

// The devserver programs these tests start, by themselves or through the app, seed and sign in
// at the tests' password cost.
class DevServerProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::lowerDevServerProgramsPasswordCost(); }
};

// The server is still starting when the request is made: it waits for the server, not fails.
// Once the server is gone, the port refuses and that is reported, not hung on.
TEST_F(DevServerProcessTest, RequestBeforeTheServerIsUpIsAnsweredAndAGoneServerIsReported) {
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

TEST_F(DevServerProcessTest, ServerThatNeverServesNorStopsIsKilledAndReaped) {
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

// A devserver stand-in: the real one the first time, and one that cannot start after that.
fs::path serverThatStartsOnce(const fs::path& dir) {
    const fs::path script = dir / "starts-once";
    std::ofstream(script) << "#!/bin/sh\n"
                             "if [ -e \"$0.ran\" ]; then\n"
                             "  echo 'brisfold-devserver: no space left' >&2; exit 3\n"
                             "fi\n"
                             "touch \"$0.ran\"\n"
                             "exec '" BRISFOLD_DEVSERVER_PATH "' \"$@\"\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

// The descriptor of this process listening on port of 127.0.0.1; -1 when there is none.
int listeningSocketOn(int port) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        int on = 0;
        socklen_t size = sizeof on;
        sockaddr_in address{};
        socklen_t addressSize = sizeof address;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &on, &size) == 0 && on != 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressSize) == 0 &&
            address.sin_family == AF_INET && ntohs(address.sin_port) == port)
            return fd;
    }
    return -1;
}

// A devserver that ends while the app runs, however it ends, is reaped, said so and started
// once more on the same port; when that one ends too, or cannot start, the port closes and the
// request layer says at once that the server cannot be reached.
TEST_F(DevServerProcessTest, ServerThatEndsIsReapedAndStartedOnceMoreThenRequestsAreRefused) {
    struct Case {
        const char* name;
        int signal;         // what ends the first server
        const char* ended;  // the line that says so
        bool startsAgain;
        const char* givenUp;    // the line that says requests fail from now on
        bool shutDown = false;  // the server shut the socket it shares with the app down
    };
    const char* const killed = "the devserver ended (ended by signal 9 (";
    const char* const stopped = "the devserver ended (exit status 0)";
    const char* const endsAgain = "the devserver ended again (ended by signal 9 (";
    const Case cases[] = {
        {"killed, ends twice", SIGKILL, killed, true, endsAgain},
        {"terminated, ends twice", SIGTERM, stopped, true, endsAgain},
        {"interrupted, ends twice", SIGINT, stopped, true, endsAgain},
        {"shut its socket down, ends twice", SIGKILL, killed, true, endsAgain, true},
        {"cannot start again", SIGKILL, killed, false,
         "the devserver could not start: brisfold-devserver: no space left (exit status 3)"},
    };
    for (const Case& c : cases) {
        ShellHome home;
        HeadlessHost host;
        testsupport::LogCapture log;
        const fs::path executable = c.startsAgain ? fs::path(BRISFOLD_DEVSERVER_PATH)
                                                  : serverThatStartsOnce(home.dir.path());
        std::string error;
        auto child =
            DevServerProcess::start(executable, home.dir.path() / "devserver.sqlite", error);
        ASSERT_TRUE(child) << error;
        auto app = BrisfoldAppDelegate::launch(host.window(), child->baseURL());
        ASSERT_TRUE(testsupport::runUntil([&] { return child->isServing(); })) << c.name;

        const pid_t first = child->pid();
        if (c.shutDown) {
            const int shared = listeningSocketOn(child->port());
            ASSERT_GE(shared, 0);
            ASSERT_EQ(shutdown(shared, SHUT_RDWR), 0);
        }
        ASSERT_EQ(kill(first, c.signal), 0);
        ASSERT_TRUE(testsupport::runUntil([&] { return child->pid() != first; })) << c.name;
        EXPECT_TRUE(testsupport::processIsGone(first)) << c.name << ": not reaped";
        EXPECT_TRUE(log.contains(c.ended)) << c.name;
        if (c.startsAgain) {
            // Same address, and the data of the first: the engineer signs in.
            ASSERT_TRUE(
                testsupport::runUntil([&] { return child->isServing() || child->isGone(); }));
            ASSERT_TRUE(child->isServing()) << c.name;
            app->loginView()->userField()->setText("zhangwei");
            app->loginView()->passwordField()->setText("zw123456");
            app->loginView()->login();
            ASSERT_TRUE(testsupport::runUntil([&] { return !app->loginView(); }));
            ASSERT_TRUE(testsupport::runUntil([] { return !FactoryClass::isLoadingShown(); }));
            const pid_t second = child->pid();
            ASSERT_EQ(kill(second, SIGKILL), 0);
            ASSERT_TRUE(testsupport::runUntil([&] { return child->isGone(); }));
            EXPECT_TRUE(testsupport::processIsGone(second));
        } else {
            ASSERT_TRUE(testsupport::runUntil([&] { return child->isGone(); }));
        }
        EXPECT_EQ(child->pid(), -1) << c.name;
        EXPECT_TRUE(log.contains(c.givenUp)) << c.name;
        EXPECT_TRUE(log.contains("requests to it fail from now on")) << c.name;

        // Refused at once rather than left to time out, as the request layer's toast shows.
        DataRequestManager::shareManger()->requestWithURLString(
            app->serviceURL("AskPrice/GetDictionary"), "Index=SSHY", app->tabBarController());
        std::string toast;
        ASSERT_TRUE(testsupport::runUntil([&] {
            for (const auto& v : host.window()->subviews())
                if (auto t = std::dynamic_pointer_cast<ShowAlertView>(v)) toast = t->message();
            return !toast.empty();
        }));
        EXPECT_EQ(toast, NSURLErrorDescription(NSURLErrorCannotConnectToHost)) << c.name;
        BrisfoldAppDelegate::terminate();
    }
}

TEST_F(DevServerProcessTest, ServerThatCannotStartIsToldWithWhatItSaidAndNotStartedAgain) {
    HeadlessHost host;
    TempDir dir;
    fs::create_directories(dir.path() / "devserver.sqlite");
    std::string error;
    std::optional<std::string> reason;
    auto child = DevServerProcess::start(BRISFOLD_DEVSERVER_PATH, dir / "devserver.sqlite", error,
                                         [&](const std::string& why) { reason = why; });
    ASSERT_TRUE(child) << error;
    const pid_t pid = child->pid();
    ASSERT_TRUE(testsupport::runUntil([&] { return reason.has_value(); }));
    EXPECT_EQ(reason->rfind("brisfold-devserver: open ", 0), 0u) << *reason;
    EXPECT_NE(reason->find("Is a directory (exit status 1)"), std::string::npos) << *reason;
    EXPECT_TRUE(child->isGone());
    EXPECT_TRUE(testsupport::processIsGone(pid));
}

TEST(QuitSignalsTest, HeldBackByEveryLaterThreadAndReadByTheMainRunLoop) {
    HeadlessHost host;
    const pthread_t mainThread = pthread_self();
    int quits = 0;
    {
        QuitSignals quit;
        quit.onSignal([&] { ++quits; });
        // A thread of a library started later: it must never be the one a quit signal runs on.
        bool heldBack = false;
        std::thread library([&] {
            sigset_t mask;
            pthread_sigmask(SIG_BLOCK, nullptr, &mask);
            heldBack = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1;
            pthread_kill(mainThread, SIGTERM);
        });
        library.join();
        EXPECT_TRUE(heldBack);
        ASSERT_TRUE(testsupport::runUntil([&] { return quits > 0; }));
        EXPECT_TRUE(quit.received());
        pthread_kill(mainThread, SIGINT);
        EXPECT_TRUE(testsupport::runUntil([&] { return quits > 1; }));
    }
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    EXPECT_FALSE(sigismember(&mask, SIGTERM)) << "the mask the thread had before comes back";
    EXPECT_EQ(quits, 2);
}

class ShellViewsTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        app = BrisfoldAppDelegate::launch(host.window(), "http://127.0.0.1:9/");
    }

    ShellHome home;
    HeadlessHost host;
    std::shared_ptr<BrisfoldAppDelegate> app;
};

TEST_F(ShellViewsTest, ToastFadesAndGoesAfterItsTimeLeavingTheScreenUsable) {
    auto toast = ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(),
                                                             "网络异常", 1, nullptr);
    toast->addAlertView();
    EXPECT_EQ(toast->superview(), host.window());
    EXPECT_DOUBLE_EQ(toast->frame().size.width, host.window()->bounds().size.width / 3);
    EXPECT_FALSE(toast->isUserInteractionEnabled());
    EXPECT_TRUE(toast->layer()->animationForKey("opacity"));
    advance(1.0);
    // A second message starts its time afresh.
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), "再来", 1, nullptr)
        ->addAlertView();
    EXPECT_EQ(toast->message(), "再来");
    advance(1.4);
    EXPECT_EQ(toast->superview(), host.window());
    advance(0.2);
    EXPECT_FALSE(toast->superview());

    // Type 2 shows inside its owner, which covers the window.
    auto popup = UIView::create(host.window()->bounds());
    host.window()->addSubview(popup);
    ShowAlertView::initializeAlertViewWithFrame(ShowAlertView::toastFrame(), "请输入金额", 2, popup)
        ->addAlertView();
    EXPECT_EQ(toast->superview(), popup);
    advance(1.6);
    EXPECT_FALSE(toast->superview());
}

TEST_F(ShellViewsTest, LoadingOverlayCoversTheWindowUntilTakenDownOrTapped) {
    const auto application = UIApplication::sharedApplication();
    const auto& overlay = FactoryClass::loadingView();
    auto spinner = std::dynamic_pointer_cast<UIActivityIndicatorView>(overlay->subviews().at(0));
    ASSERT_TRUE(spinner);
    for (const bool byTap : {false, true}) {
        FactoryClass::showloadingView();
        EXPECT_EQ(overlay->superview(), host.window());
        EXPECT_EQ(overlay->frame(), host.window()->bounds());
        EXPECT_TRUE(spinner->isAnimating());
        EXPECT_TRUE(application->isNetworkActivityIndicatorVisible());
        if (byTap)
            tapView(host, overlay);
        else
            FactoryClass::deleteLoingView();
        EXPECT_FALSE(overlay->superview()) << byTap;
        EXPECT_FALSE(spinner->isAnimating()) << byTap;
        EXPECT_FALSE(application->isNetworkActivityIndicatorVisible()) << byTap;
    }
}

TEST_F(ShellViewsTest, CellHeightsAndButtonWidthsFollowTheWrappedText) {
    std::string ideographs;
    for (int i = 0; i < 40; ++i) ideographs += "一";
    const auto height = [](const std::string& title, const std::string& content) {
        return FactoryClass::heightOfCellWithTitleText(title, content, 320, 16, false, false);
    };
    const int line = FactoryClass::heightOfCellWithTitleText("型号", "", 320, 16, true, false);
    ASSERT_GT(line, 10);
    EXPECT_EQ(height("", ""), 40);
    // Forty ideographs take four lines beside the title, seven as the title.
    EXPECT_GT(height("型号", ideographs), 3 * line);
    EXPECT_GT(height(ideographs, ""), 6 * line);

    EXPECT_EQ(FactoryClass::widthOfButtonWithContentText("", 30, 15, false), 0);
    EXPECT_EQ(FactoryClass::widthOfButtonWithContentText("收藏", 30, 15, false), 30);
    EXPECT_LE(FactoryClass::widthOfButtonWithContentText(ideographs, 30, 15, true),
              host.window()->bounds().size.width - 20);
}

// The tabs' own taps are seen through the screens; here, that a menu outliving its target sends
// nothing.
TEST_F(ShellViewsTest, MenuSendsItsTapsOnlyWhileItsTargetLives) {
    auto target = UIView::create();
    std::vector<int> tapped;
    auto nav = MiddleNavView::create(CGRectMake(0, 64, 320, 40));
    nav->creatMiddleNavWithClass(
        target, [&](const std::shared_ptr<UIButton>& b) { tapped.push_back(b->tag()); },
        {"报价中", "未中签"}, 1);
    host.window()->addSubview(nav);
    tapView(host, nav->viewWithTag(10));
    EXPECT_EQ(tapped, (std::vector<int>{10}));
    target.reset();
    tapView(host, nav->viewWithTag(11));
    EXPECT_EQ(tapped.size(), 1u);
}

}  // namespace
