// Reads a fleet description (JSON, see docs/simulator.md) into camera
// descriptions. Unknown keys and values of the wrong type are errors, so a
// typo in a fault's name does not pass unnoticed.
#pragma once

#include <string>
#include <vector>

#include "SimConfig.h"

struct SimFleetFile {
    std::vector<SimCameraConfig> cameras;
};

// `baseDir` resolves relative package paths.
bool SimParseFleet(const std::string& json, const std::string& baseDir, SimFleetFile* out,
                   std::string* error);
bool SimLoadFleetFile(const std::string& path, SimFleetFile* out, std::string* error);

// "00:1A:2B:00:00:01" + 2 -> "00:1A:2B:00:00:03"; "" when `mac` is not a MAC.
std::string SimMacPlus(const std::string& mac, uint32_t add);
