#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "LoopbackListener.h"
#include "SystemConfiguration/SCNetworkInterface.h"
#include "SystemConfiguration/SCNetworkReachability.h"

namespace {

using namespace testsupport;

constexpr CFTimeInterval kPatience = 10;

constexpr SCNetworkReachabilityFlags kLoopbackFlags = kSCNetworkReachabilityFlagsReachable |
                                                      kSCNetworkReachabilityFlagsIsLocalAddress |
                                                      kSCNetworkReachabilityFlagsIsDirect;

std::shared_ptr<SCNetworkReachability> loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return SCNetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&address));
}

class SCNetworkReachabilityTest : public ::testing::Test {
  protected:
    void SetUp() override { SCNetworkReachability::setProbeInterval(0.05); }
    void TearDown() override {
        SCNetworkReachability::setProbeInterval(5.0);
        SCNetworkReachability::setProbeTimeout(1.0);
    }

    // Asks until the reference has evaluated its target once; the flags it then gives.
    std::optional<SCNetworkReachabilityFlags> evaluated(const SCNetworkReachability& reference) {
        SCNetworkReachabilityFlags flags = 0;
        if (!loop->runUntil([&] { return reference.getFlags(flags); }, kPatience))
            return std::nullopt;
        return flags;
    }
    // Asks until the flags are the expected ones.
    bool becomes(const SCNetworkReachability& reference, SCNetworkReachabilityFlags expected) {
        return loop->runUntil(
            [&] {
                SCNetworkReachabilityFlags flags = 0;
                return reference.getFlags(flags) && flags == expected;
            },
            kPatience);
    }

    const std::shared_ptr<NSRunLoop> loop = NSRunLoop::currentRunLoop();
};

TEST_F(SCNetworkReachabilityTest, TargetsAreReachableWhileSomethingAcceptsThere) {
    LoopbackListener listener;
    LoopbackListener closed;
    closed.close();
    const struct {
        const char* name;
        std::shared_ptr<SCNetworkReachability> reference;
        SCNetworkReachabilityFlags expected;
    } cases[] = {
        {"address with a listener", loopback(listener.port()), kLoopbackFlags},
        {"name with a listener",
         SCNetworkReachability::createWithName("localhost:" + std::to_string(listener.port())),
         kLoopbackFlags},
        {"numeric name with a listener", SCNetworkReachability::createWithName(listener.hostName()),
         kLoopbackFlags},
        {"closed port", loopback(closed.port()), 0},
        {"numeric name of a closed port", SCNetworkReachability::createWithName(closed.hostName()),
         0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.reference) << c.name;
        EXPECT_EQ(evaluated(*c.reference), c.expected) << c.name;
    }
}

TEST_F(SCNetworkReachabilityTest, QueryAnswersTheLastStateWhileAProbeHangsAndStoppingCutsItShort) {
    // The first probe fills the listener's only slot; every later one hangs, for longer than
    // the test takes unless something waits for it.
    LoopbackListener listener(0);
    SCNetworkReachability::setProbeTimeout(30);
    auto reference = SCNetworkReachability::createWithName(listener.hostName());
    ASSERT_EQ(evaluated(*reference), kLoopbackFlags);

    // Every query now asks for a new probe.
    SCNetworkReachability::setProbeInterval(0);
    SCNetworkReachabilityFlags flags = 0;
    EXPECT_TRUE(reference->getFlags(flags));
    ASSERT_TRUE(loop->runUntil([&] { return connectAttemptUnderWay(listener.port()); }, kPatience));
    flags = 0;
    EXPECT_TRUE(reference->getFlags(flags));
    EXPECT_EQ(flags, kLoopbackFlags);
    EXPECT_TRUE(connectAttemptUnderWay(listener.port()));  // the query did not wait for it

    // Going, the reference cuts its probe short and joins its worker.
    reference.reset();
    EXPECT_FALSE(connectAttemptUnderWay(listener.port()));

    // So does a notifier that stops, and it calls back no more.
    reference = SCNetworkReachability::createWithName(listener.hostName());
    int calls = 0;
    reference->setCallback([&](SCNetworkReachabilityFlags) { ++calls; });
    ASSERT_TRUE(reference->scheduleWithRunLoop(loop));
    ASSERT_TRUE(loop->runUntil([&] { return connectAttemptUnderWay(listener.port()); }, kPatience));
    EXPECT_TRUE(reference->unscheduleFromRunLoop(loop));
    EXPECT_FALSE(connectAttemptUnderWay(listener.port()));
    const int callsWhenStopped = calls;
    loop->runUntilIdle();
    EXPECT_EQ(calls, callsWhenStopped);
}

TEST_F(SCNetworkReachabilityTest, CallbackRunsOnTheLoopWithTheFirstStateAndEveryChange) {
    auto listener = std::make_unique<LoopbackListener>();
    const auto reference = SCNetworkReachability::createWithName(listener->hostName());
    std::vector<SCNetworkReachabilityFlags> seen;
    std::vector<bool> onLoopThread;
    ASSERT_TRUE(reference->setCallback([&](SCNetworkReachabilityFlags flags) {
        seen.push_back(flags);
        onLoopThread.push_back(loop->threadId() == std::this_thread::get_id());
    }));
    ASSERT_TRUE(reference->scheduleWithRunLoop(loop));
    EXPECT_FALSE(reference->scheduleWithRunLoop(loop));  // one schedule at a time
    ASSERT_TRUE(loop->runUntil([&] { return seen.size() >= 1; }, kPatience));
    listener.reset();
    ASSERT_TRUE(loop->runUntil([&] { return seen.size() >= 2; }, kPatience));
    EXPECT_EQ(seen, (std::vector<SCNetworkReachabilityFlags>{kLoopbackFlags, 0}));
    EXPECT_EQ(onLoopThread, (std::vector<bool>{true, true}));

    EXPECT_TRUE(reference->unscheduleFromRunLoop(loop));
    EXPECT_FALSE(reference->unscheduleFromRunLoop(loop));
    // Scheduled again, it reports the state afresh.
    ASSERT_TRUE(reference->scheduleWithRunLoop(loop));
    ASSERT_TRUE(loop->runUntil([&] { return seen.size() >= 3; }, kPatience));
    EXPECT_EQ(seen.back(), 0u);
    EXPECT_TRUE(reference->unscheduleFromRunLoop(loop));
}

TEST_F(SCNetworkReachabilityTest, UnwatchableTargetsAndLoopsOfOtherThreadsAreRefused) {
    for (const char* name : {"", ":80", "127.0.0.1:http", "127.0.0.1:0", "127.0.0.1:70000"})
        EXPECT_FALSE(SCNetworkReachability::createWithName(name)) << name;
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    EXPECT_FALSE(SCNetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&v6)));
    EXPECT_FALSE(SCNetworkReachability::createWithAddress(nullptr));

    const auto reference = loopback(0);
    // Without a port it is answered from the routes there and then.
    SCNetworkReachabilityFlags flags = 0;
    EXPECT_TRUE(reference->getFlags(flags));
    EXPECT_EQ(flags, kLoopbackFlags);
    std::shared_ptr<NSRunLoop> otherLoop;
    std::thread([&] { otherLoop = NSRunLoop::currentRunLoop(); }).join();
    EXPECT_FALSE(reference->scheduleWithRunLoop(otherLoop));
    EXPECT_FALSE(reference->scheduleWithRunLoop(nullptr));
    EXPECT_FALSE(reference->unscheduleFromRunLoop(loop));
}

std::string text(in_addr address) {
    char buffer[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, buffer, sizeof buffer);
    return buffer;
}

// The kernel's own view of each interface, read from sysfs, agrees with the list.
TEST(InterfaceListTest, ListsLoopbackWithItsAddressAndMatchesTheKernel) {
    const auto interfaces = SCNetworkInterfaceCopyAll();
    ASSERT_TRUE(interfaces);
    const auto lo = std::find_if(interfaces->begin(), interfaces->end(),
                                 [](const auto& i) { return i.name == "lo"; });
    ASSERT_NE(lo, interfaces->end());
    EXPECT_TRUE(lo->loopback);
    EXPECT_TRUE(lo->up);
    EXPECT_TRUE(lo->running);
    const auto own = std::find_if(lo->ipv4.begin(), lo->ipv4.end(),
                                  [](const auto& a) { return text(a.address) == "127.0.0.1"; });
    ASSERT_NE(own, lo->ipv4.end());
    EXPECT_EQ(text(own->netmask), "255.0.0.0");

    unsigned previousIndex = 0;
    for (const auto& interface : *interfaces) {
        EXPECT_EQ(interface.index, ::if_nametoindex(interface.name.c_str())) << interface.name;
        EXPECT_GT(interface.index, previousIndex) << interface.name;
        previousIndex = interface.index;

        std::ifstream sysfs("/sys/class/net/" + interface.name + "/address");
        std::string kernels;
        if (!std::getline(sysfs, kernels) || kernels.size() != 17) continue;
        ASSERT_TRUE(interface.hardwareAddress) << interface.name;
        const auto& b = *interface.hardwareAddress;
        char ours[18];
        std::snprintf(ours, sizeof ours, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3],
                      b[4], b[5]);
        EXPECT_EQ(ours, kernels) << interface.name;
    }
}

}  // namespace
