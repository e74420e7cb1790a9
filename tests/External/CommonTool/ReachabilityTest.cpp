#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "ACEReachability.h"
#include "Deadline.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSRunLoop.h"
#include "LoopbackListener.h"
#include "VMMapServices.h"

namespace {

using namespace testsupport;

class ReachabilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previousServer_ = VMMapServices::sharedServices()->internalServerAddress();
        SCNetworkReachability::setProbeInterval(0.05);
    }
    void TearDown() override {
        VMMapServices::sharedServices()->setInternalServerAddress(previousServer_);
        SCNetworkReachability::setProbeInterval(5.0);
    }
    bool statusBecomes(ACENetworkStatus expected) {
        return loop->runUntil(
            [&] { return ACEReachability::getCurrentNetWorkStatus() == expected; }, kPatience);
    }

    std::string previousServer_;
    const std::shared_ptr<NSRunLoop> loop = NSRunLoop::currentRunLoop();
};

TEST(ReachabilityFlags, MapToNetworkStatus) {
    constexpr SCNetworkReachabilityFlags R = kSCNetworkReachabilityFlagsReachable,
                                         required = kSCNetworkReachabilityFlagsConnectionRequired,
                                         wwan = kSCNetworkReachabilityFlagsIsWWAN,
                                         direct = kSCNetworkReachabilityFlagsIsDirect,
                                         onDemand = kSCNetworkReachabilityFlagsConnectionOnDemand;
    const struct {
        SCNetworkReachabilityFlags flags;
        ACENetworkStatus status, localWiFi;
    } cases[] = {
        {0, ACENotReachable, ACENotReachable},
        {R, ACEReachableViaWiFi, ACENotReachable},
        {R | required, ACENotReachable, ACENotReachable},
        // Mobile data needs all three flags.
        {R | wwan | kSCNetworkReachabilityFlagsTransientConnection, ACEReachableViaWWAN,
         ACENotReachable},
        {R | wwan, ACEReachableViaWiFi, ACENotReachable},
        {R | required | onDemand, ACEReachableViaWiFi, ACENotReachable},
        {R | required | onDemand | kSCNetworkReachabilityFlagsInterventionRequired, ACENotReachable,
         ACENotReachable},
        {required | kSCNetworkReachabilityFlagsConnectionOnTraffic, ACENotReachable,
         ACENotReachable},
        {R | direct, ACEReachableViaWiFi, ACEReachableViaWiFi},
        {direct, ACENotReachable, ACENotReachable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(ACEReachability::networkStatusForFlags(c.flags), c.status);
        EXPECT_EQ(ACEReachability::localWiFiStatusForFlags(c.flags), c.localWiFi);
    }
}

TEST_F(ReachabilityTest, TheProbeHostIsTheMapServer) {
    const struct {
        const char* server;
        const char* probed;
    } cases[] = {
        {"http://127.0.0.1/", "127.0.0.1:80"},
        {"https://maps.example/", "maps.example:443"},
        {"http://localhost:8080/map/", "localhost:8080"},
        {"", ""},
        {"not a url", ""},
    };
    for (const auto& c : cases) {
        VMMapServices::sharedServices()->setInternalServerAddress(c.server);
        EXPECT_EQ(ACEReachability::probeHostName(), c.probed) << c.server;
    }
    EXPECT_EQ(ACEReachability::getCurrentNetWorkStatus(), ACENotReachable);
}

TEST_F(ReachabilityTest, StatusFollowsTheMapServerAcceptingConnections) {
    auto listener = std::make_unique<LoopbackListener>();
    const std::string port = std::to_string(listener->port());
    VMMapServices::sharedServices()->setInternalServerAddress("http://127.0.0.1:" + port + "/");
    ASSERT_TRUE(statusBecomes(ACEReachableViaWiFi));
    EXPECT_TRUE(ACEReachability::isNetWorkReachable());
    EXPECT_TRUE(ACEReachability::isNetWorkViaWiFi());
    EXPECT_FALSE(ACEReachability::isNetWorkVia3G());
    EXPECT_FALSE(ACEReachability::isNetWorkVia2G());

    VMMapServices::sharedServices()->setInternalServerAddress("http://localhost:" + port + "/");
    ASSERT_TRUE(statusBecomes(ACEReachableViaWiFi));

    // An address target on this machine is local and direct.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener->port());
    const auto reachability = ACEReachability::reachabilityWithAddress(address);
    ASSERT_TRUE(reachability);
    EXPECT_FALSE(reachability->localWiFiRef());
    ASSERT_TRUE(loop->runUntil(
        [&] { return reachability->currentReachabilityStatus() == ACEReachableViaWiFi; },
        kPatience));
    EXPECT_FALSE(reachability->connectionRequired());

    const auto wifi = ACEReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(wifi);
    EXPECT_TRUE(wifi->localWiFiRef());
    EXPECT_TRUE(ACEReachability::reachabilityForInternetConnection());
    EXPECT_FALSE(ACEReachability::reachabilityWithHostName(":80"));

    listener.reset();
    ASSERT_TRUE(statusBecomes(ACENotReachable));
    EXPECT_FALSE(ACEReachability::isNetWorkReachable());
}

TEST_F(ReachabilityTest, NotifierStartsOnceAtATimeAndReportsWhenTheProbeHostGoesAway) {
    LoopbackListener listener;
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
    EXPECT_FALSE(reachability->reachabilityRef()->scheduleWithRunLoop(loop));
    ASSERT_TRUE(loop->runUntil([&] { return statuses.size() >= 1; }, kPatience));
    EXPECT_EQ(statuses[0], ACEReachableViaWiFi);

    listener.close();
    ASSERT_TRUE(loop->runUntil([&] { return statuses.size() >= 2; }, kPatience));
    EXPECT_EQ(statuses[1], ACENotReachable);

    reachability->stopNotifier();
    center->removeObserver(token);
    EXPECT_TRUE(reachability->startNotifier());
}

}  // namespace
