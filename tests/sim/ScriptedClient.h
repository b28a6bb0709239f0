// A minimal client of the cameras' binary protocol, scripted by the tests:
// blocking reads with time-outs, its own framing, fragment reassembly and
// login encoding, written from the protocol description and not from the
// simulator's code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/LoopbackPeer.h"

using ByteVec = std::vector<uint8_t>;
using loopback::AppendLE32;
using loopback::LE32;

struct ClientFrame {
    uint32_t cmdType = 0;
    uint32_t cmdId = 0;
    ByteVec payload;
    uint32_t Word() const;  // payload word 0, or 0xFFFFFFFF when too short
};

enum class ReadResult { Frame, Timeout, Closed, BadHead };

class CScriptedClient {
public:
    CScriptedClient() = default;
    CScriptedClient(const CScriptedClient&) = delete;
    CScriptedClient& operator=(const CScriptedClient&) = delete;

    bool Connect(const std::string& ip, uint16_t port, int timeoutMs = 2000);
    // True when the connection was refused or timed out.
    static bool Refused(const std::string& ip, uint16_t port);
    void Close() { m_peer.Close(); }

    bool ReadExact(uint8_t* out, size_t length, int timeoutMs);
    bool ReadServerInfo(std::array<uint8_t, 64>* out, int timeoutMs = 2000);
    bool SendRaw(const ByteVec& bytes) { return m_peer.Write(bytes); }
    bool SendFrame(uint32_t cmdType, const ByteVec& payload);

    // The next whole frame (keep-alives skipped, fragments reassembled).
    ReadResult ReadFrame(ClientFrame* frame, int timeoutMs);
    // The next frame other than the unknown code 0x01007F7F.
    ReadResult ReadReply(ClientFrame* frame, int timeoutMs);
    // True when the peer closed within the time (nothing else arrives).
    bool WaitClosed(int timeoutMs) { return m_peer.WaitClosed(timeoutMs); }

    int keepAlives = 0;
    int fragments = 0;
    int strayFragments = 0;
    int unknownFrames = 0;
    std::array<bool, 2> slotsUsed{};

private:
    struct Slot {
        bool busy = false;
        uint32_t id = 0;
        uint32_t count = 0;
        uint32_t total = 0;
        ByteVec data;
    };
    loopback::CPeer m_peer;
    Slot m_slots[2];
};

// The 116-byte login request for the camera whose first message is `info`.
ByteVec BuildLoginRequest(const std::array<uint8_t, 64>& info, const std::string& user,
                          const std::string& password, bool upgradeMode, uint32_t clientNonce);

// Logs in; returns the reply frame's cmdType (0 on failure) and its frame.
uint32_t LogIn(CScriptedClient& client, const std::array<uint8_t, 64>& info,
               const std::string& user, const std::string& password, bool upgradeMode,
               ClientFrame* reply);

struct TransferOutcome {
    int lastAck = 0;                     // last block acknowledged
    uint32_t error = 0;                  // upgrade error word, 0 if none
    ReadResult end = ReadResult::Frame;  // how it stopped when not complete
};
// Sends `payload` as 100 blocks, each after the acknowledgement of the one
// before (0x0A01 first for a new-style package). `firstBlockOverride` and
// friends let tests break the layout.
TransferOutcome SendPackage(CScriptedClient& client, const ByteVec& payload, bool newStyle,
                            int ackTimeoutMs = 3000);

// Sends one block (number + bytes).
bool SendBlock(CScriptedClient& client, uint32_t number, const uint8_t* data, size_t length);

// A new-style package (magic first) of `length` bytes with varied content.
ByteVec MakePackage(size_t length, bool newStyle, uint32_t productType = 0x2020);
