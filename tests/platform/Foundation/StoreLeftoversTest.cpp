// A process killed while a store wrote its file leaves the write's temporary beside it, in clear.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

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

}  // namespace
