// A process killed while a store wrote its file leaves the write's temporary beside it, in clear.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "Foundation/NSData.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSUserDefaults.h"
#include "TempDir.h"

namespace {

std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// The temporaries a killed write left go when the store opens its file; one that a write still
// holds, those of another file and other names beside it stay.
TEST(StoreLeftoversTest, StoresRemoveTheTemporariesOfKilledWritesWhenTheyOpen) {
    const struct {
        const char* file;
        std::function<void(const std::string&)> open;
        std::set<std::string> left;
    } cases[] = {
        {"com.brisfold.engineer.plist",
         [](const std::string& p) { NSUserDefaults::create(p); },
         {"com.brisfold.engineer.plist.A1b2C3"}},
        // Older versions wrote the cookies through a temporary of a fixed name.
        {"Cookies.json",
         [](const std::string& p) { NSHTTPCookieStorage::create(p); },
         {"Cookies.json.A1b2C3", "Cookies.json.tmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        testsupport::TempDir dir;
        const std::string file = c.file;
        const std::set<std::string> kept = {file + ".bak", file + ".A1b2C", file + ".A1b2C3.x",
                                            "other.plist.A1b2C3", file + ".Held00"};
        for (const auto& names : {c.left, kept})
            for (const auto& name : names) std::ofstream(dir / name) << "zw123456";
        const int held = ::open((dir / (file + ".Held00")).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);
        c.open(dir / file);
        ::close(held);
        EXPECT_EQ(namesIn(dir.path()), kept);
    }
}

// Run by the test below in a process of its own until it is stopped: a second app opening the
// same store, over and over.
TEST(LeftoverClearer, DISABLED_ClearsUntilStopped) {
    const char* file = std::getenv("BRISFOLD_STORE_FILE");
    ASSERT_TRUE(file);
    NSDataRemoveStaleTemporaries(file);
    std::printf("clearing\n");
    std::fflush(stdout);
    for (;;) NSDataRemoveStaleTemporaries(file);
}

// A write holds its temporary until it is the file: leftovers cleared beside it, by another
// process or by another thread of this one, never take a save.
TEST(StoreLeftoversTest, EverySaveLandsBesideLeftoversClearedMeanwhile) {
    constexpr int kSaves = 1000;
    for (const bool ownProcess : {true, false}) {
        SCOPED_TRACE(ownProcess ? "another process" : "another thread");
        testsupport::TempDir dir;
        const std::string file = dir / "Keychain.plist";
        std::unique_ptr<testsupport::ChildProcess> process;
        std::atomic<bool> done = false;
        std::jthread thread;
        if (ownProcess) {
            testsupport::ChildProcess::Options clearer;
            clearer.args = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                            "--gtest_filter=LeftoverClearer.DISABLED_ClearsUntilStopped"};
            clearer.env = {{"BRISFOLD_STORE_FILE", file}};
            process = std::make_unique<testsupport::ChildProcess>(clearer);
            std::optional<std::string> line;
            while ((line = process->readLine()) && *line != "clearing") {
            }
            ASSERT_TRUE(line) << "the clearing did not start";
        } else {
            thread = std::jthread([&] {
                while (!done) NSDataRemoveStaleTemporaries(file);
            });
        }
        int failed = 0;
        for (int i = 0; i < kSaves; ++i) {
            const NSData contents = NSDataFromString(std::to_string(i));
            if (!NSDataWriteToFile(contents, file, true) ||
                NSDataWithContentsOfFile(file) != contents)
                ++failed;
        }
        EXPECT_EQ(failed, 0) << "of " << kSaves;
        // It cleared throughout.
        if (process) {
            EXPECT_FALSE(process->waitForExit(0));
        }
        done = true;
    }
}

}  // namespace
