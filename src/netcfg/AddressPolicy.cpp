#include "AddressPolicy.h"

#include <algorithm>

#include "netops/Ipv4.h"

namespace netcfg {

namespace {

constexpr size_t kRememberedProbes = 64;

uint32_t Network(uint32_t address, int prefixLength) {
    return address & reach::PrefixLengthToMask(prefixLength);
}

std::string SubnetText(uint32_t address, int prefixLength) {
    return reach::Ipv4ToText(Network(address, prefixLength)) + "/" + std::to_string(prefixLength);
}

// Two subnets overlap when they agree under the shorter prefix.
bool Overlaps(uint32_t a, int aPrefix, uint32_t b, int bPrefix) {
    const int shorter = std::min(aPrefix, bPrefix);
    return Network(a, shorter) == Network(b, shorter);
}

std::string Refusal(const char* rule, const std::string& why) {
    return std::string(rule) + " rule: " + why;
}

}  // namespace

bool IsPrivateSubnet(uint32_t address, int prefixLength) {
    struct Range {
        uint32_t network;  // host order
        int prefixLength;
    };
    constexpr Range kPrivate[] = {{0x0A000000u, 8}, {0xAC100000u, 12}, {0xC0A80000u, 16}};
    return std::any_of(std::begin(kPrivate), std::end(kPrivate), [&](const Range& range) {
        return prefixLength >= range.prefixLength &&
               Network(address, range.prefixLength) == reach::Ipv4FromHost(range.network);
    });
}

void CAddressPolicy::Remember(std::deque<Seen>& list, Seen seen) {
    if (list.size() == kRememberedProbes) {
        list.pop_front();
    }
    list.push_back(seen);
}

void CAddressPolicy::NoteAnswered(uint32_t ifIndex, uint32_t target) {
    Remember(m_answered, {ifIndex, target});
}

void CAddressPolicy::NoteFree(uint32_t ifIndex, uint32_t target) {
    Remember(m_free, {ifIndex, target});
}

std::string CAddressPolicy::Check(uint32_t ifIndex, const std::string& ifName, uint32_t address,
                                  int prefixLength, const HostNetwork& host) const {
    const std::string subnet = SubnetText(address, prefixLength);
    if (m_added >= kMaxAddedAddresses) {
        return Refusal("quota", "this helper has added " + std::to_string(m_added) +
                                    " addresses, the most it adds");
    }
    if (reach::IsLinkLocalIpv4(address)) {
        return prefixLength == 16
                   ? std::string()
                   : Refusal("prefix", "a link-local address takes the prefix length 16");
    }
    if (prefixLength < kMinAddedPrefixLength || prefixLength > kMaxPrefixLength) {
        return Refusal("prefix", "/" + std::to_string(prefixLength) + " is outside /16../30");
    }
    if (!IsPrivateSubnet(address, prefixLength)) {
        return Refusal("private range",
                       subnet + " is not inside 10.0.0.0/8, 172.16.0.0/12 or 192.168.0.0/16");
    }
    for (const LOCAL_ADDRESS& local : host.locals) {
        const int localPrefix = reach::MaskPrefixLength(local.mask);
        if (localPrefix >= 0 && Overlaps(address, prefixLength, local.address, localPrefix)) {
            return Refusal("overlap", subnet + " overlaps the local subnet " +
                                          SubnetText(local.address, localPrefix));
        }
    }
    for (const reach::Ipv4Route& route : host.routes) {
        if (route.prefixLength > 0 &&
            Overlaps(address, prefixLength, route.destination, route.prefixLength)) {
            return Refusal("overlap", subnet + " overlaps the route to " +
                                          SubnetText(route.destination, route.prefixLength));
        }
    }
    const auto inSubnet = [&](const Seen& seen) {
        return seen.ifIndex == ifIndex &&
               Network(seen.address, prefixLength) == Network(address, prefixLength);
    };
    if (std::none_of(m_answered.begin(), m_answered.end(), inSubnet)) {
        return Refusal("camera subnet",
                       "no camera answered a probe in " + subnet + " on " + ifName);
    }
    const bool foundFree = std::any_of(m_free.begin(), m_free.end(), [&](const Seen& seen) {
        return seen.ifIndex == ifIndex && seen.address == address;
    });
    if (!foundFree) {
        return Refusal("found free",
                       reach::Ipv4ToText(address) + " was not found free on " + ifName + " first");
    }
    return {};
}

}  // namespace netcfg
