// The network interfaces of this machine with their hardware address and
// IPv4 addresses, in the order the system lists them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct SWL_LOCAL_INTERFACE {
    std::string name;
    std::array<uint8_t, 6> mac{};   // zero when the interface has none
    std::vector<std::string> ipv4;  // dotted text
};

// Reads the interface list: 0, or -1 when it cannot be read.
int SWL_GetLocalInterfaces(std::vector<SWL_LOCAL_INTERFACE>& interfaces);

// The first interface that carries `address`, or null.
const SWL_LOCAL_INTERFACE* SWL_FindInterfaceByAddress(
    const std::vector<SWL_LOCAL_INTERFACE>& interfaces, const std::string& address);
