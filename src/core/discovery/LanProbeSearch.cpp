#include "discovery/LanProbeSearch.h"

#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "discovery/SearchEngine.h"

FH_LOG_SOURCE("LanProbe_Search");

namespace {

constexpr int kDefaultDatagramsPerPass = 32;

}  // namespace

CLanProbeSearch::CLanProbeSearch()
    : m_searchPort(search::kSearchPort), m_datagramsPerPass(kDefaultDatagramsPerPass) {}

CLanProbeSearch::~CLanProbeSearch() {
    Quit();
}

int CLanProbeSearch::SetNetworkAdapter(const char* adapterName) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_adapterName = adapterName != nullptr ? adapterName : "";
    LOG_INFO("LANPROBE_SEARCH_SetNetworkAdapter", "adapter: '%s'", m_adapterName.c_str());
    return 0;
}

int CLanProbeSearch::Initial(LANPROBE_SEARCH_CALLBACK callback, void* context,
                             int datagramsPerPass) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_initialised) {
        LOG_WARN("LANPROBE_SEARCH_Initial", "already initialised");
        return -1;
    }
    if (callback == nullptr) {
        LOG_ERROR("LANPROBE_SEARCH_Initial", "no callback given");
        return -1;
    }
    m_callback = callback;
    m_context = context;
    m_datagramsPerPass = datagramsPerPass >= 1 ? datagramsPerPass : kDefaultDatagramsPerPass;
    m_initialised = true;
    return 0;
}

int CLanProbeSearch::StartAuto(int intervalSeconds) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_initialised) {
        LOG_WARN("LANPROBE_SEARCH_StartAuto", "not initialised");
        return -1;
    }
    if (m_engine) {
        LOG_WARN("LANPROBE_SEARCH_StartAuto", "search already running");
        return -1;
    }
    SearchConfig config;
    config.adapterName = m_adapterName;
    config.searchPort = m_searchPort;
    config.datagramsPerPass = m_datagramsPerPass;
    config.roundIntervalMs = m_intervalOverrideMs > 0
                                 ? m_intervalOverrideMs
                                 : (intervalSeconds >= 1 ? intervalSeconds : 5) * 1000;
    config.targets = ParseSearchTargets(
        m_targetsGiven ? m_targets : settings::GetString(settings::kSearchTargets), m_searchPort);
    config.directedTargets = m_directedTargets;
    config.directedProbeMs = m_directedProbeMs;
    const LANPROBE_SEARCH_CALLBACK callback = m_callback;
    void* const context = m_context;
    auto engine = std::make_unique<CSearchEngine>(
        std::move(config),
        [callback, context](const std::string& mac, int kind, const std::string& xml) {
            callback(mac.c_str(), kind, xml.c_str(), context);
        });
    if (!engine->Start()) {
        return -1;
    }
    m_engine = std::move(engine);
    return 0;
}

int CLanProbeSearch::Quit() {
    std::unique_ptr<CSearchEngine> engine;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_engine && m_engine->IsOwnThread()) {
            LOG_ERROR("LANPROBE_SEARCH_Quit", "called from the search callback: refused");
            return -1;
        }
        if (!m_initialised && !m_engine) {
            return 0;
        }
        engine = std::move(m_engine);
        m_initialised = false;
        m_callback = nullptr;
        m_context = nullptr;
    }
    // Joined outside the lock, so that nothing waits on it meanwhile.
    engine.reset();
    return 0;
}

int CLanProbeSearch::SetSearchPort(int port) {
    if (port < 0 || port > 65535) {
        LOG_WARN("LANPROBE_SEARCH_SetSearchPort", "port %d out of range", port);
        return -1;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_searchPort = port == 0 ? search::kSearchPort : static_cast<uint16_t>(port);
    return 0;
}

int CLanProbeSearch::SetSearchTargets(const char* targets) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_targetsGiven = targets != nullptr;
    m_targets = targets != nullptr ? targets : "";
    return 0;
}

int CLanProbeSearch::SetRoundIntervalMs(int intervalMs) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_intervalOverrideMs = intervalMs > 0 ? intervalMs : 0;
    return 0;
}

int CLanProbeSearch::SearchNow() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_engine) {
        return -1;
    }
    m_engine->SearchNow();
    return 0;
}

int CLanProbeSearch::SetDirectedTargets(DirectedTargets targets, int intervalMs) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_directedTargets = std::move(targets);
    m_directedProbeMs = intervalMs > 0 ? intervalMs : 500;
    return 0;
}

int CLanProbeSearch::GetReplyPort() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_engine ? m_engine->LocalPort() : 0;
}
