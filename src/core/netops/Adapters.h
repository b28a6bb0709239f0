// The host's network adapters: the list behind the adapter dialog and the
// reachability steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One IPv4 address of an adapter, both values in network order.
struct IP_ADDR_ENTRY {
    uint32_t address = 0;
    uint32_t mask = 0;
};

// One adapter, in the manner of the system's adapter description record.
struct ADAPTER_INFO {
    std::string AdapterName;                   // the interface name ("eth0")
    std::string Description;                   // readable text for the adapter dialog
    std::array<uint8_t, 6> Address{};          // MAC (zero when the link has none)
    uint32_t AddressLength = 0;                // 6 for Ethernet-like links, else 0
    uint32_t Index = 0;                        // interface index
    bool Loopback = false;                     // the loopback interface
    std::vector<IP_ADDR_ENTRY> IpAddressList;  // IPv4 addresses in the system's order
};

// Walks the adapters in the system's order, calling `visit` for each until it
// returns false. Returns the number of adapters visited, or -1 when the list
// cannot be read.
int EnumAdapters(const std::function<bool(const ADAPTER_INFO&)>& visit);

// The whole list; false when it cannot be read.
bool GetAdapterList(std::vector<ADAPTER_INFO>& adapters);

// True when the adapter is backed by a device (a network card, not a virtual
// link such as loopback, bridge, veth or tunnel).
bool IsPhysicalAdapter(const ADAPTER_INFO& adapter);

namespace reach {
// Reads the adapters from the system (the OS layer behind GetAdapterList).
bool ReadSystemAdapters(std::vector<ADAPTER_INFO>& adapters);
}  // namespace reach
