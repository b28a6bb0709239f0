// What the inventory keeps: cameras a search saw, the versions each showed,
// and the upgrade steps of every run, all under a named site.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A camera as one search report showed it; times in ms since the epoch.
struct CAMERA_SIGHTING {
    std::string mac;  // upper case, "AA:BB:CC:DD:EE:FF" as the search gives it
    std::string name;
    std::string model;
    std::string ip;
    std::string ip2;
    std::string version;  // the software version text ("4.0.2")
    int32_t build = 0;
    int64_t seenAt = 0;
};

// One camera's step of one upgrade run.
struct UPGRADE_STEP {
    std::string mac;
    std::string name;   // as the run knew the camera: a camera no search saw
    std::string model;  // still gets a row
    std::string ip;
    std::string runId;
    std::string journal;  // the run journal's file name
    std::string packageName;
    std::string packageSha256;  // lower-case hexadecimal, "" when unread
    std::string fromVersion;
    std::string toVersion;
    int result = -1;
    std::string resultText;
    int attempts = 0;
    int64_t startedAt = 0;  // 0: the camera was never started
    int64_t endedAt = 0;
    int step = 0;  // of an upgrade path, from 1; 0 for a run without one
};

struct SEEN_VERSION {
    std::string version;
    int32_t build = 0;
    int64_t firstSeen = 0;
    int64_t lastSeen = 0;
};

struct INVENTORY_CAMERA {
    std::string site;
    std::string mac;
    std::string name;
    std::string model;
    std::string ip;
    std::string ip2;
    std::string version;  // the last one seen
    int32_t build = 0;
    int64_t firstSeen = 0;
    int64_t lastSeen = 0;
    std::vector<SEEN_VERSION> versions;  // oldest first
};

struct INVENTORY_STEP {
    std::string site;
    UPGRADE_STEP step;
};
