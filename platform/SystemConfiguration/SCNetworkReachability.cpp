#include "SystemConfiguration/SCNetworkReachability.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/route.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "Foundation/NSTimer.h"
#include "Foundation/ThreadChecker.h"
#include "SystemConfiguration/SCNetworkInterface.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

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

// Raised once by one thread and seen by another in poll(), beside whatever else it waits for.
class Signal {
  public:
    Signal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    int fd() const { return fd_.get(); }
    void raise() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(fd_.get(), &one, sizeof one);
    }

  private:
    FileDescriptor fd_;
};

enum class Wait { kReady, kTimedOut, kStopped };

// Waits for the events on fd, for the stop signal, or until the deadline (none when absent).
Wait waitFor(int fd, short events, const Signal& stop,
             std::optional<SteadyClock::time_point> deadline) {
    for (;;) {
        int timeoutMs = -1;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - SteadyClock::now());
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[2] = {{fd, events, 0}, {stop.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Wait::kTimedOut;
        if (fds[1].revents != 0) return Wait::kStopped;
        return Wait::kReady;
    }
}

// Answers name lookups on a thread of its own, one at a time. A lookup cannot be interrupted, so
// whoever asks waits for the answer beside its own stop signal and may walk away from it, and
// nobody but this thread ever waits for the resolver. The thread is stopped and joined at exit.
class Resolver {
  public:
    struct Lookup {
        explicit Lookup(std::string name) : host(std::move(name)) {}
        const std::string host;
        Signal answered;
        std::mutex mutex;                // guards address
        std::optional<in_addr> address;  // none when the name does not resolve
    };

    static Resolver& shared() {
        // Never destroyed, so that a lookup asked for during exit is answered (with nothing).
        static auto* const resolver = new Resolver();
        static const struct StopAtExit {
            ~StopAtExit() { resolver->stop(); }
        } stopAtExit;
        return *resolver;
    }

    std::shared_ptr<Lookup> lookup(const std::string& host) {
        auto lookup = std::make_shared<Lookup>(host);
        {
            std::lock_guard lock(mutex_);
            if (!stopping_) {
                if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
                queue_.push_back(lookup);
                wake_.notify_one();
                return lookup;
            }
        }
        lookup->answered.raise();
        return lookup;
    }

  private:
    Resolver() = default;

    void stop() {
        std::deque<std::shared_ptr<Lookup>> unanswered;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            unanswered.swap(queue_);
        }
        wake_.notify_one();
        for (const auto& lookup : unanswered) lookup->answered.raise();
        if (thread_.joinable()) thread_.join();
    }

    void run() {
        for (;;) {
            std::shared_ptr<Lookup> lookup;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                lookup = std::move(queue_.front());
                queue_.pop_front();
            }
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            if (::getaddrinfo(lookup->host.c_str(), nullptr, &hints, &found) == 0 &&
                found != nullptr) {
                std::lock_guard lock(lookup->mutex);
                lookup->address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
            }
            if (found != nullptr) ::freeaddrinfo(found);
            lookup->answered.raise();
        }
    }

    std::mutex mutex_;  // guards queue_, stopping_ and the start of thread_
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Lookup>> queue_;
    bool stopping_ = false;
    std::thread thread_;
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
    const auto interfaces = SCNetworkInterfaceCopyAll();
    if (!interfaces) {
        return std::nullopt;
    }
    SCNetworkReachabilityFlags flags = 0;
    for (const auto& interface : *interfaces) {
        if (!interface.up || !interface.running) continue;
        for (const auto& [ownAddress, netmask] : interface.ipv4) {
            const std::uint32_t own = ntohl(ownAddress.s_addr);
            const std::uint32_t mask = ntohl(netmask.s_addr);
            if (own == target) {
                return kSCNetworkReachabilityFlagsReachable |
                       kSCNetworkReachabilityFlagsIsLocalAddress |
                       kSCNetworkReachabilityFlagsIsDirect;
            }
            if ((own & mask) == (target & mask)) {
                flags = kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
            }
        }
    }
    if (flags == 0 && hasDefaultRoute()) {
        flags = kSCNetworkReachabilityFlagsReachable;
    }
    return flags;
}

// Whether something accepts a connection there; nullopt when stopped first.
std::optional<bool> probeConnect(in_addr address, std::uint16_t port, const Signal& stop) {
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
    const auto timeout = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(std::min(gProbeTimeout.load(), 1e6)));
    switch (waitFor(fd.get(), POLLOUT, stop, SteadyClock::now() + timeout)) {
        case Wait::kStopped:
            return std::nullopt;
        case Wait::kTimedOut:
            return false;
        case Wait::kReady:
            break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

struct Outcome {
    bool readable = false;  // false when the interface list could not be read
    SCNetworkReachabilityFlags flags = 0;
};

// Resolves, routes and probes the target; nullopt when stopped on the way.
std::optional<Outcome> evaluate(const SCNetworkReachability::Target& target, const Signal& stop) {
    in_addr address = target.address;
    if (!target.host.empty() && ::inet_pton(AF_INET, target.host.c_str(), &address) != 1) {
        const auto lookup = Resolver::shared().lookup(target.host);
        if (waitFor(lookup->answered.fd(), POLLIN, stop, std::nullopt) != Wait::kReady) {
            return std::nullopt;
        }
        std::lock_guard lock(lookup->mutex);
        if (!lookup->address) {
            return Outcome{true, 0};  // a name that does not resolve is simply not reachable
        }
        address = *lookup->address;
    }
    const auto routed = routeFlags(address);
    if (!routed) {
        return Outcome{false, 0};
    }
    Outcome outcome{true, *routed};
    if ((outcome.flags & kSCNetworkReachabilityFlagsReachable) != 0 && target.port != 0) {
        const auto accepted = probeConnect(address, target.port, stop);
        if (!accepted) {
            return std::nullopt;
        }
        if (!*accepted) outcome.flags = 0;
    }
    return outcome;
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

// The last evaluation of a target, shared by the reference and its worker.
struct SCNetworkReachability::Evaluation {
    std::mutex mutex;  // guards the members below
    bool known = false;
    Outcome outcome;
    SteadyClock::time_point at;
};

// The worker that evaluates a target whenever asked, until it is stopped and joined.
struct SCNetworkReachability::Prober {
    using Sink = std::function<void(SCNetworkReachabilityFlags)>;

    Prober(Target t, std::shared_ptr<Evaluation> e)
        : target(std::move(t)), evaluation(std::move(e)), thread([this] { run(); }) {}
    ~Prober() { stop(); }

    void request() {
        {
            std::lock_guard lock(mutex);
            pending = true;
        }
        wake.notify_one();
    }

    // Called with every new evaluation, on the worker.
    void setSink(Sink s) {
        std::lock_guard lock(mutex);
        sink = std::move(s);
    }

    // Cuts short a wait under way and joins the worker; nothing is reported after this.
    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        stopSignal.raise();
        if (thread.joinable()) thread.join();
    }

    void run() {
        for (;;) {
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return pending || stopping; });
                if (stopping) return;
                pending = false;
            }
            const auto outcome = evaluate(target, stopSignal);
            if (!outcome) return;
            {
                std::lock_guard lock(evaluation->mutex);
                evaluation->known = true;
                evaluation->outcome = *outcome;
                evaluation->at = SteadyClock::now();
            }
            Sink report;
            {
                std::lock_guard lock(mutex);
                if (stopping) return;
                report = sink;
            }
            if (report) report(outcome->flags);
        }
    }

    const Target target;
    const std::shared_ptr<Evaluation> evaluation;
    Signal stopSignal;
    std::mutex mutex;  // guards the four below
    std::condition_variable wake;
    bool pending = false;
    bool stopping = false;
    Sink sink;
    std::thread thread;  // last, so that everything above exists when it starts
};

// A schedule on a run loop: the route monitor and the re-probe timer, both on that loop.
struct SCNetworkReachability::Notifier {
    explicit Notifier(int fd) : routeMonitor(fd) {}

    // Stops the timer and takes the source off the loop (from the loop's own thread).
    void tearDown() {
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

    std::weak_ptr<NSRunLoop> runLoop;
    FileDescriptor routeMonitor;
    NSRunLoop::Token sourceToken = 0;
    std::shared_ptr<NSTimer> timer;
    ThreadChecker loopThread{"reachability notifier"};
    // The loop's thread only.
    bool delivered = false;
    SCNetworkReachabilityFlags lastFlags = 0;
};

SCNetworkReachability::SCNetworkReachability(Target target)
    : target_(std::move(target)), evaluation_(std::make_shared<Evaluation>()) {}

SCNetworkReachability::~SCNetworkReachability() {
    if (notifier_) notifier_->tearDown();
    prober_.reset();
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

SCNetworkReachability::Prober& SCNetworkReachability::proberLocked() const {
    if (!prober_) prober_ = std::make_unique<Prober>(target_, evaluation_);
    return *prober_;
}

bool SCNetworkReachability::getFlags(SCNetworkReachabilityFlags& flags) const {
    if (target_.host.empty() && target_.port == 0) {
        const auto routed = routeFlags(target_.address);
        flags = routed.value_or(0);
        return routed.has_value();
    }
    bool known = false;
    Outcome outcome;
    SteadyClock::time_point at;
    {
        std::lock_guard lock(evaluation_->mutex);
        known = evaluation_->known;
        outcome = evaluation_->outcome;
        at = evaluation_->at;
    }
    const auto age = std::chrono::duration<double>(SteadyClock::now() - at).count();
    if (!known || age >= probeInterval()) {
        std::lock_guard lock(mutex_);
        proberLocked().request();
    }
    flags = known ? outcome.flags : 0;
    return known && outcome.readable;
}

bool SCNetworkReachability::hasBeenEvaluated() const {
    if (target_.host.empty() && target_.port == 0) return true;
    std::lock_guard lock(evaluation_->mutex);
    return evaluation_->known;
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
    if (notifier_) {
        return false;
    }
    const int fd = openRouteMonitor();
    if (fd < 0) {
        return false;
    }
    auto notifier = std::make_shared<Notifier>(fd);
    notifier->runLoop = runLoop;
    const std::weak_ptr<SCNetworkReachability> weakSelf =
        std::static_pointer_cast<SCNetworkReachability>(shared_from_this());
    const std::weak_ptr<Notifier> weakNotifier = notifier;
    const auto reprobe = [weakSelf, weakNotifier] {
        const auto self = weakSelf.lock();
        const auto n = weakNotifier.lock();
        if (!self || !n) return;
        n->loopThread.verifyThread();
        std::lock_guard lock(self->mutex_);
        if (self->notifier_ == n) self->proberLocked().request();
    };
    // The source keeps the notifier, so the descriptor stays open while the loop polls it.
    notifier->sourceToken = runLoop->addFileDescriptor(fd, POLLIN, [notifier, reprobe](short) {
        char buffer[8192];
        while (::recv(notifier->routeMonitor.get(), buffer, sizeof buffer, 0) > 0) {
        }
        reprobe();
    });
    notifier->timer =
        NSTimer::timerWithTimeInterval(probeInterval(), true, [reprobe](NSTimer&) { reprobe(); });
    runLoop->addTimer(notifier->timer);
    Prober& prober = proberLocked();
    prober.setSink(
        [weakSelf, weakNotifier, weakLoop = notifier->runLoop](SCNetworkReachabilityFlags flags) {
            if (const auto loop = weakLoop.lock()) {
                loop->performBlock([weakSelf, weakNotifier, flags] {
                    const auto self = weakSelf.lock();
                    const auto n = weakNotifier.lock();
                    if (self && n) self->deliver(n, flags);
                });
            }
        });
    prober.request();
    notifier_ = std::move(notifier);
    return true;
}

bool SCNetworkReachability::unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop) {
    std::shared_ptr<Notifier> notifier;
    std::unique_ptr<Prober> prober;
    {
        std::lock_guard lock(mutex_);
        if (!runLoop || !notifier_ || notifier_->runLoop.lock() != runLoop) {
            return false;
        }
        notifier = std::move(notifier_);
        prober = std::move(prober_);
    }
    notifier->tearDown();
    prober.reset();
    return true;
}

void SCNetworkReachability::deliver(const std::shared_ptr<Notifier>& notifier,
                                    SCNetworkReachabilityFlags flags) {
    notifier->loopThread.verifyThread();
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        if (notifier_ != notifier || (notifier->delivered && flags == notifier->lastFlags)) {
            return;
        }
        notifier->delivered = true;
        notifier->lastFlags = flags;
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
