// One simulated camera: its listening sockets (device protocol and HTTP on
// its first and second address), its search socket, its life cycle (online,
// flashing, offline, back with a new boot id) and the sessions of its
// clients. Lives on the fleet's event loop: every method runs on the loop's
// thread, except Bind, which runs before the loop starts.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "SimConfig.h"
#include "SimCrypto.h"
#include "SimEvent.h"
#include "SimNet.h"

class CSimReactor;
class CSimEventLog;
class CSimDeviceSession;
class CSimHttpSession;

class CSimCamera {
public:
    CSimCamera(CSimReactor& reactor, CSimEventLog& log, const SimCameraConfig& config);
    ~CSimCamera();
    CSimCamera(const CSimCamera&) = delete;
    CSimCamera& operator=(const CSimCamera&) = delete;

    // Binds every socket (ports 0 are picked here); nothing listens yet.
    bool Bind(std::string* error);
    void Start();
    void Shutdown();

    const std::string& Mac() const { return m_config.mac; }
    SimCameraInfo Info() const;
    SimCameraState State() const;

    // Run-time changes.
    void SetOnline(bool online);
    // Switches on a camera that started switched off; false for any other.
    bool SwitchOn();
    void Restart(uint32_t offlineMs);
    void SetIp2(const std::string& ip2, const std::string& mask2);
    void SetFaults(const SimFaults& faults);
    void SetVersion(const std::string& softwareVer, int build, uint32_t versionWord);
    void SetCredentials(const std::string& user, const std::string& password,
                        SimProtection protection);
    void SetTimings(uint32_t flashMs, uint32_t offlineMs);
    void SetPackage(const std::vector<uint8_t>& package);

    // For the sessions.
    CSimReactor& Reactor() { return m_reactor; }
    const SimCameraConfig& Config() const { return m_config; }
    void Log(SimEvent event);
    uint32_t VersionWord() const;
    bool UpgradeMode() const { return m_upgradeMode; }
    bool Online() const { return m_phase != Phase::Offline; }
    bool SwitchedOff() const { return m_switchedOff; }
    // The next forced login error (0: judge the login normally).
    uint32_t TakeForcedLoginError();
    void CountLogin() { ++m_logins; }
    int LoggedInSessions() const;
    // Length and MD5 of the expected payload, when a package was given.
    std::optional<uint64_t> ExpectedPayloadLength() const;
    const std::optional<SimMd5>& ExpectedMd5() const { return m_expectedMd5; }
    // Block 100 was acknowledged: flash, go offline, come back upgraded.
    void TransferCompleted();
    // Upgrade error 22 was reported: restart into upgrade mode.
    void RestartIntoUpgradeMode();
    void NoteBlock(int block) { m_lastBlock = block; }
    // Removes a finished session on the next turn of the loop.
    void DropSession(int id);
    void DropHttpSession(int id);
    // HTTP digest authentication.
    std::string NewDigestNonce();
    bool KnownDigestNonce(const std::string& nonce) const;
    const std::string& DigestOpaque() const { return m_digestOpaque; }
    void CountHttpRequest() { ++m_httpRequests; }

    // The search reply as it stands now.
    std::string SearchReply() const;

private:
    enum class Phase { Online, Flashing, Offline };
    struct Listener {
        std::string ip;
        uint16_t port = 0;
        CSimFd fd;
        bool listening = false;
    };

    bool BindListener(Listener* listener, const std::string& ip, uint16_t port, std::string* error);
    void Listen(Listener* listener, bool http);
    void Silence(Listener* listener);
    void OnAccept(Listener* listener, bool http);
    void OnDatagram(int fd);
    void GoOffline(const std::string& reason);
    void GoOnline();
    void CancelPhaseTimer();
    void ScheduleIp2Change();
    void ApplyUpgrade();
    void CloseSessions();
    void NewBootId();

    CSimReactor& m_reactor;
    CSimEventLog& m_log;
    SimCameraConfig m_config;
    std::array<uint8_t, 6> m_macBytes{};

    Listener m_data[2];  // first and second address
    Listener m_http[2];
    CSimFd m_search;
    CSimFd m_multicast;
    uint16_t m_searchPort = 0;

    Phase m_phase = Phase::Offline;
    bool m_switchedOff = false;  // started switched off, not switched on yet
    bool m_started = false;
    bool m_upgradeMode = false;
    std::string m_bootId;
    uint64_t m_phaseTimer = 0;
    uint64_t m_ip2Timer = 0;
    size_t m_forcedLoginIndex = 0;

    std::optional<SimMd5> m_expectedMd5;
    std::optional<uint64_t> m_expectedLength;

    std::map<int, std::unique_ptr<CSimDeviceSession>> m_sessions;
    std::map<int, std::unique_ptr<CSimHttpSession>> m_httpSessions;
    int m_nextSessionId = 1;

    std::deque<std::string> m_digestNonces;
    std::string m_digestOpaque;

    int m_logins = 0;
    int m_lastBlock = 0;
    int m_upgradesCompleted = 0;
    int m_probesAnswered = 0;
    int m_httpRequests = 0;
};
