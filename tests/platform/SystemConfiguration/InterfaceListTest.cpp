#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "SystemConfiguration/SCNetworkInterface.h"

namespace {

std::string text(in_addr address) {
    char buffer[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, buffer, sizeof buffer);
    return buffer;
}

TEST(InterfaceListTest, ListsLoopbackWithItsAddress) {
    const auto interfaces = SCNetworkInterfaceCopyAll();
    ASSERT_TRUE(interfaces);
    const auto lo = std::find_if(interfaces->begin(), interfaces->end(),
                                 [](const auto& i) { return i.name == "lo"; });
    ASSERT_NE(lo, interfaces->end());
    EXPECT_TRUE(lo->loopback);
    EXPECT_TRUE(lo->up);
    EXPECT_TRUE(lo->running);
    const auto own = std::find_if(lo->ipv4.begin(), lo->ipv4.end(),
                                  [](const auto& a) { return text(a.address) == "127.0.0.1"; });
    ASSERT_NE(own, lo->ipv4.end());
    EXPECT_EQ(text(own->netmask), "255.0.0.0");
}

// The kernel's own view of each interface, read from sysfs, agrees with the list.
TEST(InterfaceListTest, IndexesAndHardwareAddressesMatchTheKernels) {
    const auto interfaces = SCNetworkInterfaceCopyAll();
    ASSERT_TRUE(interfaces);
    ASSERT_FALSE(interfaces->empty());
    unsigned previousIndex = 0;
    for (const auto& interface : *interfaces) {
        EXPECT_EQ(interface.index, ::if_nametoindex(interface.name.c_str())) << interface.name;
        EXPECT_GT(interface.index, previousIndex) << interface.name;
        previousIndex = interface.index;

        std::ifstream sysfs("/sys/class/net/" + interface.name + "/address");
        std::string kernels;
        if (!std::getline(sysfs, kernels) || kernels.size() != 17) continue;
        ASSERT_TRUE(interface.hardwareAddress) << interface.name;
        const auto& b = *interface.hardwareAddress;
        char ours[18];
        std::snprintf(ours, sizeof ours, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3],
                      b[4], b[5]);
        EXPECT_EQ(ours, kernels) << interface.name;
    }
}

}  // namespace
