// Simulated cameras for the window's tests: loopback addresses of this
// process's own, the session's short time-outs, packages, and a pump that
// runs the Qt event loop until a condition holds.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "SimFleet.h"
#include "session/SessionOptions.h"
#include "support/SessionHarness.h"

// Runs posted events, timers and repaints until `done` holds or `timeoutMs`
// passed; true when `done` held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

class CGuiSimSetup {
public:
    // `block` (0 to 29) keeps the cameras of one test apart from another's.
    explicit CGuiSimSetup(int block);

    // LoopbackCamera(block, n).
    SimCameraConfig Camera(int n) const;
    // An address in this test's block where nothing listens.
    std::string DeadAddress(int n) const;
    // "ip:searchPort,..." of the started fleet, for SearchTargets.
    static std::string SearchTargets(const CSimFleet& fleet);
    // A new-style package of `size` random bytes behind the 4-byte magic.
    static std::string WritePackage(const std::string& path, size_t size = 20000);

private:
    int m_block;
};

// Ends the test program with `what` when it is still armed after
// `limitMs`: a step that should end within seconds fails the run instead
// of hanging it for as long as a camera wait lasts.
class CWatchdog {
public:
    CWatchdog(int limitMs, std::string what);
    // Disarms and joins.
    ~CWatchdog();
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_disarmed;
    bool m_armed = true;
    std::thread m_thread;
};
