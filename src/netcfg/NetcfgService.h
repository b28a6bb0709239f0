// What firmhand-netcfg does with one request: checks it against the host
// (the interface exists, is up and is no loopback; a source address is the
// interface's own; an added address passes CAddressPolicy) and then makes
// the one change or probe it names.
#pragma once

#include <cstddef>
#include <cstdint>
#include "AddressPolicy.h"
#include "netops/NetcfgRequest.h"

namespace netcfg {

class CNetcfgService {
public:
    // The reply to one received message of `size` bytes (of which at most
    // kMaxMessageBytes are in `data`).
    Reply Handle(const uint8_t* data, size_t size);

private:
    Reply Execute(const Request& request);

    CAddressPolicy m_policy;
};

}  // namespace netcfg
