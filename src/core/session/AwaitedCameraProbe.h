// Directed probes for the cameras a batch waits for: while a job waits for
// its camera (a slave address change, offline, reboot, upgrade mode), the
// search probes that camera's addresses every 500 ms besides its rounds,
// so that the camera is seen as soon as it answers again. The replies take
// the search's usual way (record, events, log lines).
#pragma once

#include <string>
#include <vector>

class CLanProbeSearch;
class CUpgradeEngine;

constexpr int kAwaitedProbeIntervalMs = 500;

// The addresses (first and second, dotted text, each once) of the cameras
// whose jobs wait for them.
std::vector<std::string> AwaitedCameraAddresses(const CUpgradeEngine& engine);

// Lets `search` probe the awaited cameras of `engine` (read when the search
// starts); null `engine` stops it. The engine must outlive the search.
void ProbeAwaitedCameras(CLanProbeSearch& search, const CUpgradeEngine* engine);
