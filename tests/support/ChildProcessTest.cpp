#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <optional>

#include "ChildProcess.h"

namespace testsupport {
namespace {

bool processIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

TEST(ChildProcess, ReadsLinesAndTheExitCode) {
    ChildProcess child({"/bin/sh", "-c", "printf 'one\\ntwo\\nlast'; exit 3"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readLine(), "one");
    EXPECT_EQ(child.readLine(), "two");
    EXPECT_EQ(child.readLine(), std::nullopt);  // an unfinished line is not a line
    EXPECT_EQ(child.waitForExit(), 3);
    EXPECT_TRUE(processIsGone(child.pid()));
}

TEST(ChildProcess, AMissingProgramDoesNotStart) {
    ChildProcess child({"/nonexistent/program"});
    EXPECT_FALSE(child.started());
    EXPECT_EQ(child.readLine(0.05), std::nullopt);
}

// A child that ignores SIGTERM is killed and reaped when the test gives up on it, by stop() or
// by the object going, so that no process outlives its test.
TEST(ChildProcess, AChildThatIgnoresStopIsKilledAndReaped) {
    const std::vector<std::string> stubborn = {"/bin/sh", "-c",
                                               "trap '' TERM; echo ready; while :; do :; done"};
    pid_t pid = -1;
    {
        ChildProcess child(stubborn);
        ASSERT_EQ(child.readLine(), "ready");
        EXPECT_EQ(child.waitForExit(0.05), std::nullopt);
        EXPECT_EQ(child.stop(0.05), -1);
        pid = child.pid();
        EXPECT_TRUE(processIsGone(pid));
    }
    {
        ChildProcess child(stubborn);
        ASSERT_EQ(child.readLine(), "ready");
        pid = child.pid();
    }
    EXPECT_TRUE(processIsGone(pid));
}

}  // namespace
}  // namespace testsupport
