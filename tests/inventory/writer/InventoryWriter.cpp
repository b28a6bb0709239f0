// Writes into an inventory until it is killed: rounds of 50 cameras in one
// transaction, then their 50 upgrade steps in another. A test kills it at
// some point and checks that only whole rounds are visible.
//   inventory_writer DATABASE
#include <cstdio>
#include <string>
#include <vector>

#include "inventory/Inventory.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: inventory_writer DATABASE\n");
        return 2;
    }
    std::string error;
    auto inventory = CInventory::Open(argv[1], InventoryAccess::Write, error);
    if (!inventory) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (int round = 0; round < 100000; ++round) {
        std::vector<CAMERA_SIGHTING> sightings;
        std::vector<UPGRADE_STEP> steps;
        for (int n = 0; n < 50; ++n) {
            const int camera = round * 50 + n;
            char mac[18];
            std::snprintf(mac, sizeof(mac), "02:00:00:%02X:%02X:%02X", (camera >> 16) & 0xFF,
                          (camera >> 8) & 0xFF, camera & 0xFF);
            CAMERA_SIGHTING s;
            s.mac = mac;
            s.name = "Camera " + std::to_string(camera);
            s.model = "IPC-2020";
            s.ip = "10.0.0.1";
            s.version = "4.0.2";
            s.build = 230118;
            s.seenAt = 1000 + round;
            sightings.push_back(s);
            UPGRADE_STEP step;
            step.mac = mac;
            step.runId = "run-" + std::to_string(round);
            step.journal = step.runId + ".jsonl";
            step.fromVersion = "4.0.2(230118)";
            step.toVersion = "4.0.2(230119)";
            step.result = 0;
            step.attempts = 1;
            step.startedAt = 1000 + round;
            step.endedAt = 2000 + round;
            steps.push_back(step);
        }
        if (!inventory->RecordSightings("site", sightings, error) ||
            !inventory->RecordSteps("site", steps, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
