// Simulated cameras for the window's tests: loopback addresses of this
// process's own, the upgrade engine's short time-outs, packages, and a pump
// that runs the Qt event loop until a condition holds.
#pragma once

#include <functional>
#include <string>

#include "SimConfig.h"
#include "SimFleet.h"

// Runs posted events, timers and repaints until `done` holds or `timeoutMs`
// passed; true when `done` held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

class CGuiSimSetup {
public:
    // `block` (0 to 29) keeps the cameras of one test apart from another's.
    explicit CGuiSimSetup(int block);
    // Restores the engine's timings and the search's round interval.
    ~CGuiSimSetup();
    CGuiSimSetup(const CGuiSimSetup&) = delete;
    CGuiSimSetup& operator=(const CGuiSimSetup&) = delete;

    // Camera n (0 to 200) on 127.P.(200+block).(n+1), second address on
    // 127.P.(230+block).(n+1); fast flashing and reboot.
    SimCameraConfig Camera(int n) const;
    // An address in this test's block where nothing listens.
    std::string DeadAddress(int n) const;
    // "ip:searchPort,..." of the started fleet, for SearchTargets.
    static std::string SearchTargets(const CSimFleet& fleet);
    // A new-style package of `size` random bytes behind the 4-byte magic.
    static std::string WritePackage(const std::string& path, size_t size = 20000);

private:
    int m_block;
    int m_pidPart;
};
