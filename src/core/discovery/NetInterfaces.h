// The machine's IPv4 interfaces, as the search and the network-presence
// check see them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct NetInterface {
    std::string name;      // the system's interface name ("eth0"), the adapter name
    uint32_t address = 0;  // IPv4, host byte order
    bool up = false;
    bool running = false;
    bool loopback = false;
};

// One row per IPv4 address of every interface (empty when the list cannot
// be read; the failure is logged).
std::vector<NetInterface> EnumIPv4Interfaces();

// The interfaces a search round probes: those named `adapterName` (exact
// match), or every interface that is up when the name is empty.
std::vector<NetInterface> SelectSearchInterfaces(const std::vector<NetInterface>& all,
                                                 const std::string& adapterName);

// True when an interface other than loopback is up and running.
bool HasLiveInterface(const std::vector<NetInterface>& all);

// The network-presence check that gates the start of the search: a live
// interface, or extra search targets in the "SearchTargets" setting (they
// may well be on the loopback network).
bool IsNetworkAlive();
