#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "ChildProcess.h"
#include "CoreGraphics/CGImage.h"
#include "ScreenPixels.h"
#include "TempDir.h"
#include "TestDevServer.h"

namespace {

using testsupport::ChildProcess;
using testsupport::childrenOf;
using testsupport::processIsGone;
using testsupport::TempDir;
using testsupport::waitForProcessEnd;

namespace fs = std::filesystem;

// Every path below dir, so a test can tell that nothing was written there.
std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

// The app with its home, HOME, temporary directory and working directory inside dir, so that
// whatever it writes lands there.
ChildProcess::Options app(const fs::path& dir, std::vector<std::string> args) {
    ChildProcess::Options o;
    o.args = {BRISFOLD_APP_PATH};
    o.args.insert(o.args.end(), args.begin(), args.end());
    o.workingDirectory = dir.string();
    o.env = {{"HOME", (dir / "user").string()}, {"TMPDIR", (dir / "user").string()}};
    o.unsetEnv = {"XDG_DATA_HOME"};
    o.captureStderr = true;
    return o;
}

// The devserver that the app started, once it has said so.
pid_t devserverOf(ChildProcess& appProcess) {
    if (!appProcess.waitForStderr("devserver at")) return -1;
    const auto children = childrenOf(appProcess.pid());
    return children.size() == 1 ? children.front() : -1;
}

// A devserver that a failed check left behind goes, so that the run leaves no process.
void killIfLeft(pid_t devserver) {
    if (processIsGone(devserver)) return;
    kill(devserver, SIGKILL);
    waitForProcessEnd(devserver);
}

// The devserver programs these tests start, by themselves or through the app, seed and sign in
// at the tests' password cost.
class AppBinary : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::lowerDevServerProgramsPasswordCost(); }
};

TEST_F(AppBinary, HelpPrintsTheUsageAndArgumentsItCannotHonourAreRefused) {
    struct Case {
        std::vector<std::string> args;
        std::string message;  // what it prints: the usage on its output, a refusal on its errors
        int status;
    };
    const Case cases[] = {
        {{"--help"}, "usage: brisfold", 0},
        {{"--screenshot", "s.png", "--after", "inf"}, "--after needs a finite number", 2},
        {{"--screenshot", "s.png", "--after", "nan"}, "--after needs a finite number", 2},
        {{"--screenshot", "s.png", "--after", "-1"}, "--after needs a finite number", 2},
        {{"--bogus"}, "unknown argument: --bogus", 2},
        {{"--location", "91,0"}, "--location 91,0: ", 2},
        {{"--location", "/nonexistent/track.txt"}, "--location /nonexistent/track.txt: ", 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ChildProcess child(app(dir.path(), c.args));
        ASSERT_TRUE(child.started());
        EXPECT_EQ(child.waitForExit(), c.status) << c.args.back();
        EXPECT_NE((c.status == 0 ? child.out() : child.err()).find(c.message), std::string::npos)
            << child.err();
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{}) << c.args.back();
    }
}

TEST_F(AppBinary, HomeThatCannotBeUsedIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    fs::create_directories(dir.path() / "user");
    { std::ofstream(dir.path() / "file") << "not a directory"; }
    fs::create_directories(dir.path() / "locked");
    fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                               fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
    const bool rootFileExisted = fs::exists("/devserver.sqlite");
    struct Case {
        fs::path home;
        std::string cause;
        bool locked;
    };
    const Case cases[] = {
        {dir.path() / "file", "not a directory", false},
        {dir.path() / "file" / "sub", "Not a directory", false},
        {dir.path() / "locked" / "home", "Permission denied", true},
        {dir.path() / "locked", "Permission denied", true},
    };
    const auto before = listing(dir.path());
    for (const Case& c : cases) {
        auto options = app(dir.path(), {"--headless", "--home", c.home.string()});
        // Root may write anywhere; a directory it cannot write to needs another user.
        if (c.locked && geteuid() == 0) options.user = 65534;
        ChildProcess child(options);
        ASSERT_TRUE(child.started());
        const auto status = child.waitForExit();
        ASSERT_TRUE(status) << c.home;
        EXPECT_NE(*status, 0);
        EXPECT_NE(child.err().find(c.home.string()), std::string::npos) << child.err();
        EXPECT_NE(child.err().find(c.cause), std::string::npos) << child.err();
        EXPECT_EQ(listing(dir.path()), before) << c.home;
        EXPECT_TRUE(childrenOf(child.pid()).empty());
    }
    if (!rootFileExisted && fs::exists("/devserver.sqlite")) {
        ADD_FAILURE() << "the devserver's database was made at the root";
        fs::remove("/devserver.sqlite");
    }
}

// A home where the devserver cannot keep its data: the app ends at once, non-zero, with the
// devserver's own reason, instead of running against no server.
TEST_F(AppBinary, DevserverThatCannotStartEndsTheAppWithItsReason) {
    struct Case {
        const char* name;
        const char* reason;  // what the devserver says
    };
    const Case cases[] = {
        {"full", "disk I/O error"},
        {"data file in the way", "Is a directory"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path home = dir.path() / "home";
        auto options = app(dir.path(), {"--headless", "--home", home.string()});
        if (std::string_view(c.name) == "full") {
            // At most 64 KiB a file: the sample data does not fit.
            options.args.insert(
                options.args.begin(),
                {"/bin/bash", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$@\"", "brisfold"});
        } else {
            fs::create_directories(home / "devserver.sqlite");
        }
        ChildProcess child(options);
        ASSERT_TRUE(child.started());
        EXPECT_EQ(child.waitForExit(), 1) << c.name << ": " << child.err();
        EXPECT_NE(child.err().find("brisfold: the devserver could not start: brisfold-devserver: "),
                  std::string::npos)
            << child.err();
        EXPECT_NE(child.err().find(c.reason), std::string::npos) << c.name << ": " << child.err();
        EXPECT_TRUE(childrenOf(child.pid()).empty()) << c.name;
    }
}

// Without a --location of the user's, ./run.sh hands the app the sample track it ships, so that
// a departure finds where the engineer is. The script runs with its set-up and build stood in
// for and a stand-in app that writes down its arguments.
TEST(RunScript, PassesTheShippedSampleTrackUnlessALocationIsGiven) {
    const fs::path track = fs::path(BRISFOLD_SOURCE_DIR) / "resources" / "sample-track.txt";
    ASSERT_TRUE(fs::is_regular_file(track));
    TempDir dir;
    const fs::path tree = dir.path() / "checkout";
    fs::create_directories(tree / "scripts");
    fs::create_directories(tree / "build" / "app");
    fs::create_directories(dir.path() / "bin");
    fs::copy_file(fs::path(BRISFOLD_SOURCE_DIR) / "run.sh", tree / "run.sh");
    const auto script = [](const fs::path& path, const std::string& body) {
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
    };
    script(tree / "scripts" / "setup", "exit 0\n");
    script(dir.path() / "bin" / "cmake", "exit 0\n");
    script(tree / "build" / "app" / "brisfold", "printf '%s\\n' \"$@\"\n");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> passed;
    };
    const std::string shipped = (tree / "resources" / "sample-track.txt").string();
    const Case cases[] = {
        {{}, {"--location", shipped}},
        {{"--headless"}, {"--location", shipped, "--headless"}},
        {{"--location", "39.9,116.4", "--headless"}, {"--location", "39.9,116.4", "--headless"}},
    };
    for (const Case& c : cases) {
        ChildProcess::Options o;
        o.args = {"/bin/bash", (tree / "run.sh").string()};
        o.args.insert(o.args.end(), c.args.begin(), c.args.end());
        o.env = {{"PATH", (dir.path() / "bin").string() + ":/usr/bin:/bin"}};
        ChildProcess run(o);
        ASSERT_TRUE(run.started());
        std::vector<std::string> passed;
        while (const auto line = run.readLine()) passed.push_back(*line);
        EXPECT_EQ(run.waitForExit(), 0);
        EXPECT_EQ(passed, c.passed);
    }
}

TEST_F(AppBinary, QuitSignalEndsTheAppAndItsDevserverAndAKilledAppTakesItsDevserverWithIt) {
    struct Case {
        const char* name;
        int signal;
        bool window;
    };
    const Case cases[] = {
        {"headless, SIGTERM", SIGTERM, false},
        {"window, SIGTERM", SIGTERM, true},
        {"window, SIGINT", SIGINT, true},
        {"headless, SIGKILL", SIGKILL, false},
    };
    // Orphans come to this process, so that a killed app's devserver can be watched and reaped.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TempDir dir;
    for (const Case& c : cases) {
        auto options = app(dir.path(), {"--home", (dir.path() / "home").string()});
        if (c.window) {
            // SDL's dummy driver gives a real window and renderer without a display server.
            options.env["SDL_VIDEODRIVER"] = "dummy";
        } else {
            options.args.push_back("--headless");
        }
        ChildProcess child(options);
        ASSERT_TRUE(child.started());
        const pid_t devserver = devserverOf(child);
        ASSERT_GT(devserver, 0) << c.name << ": " << child.err();
        ASSERT_EQ(kill(child.pid(), c.signal), 0);
        if (c.signal == SIGKILL) {
            EXPECT_EQ(child.waitForExit(), 128 + SIGKILL);
            EXPECT_TRUE(waitForProcessEnd(devserver));
        } else {
            const auto status = child.waitForExit();
            EXPECT_EQ(status, 0) << c.name << ": " << child.err()
                                 << (status ? "" : testsupport::threadStates(child.pid()));
            // Reaped by the app before it ended, not merely asked to go.
            EXPECT_TRUE(processIsGone(devserver)) << c.name;
        }
        killIfLeft(devserver);
    }
}

TEST_F(AppBinary, ScreenshotWithoutADisplayIsTakenHeadless) {
    TempDir dir;
    const fs::path png = dir.path() / "screen.png";
    auto options = app(dir.path(), {"--home", (dir.path() / "home").string(), "--screenshot",
                                    png.string(), "--after", "0.2"});
    options.unsetEnv.insert(options.unsetEnv.end(),
                            {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
    ChildProcess child(options);
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.waitForExit(), 0) << child.err();
    EXPECT_NE(child.err().find("running headless"), std::string::npos) << child.err();
    auto image = CGImage::createWithContentsOfFile(png.string());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 640);
    EXPECT_EQ(image->height(), 1136);
    // The header bar is the brand blue, and the status bar over it is drawn in white: the
    // battery's filling, 20 points from the right, halfway down the bar.
    const CGColor bar = image->pixelAt(20, 100);
    EXPECT_TRUE(bar.b > 0.75 && bar.r < 0.25);
    EXPECT_TRUE(testsupport::colourNear(image->pixelAt(600, 22), testsupport::kWhite, 0.1));
}

}  // namespace
