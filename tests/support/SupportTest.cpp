#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Deadline.h"
#include "Gate.h"
#include "TempDir.h"

namespace testsupport {
namespace {

TEST(ChildProcess, ReadsLinesAndTheExitCodeOrSignalOrDoesNotStart) {
    ChildProcess child({"/bin/sh", "-c", "printf 'one\\ntwo\\nlast'; exit 3"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readLine(), "one");
    EXPECT_EQ(child.readLine(), "two");
    EXPECT_EQ(child.readLine(), std::nullopt);  // an unfinished line is not a line
    EXPECT_EQ(child.waitForExit(), 3);
    EXPECT_EQ(child.out(), "one\ntwo\nlast");
    EXPECT_TRUE(processIsGone(child.pid()));

    ChildProcess signalled({"/bin/sh", "-c", "echo ready; kill -USR1 $$"});
    ASSERT_EQ(signalled.readLine(), "ready");
    EXPECT_EQ(signalled.waitForExit(), 128 + SIGUSR1);
    EXPECT_FALSE(signalled.killed());

    // A program that cannot be run does not start.
    ChildProcess missing({"/nonexistent/program"});
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.readLine(0.05), std::nullopt);
    EXPECT_EQ(missing.waitForExit(0.05), std::nullopt);

    ChildProcess::Options elsewhere;
    elsewhere.args = {"/bin/true"};
    elsewhere.workingDirectory = "/nonexistent/directory";
    EXPECT_FALSE(ChildProcess(elsewhere).started());
}

TEST(ChildProcess, GivesTheChildItsEnvironmentDirectoryAndOwnStderr) {
    TempDir dir;
    ::setenv("BRISFOLD_CHILD_UNSET", "inherited", 1);
    ::setenv("BRISFOLD_CHILD_KEPT", "inherited", 1);
    ChildProcess::Options options;
    options.args = {"/bin/sh", "-c",
                    "echo \"$BRISFOLD_CHILD_SET|${BRISFOLD_CHILD_UNSET-unset}|"
                    "$BRISFOLD_CHILD_KEPT\"; pwd; echo to-stderr >&2; exit 4"};
    options.env = {{"BRISFOLD_CHILD_SET", "set"}};
    options.unsetEnv = {"BRISFOLD_CHILD_UNSET"};
    options.workingDirectory = dir.path().string();
    options.captureStderr = true;
    ChildProcess child(options);
    ::unsetenv("BRISFOLD_CHILD_UNSET");
    ::unsetenv("BRISFOLD_CHILD_KEPT");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readLine(), "set|unset|inherited");
    EXPECT_EQ(child.readLine(), dir.path().string());
    EXPECT_TRUE(child.waitForStderr("to-stderr"));
    EXPECT_EQ(child.waitForExit(), 4);
    EXPECT_EQ(child.err(), "to-stderr\n");
}

// A child that ignores SIGTERM is killed and reaped when the test gives up on it, by stop() or
// by the object going, so that no process outlives its test.
TEST(ChildProcess, ChildThatIgnoresStopIsKilledAndReaped) {
    const std::vector<std::string> stubborn = {"/bin/sh", "-c",
                                               "trap '' TERM; echo ready; while :; do :; done"};
    pid_t pid = -1;
    {
        ChildProcess child(stubborn);
        ASSERT_EQ(child.readLine(), "ready");
        EXPECT_EQ(child.waitForExit(0.05), std::nullopt);
        EXPECT_EQ(child.stop(0.05), 128 + SIGKILL);
        EXPECT_TRUE(child.killed());
        EXPECT_TRUE(processIsGone(child.pid()));
    }
    {
        ChildProcess child(stubborn);
        ASSERT_EQ(child.readLine(), "ready");
        pid = child.pid();
    }
    EXPECT_TRUE(processIsGone(pid));
}

// The kernel ends the child when the process that started it dies without running its
// destructors, as a test binary that crashes or is killed by its time-out does.
TEST(ChildProcess, ChildDiesWithTheProcessThatStartedIt) {
    // The orphan comes to this process, so that it can be watched and reaped here.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int pids[2];
    ASSERT_EQ(::pipe(pids), 0);
    const pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        ::close(pids[0]);
        ChildProcess child({"/bin/sleep", "600"});
        const pid_t pid = child.pid();
        (void)!::write(pids[1], &pid, sizeof pid);
        ::_exit(0);
    }
    ::close(pids[1]);
    pid_t orphan = -1;
    EXPECT_EQ(::read(pids[0], &orphan, sizeof orphan), static_cast<ssize_t>(sizeof orphan));
    ::close(pids[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(starter, &status, 0), starter);
    ASSERT_GT(orphan, 0);
    EXPECT_TRUE(waitForProcessEnd(orphan));
    if (!processIsGone(orphan)) {
        ::kill(orphan, SIGKILL);
        waitForProcessEnd(orphan);
    }
    EXPECT_TRUE(processIsGone(orphan));
}

// How often this process ran the first test below: once in a fresh one, whatever the parent did.
int& freshProcessRuns() {
    static int runs = 0;
    return runs;
}

TEST(FreshProcessChild, DISABLED_StartsFromNothing) { EXPECT_EQ(++freshProcessRuns(), 1); }

TEST(FreshProcessChild, DISABLED_Fails) { ADD_FAILURE() << "as it should"; }

TEST(ChildProcess, RunsOneDisabledTestInAFreshProcess) {
    ++freshProcessRuns();
    EXPECT_TRUE(passesInFreshProcess("FreshProcessChild.DISABLED_StartsFromNothing"));
    const auto failed = passesInFreshProcess("FreshProcessChild.DISABLED_Fails");
    EXPECT_FALSE(failed);
    EXPECT_NE(std::string(failed.message()).find("as it should"), std::string::npos)
        << failed.message();
    EXPECT_FALSE(passesInFreshProcess("FreshProcessChild.DISABLED_NoSuchTest"));
}

TEST(ChildProcess, ThreadStatesNameEveryThreadAndWhatItHasPending) {
    std::atomic<bool> go{false};
    std::atomic<pid_t> helper{0};
    std::thread waiting([&] {
        helper = gettid();
        while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (helper == 0) std::this_thread::yield();
    const std::string states = testsupport::threadStates(getpid());
    go = true;
    waiting.join();
    EXPECT_EQ(states.rfind("process " + std::to_string(getpid()) + " ShdPnd ", 0), 0u) << states;
    for (const pid_t tid : {getpid(), helper.load()})
        EXPECT_NE(states.find("  " + std::to_string(tid) + " "), std::string::npos) << states;
    EXPECT_NE(states.find("SigBlk"), std::string::npos) << states;
    EXPECT_NE(testsupport::threadStates(999999999).find("(No such file"), std::string::npos);
}

TEST(Gate, HoldsUntilAdmittedOrOpenedAndLetsEveryoneGoWhenItGoes) {
    auto gate = std::make_unique<Gate>();
    std::atomic<int> through{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            gate->pass();
            ++through;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 3; }));
    gate->admit(1);
    ASSERT_TRUE(waitUntil([&] { return through == 1; }));
    EXPECT_EQ(gate->waiting(), 2u);
    gate.reset();
    for (auto& t : threads) t.join();
    EXPECT_EQ(through, 3);
}

}  // namespace
}  // namespace testsupport
