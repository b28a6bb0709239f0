#include "discovery/LanProbeSearch.h"

#include <memory>
#include <mutex>
#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "discovery/SearchEngine.h"

FH_LOG_SOURCE("LanProbe_Search");

namespace {

constexpr int kDefaultDatagramsPerPass = 32;

struct Library {
    std::mutex mutex;
    std::string adapterName;
    uint16_t searchPort = search::kSearchPort;
    int intervalOverrideMs = 0;
    bool targetsGiven = false;
    std::string targets;
    bool initialised = false;
    LANPROBE_SEARCH_CALLBACK callback = nullptr;
    void* context = nullptr;
    int datagramsPerPass = kDefaultDatagramsPerPass;
    LANPROBE_SEARCH_DIRECTED_TARGETS directedTargets;
    int directedProbeMs = 500;
    std::unique_ptr<CSearchEngine> engine;
};

Library& TheLibrary() {
    static Library library;
    return library;
}

}  // namespace

int LANPROBE_SEARCH_SetNetworkAdapter(const char* adapterName) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    lib.adapterName = adapterName != nullptr ? adapterName : "";
    LOG_INFO("LANPROBE_SEARCH_SetNetworkAdapter", "adapter: '%s'", lib.adapterName.c_str());
    return 0;
}

int LANPROBE_SEARCH_Initial(LANPROBE_SEARCH_CALLBACK callback, void* context,
                            int datagramsPerPass) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    if (lib.initialised) {
        LOG_WARN("LANPROBE_SEARCH_Initial", "already initialised");
        return -1;
    }
    if (callback == nullptr) {
        LOG_ERROR("LANPROBE_SEARCH_Initial", "no callback given");
        return -1;
    }
    lib.callback = callback;
    lib.context = context;
    lib.datagramsPerPass = datagramsPerPass >= 1 ? datagramsPerPass : kDefaultDatagramsPerPass;
    lib.initialised = true;
    return 0;
}

int LANPROBE_SEARCH_StartAuto(int intervalSeconds) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    if (!lib.initialised) {
        LOG_WARN("LANPROBE_SEARCH_StartAuto", "not initialised");
        return -1;
    }
    if (lib.engine) {
        LOG_WARN("LANPROBE_SEARCH_StartAuto", "search already running");
        return -1;
    }
    SearchConfig config;
    config.adapterName = lib.adapterName;
    config.searchPort = lib.searchPort;
    config.datagramsPerPass = lib.datagramsPerPass;
    config.roundIntervalMs = lib.intervalOverrideMs > 0
                                 ? lib.intervalOverrideMs
                                 : (intervalSeconds >= 1 ? intervalSeconds : 5) * 1000;
    config.targets = ParseSearchTargets(
        lib.targetsGiven ? lib.targets : settings::GetString(settings::kSearchTargets),
        lib.searchPort);
    config.directedTargets = lib.directedTargets;
    config.directedProbeMs = lib.directedProbeMs;
    const LANPROBE_SEARCH_CALLBACK callback = lib.callback;
    void* const context = lib.context;
    auto engine = std::make_unique<CSearchEngine>(
        std::move(config),
        [callback, context](const std::string& mac, int kind, const std::string& xml) {
            callback(mac.c_str(), kind, xml.c_str(), context);
        });
    if (!engine->Start()) {
        return -1;
    }
    lib.engine = std::move(engine);
    return 0;
}

int LANPROBE_SEARCH_Quit() {
    Library& lib = TheLibrary();
    std::unique_ptr<CSearchEngine> engine;
    {
        std::lock_guard<std::mutex> guard(lib.mutex);
        if (lib.engine && lib.engine->IsOwnThread()) {
            LOG_ERROR("LANPROBE_SEARCH_Quit", "called from the search callback: refused");
            return -1;
        }
        if (!lib.initialised && !lib.engine) {
            return 0;
        }
        engine = std::move(lib.engine);
        lib.initialised = false;
        lib.callback = nullptr;
        lib.context = nullptr;
    }
    // Joined outside the lock, so that nothing waits on it meanwhile.
    engine.reset();
    return 0;
}

int LANPROBE_SEARCH_SetSearchPort(int port) {
    if (port < 0 || port > 65535) {
        LOG_WARN("LANPROBE_SEARCH_SetSearchPort", "port %d out of range", port);
        return -1;
    }
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    lib.searchPort = port == 0 ? search::kSearchPort : static_cast<uint16_t>(port);
    return 0;
}

int LANPROBE_SEARCH_SetSearchTargets(const char* targets) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    lib.targetsGiven = targets != nullptr;
    lib.targets = targets != nullptr ? targets : "";
    return 0;
}

int LANPROBE_SEARCH_SetRoundIntervalMs(int intervalMs) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    lib.intervalOverrideMs = intervalMs > 0 ? intervalMs : 0;
    return 0;
}

int LANPROBE_SEARCH_SearchNow() {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    if (!lib.engine) {
        return -1;
    }
    lib.engine->SearchNow();
    return 0;
}

int LANPROBE_SEARCH_SetDirectedTargets(LANPROBE_SEARCH_DIRECTED_TARGETS targets, int intervalMs) {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    lib.directedTargets = std::move(targets);
    lib.directedProbeMs = intervalMs > 0 ? intervalMs : 500;
    return 0;
}

int LANPROBE_SEARCH_GetReplyPort() {
    Library& lib = TheLibrary();
    std::lock_guard<std::mutex> guard(lib.mutex);
    return lib.engine ? lib.engine->LocalPort() : 0;
}
