// The app as an engineer meets it: the real window on an X server of the test's own, input
// through the window system, the devserver on the other side.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AppScreens.h"
#include "ChildProcess.h"
#include "Database.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "TempDir.h"
#include "TestDevServer.h"
#include "XScreen.h"

namespace {

using testsupport::ChildProcess;
using testsupport::TempDir;
using testsupport::waitUntil;

namespace fs = std::filesystem;

// Generous: the whole suite may be running beside this under a sanitizer.
constexpr CFTimeInterval kScreenPatience = 60;
constexpr int kWidth = 320, kHeight = 568;
// The status bar's clock changes by itself.
constexpr int kStatusBarHeight = 20;
constexpr const char* kAddress = "广东省广州市越秀区府前路";

// An X server of this test's own, with a screen the size of the phone's, so that the window
// sits at its origin and screen pixels are points.
class XServer {
  public:
    XServer() : process_(options()) {
        if (const auto line = process_.readLine(); line && !line->empty()) name_ = ":" + *line;
        if (!name_.empty()) screen_ = XScreen::open(name_);
    }
    bool ready() const { return screen_ != nullptr; }
    const std::string& name() const { return name_; }

    std::vector<std::uint32_t> grab() const { return screen_->grab(kWidth, kHeight); }

  private:
    // The server picks a free display and names it on the first line of its output.
    static ChildProcess::Options options() {
        ChildProcess::Options o;
        const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
        o.args = {BRISFOLD_XVFB_PATH, "-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp"};
        o.captureStderr = true;
        return o;
    }

    ChildProcess process_;
    std::string name_;
    std::unique_ptr<XScreen> screen_;
};

// Pixels below the status bar that differ between two grabs.
size_t difference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    if (a.size() != b.size()) return a.size() + b.size();
    size_t n = 0;
    for (size_t i = kStatusBarHeight * kWidth; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

bool isOrange(std::uint32_t rgb) {
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return r > 200 && g > 90 && g < 190 && b < 80;
}

class WindowFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(BRISFOLD_XVFB_PATH) && fs::exists(BRISFOLD_XDOTOOL_PATH))
            << "Xvfb and xdotool are needed: scripts/setup installs them";
        ASSERT_TRUE(x.ready()) << "the X server did not start";
        server = std::make_unique<devserver::DevServer>(dir.path() / "devserver.sqlite",
                                                        testsupport::devServerTestOptions());
        std::string error;
        ASSERT_TRUE(server->start(0, &error)) << error;
        ChildProcess::Options o;
        o.args = {BRISFOLD_APP_PATH,
                  "--home",
                  home().string(),
                  "--server",
                  "http://127.0.0.1:" + std::to_string(server->port()) + "/",
                  "--location",
                  BRISFOLD_SOURCE_DIR "/resources/sample-track.txt"};
        o.env = {{"DISPLAY", x.name()}, {"HOME", dir.path().string()}};
        o.unsetEnv = {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "SDL_RENDER_DRIVER",
                      "SDL_FRAMEBUFFER_ACCELERATION"};
        o.captureStderr = true;
        app = std::make_unique<ChildProcess>(o);
        ASSERT_TRUE(app->started());
        ASSERT_TRUE(xdotool({"search", "--sync", "--onlyvisible", "--name", "Brisfold"}))
            << app->err();
    }
    void TearDown() override {
        app.reset();
        if (server) server->stop();
    }

    fs::path home() const { return dir.path() / "home"; }

    bool xdotool(std::vector<std::string> args) {
        ChildProcess::Options o;
        o.args = {BRISFOLD_XDOTOOL_PATH};
        o.args.insert(o.args.end(), args.begin(), args.end());
        o.env = {{"DISPLAY", x.name()}};
        ChildProcess tool(o);
        return tool.waitForExit(kScreenPatience) == 0;
    }
    // A click at a point, then the screen settled: it changed, and then held still.
    void click(int px, int py) {
        const auto before = x.grab();
        ASSERT_TRUE(xdotool({"mousemove", std::to_string(px), std::to_string(py), "click", "1"}));
        ASSERT_TRUE(waitUntil([&] { return difference(before, x.grab()) > 0; }, kScreenPatience))
            << "nothing changed on a click at " << px << "," << py;
        settle();
    }
    void type(const std::string& text) { ASSERT_TRUE(xdotool({"type", "--delay", "40", text})); }
    // Until the screen held still for a while, but for a blinking caret.
    void settle() {
        auto last = x.grab();
        double since = Clock::realNow();
        ASSERT_TRUE(waitUntil(
            [&] {
                auto now = x.grab();
                if (difference(last, now) >= 200) since = Clock::realNow();
                last = std::move(now);
                return Clock::realNow() - since >= 0.6;
            },
            kScreenPatience));
    }
    bool orangeAt(int px, int py) { return isOrange(x.grab()[py * kWidth + px]); }
    // Signs in on the sign-in screen, and waits for the inquiry list's quotation buttons.
    void signIn(const std::string& user, const std::string& password) {
        settle();
        ASSERT_TRUE(orangeAt(160, 328)) << "the sign-in's button";
        click(160, 210);
        type(user);
        click(160, 262);
        type(password);
        click(160, 328);
        ASSERT_TRUE(waitUntil([&] { return orangeAt(80, 209); }, kScreenPatience))
            << "no inquiry list after the sign-in\n"
            << app->err();
    }
    std::string engineerNamed(const std::string& user) {
        return stored("SELECT user_id FROM engineers WHERE user_name = ?", user);
    }
    std::string sessionsOf(const std::string& engineerId) {
        return stored("SELECT COUNT(*) FROM sessions WHERE engineer_id = ?", engineerId);
    }

    std::string stored(const std::string& sql, const std::string& arg = "") {
        devserver::Database db(dir.path() / "devserver.sqlite");
        auto row = arg.empty() ? db.query(sql) : db.query(sql, arg);
        return row.step() ? row.text(0) : "";
    }
    // The engineer's newest order in a state: the first card of that state's tab.
    std::string newestOrder(int state) {
        return stored("SELECT order_id FROM orders WHERE engineer_id = ? AND order_state_id = " +
                          std::to_string(state) + " ORDER BY add_date DESC LIMIT 1",
                      engineer);
    }
    std::vector<std::string> favourites() {
        return testsupport::favouriteIDs(home() / "Documents" / "favorite.db");
    }
    // The unread count the app keeps with its session; -1 before it is written.
    long unreadCount() {
        std::ifstream in(home() / "Library" / "Preferences" / "com.brisfold.engineer.plist",
                         std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const auto plist = NSPropertyListSerialization::propertyListWithData(bytes);
        if (!plist || !plist->is_object() || !plist->contains("APPNotReadCount")) return -1;
        const auto& count = (*plist)["APPNotReadCount"];
        return count.is_number() ? count.get<long>() : -1;
    }
    // Moves the newest order of the state on from its tab's first card, as the engineer does.
    void moveFirstOrder(int state, int tabX) {
        const std::string order = newestOrder(state);
        ASSERT_FALSE(order.empty());
        click(tabX, 82);
        ASSERT_TRUE(orangeAt(160, 218));
        click(160, 218);  // the card's action
        click(94, 308);   // 确定
        ASSERT_TRUE(waitUntil(
            [&] {
                return stored("SELECT order_state_id FROM orders WHERE order_id = ?", order) ==
                       std::to_string(state + 1);
            },
            kScreenPatience))
            << "order " << order << " stayed in state " << state << "\n"
            << app->err();
        EXPECT_EQ(stored("SELECT leave_address FROM orders WHERE order_id = ?", order), kAddress);
        settle();
    }

    TempDir dir;
    XServer x;
    std::unique_ptr<devserver::DevServer> server;
    std::unique_ptr<ChildProcess> app;
    std::string engineer;
};

TEST_F(WindowFlowTest, EngineerQuotesStarsMovesOrdersReadsAMessageAndQuits) {
    ASSERT_NO_FATAL_FAILURE(signIn("zhangwei", "zw123456"));
    engineer = engineerNamed("zhangwei");

    // The second card's quotation and star.
    // The amount field has the focus as the pop-up opens.
    click(80, 379);
    type("3999");
    click(94, 318);
    std::string quoted;
    ASSERT_TRUE(waitUntil(
        [&] {
            quoted = stored(
                "SELECT ask_price_id FROM offers WHERE price = 3999 AND engineer_id = ?", engineer);
            return !quoted.empty();
        },
        kScreenPatience));
    settle();
    click(240, 379);
    ASSERT_TRUE(waitUntil([&] { return favourites() == std::vector<std::string>{quoted}; },
                          kScreenPatience));

    // Departure, start and completion, each with the address of where the engineer is.
    click(200, 543);
    ASSERT_NO_FATAL_FAILURE(moveFirstOrder(18, 95));
    ASSERT_NO_FATAL_FAILURE(moveFirstOrder(19, 160));
    ASSERT_NO_FATAL_FAILURE(moveFirstOrder(20, 225));

    // The newest message is unread; opening it shows its order and takes one off the badge.
    click(280, 543);
    const long unread = unreadCount();
    ASSERT_GT(unread, 0);
    click(160, 100);
    ASSERT_TRUE(waitUntil([&] { return unreadCount() == unread - 1; }, kScreenPatience));

    // Quitting from the order detail ends the app cleanly.
    ASSERT_EQ(kill(app->pid(), SIGTERM), 0);
    EXPECT_EQ(app->waitForExit(kScreenPatience), 0) << app->err();
}

// Signing out is the way to the other account: the side menu's last row ends the session on the
// server and brings back the sign-in, where the other engineer signs in.
TEST_F(WindowFlowTest, EngineerSignsOutFromTheSideMenuAndTheOtherSignsIn) {
    ASSERT_NO_FATAL_FAILURE(signIn("zhangwei", "zw123456"));
    const std::string first = engineerNamed("zhangwei");
    ASSERT_EQ(sessionsOf(first), "1");
    click(22, 42);   // the bar's left item opens the side menu
    click(60, 242);  // 退出登录
    ASSERT_TRUE(waitUntil([&] { return sessionsOf(first) == "0"; }, kScreenPatience)) << app->err();
    ASSERT_NO_FATAL_FAILURE(signIn("lina", "ln123456"));
    EXPECT_EQ(sessionsOf(engineerNamed("lina")), "1");
    EXPECT_EQ(sessionsOf(first), "0");

    ASSERT_EQ(kill(app->pid(), SIGTERM), 0);
    EXPECT_EQ(app->waitForExit(kScreenPatience), 0) << app->err();
}

}  // namespace
