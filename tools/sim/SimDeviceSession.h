// One client connection to a camera's device-protocol port: the 64-byte
// first message, keep-alives every second, the login check, and the
// upgrade transfer with its acknowledgements and the faults the camera
// plays on it. Runs on the fleet's event loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SimCrypto.h"
#include "SimNet.h"
#include "SimWire.h"

class CSimCamera;

class CSimDeviceSession {
public:
    CSimDeviceSession(CSimCamera& camera, CSimFd fd, int id, std::string peer, std::string localIp);
    ~CSimDeviceSession();
    CSimDeviceSession(const CSimDeviceSession&) = delete;
    CSimDeviceSession& operator=(const CSimDeviceSession&) = delete;

    // Sends the first message and starts watching the socket.
    void Begin();
    // Closes the connection (idempotent); the camera then drops the object.
    void Close(const std::string& reason);
    bool LoggedIn() const { return m_loggedIn; }

    // Largest link message the camera takes (a block of a 6 GB package).
    static constexpr uint32_t kMaxMessage = 64u << 20;

private:
    void OnIo(bool readable, bool writable);
    void ReadInput();
    void ProcessInput();
    void HandleMessage(const uint8_t* data, size_t length);
    void HandleLogin(const uint8_t* payload, size_t length);
    void HandleUpgradeStart(const uint8_t* payload, size_t length);
    void HandleBlock(const uint8_t* payload, size_t length);
    bool MayUpgrade(uint32_t cmdType);
    void StartTransfer(bool newStyle);
    void RefuseBlock(uint32_t number, const std::string& reason, uint32_t error);

    void SendBytes(const simwire::Bytes& bytes);
    // Sends one frame as a link message, cut into fragments when the camera
    // plays that fault and `mayFragment` is set.
    void SendFrame(const simwire::Bytes& frame, bool mayFragment = true);
    void SendFragmented(const simwire::Bytes& frame);
    void Flush();
    void ArmKeepAlive();
    void Finish(const std::string& reason);

    CSimCamera& m_camera;
    CSimFd m_fd;
    const int m_id;
    const std::string m_peer;
    const std::string m_localIp;
    bool m_closed = false;
    bool m_loggedIn = false;
    uint64_t m_keepAliveTimer = 0;

    std::vector<uint8_t> m_in;
    size_t m_inPos = 0;
    std::vector<uint8_t> m_out;
    size_t m_outPos = 0;
    bool m_wantWrite = false;

    // What the first message announced.
    SimProtection m_protection = SimProtection::None;
    uint32_t m_encryptParam = 0;
    uint32_t m_loginNonce = 0;

    // The transfer in progress.
    bool m_transferActive = false;
    bool m_newStyle = false;
    bool m_acksStopped = false;
    simwire::CBlockTracker m_tracker;
    CSimMd5Stream m_md5;

    uint32_t m_nextMessageId = 1;
    uint32_t m_fragmentedReplies = 0;
};
