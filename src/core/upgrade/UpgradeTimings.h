// Fixed pauses and limits of the upgrade procedure that have no settings
// key. A run takes them from its options; only tests and benchmarks shorten
// them.
#pragma once

#include <cstdint>

struct UpgradeTimings {
    uint32_t connectTimeoutMs = 5000;    // connect and first message
    uint32_t retryPauseMs = 1000;        // before each further attempt on one address
    uint32_t upgradeModePauseMs = 5000;  // after the camera came back in upgrade mode
    uint32_t ackPollMs = 100;            // acknowledgement poll interval
    uint32_t offlineStretchMs = 10000;   // failed probes in a row that mean "offline"
    uint32_t addressProbeMs = 200;       // probe of the slave address per attempt
    uint32_t localAddressPolls = 80;     // polls of 100 ms for an added local address
};
