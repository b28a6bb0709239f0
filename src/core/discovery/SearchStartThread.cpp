#include "discovery/SearchStartThread.h"

#include "app/Logger.h"

FH_LOG_SOURCE("SearchStartThread");

bool CSearchStartThread::Start(Check networkAlive, Action startSearch, uint32_t pollMs) {
    if (m_thread || !networkAlive || !startSearch) {
        return false;
    }
    m_wake.Reset();
    m_thread =
        PUB_CreateThread([this, alive = std::move(networkAlive), start = std::move(startSearch),
                          pollMs] { Run(alive, start, pollMs); },
                         &m_running);
    if (!m_thread) {
        LOG_ERROR("CSearchStartThread::Start", "SearchStartThread cannot be started");
        return false;
    }
    return true;
}

void CSearchStartThread::Stop() {
    if (!m_thread) {
        return;
    }
    m_running = false;
    m_wake.Set();
    PUB_ExitThread(m_thread, &m_running);
}

void CSearchStartThread::Run(const Check& networkAlive, const Action& startSearch,
                             uint32_t pollMs) {
    bool waitLogged = false;
    while (m_running.load()) {
        if (networkAlive()) {
            if (!m_running.load()) {
                break;
            }
            LOG_INFO("SearchStartThread", "network is up, starting the search");
            startSearch();
            m_started = true;
            return;
        }
        if (!waitLogged) {
            LOG_INFO("SearchStartThread", "waiting for the network");
            waitLogged = true;
        }
        m_wake.Wait(static_cast<int>(pollMs));
    }
}
