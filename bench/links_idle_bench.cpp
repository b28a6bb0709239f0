// Idle cost of open camera connections: N clients logged in to N simulated
// cameras (in another process), then left alone for a while; prints the
// CPU this process spent, i.e. the keep-alive and receive threads.
//
//   build/bench/links_idle_bench [CAMERAS=32] [SECONDS=10] [BUILD=build]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Logger.h"
#include "device/NetDVSDevice.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The threads of this process now.
int ThreadCount() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::atoi(line.c_str() + 8);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int cameras = argc > 1 ? std::atoi(argv[1]) : 32;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const std::string build = argc > 3 ? argv[3] : "build";
    GetLogInstance()->SetLevel(kLogOff);

    const std::string command = build + "/tools/sim/firmhand-sim --cameras " +
                                std::to_string(cameras) +
                                " --base-ip 127.3.0.10 --search-port 0 --data-port 0 --http-port 0"
                                " --password 739518 --duration " +
                                std::to_string(seconds + 3);
    FILE* sim = popen(command.c_str(), "r");
    if (sim == nullptr) {
        std::perror("popen");
        return 1;
    }
    struct Camera {
        std::string mac, ip;
        uint16_t port;
    };
    std::vector<Camera> fleet;
    char line[256];
    while (static_cast<int>(fleet.size()) < cameras && std::fgets(line, sizeof(line), sim)) {
        std::istringstream in(line);
        Camera camera;
        int port = 0;
        in >> camera.mac >> camera.ip >> port;
        camera.port = static_cast<uint16_t>(port);
        fleet.push_back(camera);
    }

    const int threadsBefore = ThreadCount();
    CSWL_LinkTimer timer;  // outlives the clients
    std::vector<std::shared_ptr<CNetDVSDevice>> clients;
    for (const Camera& camera : fleet) {
        std::shared_ptr<CNetDVSDevice> client;
        if (CNetDVSDevice::CreateServerObject(client, timer, camera.mac, camera.ip, camera.port,
                                              nullptr, nullptr, 5000) != 0) {
            continue;
        }
        NET_DEVICE_INFO info;
        if (client->LogIn("admin", "739518", &info, false) == 0) {
            clients.push_back(client);
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - before;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int threads = ThreadCount() - threadsBefore;
    const size_t open = clients.size();
    clients.clear();
    pclose(sim);

    std::printf("links open (logged in)        %zu of %d\n", open, cameras);
    std::printf("idle CPU                      %.3f s in %.1f s = %.2f %% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    std::printf("threads for the links         %d (%zu links)\n", threads, open);
    return 0;
}
