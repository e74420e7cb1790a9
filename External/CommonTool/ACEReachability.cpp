#include "ACEReachability.h"

#include <arpa/inet.h>

#include <mutex>

#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "VMMapServices.h"

namespace {

// 169.254.0.0, the IPv4 link-local network.
constexpr std::uint32_t kLinkLocalNetwork = 0xA9FE0000;

// The watcher behind the class queries, kept so that they answer from what it last found; it is
// replaced when the map server moves.
struct ProbeHostWatcher {
    std::mutex mutex;  // guards the two below
    std::string hostName;
    std::shared_ptr<ACEReachability> reachability;
};

ProbeHostWatcher& probeHostWatcher() {
    static ProbeHostWatcher watcher;
    return watcher;
}

}  // namespace

ACEReachability::~ACEReachability() { stopNotifier(); }

std::shared_ptr<ACEReachability> ACEReachability::make(std::shared_ptr<SCNetworkReachability> ref) {
    if (!ref) {
        return nullptr;
    }
    return std::shared_ptr<ACEReachability>(new ACEReachability(std::move(ref)));
}

std::shared_ptr<ACEReachability> ACEReachability::reachabilityWithHostName(
    const std::string& hostName) {
    return make(SCNetworkReachability::createWithName(hostName));
}

std::shared_ptr<ACEReachability> ACEReachability::reachabilityWithAddress(
    const sockaddr_in& address) {
    return make(
        SCNetworkReachability::createWithAddress(reinterpret_cast<const sockaddr*>(&address)));
}

std::shared_ptr<ACEReachability> ACEReachability::reachabilityForInternetConnection() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    return reachabilityWithAddress(zero);
}

std::shared_ptr<ACEReachability> ACEReachability::reachabilityForLocalWiFi() {
    sockaddr_in linkLocal{};
    linkLocal.sin_family = AF_INET;
    linkLocal.sin_addr.s_addr = htonl(kLinkLocalNetwork);
    auto reachability = reachabilityWithAddress(linkLocal);
    if (reachability) {
        reachability->localWiFiRef_ = true;
    }
    return reachability;
}

bool ACEReachability::startNotifier() {
    const std::weak_ptr<ACEReachability> weakSelf =
        std::static_pointer_cast<ACEReachability>(shared_from_this());
    const bool callbackSet = reachabilityRef_->setCallback([weakSelf](SCNetworkReachabilityFlags) {
        if (auto self = weakSelf.lock()) {
            NSNotificationCenter::defaultCenter()->postNotificationName(
                kACENetworkReachabilityChangedNotification, self);
        }
    });
    const auto runLoop = NSRunLoop::currentRunLoop();
    if (!callbackSet || !reachabilityRef_->scheduleWithRunLoop(runLoop)) {
        return false;
    }
    notifierRunLoop_ = runLoop;
    return true;
}

void ACEReachability::stopNotifier() {
    if (auto runLoop = notifierRunLoop_.lock()) {
        reachabilityRef_->unscheduleFromRunLoop(runLoop);
    }
    notifierRunLoop_.reset();
}

ACENetworkStatus ACEReachability::currentReachabilityStatus() const {
    SCNetworkReachabilityFlags flags = 0;
    if (!reachabilityRef_->getFlags(flags)) {
        return ACENotReachable;
    }
    return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

bool ACEReachability::connectionRequired() const {
    SCNetworkReachabilityFlags flags = 0;
    return reachabilityRef_->getFlags(flags) &&
           (flags & kSCNetworkReachabilityFlagsConnectionRequired) != 0;
}

ACENetworkStatus ACEReachability::localWiFiStatusForFlags(SCNetworkReachabilityFlags flags) {
    constexpr SCNetworkReachabilityFlags kBoth =
        kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
    return (flags & kBoth) == kBoth ? ACEReachableViaWiFi : ACENotReachable;
}

ACENetworkStatus ACEReachability::networkStatusForFlags(SCNetworkReachabilityFlags flags) {
    if ((flags & kSCNetworkReachabilityFlagsReachable) == 0) {
        return ACENotReachable;
    }
    constexpr SCNetworkReachabilityFlags kMobile = kSCNetworkReachabilityFlagsIsWWAN |
                                                   kSCNetworkReachabilityFlagsReachable |
                                                   kSCNetworkReachabilityFlagsTransientConnection;
    if ((flags & kMobile) == kMobile) {
        return ACEReachableViaWWAN;
    }
    if ((flags & kSCNetworkReachabilityFlagsConnectionRequired) == 0) {
        return ACEReachableViaWiFi;
    }
    const bool onDemandOrTraffic = (flags & (kSCNetworkReachabilityFlagsConnectionOnDemand |
                                             kSCNetworkReachabilityFlagsConnectionOnTraffic)) != 0;
    if (onDemandOrTraffic && (flags & kSCNetworkReachabilityFlagsInterventionRequired) == 0) {
        return ACEReachableViaWiFi;
    }
    return ACENotReachable;
}

ACENetworkStatus ACEReachability::getCurrentNetWorkStatus() {
    const std::string hostName = probeHostName();
    auto& watcher = probeHostWatcher();
    std::shared_ptr<ACEReachability> reachability;
    std::shared_ptr<ACEReachability> replaced;
    {
        std::lock_guard lock(watcher.mutex);
        if (watcher.hostName != hostName || !watcher.reachability) {
            replaced = std::move(watcher.reachability);
            watcher.reachability = reachabilityWithHostName(hostName);
            watcher.hostName = hostName;
        }
        reachability = watcher.reachability;
    }
    if (!reachability) return ACENotReachable;
    const bool probed = reachability->reachabilityRef()->hasBeenEvaluated();
    const ACENetworkStatus status = reachability->currentReachabilityStatus();
    return probed || status != ACENotReachable ? status : ACEReachableViaWiFi;
}

bool ACEReachability::isNetWorkReachable() { return getCurrentNetWorkStatus() != ACENotReachable; }

bool ACEReachability::isNetWorkViaWiFi() {
    return getCurrentNetWorkStatus() == ACEReachableViaWiFi;
}

bool ACEReachability::isNetWorkVia3G() { return getCurrentNetWorkStatus() == ACEReachableViaWWAN; }

bool ACEReachability::isNetWorkVia2G() { return getCurrentNetWorkStatus() == ACEReachableVia2G; }

std::string ACEReachability::probeHostName() {
    const auto url = NSURL::URLWithString(VMMapServices::sharedServices()->internalServerAddress());
    if (!url || url->host().empty()) return {};
    const int port = url->port().value_or(url->scheme() == "https" ? 443 : 80);
    return url->host() + ":" + std::to_string(port);
}
