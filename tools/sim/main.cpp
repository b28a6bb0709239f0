// firmhand-sim: plays a fleet of cameras on loopback addresses until it is
// stopped (Ctrl-C, SIGTERM) or its --duration ends.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "SimFleet.h"
#include "SimFleetFile.h"
#include "SimProcess.h"
#include "app/Logger.h"
#include "app/Version.h"

int main(int argc, char** argv) {
    CLI::App app{"firmhand-sim: simulated cameras on loopback addresses", "firmhand-sim"};
    app.set_version_flag("--version", "firmhand-sim " + VersionToString(GetModuleVersionNumber()));
    int cameras = 0;
    std::string baseIp = "127.0.0.10";
    std::string fleetPath;
    std::string eventsPath;
    int searchPort = -1;
    int dataPort = 9008;
    int httpPort = 8080;
    double duration = 0;
    std::string user = "admin";
    std::string password = "739518";
    uint32_t flashMs = 3000;
    uint32_t offlineMs = kSimProgramOfflineMs;
    bool verbose = false;

    auto* camerasOption = app.add_option("--cameras", cameras, "number of uniform cameras")
                              ->check(CLI::Range(1, 4096));
    app.add_option("--base-ip", baseIp, "address of the first uniform camera")
        ->needs(camerasOption);
    app.add_option("--fleet", fleetPath, "fleet description (JSON)")
        ->check(CLI::ExistingFile)
        ->excludes(camerasOption);
    app.add_option("--search-port", searchPort,
                   "search port of every camera (0: each picks one; default 37810, or the fleet "
                   "file's)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--data-port", dataPort, "data port of uniform cameras (0: pick)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--http-port", httpPort, "HTTP port of uniform cameras (0: pick)")
        ->check(CLI::Range(0, 65535));
    // The client's own defaults, so that a first upgrade logs in without options.
    app.add_option("--user", user, "user name of uniform cameras (default admin, as firmhand's)");
    app.add_option("--password", password,
                   "password of uniform cameras (default 739518, as firmhand's)");
    app.add_option("--flash-ms", flashMs, "flashing time of uniform cameras in ms (default 3000)");
    app.add_option("--offline-ms", offlineMs,
                   "offline time of uniform cameras in ms after flashing (default 12000; a "
                   "client takes a camera as offline after 10 s of refused connections)");
    app.add_option("--events", eventsPath, "append the event log (JSON lines) to this file");
    app.add_option("--duration", duration, "seconds to run (0: until stopped)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--verbose", verbose, "echo log lines to standard error");
    CLI11_PARSE(app, argc, argv);

    GetLogInstance()->Init("firmhand-sim");
    if (verbose) {
        GetLogInstance()->SetEchoToStderr(true);
    }
    std::vector<SimCameraConfig> configs;
    if (!fleetPath.empty()) {
        SimFleetFile fleet;
        std::string error;
        if (!SimLoadFleetFile(fleetPath, &fleet, &error)) {
            std::fprintf(stderr, "firmhand-sim: %s\n", error.c_str());
            return 2;
        }
        configs = std::move(fleet.cameras);
        if (searchPort >= 0) {
            for (auto& c : configs)
                c.searchPort = static_cast<uint16_t>(searchPort);
        }
    } else if (cameras > 0) {
        configs = CSimFleet::UniformFleet(cameras, baseIp);
        if (configs.empty()) {
            std::fprintf(stderr, "firmhand-sim: bad --base-ip %s\n", baseIp.c_str());
            return 2;
        }
        for (auto& c : configs) {
            c.dataPort = static_cast<uint16_t>(dataPort);
            c.httpPort = static_cast<uint16_t>(httpPort);
            c.searchPort = static_cast<uint16_t>(searchPort >= 0 ? searchPort : 37810);
            c.user = user;
            c.password = password;
            c.flashMs = flashMs;
            c.offlineMs = offlineMs;
        }
    } else {
        std::fprintf(stderr, "firmhand-sim: give --cameras N or --fleet FILE (see --help)\n");
        return 2;
    }

    // The fleet's thread inherits the blocked signals, so only the wait takes them.
    SimBlockStopSignals();
    SimRaiseDescriptorLimit();
    CSimFleet fleet;
    if (!eventsPath.empty() && !fleet.SetEventFile(eventsPath)) {
        std::fprintf(stderr, "firmhand-sim: cannot open %s\n", eventsPath.c_str());
        return 2;
    }
    for (const auto& c : configs)
        fleet.AddCamera(c);
    std::string error;
    if (!fleet.Start(&error)) {
        std::fprintf(stderr, "firmhand-sim: %s\n", error.c_str());
        return 1;
    }
    for (const auto& camera : fleet.Cameras()) {
        std::printf("%s %s %u %u %u\n", camera.mac.c_str(), camera.ip.c_str(), camera.dataPort,
                    camera.httpPort, camera.searchPort);
    }
    std::fflush(stdout);
    // SIGUSR1 switches on the cameras that started switched off.
    SimWaitForStop(duration, [&fleet] { fleet.SwitchOnAll(); });
    fleet.Stop();
    return 0;
}
