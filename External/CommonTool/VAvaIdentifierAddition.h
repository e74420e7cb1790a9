#pragma once

#include <optional>
#include <string>

// Device identifiers derived from the network interface's hardware address.

// "en0" when there is one, else the first interface (up ones first, then in index order) other
// than loopback that has a hardware address, as "%02X:%02X:%02X:%02X:%02X:%02X"; nullopt after a
// printed line when none can be read.
std::optional<std::string> macaddress();
std::optional<std::string> vavaMACAddress();
// MD5 of the address followed by the main bundle's identifier.
std::optional<std::string> vavaUniqueDeviceIdentifier();
// MD5 of the address alone.
std::optional<std::string> vavaUniqueGlobalDeviceIdentifier();
