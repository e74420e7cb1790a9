#include "SystemConfiguration/SCNetworkInterface.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

struct IfaddrsDeleter {
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

std::optional<std::vector<SCNetworkInterfaceInfo>> SCNetworkInterfaceCopyAll() {
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0) return std::nullopt;
    const std::unique_ptr<ifaddrs, IfaddrsDeleter> list(raw);
    std::map<std::string, SCNetworkInterfaceInfo> byName;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        SCNetworkInterfaceInfo& info = byName[entry->ifa_name];
        if (info.name.empty()) {
            info.name = entry->ifa_name;
            info.index = ::if_nametoindex(entry->ifa_name);
        }
        info.up = info.up || (entry->ifa_flags & IFF_UP) != 0;
        info.running = info.running || (entry->ifa_flags & IFF_RUNNING) != 0;
        info.loopback = info.loopback || (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr == nullptr) continue;
        if (entry->ifa_addr->sa_family == AF_INET && entry->ifa_netmask != nullptr) {
            info.ipv4.push_back(
                {reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr,
                 reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr});
        } else if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            if (link->sll_halen != 6) continue;
            std::array<std::uint8_t, 6> address{};
            std::copy(link->sll_addr, link->sll_addr + 6, address.begin());
            info.hardwareAddress = address;
        }
    }
    std::vector<SCNetworkInterfaceInfo> interfaces;
    for (auto& [name, info] : byName) interfaces.push_back(std::move(info));
    std::sort(interfaces.begin(), interfaces.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    return interfaces;
}
