// Fault soak: rounds of one 32-camera batch against simulated cameras, about
// a third of which misbehave in seeded random ways. Each round starts a
// fleet and a session the way a front-end does, runs the batch to its end
// and tears everything down again; the process's threads
// and file descriptors must then be back where they were before the first
// round. Not part of the test suite; see docs/performance.md.
//
//   soak [--rounds N] [--cameras N] [--seed S] [--faulty-share F]
//        [--round-limit SECONDS] [--log-level 1..4] [--keep]
//
// Exit status 0 when every job ended with the code its camera's behaviour
// calls for, no job was left unfinished, and no thread or descriptor leaked.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SimFleet.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "net/SWL_TCPLink.h"
#include "session/FirmhandSession.h"
#include "session/SessionEventQueue.h"
#include "upgrade/UpgradeResult.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int rounds = 5;
    int cameras = 32;
    uint32_t seed = 20240611;
    double faultyShare = 1.0 / 3.0;
    int roundLimitSeconds = 120;
    int logLevel = kLogWarning;
    bool keep = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--keep") {
            options.keep = true;
            continue;
        }
        if (value == nullptr) {
            return false;
        }
        ++i;
        if (arg == "--rounds") {
            options.rounds = std::max(1, std::atoi(value));
        } else if (arg == "--cameras") {
            options.cameras = std::clamp(std::atoi(value), 1, kMaxParallelUpgrades);
        } else if (arg == "--seed") {
            options.seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--faulty-share") {
            options.faultyShare = std::clamp(std::atof(value), 0.0, 1.0);
        } else if (arg == "--round-limit") {
            options.roundLimitSeconds = std::max(10, std::atoi(value));
        } else if (arg == "--log-level") {
            options.logLevel = std::clamp(std::atoi(value), kLogInfo, kLogOff);
        } else {
            return false;
        }
    }
    return true;
}

// ---- process figures ------------------------------------------------------

// A "Name: value kB" line of /proc/self/status.
long StatusValue(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::atol(line.c_str() + prefix.size());
        }
    }
    return -1;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
        --count;  // the directory's own descriptor
    }
    return count;
}

struct Figures {
    long threads = 0;
    int descriptors = 0;
    long rssKb = 0;
};

Figures Measure() {
    return {StatusValue("Threads"), OpenDescriptors(), StatusValue("VmRSS")};
}

// ---- faults ---------------------------------------------------------------

// One way a camera misbehaves, and the result its job must end with.
struct Behaviour {
    std::string name;
    UpgradeResult expected = UpgradeResult::Ok;
};

// Gives `camera` a random fault and returns what it is.
Behaviour Misbehave(SimCameraConfig& camera, std::mt19937& random) {
    std::uniform_int_distribution<int> block(2, 99);
    SimFaults& f = camera.faults;
    switch (std::uniform_int_distribution<int>(0, 13)(random)) {
        case 0:
            camera.password = "not-the-one-sent";
            return {"wrong password", UpgradeResult::BadCredentials};
        case 1:
            f.tooManyConnections = true;
            return {"too many connections", UpgradeResult::TooManyConnections};
        case 2:
            f.loginErrors = {30, 30, 30, 30, 30};
            return {"login error 30", UpgradeResult::ConnectFailed};
        case 3:
            f.loginErrors = {23, 24};
            return {"login errors 23, 24", UpgradeResult::Ok};
        case 4:
            f.closeAtBlock = block(random);
            return {"link dropped at block " + std::to_string(f.closeAtBlock),
                    UpgradeResult::SendFailed};
        case 5:
            f.stopAcksAtBlock = block(random);
            return {"stall at block " + std::to_string(f.stopAcksAtBlock), UpgradeResult::Timeout};
        case 6:
            f.invalidHeadAtBlock = block(random);
            return {"invalid head at block " + std::to_string(f.invalidHeadAtBlock),
                    UpgradeResult::Timeout};
        case 7:
            f.invalidHeadAtLogin = true;
            return {"invalid head at login", UpgradeResult::ConnectFailed};
        case 8:
            f.fragmentReplies = true;
            return {"fragmented replies", UpgradeResult::Ok};
        case 9:
            f.neverReturn = true;
            return {"never returns", UpgradeResult::Timeout};
        case 10:
            f.sameVersionOnReturn = true;
            return {"same version on return", UpgradeResult::VersionUnchanged};
        case 11:
            f.upgradeErrorAtBlock = block(random);
            f.upgradeErrorWord = 5;
            return {"upgrade error 5 at block " + std::to_string(f.upgradeErrorAtBlock),
                    UpgradeResult::DeviceError};
        case 12:
            f.upgradeErrorAtBlock = block(random);
            f.upgradeErrorWord = 22;
            return {"restart into upgrade mode at block " + std::to_string(f.upgradeErrorAtBlock),
                    UpgradeResult::Ok};
        default:
            camera.protocolVersion = 2;
            return {"protocol version 2", UpgradeResult::NotSupported};
    }
}

// Short waits so that a round of 32 cameras, stalls and all, takes seconds;
// the search on loopback in quick rounds.
SESSION_OPTIONS FastOptions() {
    SESSION_OPTIONS options;
    options.settingOverrides = {
        {settings::kWaitIp2ChangeTimeout, "2"},       {settings::kWaitDeviceOfflineTimeout, "4"},
        {settings::kWaitRebootTimeout, "5"},          {settings::kWaitUpgradeModeTimeout, "6"},
        {settings::kWaitUpgradeProgressTimeout, "3"}, {settings::kWaitUpgradeCompleteTimeout, "3"},
    };
    options.timings.connectTimeoutMs = 1500;
    options.timings.retryPauseMs = 20;
    options.timings.upgradeModePauseMs = 50;
    options.timings.ackPollMs = 5;
    options.timings.offlineStretchMs = 300;
    options.adapter = "lo";
    options.searchRoundIntervalMs = 150;
    return options;
}

// ---- one round --------------------------------------------------------------

struct RoundResult {
    int jobs = 0;
    int expected = 0;
    int unfinished = 0;
    double seconds = 0;
    long peakThreads = 0;
    int peakDescriptors = 0;
    std::vector<std::string> mismatches;
};

// "stall at block 17" counts as "stall".
std::string KindOf(const std::string& behaviour) {
    const size_t at = behaviour.find(" at block");
    return at == std::string::npos ? behaviour : behaviour.substr(0, at);
}

SimCameraConfig Camera(int n) {
    SimCameraConfig camera;
    char text[64];
    std::snprintf(text, sizeof(text), "02:50:4B:00:00:%02X", n);
    camera.mac = text;
    std::snprintf(text, sizeof(text), "127.88.1.%d", n + 1);
    camera.ip = text;
    std::snprintf(text, sizeof(text), "127.88.2.%d", n + 1);
    camera.ip2 = text;
    camera.mask2 = "255.0.0.0";
    camera.name = "Soak " + std::to_string(n);
    camera.flashMs = 150;
    camera.offlineMs = 900;
    return camera;
}

RoundResult RunRound(const Options& options, int round, std::mt19937& random,
                     const std::string& package) {
    RoundResult out;
    const auto start = Clock::now();

    // The fleet: every camera behaves, then a seeded share misbehaves.
    std::vector<SimCameraConfig> cameras;
    std::map<std::string, Behaviour> behaviours;
    for (int n = 1; n <= options.cameras; ++n) {
        cameras.push_back(Camera(n));
        behaviours[cameras.back().mac] = {"well-behaved", UpgradeResult::Ok};
    }
    std::vector<int> order(cameras.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    std::shuffle(order.begin(), order.end(), random);
    const auto faulty = static_cast<size_t>(options.faultyShare * options.cameras + 0.5);
    std::map<std::string, int> mix;
    for (size_t i = 0; i < faulty && i < order.size(); ++i) {
        SimCameraConfig& camera = cameras[order[i]];
        behaviours[camera.mac] = Misbehave(camera, random);
        ++mix[KindOf(behaviours[camera.mac].name)];
    }
    std::string mixText;
    for (const auto& [kind, count] : mix) {
        mixText += (mixText.empty() ? "" : ", ") + kind + " x" + std::to_string(count);
    }
    std::printf("round %d: %zu misbehaving: %s\n", round, faulty, mixText.c_str());

    CSimFleet fleet;
    for (const SimCameraConfig& camera : cameras) {
        fleet.AddCamera(camera);
    }
    std::string error;
    if (!fleet.Start(&error)) {
        out.mismatches.push_back("fleet did not start: " + error);
        return out;
    }
    SESSION_OPTIONS sessionOptions = FastOptions();
    for (const SimCameraInfo& camera : fleet.Cameras()) {
        sessionOptions.searchTargets.push_back(camera.ip + ":" + std::to_string(camera.searchPort));
    }

    // The front-end's part, as the CLI does it: one session, its events
    // read until the batch's end.
    auto queue = std::make_shared<CSessionEventQueue>();
    auto session = std::make_unique<CFirmhandSession>(std::move(sessionOptions), queue);
    std::map<std::string, UpgradeResult> finalCode;
    bool batchOver = false;
    const auto pump = [&](int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            auto event = queue->Pop(5);
            if (!event) {
                continue;
            }
            if (const auto* result = std::get_if<CameraResultEvent>(&*event)) {
                finalCode[result->mac] = result->code;
            } else if (std::holds_alternative<BatchEndedEvent>(*event)) {
                batchOver = true;
            }
        }
    };

    if (!session->Start()) {
        out.mismatches.push_back("search did not start");
    }
    const auto findLimit = Clock::now() + std::chrono::seconds(15);
    while (session->Devices().size() < cameras.size() && Clock::now() < findLimit) {
        pump(20);
    }
    BatchRequest request;
    for (const SimCameraConfig& camera : cameras) {
        if (DeviceInfoPtr record = session->FindDevice(camera.mac)) {
            request.devices.push_back(record);
        } else {
            out.mismatches.push_back(camera.mac + " was not found by the search");
        }
    }
    request.packagePath = package;
    request.user = "admin";
    request.password = "739518";
    out.jobs = static_cast<int>(request.devices.size());
    if (session->StartBatch(request) != BatchStartResult::Started) {
        out.mismatches.push_back("the batch did not start");
        out.jobs = 0;
    }
    const auto roundLimit = Clock::now() + std::chrono::seconds(options.roundLimitSeconds);
    while (out.jobs > 0 && !batchOver && Clock::now() < roundLimit) {
        pump(100);
        const Figures now = Measure();
        out.peakThreads = std::max(out.peakThreads, now.threads);
        out.peakDescriptors = std::max(out.peakDescriptors, now.descriptors);
    }

    // A job counts as ended only when its result came before the round's
    // limit, not when the cancellation below ended it.
    const std::map<std::string, UpgradeResult> endedInTime = finalCode;

    // Teardown in the window's order: cancel what still runs, let every
    // worker end, stop the session, then the cameras.
    session->CancelAll();
    const bool workersEnded = session->WaitForBatchEnd(30000);
    pump(50);
    for (const auto& device : request.devices) {
        const auto it = endedInTime.find(device->mac);
        if (it == endedInTime.end()) {
            ++out.unfinished;
            out.mismatches.push_back(std::string(device->mac) + " (" +
                                     behaviours[device->mac].name + ") did not end");
            continue;
        }
        const Behaviour& behaviour = behaviours[device->mac];
        if (it->second == behaviour.expected) {
            ++out.expected;
        } else {
            out.mismatches.push_back(std::string(device->mac) + " (" + behaviour.name +
                                     ") ended with " + std::to_string(NumberOf(it->second)) +
                                     ", expected " + std::to_string(NumberOf(behaviour.expected)));
        }
    }
    if (!workersEnded) {
        out.mismatches.push_back("workers still running 30 s after the batch");
    }
    session.reset();
    queue.reset();
    fleet.Stop();
    out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "round %d: %d jobs, %d ended as expected, %d did not end, %.1f s, "
        "at most %ld threads and %d descriptors while running\n",
        round, out.jobs, out.expected, out.unfinished, out.seconds, out.peakThreads,
        out.peakDescriptors);
    for (const std::string& line : out.mismatches) {
        std::printf("  %s\n", line.c_str());
    }
    return out;
}

// A new-style package in the sandbox.
std::string WritePackage(const std::string& folder) {
    std::vector<uint8_t> data(100004);
    std::mt19937 random(7);
    for (auto& byte : data) {
        byte = static_cast<uint8_t>(random());
    }
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    std::memcpy(data.data(), magic, sizeof(magic));
    const std::string path = folder + "/fw.bin";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: soak [--rounds N] [--cameras N] [--seed S] [--faulty-share F] "
                     "[--round-limit SECONDS] [--log-level 1..4] [--keep]\n");
        return 2;
    }

    // Settings, per-user files and the log live in a folder of their own.
    char folderTemplate[] = "/tmp/firmhand-soak-XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = folderTemplate;
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    ResetIniPaths();
    GetProgramIni().SetPath(folder + "/firmhand.ini");
    GetLogInstance()->SetLevel(options.logLevel);
    GetLogInstance()->SetFilePath(folder + "/soak.log");
    // A link with a half-received item gives up after 3 s instead of 20 s.
    CSWL_TCPLink::SetProgressLimitForTest(3000);
    const std::string package = WritePackage(folder);

    std::printf("fault soak: %d rounds of %d cameras, %.0f%% misbehaving, seed %u\n",
                options.rounds, options.cameras, options.faultyShare * 100, options.seed);
    std::mt19937 random(options.seed);
    // A sanitizer's runtime starts a helper thread of its own with the first
    // thread of the process; let that happen before the baseline is taken.
    std::thread([] {}).join();
    const Figures baseline = Measure();
    std::printf("baseline: %ld threads, %d file descriptors, RSS %ld kB\n", baseline.threads,
                baseline.descriptors, baseline.rssKb);

    int batches = 0;
    int jobs = 0;
    int expected = 0;
    int unfinished = 0;
    int leakyRounds = 0;
    std::vector<long> rssAfterKb;  // after each round's teardown
    for (int round = 1; round <= options.rounds; ++round) {
        const Figures before = Measure();
        const RoundResult result = RunRound(options, round, random, package);
        batches += result.jobs > 0;
        jobs += result.jobs;
        expected += result.expected;
        unfinished += result.unfinished;
        // Threads that end are joined by their owners, but the system may
        // take a moment to let them go.
        Figures after = Measure();
        for (int i = 0; i < 100 && (after.threads != baseline.threads ||
                                    after.descriptors != baseline.descriptors);
             ++i) {
            usleep(20000);
            after = Measure();
        }
        const bool back =
            after.threads == baseline.threads && after.descriptors == baseline.descriptors;
        leakyRounds += !back;
        rssAfterKb.push_back(after.rssKb);
        std::printf("  threads %ld -> %ld, file descriptors %d -> %d, RSS %ld kB%s\n",
                    before.threads, after.threads, before.descriptors, after.descriptors,
                    after.rssKb, back ? "" : "  (not back at the baseline)");
        std::fflush(stdout);
    }

    const long peakKb = StatusValue("VmHWM");
    const long finalKb = StatusValue("VmRSS");
    std::printf("\nbatches run:                     %d\n", batches);
    std::printf("jobs ended with the expected code: %d of %d\n", expected, jobs);
    std::printf("jobs that did not end:           %d\n", unfinished);
    std::printf("rounds not back at the baseline:  %d (baseline %ld threads, %d descriptors)\n",
                leakyRounds, baseline.threads, baseline.descriptors);
    std::printf("peak RSS:                        %.1f MiB\n", peakKb / 1024.0);
    std::printf("final RSS:                       %.1f MiB\n", finalKb / 1024.0);
    // Flat from round 10 on: a leak grows it round after round.
    const size_t from = rssAfterKb.size() >= 10 ? 9 : 0;
    std::vector<long> settled(rssAfterKb.begin() + static_cast<long>(from), rssAfterKb.end());
    if (!settled.empty()) {
        const long first = settled.front();
        const long last = settled.back();
        std::nth_element(settled.begin(), settled.begin() + settled.size() / 2, settled.end());
        std::printf("RSS after round %zu / median / last: %.1f / %.1f / %.1f MiB\n", from + 1,
                    first / 1024.0, settled[settled.size() / 2] / 1024.0, last / 1024.0);
    }

    GetLogInstance()->SetFilePath("");
    const bool ok =
        expected == jobs && unfinished == 0 && leakyRounds == 0 && batches == options.rounds;
    if (options.keep || !ok) {
        std::printf("log and settings kept in %s\n", folder.c_str());
    } else {
        std::filesystem::remove_all(folder);
    }
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
