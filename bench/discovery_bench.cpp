// 1000 simulated cameras answer one search round by multicast on the
// loopback interface: how many does a run list after one and after two
// rounds, and how many replies were lost on the way.
//
//   build/bench/discovery_bench [CAMERAS=1000] [ROUND_MS=2000]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "SimFleet.h"
#include "app/Logger.h"
#include "session/FirmhandSession.h"
#include "session/SessionEventQueue.h"

namespace {

void RaiseFileLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Replies the cameras sent, and how many cameras sent at least one.
std::pair<int, int> AnsweredProbes(const CSimFleet& fleet) {
    int replies = 0;
    int cameras = 0;
    for (const SimCameraInfo& camera : fleet.Cameras()) {
        const int n = fleet.State(camera.mac)->probesAnswered;
        replies += n;
        cameras += n > 0;
    }
    return {replies, cameras};
}

}  // namespace

int main(int argc, char** argv) {
    const int cameras = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int roundMs = argc > 2 ? std::atoi(argv[2]) : 2000;
    GetLogInstance()->SetLevel(kLogOff);
    RaiseFileLimit();

    CSimFleet fleet;
    for (SimCameraConfig config : CSimFleet::UniformFleet(cameras, "127.1.0.1")) {
        config.searchPort = 37810;
        fleet.AddCamera(config);
    }
    std::string error;
    if (!fleet.Start(&error)) {
        std::fprintf(stderr, "fleet did not start: %s\n", error.c_str());
        return 1;
    }

    SESSION_OPTIONS options;
    options.adapter = "lo";
    options.searchRoundIntervalMs = roundMs;
    CFirmhandSession session(options, std::make_shared<CSessionEventQueue>());
    const auto start = std::chrono::steady_clock::now();
    if (!session.Start()) {
        std::fprintf(stderr, "the search did not start\n");
        return 1;
    }
    size_t afterRound[2] = {0, 0};
    std::pair<int, int> answered[2];
    for (int round = 0; round < 2; ++round) {
        std::this_thread::sleep_until(start +
                                      std::chrono::milliseconds(roundMs * (round + 1) - 50));
        afterRound[round] = session.Devices().size();
        answered[round] = AnsweredProbes(fleet);
    }
    session.Stop();
    fleet.Stop();

    std::printf("cameras                       %d\n", cameras);
    std::printf(
        "replies sent in round 1       %d (by %d cameras; a probe goes out per local address of "
        "lo)\n",
        answered[0].first, answered[0].second);
    std::printf(
        "found after round 1           %zu   (cameras that answered but were not reported: %d)\n",
        afterRound[0], answered[0].second - static_cast<int>(afterRound[0]));
    std::printf("found after round 2           %zu   target %d\n", afterRound[1], cameras);
    return afterRound[1] == static_cast<size_t>(cameras) ? 0 : 1;
}
