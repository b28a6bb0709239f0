// ARP probing on the host's adapters: which adapter reaches a device, and
// whether another station already uses an address.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "Adapters.h"
#include "ArpFrame.h"

namespace reach {

struct ArpTimings {
    int findReadTimeoutMs = 500;  // one read while looking for the device's adapter
    int findMaxReads = 20;        // reads per adapter while looking for it
    int inUseWaitMs = 1000;       // listening for answers to an "in use" probe
};

// Probes for `deviceAddress` on every capture device that is one of
// `adapters` (matched by interface name) and accepted by `eligible`. The
// first adapter on which the answer comes from `deviceMac` is the result.
std::optional<ADAPTER_INFO> FindAdapterByArp(
    const std::vector<ADAPTER_INFO>& adapters, uint32_t deviceAddress, const MacAddress& deviceMac,
    const std::function<bool(const ADAPTER_INFO&)>& eligible, const ArpTimings& timings);

// Probes for `candidate` on `adapter`'s capture device and listens for
// `timings.inUseWaitMs`; true when a station other than the adapter itself
// answers. False when the device cannot be opened.
bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                          const ArpTimings& timings);

}  // namespace reach
