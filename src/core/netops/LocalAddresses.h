// The host's own IPv4 addresses and the subnet test built on them.
#pragma once

#include <cstdint>
#include <vector>

// One address of one adapter; address and mask in network order.
struct LOCAL_ADDRESS {
    uint32_t address = 0;
    uint32_t ifIndex = 0;
    uint32_t mask = 0;
};

// Every IPv4 address of every adapter, in the system's order. False when the
// adapter list cannot be read.
bool ListLocalAddresses(std::vector<LOCAL_ADDRESS>& addresses);

// True when (address AND mask) equals the network of one of `locals`
// (local address AND its own mask); false for an address of class -1.
bool IsOnLocalSubnet(uint32_t address, uint32_t mask, const std::vector<LOCAL_ADDRESS>& locals);
// The same against the host's current addresses (false when they cannot be listed).
bool IsOnLocalSubnet(uint32_t address, uint32_t mask);

// True when the address is assigned to one of this host's interfaces. Asks
// the interface list, so an address added a moment ago shows at once.
bool IsLocalHostAddress(uint32_t address);
