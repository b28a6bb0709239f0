// Which addresses firmhand-netcfg adds. Whoever may start the helper may ask
// it anything, so it adds only what makes a camera reachable and cannot take
// traffic meant for anywhere else:
// - a link-local address (169.254.0.0/16, prefix 16), or
// - an address in a private range (10/8, 172.16/12, 192.168/16) with a prefix
//   of 16..30, in the subnet of a station that answered this helper's ARP
//   probe on that interface (the camera), found free by a probe first, and
//   overlapping no local subnet and no route but the default one (compared
//   under the shorter of the two prefixes);
// - at most kMaxAddedAddresses in the life of one helper.
// A refusal names its rule first: "<rule> rule: <why>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "netops/LocalAddresses.h"
#include "netops/NetcfgRequest.h"
#include "netops/Routes.h"

namespace netcfg {

constexpr size_t kMaxAddedAddresses = 64;
constexpr int kMinAddedPrefixLength = 16;

// The host as it is when a request comes.
struct HostNetwork {
    std::vector<LOCAL_ADDRESS> locals;
    std::vector<reach::Ipv4Route> routes;
};

class CAddressPolicy {
public:
    // What the helper's probes saw on interface `ifIndex`.
    void NoteAnswered(uint32_t ifIndex, uint32_t target);
    void NoteFree(uint32_t ifIndex, uint32_t target);
    void NoteAdded() { ++m_added; }

    // "" when `address`/`prefixLength` may be added to `ifIndex`; else the
    // rule it breaks and why.
    std::string Check(uint32_t ifIndex, const std::string& ifName, uint32_t address,
                      int prefixLength, const HostNetwork& host) const;

private:
    struct Seen {
        uint32_t ifIndex;
        uint32_t address;
    };
    static void Remember(std::deque<Seen>& list, Seen seen);

    std::deque<Seen> m_answered;  // stations (cameras) that answered a probe
    std::deque<Seen> m_free;      // the most recent probes nobody answered
    size_t m_added = 0;
};

// True when the subnet lies inside 10/8, 172.16/12 or 192.168/16.
bool IsPrivateSubnet(uint32_t address, int prefixLength);

}  // namespace netcfg
