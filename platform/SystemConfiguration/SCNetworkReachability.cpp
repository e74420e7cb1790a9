#include "SystemConfiguration/SCNetworkReachability.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "Foundation/NSTimer.h"

namespace {

std::atomic<double> gProbeInterval{5.0};
std::atomic<double> gProbeTimeout{1.0};

// Closes the descriptor when it goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool hasDefaultRoute() {
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // header
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags;
        fields >> iface >> destination >> gateway >> flags;
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(flags.data(), flags.data() + flags.size(), value, 16);
        if (destination == "00000000" && error == std::errc() && (value & RTF_UP) != 0) {
            return true;
        }
    }
    return false;
}

// nullopt when the interface list cannot be read.
std::optional<SCNetworkReachabilityFlags> routeFlags(in_addr address) {
    const std::uint32_t target = ntohl(address.s_addr);
    if (target == INADDR_ANY) {
        return hasDefaultRoute() ? SCNetworkReachabilityFlags{kSCNetworkReachabilityFlagsReachable}
                                 : 0u;
    }
    if ((target >> 24) == 127) {
        return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsLocalAddress |
               kSCNetworkReachabilityFlagsIsDirect;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    SCNetworkReachabilityFlags flags = 0;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            entry->ifa_netmask == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
            (entry->ifa_flags & IFF_RUNNING) == 0) {
            continue;
        }
        const std::uint32_t own =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        const std::uint32_t mask =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        if (own == target) {
            flags = kSCNetworkReachabilityFlagsReachable |
                    kSCNetworkReachabilityFlagsIsLocalAddress | kSCNetworkReachabilityFlagsIsDirect;
            break;
        }
        if ((own & mask) == (target & mask)) {
            flags = kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
        }
    }
    ::freeifaddrs(list);
    if (flags == 0 && hasDefaultRoute()) {
        flags = kSCNetworkReachabilityFlagsReachable;
    }
    return flags;
}

bool probeConnect(in_addr address, std::uint16_t port) {
    FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    peer.sin_port = htons(port);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    pollfd waiting{fd.get(), POLLOUT, 0};
    const int timeoutMs = static_cast<int>(gProbeTimeout.load() * 1000);
    if (::poll(&waiting, 1, timeoutMs) != 1) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// Ok is false when the state could not be read at all.
bool evaluate(const SCNetworkReachability::Target& target, SCNetworkReachabilityFlags& flags) {
    flags = 0;
    in_addr address = target.address;
    if (!target.host.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(target.host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            return true;  // a name that does not resolve is simply not reachable
        }
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    const auto routed = routeFlags(address);
    if (!routed) {
        return false;
    }
    flags = *routed;
    if ((flags & kSCNetworkReachabilityFlagsReachable) != 0 && target.port != 0 &&
        !probeConnect(address, target.port)) {
        flags = 0;
    }
    return true;
}

int openRouteMonitor() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

// What a watcher shares with its evaluating thread. The thread is not joined: a name lookup or
// a probe cannot be interrupted, and the loop's thread must not wait for one. The thread holds
// this state and its own copies of everything else, so it may outlive the watcher.
struct ProbeRequests {
    std::mutex mutex;  // guards pending and stopping
    std::condition_variable wake;
    bool pending = true;
    bool stopping = false;
};

// The per-schedule state: the route monitor, the re-probe timer and the worker that evaluates.
struct SCNetworkReachability::Watcher {
    Target target;
    std::weak_ptr<SCNetworkReachability> owner;
    std::weak_ptr<NSRunLoop> runLoop;
    FileDescriptor routeMonitor;
    NSRunLoop::Token sourceToken = 0;
    std::shared_ptr<NSTimer> timer;
    const std::shared_ptr<ProbeRequests> requests = std::make_shared<ProbeRequests>();

    Watcher(Target t, int fd) : target(std::move(t)), routeMonitor(fd) {}
    ~Watcher() { stop(); }

    void request() {
        {
            std::lock_guard lock(requests->mutex);
            requests->pending = true;
        }
        requests->wake.notify_one();
    }

    // Asks the worker to end; nothing is delivered from an evaluation still under way.
    void stop() {
        {
            std::lock_guard lock(requests->mutex);
            requests->stopping = true;
        }
        requests->wake.notify_one();
    }

    // Stops the worker and the timer, and takes the source off the loop (from its own thread).
    void tearDown() {
        stop();
        timer->invalidate();
        auto loop = runLoop.lock();
        if (!loop) return;
        if (loop->threadId() == std::this_thread::get_id()) {
            loop->removeFileDescriptor(sourceToken);
        } else {
            loop->performBlock([weakLoop = runLoop, token = sourceToken] {
                if (auto l = weakLoop.lock()) l->removeFileDescriptor(token);
            });
        }
    }

    static void run(const std::shared_ptr<ProbeRequests>& requests, const Target& target,
                    const std::weak_ptr<SCNetworkReachability>& owner,
                    const std::weak_ptr<NSRunLoop>& runLoop, const std::weak_ptr<Watcher>& self) {
        for (;;) {
            {
                std::unique_lock lock(requests->mutex);
                requests->wake.wait(lock, [&] { return requests->pending || requests->stopping; });
                if (requests->stopping) return;
                requests->pending = false;
            }
            SCNetworkReachabilityFlags flags = 0;
            evaluate(target, flags);
            if (auto loop = runLoop.lock()) {
                loop->performBlock([owner, self, flags] {
                    auto reachability = owner.lock();
                    auto watcher = self.lock();
                    if (reachability && watcher) reachability->deliver(watcher, flags);
                });
            }
        }
    }
};

SCNetworkReachability::~SCNetworkReachability() {
    std::shared_ptr<Watcher> watcher;
    {
        std::lock_guard lock(mutex_);
        watcher = std::move(watcher_);
    }
    if (watcher) watcher->tearDown();
}

std::shared_ptr<SCNetworkReachability> SCNetworkReachability::createWithName(
    const std::string& nodename) {
    Target target;
    target.host = nodename;
    const auto colon = nodename.rfind(':');
    if (colon != std::string::npos) {
        const std::string_view port = std::string_view(nodename).substr(colon + 1);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 ||
            value > 65535) {
            return nullptr;
        }
        target.host = nodename.substr(0, colon);
        target.port = static_cast<std::uint16_t>(value);
    }
    if (target.host.empty()) {
        return nullptr;
    }
    return std::shared_ptr<SCNetworkReachability>(new SCNetworkReachability(std::move(target)));
}

std::shared_ptr<SCNetworkReachability> SCNetworkReachability::createWithAddress(
    const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) {
        return nullptr;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    Target target;
    target.address = in->sin_addr;
    target.port = ntohs(in->sin_port);
    return std::shared_ptr<SCNetworkReachability>(new SCNetworkReachability(std::move(target)));
}

bool SCNetworkReachability::getFlags(SCNetworkReachabilityFlags& flags) const {
    return evaluate(target_, flags);
}

bool SCNetworkReachability::setCallback(Callback callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
    return true;
}

bool SCNetworkReachability::scheduleWithRunLoop(const std::shared_ptr<NSRunLoop>& runLoop) {
    // Run-loop sources are added on the loop's own thread.
    if (!runLoop || runLoop->threadId() != std::this_thread::get_id()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (watcher_) {
        return false;
    }
    const int fd = openRouteMonitor();
    if (fd < 0) {
        return false;
    }
    auto watcher = std::make_shared<Watcher>(target_, fd);
    watcher->owner = std::static_pointer_cast<SCNetworkReachability>(shared_from_this());
    watcher->runLoop = runLoop;
    // The source keeps the watcher, so the descriptor stays open while the loop polls it.
    watcher->sourceToken = runLoop->addFileDescriptor(fd, POLLIN, [watcher](short) {
        char buffer[8192];
        while (::recv(watcher->routeMonitor.get(), buffer, sizeof buffer, 0) > 0) {
        }
        watcher->request();
    });
    std::weak_ptr<Watcher> weakWatcher = watcher;
    watcher->timer = NSTimer::timerWithTimeInterval(probeInterval(), true, [weakWatcher](NSTimer&) {
        if (auto w = weakWatcher.lock()) w->request();
    });
    runLoop->addTimer(watcher->timer);
    std::thread([requests = watcher->requests, target = target_, owner = watcher->owner,
                 loop = watcher->runLoop, weakWatcher] {
        Watcher::run(requests, target, owner, loop, weakWatcher);
    }).detach();
    watcher_ = std::move(watcher);
    delivered_ = false;
    return true;
}

bool SCNetworkReachability::unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop) {
    std::shared_ptr<Watcher> watcher;
    {
        std::lock_guard lock(mutex_);
        if (watcher_ && watcher_->runLoop.lock() == runLoop) watcher = std::move(watcher_);
    }
    if (!watcher || !runLoop) {
        return false;
    }
    watcher->tearDown();
    return true;
}

void SCNetworkReachability::deliver(const std::shared_ptr<Watcher>& watcher,
                                    SCNetworkReachabilityFlags flags) {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (watcher_ != watcher || (delivered_ && flags == lastFlags_)) {
            return;
        }
        delivered_ = true;
        lastFlags_ = flags;
        callback = callback_;
    }
    if (callback) callback(flags);
}

void SCNetworkReachability::setProbeInterval(NSTimeInterval seconds) {
    gProbeInterval.store(seconds);
}

NSTimeInterval SCNetworkReachability::probeInterval() { return gProbeInterval.load(); }

void SCNetworkReachability::setProbeTimeout(NSTimeInterval seconds) {
    gProbeTimeout.store(seconds);
}
