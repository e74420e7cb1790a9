#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Foundation/NSObject.h"
#include "Foundation/NSRunLoop.h"

using SCNetworkReachabilityFlags = std::uint32_t;
enum : SCNetworkReachabilityFlags {
    kSCNetworkReachabilityFlagsTransientConnection = 1u << 0,
    kSCNetworkReachabilityFlagsReachable = 1u << 1,
    kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2,
    kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3,
    kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4,
    kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5,
    kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16,
    kSCNetworkReachabilityFlagsIsDirect = 1u << 17,
    kSCNetworkReachabilityFlagsIsWWAN = 1u << 18,
};

// Whether an IPv4 host can be reached from this machine, from the interface list and the
// routing table. A target with a port is also probed with a TCP connect, so a host counts as
// reachable only while something answers there; this is what lets a local server stand in for
// the outside world.
//
// Nobody waits for the network: a target given by name or with a port is evaluated by a worker
// thread of the reference, which it owns and joins when it is unscheduled or goes (a connect or
// a name lookup under way does not hold that up), and getFlags() answers from the last
// evaluation. Scheduled on a run loop, the target is re-evaluated on every link, address or
// route change (a netlink socket watched by the loop) and every probeInterval() seconds; the
// callback runs on the loop with the first result and then on every change of the flags.
class SCNetworkReachability : public NSObject {
  public:
    using Callback = std::function<void(SCNetworkReachabilityFlags)>;

    ~SCNetworkReachability() override;

    // "host" or "host:port"; null for an empty name or a port that is not a number.
    static std::shared_ptr<SCNetworkReachability> createWithName(const std::string& nodename);
    // An IPv4 address; a non-zero port makes it probed. Null for other families.
    static std::shared_ptr<SCNetworkReachability> createWithAddress(const sockaddr* address);

    // Returns at once. An address without a port is read from the routing table and the
    // interface list there and then. Any other target answers from its last evaluation and
    // starts a new one when that is older than probeInterval(); until the first one is done, or
    // when the state cannot be read, the answer is false with flags 0.
    bool getFlags(SCNetworkReachabilityFlags& flags) const;
    // Whether the target has been evaluated at least once, so that flags of 0 mean something.
    bool hasBeenEvaluated() const;

    bool setCallback(Callback callback);
    bool scheduleWithRunLoop(const std::shared_ptr<NSRunLoop>& runLoop);
    bool unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop);

    static void setProbeInterval(NSTimeInterval seconds);
    static NSTimeInterval probeInterval();
    // How long a probe connect may take before the target counts as unreachable.
    static void setProbeTimeout(NSTimeInterval seconds);

    struct Target {
        std::string host;  // empty when made from an address
        in_addr address{};
        std::uint16_t port = 0;
    };

  private:
    struct Evaluation;
    struct Prober;
    struct Notifier;

    explicit SCNetworkReachability(Target target);
    // Starts the worker if it is not running; callers hold mutex_.
    Prober& proberLocked() const;
    void deliver(const std::shared_ptr<Notifier>& notifier, SCNetworkReachabilityFlags flags);

    const Target target_;
    const std::shared_ptr<Evaluation> evaluation_;
    mutable std::mutex mutex_;  // guards the three below
    Callback callback_;
    std::shared_ptr<Notifier> notifier_;
    mutable std::unique_ptr<Prober> prober_;
};
