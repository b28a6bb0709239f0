// The site inventory at the size of a large customer: 10 000 cameras over
// four sites, each seen with two versions, and 100 000 upgrade steps (100
// runs of 1000 cameras). Prints the time to record them and the time of the
// query behind `firmhand-cli inventory --older-than`, the median of 20.
//   inventory_bench [DATABASE]   (default: a fresh file under /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "inventory/Inventory.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Mac(int n) {
    char mac[18];
    std::snprintf(mac, sizeof(mac), "02:BE:00:%02X:%02X:%02X", (n >> 16) & 0xFF, (n >> 8) & 0xFF,
                  n & 0xFF);
    return mac;
}

std::string Site(int n) {
    return "10.0." + std::to_string(n % 4) + ".0/24";
}

constexpr int kCameras = 10000;
constexpr int kRuns = 100;
constexpr int kStepsPerRun = 1000;
const char* const kVersions[] = {"3.9.1", "4.0.1", "4.0.10", "4.0.2", "4.1.0"};

}  // namespace

int main(int argc, char** argv) {
    const std::string path =
        argc > 1
            ? argv[1]
            : (std::filesystem::temp_directory_path() / "firmhand-inventory-bench.sqlite").string();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(path + suffix);
    }
    std::string error;
    auto inventory = CInventory::Open(path, InventoryAccess::Write, error);
    if (!inventory) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    // Two sightings per camera, an older version first; 100 cameras a call,
    // as a search round's reports come.
    auto start = Clock::now();
    for (int pass = 0; pass < 2; ++pass) {
        for (int site = 0; site < 4; ++site) {
            std::vector<CAMERA_SIGHTING> batch;
            for (int n = site; n < kCameras; n += 4) {
                CAMERA_SIGHTING s;
                s.mac = Mac(n);
                s.name = "Camera " + std::to_string(n);
                s.model = n % 3 == 0 ? "IPC-2020" : "IPC-3040";
                s.ip = "10.0." + std::to_string(site) + "." + std::to_string(n % 250 + 2);
                s.version = pass == 0 ? "3.9.0" : kVersions[n % 5];
                s.build = 1000 + pass;
                s.seenAt = 1700000000000 + pass * 1000;
                batch.push_back(std::move(s));
                if (batch.size() == 100) {
                    if (!inventory->RecordSightings(Site(site), batch, error)) {
                        std::fprintf(stderr, "%s\n", error.c_str());
                        return 1;
                    }
                    batch.clear();
                }
            }
        }
    }
    const double sightingsMs = MsSince(start);

    start = Clock::now();
    for (int run = 0; run < kRuns; ++run) {
        for (int site = 0; site < 4; ++site) {
            std::vector<UPGRADE_STEP> steps;
            for (int k = 0; k < kStepsPerRun / 4; ++k) {
                const int n = (run * kStepsPerRun + k * 4 + site) % kCameras;
                UPGRADE_STEP step;
                step.mac = Mac(n);
                step.runId = "20261208-" + std::to_string(100000 + run);
                step.journal = step.runId + ".jsonl";
                step.packageName = "IPC_4.1.0_build5.bin";
                step.packageSha256 = std::string(64, 'a');
                step.fromVersion = "3.9.0(1000)";
                step.toVersion = "4.1.0(5)";
                step.result = run % 10 == 0 ? 11 : 0;
                step.resultText = step.result == 0 ? "Upgraded successfully!" : "Incorrect";
                step.attempts = 1;
                step.startedAt = 1700000000000 + run * 60000 + k;
                step.endedAt = step.startedAt + 30000;
                steps.push_back(std::move(step));
            }
            if (!inventory->RecordSteps(Site(site), steps, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
        }
    }
    const double stepsMs = MsSince(start);
    inventory.reset();

    // What `firmhand-cli inventory --older-than 4.0.2` does: open the
    // database to read, query, every camera with its versions.
    const auto query = [&](const std::string& site, size_t& found) {
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            const auto begin = Clock::now();
            auto reader = CInventory::Open(path, InventoryAccess::Read, error);
            std::vector<INVENTORY_CAMERA> cameras;
            if (!reader || !reader->Cameras(site, "4.0.2", cameras, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return -1.0;
            }
            times.push_back(MsSince(begin));
            found = cameras.size();
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    size_t allFound = 0;
    size_t siteFound = 0;
    const double allMs = query("", allFound);
    const double siteMs = query(Site(0), siteFound);
    std::printf("database: %s (%.1f MiB)\n", path.c_str(),
                static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0));
    std::printf("record 10000 cameras x 2 sightings (100 a transaction): %.0f ms\n", sightingsMs);
    std::printf("record 100000 upgrade steps (250 a transaction): %.0f ms\n", stepsMs);
    std::printf("inventory --older-than 4.0.2, every site: %.1f ms median, %zu cameras\n", allMs,
                allFound);
    std::printf("inventory --older-than 4.0.2 --site %s: %.1f ms median, %zu cameras\n",
                Site(0).c_str(), siteMs, siteFound);
    std::printf("target: under 100 ms\n");
    return allMs >= 0 && siteMs >= 0 ? 0 : 1;
}
