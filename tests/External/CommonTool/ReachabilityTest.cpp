#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ACEReachability.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSRunLoop.h"

namespace {

// A TCP listener on an ephemeral loopback port, closed on demand or when it goes.
class Listener {
  public:
    explicit Listener(int backlog = 16) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, backlog), 0);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    std::uint16_t port() const { return port_; }
    std::string hostName() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// Whether some socket of this machine is still trying to connect (SYN_SENT) to the port.
bool connectAttemptUnderWay(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const auto colon = remote.find(':');
        if (colon == std::string::npos || state != "02") continue;
        if (std::stoul(remote.substr(colon + 1), nullptr, 16) == port) return true;
    }
    return false;
}

class ReachabilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previousHost_ = ACEReachability::probeHostName();
        SCNetworkReachability::setProbeInterval(0.05);
    }
    void TearDown() override {
        ACEReachability::setProbeHostName(previousHost_);
        SCNetworkReachability::setProbeInterval(5.0);
        SCNetworkReachability::setProbeTimeout(1.0);
    }
    std::string previousHost_;
};

TEST(ReachabilityFlags, MapToNetworkStatus) {
    using R = ACEReachability;
    EXPECT_EQ(R::networkStatusForFlags(0), ACENotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kSCNetworkReachabilityFlagsReachable), ACEReachableViaWiFi);
    EXPECT_EQ(R::networkStatusForFlags(kSCNetworkReachabilityFlagsReachable |
                                       kSCNetworkReachabilityFlagsConnectionRequired),
              ACENotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kSCNetworkReachabilityFlagsReachable |
                                       kSCNetworkReachabilityFlagsIsWWAN |
                                       kSCNetworkReachabilityFlagsTransientConnection),
              ACEReachableViaWWAN);
    // Mobile data needs all three flags.
    EXPECT_EQ(R::networkStatusForFlags(kSCNetworkReachabilityFlagsReachable |
                                       kSCNetworkReachabilityFlagsIsWWAN),
              ACEReachableViaWiFi);
    const SCNetworkReachabilityFlags onDemand = kSCNetworkReachabilityFlagsReachable |
                                                kSCNetworkReachabilityFlagsConnectionRequired |
                                                kSCNetworkReachabilityFlagsConnectionOnDemand;
    EXPECT_EQ(R::networkStatusForFlags(onDemand), ACEReachableViaWiFi);
    EXPECT_EQ(R::networkStatusForFlags(onDemand | kSCNetworkReachabilityFlagsInterventionRequired),
              ACENotReachable);
    EXPECT_EQ(R::networkStatusForFlags(kSCNetworkReachabilityFlagsConnectionRequired |
                                       kSCNetworkReachabilityFlagsConnectionOnTraffic),
              ACENotReachable);

    EXPECT_EQ(R::localWiFiStatusForFlags(kSCNetworkReachabilityFlagsReachable |
                                         kSCNetworkReachabilityFlagsIsDirect),
              ACEReachableViaWiFi);
    EXPECT_EQ(R::localWiFiStatusForFlags(kSCNetworkReachabilityFlagsReachable), ACENotReachable);
    EXPECT_EQ(R::localWiFiStatusForFlags(kSCNetworkReachabilityFlagsIsDirect), ACENotReachable);
}

TEST_F(ReachabilityTest, ProbeHostCountsOnlyWhileItAcceptsConnections) {
    Listener listener;
    ACEReachability::setProbeHostName(listener.hostName());
    EXPECT_EQ(ACEReachability::getCurrentNetWorkStatus(), ACEReachableViaWiFi);
    EXPECT_TRUE(ACEReachability::isNetWorkReachable());
    EXPECT_TRUE(ACEReachability::isNetWorkViaWiFi());
    EXPECT_FALSE(ACEReachability::isNetWorkVia3G());
    EXPECT_FALSE(ACEReachability::isNetWorkVia2G());

    ACEReachability::setProbeHostName("localhost:" + std::to_string(listener.port()));
    EXPECT_TRUE(ACEReachability::isNetWorkReachable());

    listener.close();
    EXPECT_EQ(ACEReachability::getCurrentNetWorkStatus(), ACENotReachable);
    EXPECT_FALSE(ACEReachability::isNetWorkReachable());
}

TEST_F(ReachabilityTest, AddressTargetsOnThisMachineAreLocalAndDirect) {
    Listener listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener.port());
    const auto reachability = ACEReachability::reachabilityWithAddress(address);
    ASSERT_TRUE(reachability);
    EXPECT_FALSE(reachability->localWiFiRef());
    EXPECT_EQ(reachability->currentReachabilityStatus(), ACEReachableViaWiFi);
    EXPECT_FALSE(reachability->connectionRequired());
    SCNetworkReachabilityFlags flags = 0;
    ASSERT_TRUE(reachability->reachabilityRef()->getFlags(flags));
    EXPECT_NE(flags & kSCNetworkReachabilityFlagsIsLocalAddress, 0u);
    EXPECT_NE(flags & kSCNetworkReachabilityFlagsIsDirect, 0u);

    // Without a port only the routing is asked.
    address.sin_port = 0;
    listener.close();
    EXPECT_EQ(ACEReachability::reachabilityWithAddress(address)->currentReachabilityStatus(),
              ACEReachableViaWiFi);

    const auto wifi = ACEReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(wifi);
    EXPECT_TRUE(wifi->localWiFiRef());
    EXPECT_TRUE(ACEReachability::reachabilityForInternetConnection());
}

TEST_F(ReachabilityTest, MalformedNamesMakeNoWatcher) {
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName(""));
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName(":80"));
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName("127.0.0.1:http"));
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName("127.0.0.1:0"));
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName("127.0.0.1:70000"));
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    EXPECT_FALSE(SCNetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&v6)));
}

TEST_F(ReachabilityTest, NotifierReportsWhenTheProbeHostGoesAway) {
    Listener listener;
    const auto reachability = ACEReachability::reachabilityWithHostName(listener.hostName());
    ASSERT_TRUE(reachability);

    std::vector<ACENetworkStatus> statuses;
    const auto center = NSNotificationCenter::defaultCenter();
    const auto token = center->addObserverForName(
        kACENetworkReachabilityChangedNotification, reachability,
        [&statuses](const NSNotification& note) {
            auto sender = std::static_pointer_cast<ACEReachability>(note.object);
            statuses.push_back(sender->currentReachabilityStatus());
        });

    ASSERT_TRUE(reachability->startNotifier());
    const auto runLoop = NSRunLoop::currentRunLoop();
    ASSERT_TRUE(runLoop->runUntil([&] { return statuses.size() >= 1; }, 10));
    EXPECT_EQ(statuses[0], ACEReachableViaWiFi);

    listener.close();
    ASSERT_TRUE(runLoop->runUntil([&] { return statuses.size() >= 2; }, 10));
    EXPECT_EQ(statuses[1], ACENotReachable);

    reachability->stopNotifier();
    center->removeObserver(token);
}

TEST_F(ReachabilityTest, NotifierCanBeStartedOnlyOnceAtATimeAndRestarted) {
    Listener listener;
    const auto reachability = ACEReachability::reachabilityWithHostName(listener.hostName());
    ASSERT_TRUE(reachability->startNotifier());
    EXPECT_FALSE(reachability->reachabilityRef()->scheduleWithRunLoop(NSRunLoop::currentRunLoop()));
    reachability->stopNotifier();
    EXPECT_TRUE(reachability->startNotifier());
}

TEST_F(ReachabilityTest, StoppingDoesNotWaitForAProbeUnderWay) {
    // Once its accept queue is full the listener drops connection attempts, so a probe of it
    // hangs until its time-out.
    Listener listener(0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener.port());
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    SCNetworkReachability::setProbeTimeout(60);

    const auto reachability = ACEReachability::reachabilityWithHostName(listener.hostName());
    ASSERT_TRUE(reachability->startNotifier());
    const auto runLoop = NSRunLoop::currentRunLoop();
    ASSERT_TRUE(runLoop->runUntil([&] { return connectAttemptUnderWay(listener.port()); }, 10));
    // Stopping on the main thread must not sit out the probe.
    reachability->stopNotifier();
    EXPECT_TRUE(connectAttemptUnderWay(listener.port()));
    ::close(filler);
}

}  // namespace
