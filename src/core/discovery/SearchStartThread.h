// The thread that waits for the network and then starts the automatic
// search. It polls the network-presence check; Stop ends the wait at once,
// so that shutting down without a network never hangs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/Pub.h"

class CSearchStartThread {
public:
    using Check = std::function<bool()>;
    using Action = std::function<void()>;

    CSearchStartThread() = default;
    ~CSearchStartThread() { Stop(); }
    CSearchStartThread(const CSearchStartThread&) = delete;
    CSearchStartThread& operator=(const CSearchStartThread&) = delete;

    // Asks `networkAlive` every `pollMs` until it holds, then runs
    // `startSearch` once and ends. False if already started or the thread
    // cannot be created.
    bool Start(Check networkAlive, Action startSearch, uint32_t pollMs = 500);
    // Sets the stop flag, wakes the thread and joins it. Harmless twice.
    void Stop();

    bool HasStartedSearch() const { return m_started.load(); }

private:
    void Run(const Check& networkAlive, const Action& startSearch, uint32_t pollMs);

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_started{false};
    CPUB_Event m_wake{true, false};
    PUB_THREAD m_thread;
};
