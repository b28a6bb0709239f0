// A fleet of simulated cameras running in this process. Tests, benchmarks
// and the firmhand-sim program describe the cameras, start the fleet, talk
// to the cameras over loopback like a client would, and read back what each
// camera saw and decided (its event log).
//
//   CSimFleet fleet;
//   SimCameraConfig cam;
//   cam.mac = "00:1A:2B:00:00:01";
//   cam.ip = "127.0.0.21";
//   cam.flashMs = 200;
//   cam.offlineMs = 300;
//   fleet.AddCamera(cam);
//   ASSERT_TRUE(fleet.Start());
//   SimCameraInfo where = *fleet.Camera(cam.mac);   // real ports
//   ...
//   EXPECT_TRUE(fleet.WaitForEvent(cam.mac, "flash_start", 5000));
//
// All cameras share one event thread (poll), so an idle fleet of 64 cameras
// costs next to nothing. Every method may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SimConfig.h"
#include "SimEvent.h"

class CSimEngine;

class CSimFleet {
public:
    CSimFleet();
    ~CSimFleet();  // stops the fleet
    CSimFleet(const CSimFleet&) = delete;
    CSimFleet& operator=(const CSimFleet&) = delete;

    // Adds a camera and returns its index. A camera added after Start is
    // bound and started at once; -1 when that fails.
    int AddCamera(const SimCameraConfig& config);

    // Also appends every event as a JSON line to this file; false when it
    // cannot be opened.
    bool SetEventFile(const std::string& path);

    // Binds every camera's sockets and starts the event thread. False (and
    // *error) when an address or port cannot be bound; nothing runs then.
    bool Start(std::string* error = nullptr);
    // Closes every socket and joins the event thread. Safe to call twice.
    void Stop();
    bool Running() const;

    // Where each camera is (actual ports), in the order added.
    std::vector<SimCameraInfo> Cameras() const;
    // One camera by MAC (letter case ignored).
    std::optional<SimCameraInfo> Camera(const std::string& mac) const;
    // Run-time state; nullopt for an unknown MAC.
    std::optional<SimCameraState> State(const std::string& mac) const;

    // Events of every camera, or of one, in order.
    std::vector<SimEvent> Events() const;
    std::vector<SimEvent> Events(const std::string& mac) const;
    int CountEvents(const std::string& mac, const std::string& kind) const;
    // Waits until the camera has logged at least `count` events of `kind`.
    bool WaitForEvent(const std::string& mac, const std::string& kind, int timeoutMs,
                      int count = 1) const;
    void ClearEvents();
    // Called on the fleet's thread with every event as it happens, before
    // the camera answers what caused it; null removes it. The observer must
    // not call back into the fleet.
    void SetEventObserver(std::function<void(const SimEvent&)> observer);

    // Run-time changes; false for an unknown MAC. SetIp2, SetFaults,
    // SetVersion, SetCredentials, SetTimings and SetPackage also work before
    // Start (they change the description); changes made while running last
    // until Stop (a restarted fleet starts from the descriptions).
    // Offline: TCP, HTTP and discovery fall silent (open connections are
    // closed). Back online: a new bootId, as after a restart.
    bool SetOnline(const std::string& mac, bool online);
    // Switches on every camera still switched off (SimCameraConfig::
    // switchedOff); how many were.
    int SwitchOnAll();
    // Goes offline now and comes back after offlineMs (a restart).
    bool Restart(const std::string& mac, uint32_t offlineMs);
    // Changes (or with an empty ip2, removes) the second address.
    bool SetIp2(const std::string& mac, const std::string& ip2, const std::string& mask2);
    bool SetFaults(const std::string& mac, const SimFaults& faults);
    bool SetVersion(const std::string& mac, const std::string& softwareVer, int build,
                    uint32_t versionWord = 0);
    bool SetCredentials(const std::string& mac, const std::string& user,
                        const std::string& password, SimProtection protection);
    bool SetTimings(const std::string& mac, uint32_t flashMs, uint32_t offlineMs);
    bool SetPackage(const std::string& mac, const std::vector<uint8_t>& package);

    // How often the fleet's event thread has woken up: an idle fleet (no
    // open connections, no pending timers) does not wake at all.
    uint64_t LoopTurns() const;

    // N cameras with consecutive addresses from baseIp and MACs
    // 00:1A:2B:00:00:01 upwards, ports 0.
    static std::vector<SimCameraConfig> UniformFleet(int count, const std::string& baseIp);

private:
    std::unique_ptr<CSimEngine> m_engine;
};
