#include "SimFleet.h"

#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "SimCamera.h"
#include "SimEventLog.h"
#include "SimNet.h"
#include "SimReactor.h"
#include "app/Logger.h"

FH_LOG_SOURCE("SimFleet");

// The fleet's insides: the event loop and its thread, the cameras and the
// log. API calls are serialised; while the loop runs they execute on it.
class CSimEngine {
public:
    CSimReactor reactor;
    CSimEventLog log;
    std::vector<SimCameraConfig> configs;
    std::vector<std::unique_ptr<CSimCamera>> cameras;
    std::thread thread;
    bool running = false;
    std::mutex apiMutex;

    // Runs `task` on the loop (waiting for it) or, when the loop is not
    // running, right here. The caller holds apiMutex.
    template <typename Task>
    auto Call(Task task) -> decltype(task()) {
        if (!running) {
            return task();
        }
        using Result = decltype(task());
        std::packaged_task<Result()> packaged(std::move(task));
        std::future<Result> result = packaged.get_future();
        reactor.Post([&packaged] { packaged(); });
        return result.get();
    }

    CSimCamera* Find(const std::string& mac) {
        for (auto& camera : cameras) {
            if (SimSameMac(camera->Mac(), mac)) {
                return camera.get();
            }
        }
        return nullptr;
    }

    // Runs `action` on the started camera with this MAC; false when there is none.
    template <typename Action>
    bool WithCamera(const std::string& mac, Action action) {
        std::lock_guard<std::mutex> lock(apiMutex);
        CSimCamera* camera = running ? Find(mac) : nullptr;
        if (!camera) {
            return false;
        }
        Call([&] {
            action(*camera);
            return true;
        });
        return true;
    }

    // A change of description: on the started camera, or before Start on
    // the description it will start from.
    template <typename Action, typename Edit>
    bool Change(const std::string& mac, Action action, Edit edit) {
        {
            std::lock_guard<std::mutex> lock(apiMutex);
            if (!running) {
                for (auto& config : configs) {
                    if (SimSameMac(config.mac, mac)) {
                        edit(config);
                        return true;
                    }
                }
                return false;
            }
        }
        return WithCamera(mac, action);
    }
};

CSimFleet::CSimFleet() : m_engine(std::make_unique<CSimEngine>()) {}

CSimFleet::~CSimFleet() {
    Stop();
}

int CSimFleet::AddCamera(const SimCameraConfig& config) {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    if (engine.running) {
        auto camera = std::make_unique<CSimCamera>(engine.reactor, engine.log, config);
        std::string error;
        if (!camera->Bind(&error)) {
            return -1;
        }
        CSimCamera* raw = camera.get();
        engine.Call([&] {
            engine.cameras.push_back(std::move(camera));
            raw->Start();
            return true;
        });
    }
    engine.configs.push_back(config);
    return static_cast<int>(engine.configs.size()) - 1;
}

void CSimFleet::SetEventObserver(std::function<void(const SimEvent&)> observer) {
    m_engine->log.SetObserver(std::move(observer));
}

bool CSimFleet::SetEventFile(const std::string& path) {
    if (!m_engine->log.OpenFile(path)) {
        LOG_ERROR("CSimFleet::SetEventFile", "cannot open %s", path.c_str());
        return false;
    }
    return true;
}

bool CSimFleet::Start(std::string* error) {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    if (engine.running) {
        return true;
    }
    engine.cameras.clear();
    for (const auto& config : engine.configs) {
        auto camera = std::make_unique<CSimCamera>(engine.reactor, engine.log, config);
        if (!camera->Bind(error)) {
            engine.cameras.clear();
            return false;
        }
        engine.cameras.push_back(std::move(camera));
    }
    engine.log.SetStart(CSimReactor::NowMs());
    engine.thread = std::thread([&engine] { engine.reactor.Run(); });
    engine.running = true;
    engine.Call([&] {
        for (auto& camera : engine.cameras)
            camera->Start();
        return true;
    });
    return true;
}

void CSimFleet::Stop() {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    if (!engine.running) {
        return;
    }
    engine.Call([&] {
        for (auto& camera : engine.cameras)
            camera->Shutdown();
        return true;
    });
    engine.reactor.Quit();
    engine.thread.join();
    engine.running = false;
}

bool CSimFleet::Running() const {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    return m_engine->running;
}

std::vector<SimCameraInfo> CSimFleet::Cameras() const {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    return engine.Call([&] {
        std::vector<SimCameraInfo> out;
        for (const auto& camera : engine.cameras)
            out.push_back(camera->Info());
        return out;
    });
}

std::optional<SimCameraInfo> CSimFleet::Camera(const std::string& mac) const {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    return engine.Call([&]() -> std::optional<SimCameraInfo> {
        CSimCamera* camera = engine.Find(mac);
        if (!camera)
            return std::nullopt;
        return camera->Info();
    });
}

std::optional<SimCameraState> CSimFleet::State(const std::string& mac) const {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    return engine.Call([&]() -> std::optional<SimCameraState> {
        CSimCamera* camera = engine.Find(mac);
        if (!camera)
            return std::nullopt;
        return camera->State();
    });
}

std::vector<SimEvent> CSimFleet::Events() const {
    return m_engine->log.All();
}

std::vector<SimEvent> CSimFleet::Events(const std::string& mac) const {
    return m_engine->log.For(mac);
}

int CSimFleet::CountEvents(const std::string& mac, const std::string& kind) const {
    return m_engine->log.Count(mac, kind);
}

bool CSimFleet::WaitForEvent(const std::string& mac, const std::string& kind, int timeoutMs,
                             int count) const {
    return m_engine->log.WaitFor(mac, kind, count, timeoutMs);
}

void CSimFleet::ClearEvents() {
    m_engine->log.Clear();
}

bool CSimFleet::SetOnline(const std::string& mac, bool online) {
    return m_engine->WithCamera(mac, [&](CSimCamera& c) { c.SetOnline(online); });
}

int CSimFleet::SwitchOnAll() {
    std::lock_guard<std::mutex> lock(m_engine->apiMutex);
    CSimEngine& engine = *m_engine;
    if (!engine.running) {
        return 0;
    }
    return engine.Call([&] {
        int switched = 0;
        for (auto& camera : engine.cameras) {
            switched += camera->SwitchOn() ? 1 : 0;
        }
        return switched;
    });
}

bool CSimFleet::Restart(const std::string& mac, uint32_t offlineMs) {
    return m_engine->WithCamera(mac, [&](CSimCamera& c) { c.Restart(offlineMs); });
}

bool CSimFleet::SetIp2(const std::string& mac, const std::string& ip2, const std::string& mask2) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetIp2(ip2, mask2); },
        [&](SimCameraConfig& c) {
            c.ip2 = ip2;
            c.mask2 = mask2;
        });
}

bool CSimFleet::SetFaults(const std::string& mac, const SimFaults& faults) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetFaults(faults); },
        [&](SimCameraConfig& c) { c.faults = faults; });
}

bool CSimFleet::SetVersion(const std::string& mac, const std::string& softwareVer, int build,
                           uint32_t versionWord) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetVersion(softwareVer, build, versionWord); },
        [&](SimCameraConfig& c) {
            c.softwareVer = softwareVer;
            c.build = build;
            c.versionWord = versionWord;
        });
}

bool CSimFleet::SetCredentials(const std::string& mac, const std::string& user,
                               const std::string& password, SimProtection protection) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetCredentials(user, password, protection); },
        [&](SimCameraConfig& c) {
            c.user = user;
            c.password = password;
            c.protection = protection;
        });
}

bool CSimFleet::SetTimings(const std::string& mac, uint32_t flashMs, uint32_t offlineMs) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetTimings(flashMs, offlineMs); },
        [&](SimCameraConfig& c) {
            c.flashMs = flashMs;
            c.offlineMs = offlineMs;
        });
}

bool CSimFleet::SetPackage(const std::string& mac, const std::vector<uint8_t>& package) {
    return m_engine->Change(
        mac, [&](CSimCamera& c) { c.SetPackage(package); },
        [&](SimCameraConfig& c) { c.package = package; });
}

uint64_t CSimFleet::LoopTurns() const {
    return m_engine->reactor.Turns();
}

std::vector<SimCameraConfig> CSimFleet::UniformFleet(int count, const std::string& baseIp) {
    std::vector<SimCameraConfig> out;
    uint32_t first = 0;
    if (!simnet::ParseIPv4(baseIp, &first)) {
        return out;
    }
    for (int i = 0; i < count; ++i) {
        SimCameraConfig config;
        config.ip = simnet::FormatIPv4(first + static_cast<uint32_t>(i));
        char mac[18];
        std::snprintf(mac, sizeof mac, "00:1A:2B:00:%02X:%02X", ((i + 1) >> 8) & 0xFF,
                      (i + 1) & 0xFF);
        config.mac = mac;
        config.name = "Camera " + std::to_string(i + 1);
        out.push_back(std::move(config));
    }
    return out;
}
