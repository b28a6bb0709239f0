// What firmhand-netcfg does with one request: checks it against the host
// (the interface exists, is up and is no loopback; a source address is the
// interface's own; an added address is link-local, or one that a probe of
// this session found free on that interface in a subnet that no interface
// has yet) and then makes the one change or probe it names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "NetcfgRequest.h"

namespace netcfg {

class CNetcfgService {
public:
    // The reply to one received message of `size` bytes (of which at most
    // kMaxMessageBytes are in `data`).
    Reply Handle(const uint8_t* data, size_t size);

private:
    struct FreeAddress {
        uint32_t ifIndex;
        uint32_t address;
    };

    Reply Execute(const Request& request);
    bool WasFoundFree(uint32_t ifIndex, uint32_t address) const;

    std::deque<FreeAddress> m_free;  // the most recent probes nobody answered
};

}  // namespace netcfg
