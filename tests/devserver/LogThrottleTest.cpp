#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Deadline.h"
#include "DevServerFixture.h"
#include "Gate.h"
#include "LogThrottle.h"

namespace devserver {
namespace {

using std::chrono::milliseconds;

TEST(LogThrottleTest, WritesAtMostItsBoundInEachWindowAndCountsTheRest) {
    struct Case {
        const char* name;
        std::vector<int> lineTimes;  // ms; each line's text is its time
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"within the bound", {0, 10}, {"0", "10"}},
        {"beyond it, owed until flushed", {0, 1, 2, 3}, {"0", "1", "2 more lines left out"}},
        {"the count goes before the next window's first line",
         {0, 1, 2, 1000, 1001, 1002},
         {"0", "1", "1 more line left out", "1000", "1001", "1 more line left out"}},
        {"a window starts at its first line",
         {500, 1400, 1450, 1499, 1500},
         {"500", "1400", "2 more lines left out", "1500"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> written;
        LogThrottle::Clock::time_point now{};
        LogThrottle throttle([&](const std::string& line) { written.push_back(line); },
                             LogLines{2, milliseconds(1000)}, [&] { return now; });
        for (int ms : c.lineTimes) {
            now = LogThrottle::Clock::time_point{} + milliseconds(ms);
            throttle.write(std::to_string(ms));
        }
        throttle.flush();
        throttle.flush();
        EXPECT_EQ(written, c.written);
    }
}

// A sink that takes nothing holds none of the writers: the lines beyond those waiting for it are
// counted, and written once it takes again.
TEST(LogThrottleTest, AStalledSinkHoldsNoWriter) {
    testsupport::Gate sinkTakes;
    std::vector<std::string> written;
    LogThrottle throttle(
        [&](const std::string& line) {
            sinkTakes.pass();
            written.push_back(line);
        },
        LogLines{100, std::chrono::hours(1), 2});
    auto writes = std::async(std::launch::async, [&] {
        throttle.write("a");
        ASSERT_TRUE(testsupport::waitUntil([&] { return sinkTakes.waiting() == 1; }));
        for (const char* line : {"b", "c", "d", "e"}) throttle.write(line);
    });
    const bool returned = writes.wait_for(std::chrono::duration<double>(testsupport::kPatience)) ==
                          std::future_status::ready;
    sinkTakes.open();
    ASSERT_TRUE(returned);
    writes.get();
    throttle.flush();
    EXPECT_EQ(written, (std::vector<std::string>{"a", "b", "c", "2 more lines left out"}));
}

// A sink that takes nothing keeps the last flush no longer than its bound: what it could not write
// is counted, and the count written should the sink take again.
TEST(LogThrottleTest, TheLastFlushGivesUpOnAStalledSinkAndCountsWhatItCouldNotWrite) {
    testsupport::Gate sinkTakes;
    struct Lines {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    auto written = std::make_shared<Lines>();
    auto throttle = std::make_unique<LogThrottle>(
        [&sinkTakes, written](const std::string& line) {
            sinkTakes.pass();
            std::lock_guard lock(written->mutex);
            written->lines.push_back(line);
        },
        LogLines{2, std::chrono::hours(1), 256, milliseconds(100)});
    for (const char* line : {"a", "b", "c", "d"}) throttle->write(line);
    ASSERT_TRUE(testsupport::waitUntil([&] { return sinkTakes.waiting() == 1; }));
    auto destroyed = std::async(std::launch::async, [&] { throttle.reset(); });
    const bool returned =
        destroyed.wait_for(std::chrono::duration<double>(testsupport::kPatience)) ==
        std::future_status::ready;
    sinkTakes.open();
    ASSERT_TRUE(returned);
    // The sink goes with the thread that called it, once the count is written.
    ASSERT_TRUE(testsupport::waitUntil([&] { return written.use_count() == 1; }));
    std::lock_guard lock(written->mutex);
    EXPECT_EQ(written->lines, (std::vector<std::string>{"a", "3 more lines left out"}));
}

// A flood of requests that each log a line leaves the log at its bound, and the server's stop
// writes what it left out.
TEST(LogThrottleTest, AFloodOfLoggedRequestsWritesTheBoundAndTheCountOfTheRest) {
    struct Lines {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    auto logged = std::make_shared<Lines>();
    auto options = test::testOptions();
    options.log = [logged](const std::string& line) {
        std::lock_guard lock(logged->mutex);
        logged->lines.push_back(line);
    };
    options.logLines = {20, std::chrono::hours(1)};
    testsupport::TempDir dir;
    DevServer server(dir.path() / "devserver.sqlite", options);
    ASSERT_TRUE(server.start());

    httplib::Client client("127.0.0.1", server.port());
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(test::statusOf(client.Get("/v3/config/resource?n=" + std::to_string(i))), 200);
    server.stop();

    std::lock_guard lock(logged->mutex);
    ASSERT_EQ(logged->lines.size(), 21u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(logged->lines[i].rfind("GET /v3/config/resource", 0), 0u) << logged->lines[i];
    EXPECT_EQ(logged->lines.back(), "180 more lines left out");
}

}  // namespace
}  // namespace devserver
