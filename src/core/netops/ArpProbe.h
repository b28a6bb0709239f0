// ARP probing on the host's adapters: which adapter reaches a device, and
// whether another station already uses an address.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Adapters.h"
#include "ArpFrame.h"

namespace reach {

struct ArpTimings {
    int findReadTimeoutMs = 500;  // one read while looking for the device's adapter
    int findMaxReads = 20;        // reads per adapter while looking for it
    int inUseWaitMs = 1000;       // listening for answers to an "in use" probe
};

// How one probe listens for its answers.
struct ArpListen {
    bool promiscuous = false;
    int waitMs = 0;
    // An answer from this station ends the wait; without one, any answer
    // from a station other than the sender does.
    std::optional<MacAddress> expected;
    // A stop request ends the wait; the probe then counts as not made.
    std::stop_token stop;
};

// Most stations one probe reports.
constexpr size_t kMaxArpAnswers = 8;

// Sends one probe for `target` from `ownMac` on interface `device` and
// listens as `listen` says; `answers` gets the distinct stations (the sender
// aside) that answered, at most kMaxArpAnswers. False when the device cannot
// be opened, the probe not sent or the stop requested before the listening
// ended. Needs root or cap_net_raw.
bool ProbeAndListen(const std::string& device, const MacAddress& ownMac, uint32_t target,
                    const ArpListen& listen, std::vector<MacAddress>& answers);

// One probe on an adapter, done in this process or by the network helper.
using ArpProber = std::function<bool(const ADAPTER_INFO& adapter, uint32_t target,
                                     const ArpListen& listen, std::vector<MacAddress>& answers)>;

// ProbeAndListen on the adapter's interface.
bool ProbeOnAdapter(const ADAPTER_INFO& adapter, uint32_t target, const ArpListen& listen,
                    std::vector<MacAddress>& answers);

// Probes for `deviceAddress` on every adapter of `adapters` (the loopback
// aside) that `eligible` accepts. The first adapter on which `deviceMac`
// answers is the result; none once `stop` is requested.
std::optional<ADAPTER_INFO> FindAdapterByArp(
    const std::vector<ADAPTER_INFO>& adapters, uint32_t deviceAddress, const MacAddress& deviceMac,
    const std::function<bool(const ADAPTER_INFO&)>& eligible, const ArpTimings& timings,
    const ArpProber& probe = ProbeOnAdapter, std::stop_token stop = {});

// Probes for `candidate` on `adapter` and listens for `timings.inUseWaitMs`;
// true when a station other than the adapter itself answers. False when the
// probe cannot be made or is stopped.
bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                          const ArpTimings& timings, const ArpProber& probe = ProbeOnAdapter,
                          std::stop_token stop = {});

}  // namespace reach
