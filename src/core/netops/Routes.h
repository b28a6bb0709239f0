// The host's IPv4 routes, for the network helper to see whether an address
// it is asked to add would take traffic that is routed elsewhere.
#pragma once

#include <cstdint>
#include <vector>

namespace reach {

struct Ipv4Route {
    uint32_t destination = 0;  // network order
    int prefixLength = 0;
    uint32_t ifIndex = 0;  // 0 when the route has no single interface
    uint32_t table = 0;
};

// Every IPv4 route of every table but the kernel's local one (which only
// repeats the host's own addresses). False when the table cannot be read.
bool ListIpv4Routes(std::vector<Ipv4Route>& routes);

}  // namespace reach
