#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>
#include <utility>

#include "Foundation/NSObject.h"
#include "SystemConfiguration/SCNetworkReachability.h"

inline constexpr const char* kACENetworkReachabilityChangedNotification =
    "kACENetworkReachabilityChangedNotification";

enum ACENetworkStatus : int {
    ACENotReachable = 0,
    ACEReachableViaWiFi = 1,  // or without any special connection
    ACEReachableViaWWAN = 2,
    ACEReachableVia2G = 3,  // named for callers; the flags never tell it apart
};

// Watches whether a host or address can be reached, and posts
// kACENetworkReachabilityChangedNotification (object: the watcher) on the run loop that started
// the notifier whenever that changes.
class ACEReachability : public NSObject {
  public:
    ~ACEReachability() override;

    // "host" or "host:port"; with a port the host must also accept a connection there.
    static std::shared_ptr<ACEReachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<ACEReachability> reachabilityWithAddress(const sockaddr_in& address);
    static std::shared_ptr<ACEReachability> reachabilityForInternetConnection();
    static std::shared_ptr<ACEReachability> reachabilityForLocalWiFi();

    bool startNotifier();
    void stopNotifier();

    // From the reference's last evaluation; never waits for the network.
    ACENetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;
    static ACENetworkStatus localWiFiStatusForFlags(SCNetworkReachabilityFlags flags);
    static ACENetworkStatus networkStatusForFlags(SCNetworkReachabilityFlags flags);

    // The status of the probe host as last found, at once: a watcher kept for the purpose
    // probes it in the background. Until its first probe is done the status is unknown and
    // counts as reachable, so that the first requests of a fresh start go out instead of being
    // dropped; one that cannot connect fails as any request does.
    static ACENetworkStatus getCurrentNetWorkStatus();
    static bool isNetWorkReachable();
    static bool isNetWorkViaWiFi();
    static bool isNetWorkVia3G();
    static bool isNetWorkVia2G();

    // The host that getCurrentNetWorkStatus probes, "host:port": the map server
    // (VMMapServices' internal server address, with its scheme's port when it names none),
    // for map data is what the kit asks the network for. Empty when that address has no host.
    static std::string probeHostName();

    const std::shared_ptr<SCNetworkReachability>& reachabilityRef() const {
        return reachabilityRef_;
    }
    bool localWiFiRef() const { return localWiFiRef_; }

  private:
    explicit ACEReachability(std::shared_ptr<SCNetworkReachability> ref)
        : reachabilityRef_(std::move(ref)) {}
    static std::shared_ptr<ACEReachability> make(std::shared_ptr<SCNetworkReachability> ref);

    std::shared_ptr<SCNetworkReachability> reachabilityRef_;
    bool localWiFiRef_ = false;
    std::weak_ptr<NSRunLoop> notifierRunLoop_;
};
