// Extra unicast search targets from the "SearchTargets" setting:
// comma-separated "host" or "host:port" items (cameras behind a router,
// simulated cameras on the loopback network).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SearchTarget {
    std::string host;  // IPv4 address or host name
    uint16_t port = 0;
};

// Items with an empty host or a port outside 1..65535 are logged and skipped.
std::vector<SearchTarget> ParseSearchTargets(const std::string& text, uint16_t defaultPort);
