#include "VAvaIdentifierAddition.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "VAvaMD5Addition.h"

namespace {

struct IfaddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

bool hasHardwareAddress(const sockaddr_ll* link) {
    return link->sll_halen == 6 &&
           std::any_of(link->sll_addr, link->sll_addr + 6, [](unsigned char b) { return b != 0; });
}

// The name the identifier is read from: "en0" if present, else the lowest-index interface
// other than loopback with a hardware address, interfaces that are up first (virtual ones that
// are down may get a new address on every boot).
std::optional<std::string> chooseInterface(const ifaddrs* list) {
    std::map<std::pair<bool, unsigned>, std::string> candidates;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        const std::string name = entry->ifa_name;
        if (name == "en0") return name;
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        if (hasHardwareAddress(link)) {
            const bool down = (entry->ifa_flags & IFF_UP) == 0;
            candidates.emplace(std::make_pair(down, static_cast<unsigned>(link->sll_ifindex)),
                               name);
        }
    }
    if (candidates.empty()) return std::nullopt;
    return candidates.begin()->second;
}

std::string bundleIdentifier() {
    const auto path = NSBundle::mainBundle()->pathForResource("Info", "plist");
    if (!path) return {};
    const NSData bytes = NSDataWithContentsOfFile(*path).value_or(NSData{});
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<uint32_t>(bytes.size()), &root);
    std::unique_ptr<void, PlistDeleter> owner(root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) return {};
    const plist_t node = plist_dict_get_item(root, "CFBundleIdentifier");
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return {};
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string identifier = value != nullptr ? value : "";
    std::free(value);
    return identifier;
}

}  // namespace

std::optional<std::string> macaddress() {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        std::printf("Error: sysctl, take 1\n");
        return std::nullopt;
    }
    const std::unique_ptr<ifaddrs, IfaddrsDeleter> list(raw);
    const auto name = chooseInterface(list.get());
    const unsigned index = name ? if_nametoindex(name->c_str()) : 0;
    if (index == 0) {
        std::printf("Error: if_nametoindex error\n");
        return std::nullopt;
    }
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        if (static_cast<unsigned>(link->sll_ifindex) != index || link->sll_halen != 6) continue;
        char text[18];
        std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", link->sll_addr[0],
                      link->sll_addr[1], link->sll_addr[2], link->sll_addr[3], link->sll_addr[4],
                      link->sll_addr[5]);
        return std::string(text);
    }
    std::printf("Error: sysctl, take 2\n");
    return std::nullopt;
}

std::optional<std::string> vavaMACAddress() { return macaddress(); }

std::optional<std::string> vavaUniqueDeviceIdentifier() {
    const auto mac = macaddress();
    if (!mac) return std::nullopt;
    return vm_MD5String(*mac + bundleIdentifier());
}

std::optional<std::string> vavaUniqueGlobalDeviceIdentifier() {
    const auto mac = macaddress();
    if (!mac) return std::nullopt;
    return vm_MD5String(*mac);
}
