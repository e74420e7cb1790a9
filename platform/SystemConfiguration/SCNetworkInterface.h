#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SCNetworkInterfaceIPv4Address {
    in_addr address{};
    in_addr netmask{};
};

// A network interface of this machine, as the interface list shows it.
struct SCNetworkInterfaceInfo {
    std::string name;
    unsigned index = 0;
    bool up = false;
    bool running = false;
    bool loopback = false;
    std::vector<SCNetworkInterfaceIPv4Address> ipv4;
    // The link-level address, when the link has a six-byte one.
    std::optional<std::array<std::uint8_t, 6>> hardwareAddress;
};

// Every interface, in index order; nullopt when the list cannot be read.
std::optional<std::vector<SCNetworkInterfaceInfo>> SCNetworkInterfaceCopyAll();
