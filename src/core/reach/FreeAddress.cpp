#include "FreeAddress.h"

#include "netops/Ipv4.h"

using reach::Ipv4FromHost;
using reach::Ipv4ToHost;
using reach::MaskPrefixLength;

uint32_t ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask, const AddressInUse& inUse,
                           const RandomNumber& random, std::stop_token stop) {
    const int prefixLength = MaskPrefixLength(mask);
    if (prefixLength <= 0) {
        return 0;
    }
    const int hostBits = 32 - prefixLength;
    const int64_t m = (int64_t{1} << hostBits) - 2;
    if (m < 1) {
        return 0;
    }
    const uint32_t network = Ipv4ToHost(deviceAddress) & Ipv4ToHost(mask);

    int64_t s = static_cast<int64_t>(random()) % (m + 1);
    if (s == 0) {
        s = (m + 1) / 2;
    }
    const int64_t d = static_cast<int64_t>(random()) % s;
    int64_t c = s;
    for (;;) {
        const uint32_t candidate = Ipv4FromHost(network | static_cast<uint32_t>(c));
        const bool taken = inUse(candidate);
        if (stop.stop_requested()) {
            return 0;
        }
        if (!taken) {
            return candidate;
        }
        c += d;
        while (c > m || c < 1) {
            if (c > m) {
                c = (c + 1) % d;  // d > 0 here: only a step can carry c past m
            }
            if (c < 1) {
                c += d;
            }
        }
        if (c == s) {
            return 0;
        }
    }
}
