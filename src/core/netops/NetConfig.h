// Changes to the host's network configuration that make cameras on foreign
// subnets reachable. Both need the right to administer the network (root or
// the capability cap_net_admin); without it they fail quietly.
#pragma once

#include <cstdint>
#include <vector>

#include "Adapters.h"

// Adds a route for 169.254.0.0/16 on the link of the first adapter (the
// loopback interface aside), with that adapter's first address as the
// preferred source. False when there is no such adapter or the route cannot
// be added (already there, or no right).
bool AddLinkLocalRoute();

namespace reach {

// The adapter that AddLinkLocalRoute uses: the first non-loopback adapter
// that has an IPv4 address, else the first non-loopback one; null when none.
const ADAPTER_INFO* ChooseLinkLocalRouteAdapter(const std::vector<ADAPTER_INFO>& adapters);

// Adds the route for 169.254.0.0/16 through interface `ifIndex`; `source`
// (network order, 0 for none) becomes the preferred source address.
bool AddLinkLocalRouteOn(uint32_t ifIndex, uint32_t source);

}  // namespace reach

// Adds `address` with `mask` (network order) to interface `ifIndex`, for the
// running system only. False when the mask is not contiguous, the address is
// already there, or the system refuses.
bool AddLocalAddress(uint32_t ifIndex, uint32_t address, uint32_t mask);
