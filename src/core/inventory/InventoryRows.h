// The inventory's records as the rows of a table, the same in the command
// line's history and inventory tables and in the window's views. The texts
// are as recorded: each front-end shows them safely (VisibleText).
#pragma once

#include <string>
#include <vector>

#include "inventory/InventoryRecords.h"

// "4.0.2(230118)", or "4.0.2" without a build.
std::string VersionWithBuild(const std::string& version, int32_t build);
// "4.0.1(1), 4.0.2(2)", oldest first.
std::string SeenVersionsText(const std::vector<SEEN_VERSION>& versions);

// One upgrade step; times as UtcText ("-" for none).
struct STEP_ROW {
    std::string started;  // the start, else the end
    std::string ended;
    std::string site;
    std::string mac;
    std::string name;
    std::string model;
    std::string from;
    std::string to;
    std::string result;
    std::string attempts;
    std::string package;
    std::string sha256;  // whole; a narrow table cuts it
    std::string run;
    std::string step;  // "2" for a path's second step, "" outside a path
};
STEP_ROW StepRow(const INVENTORY_STEP& step);

// One camera with its last sighting.
struct CAMERA_ROW {
    std::string site;
    std::string mac;
    std::string name;
    std::string model;
    std::string ip;
    std::string ip2;
    std::string version;  // with its build
    std::string firstSeen;
    std::string lastSeen;
    std::string versionsSeen;
};
CAMERA_ROW CameraRow(const INVENTORY_CAMERA& camera);

// One version a camera showed, with its first and last sighting.
struct SEEN_VERSION_ROW {
    std::string version;
    std::string firstSeen;
    std::string lastSeen;
};
SEEN_VERSION_ROW SeenVersionRow(const SEEN_VERSION& version);
