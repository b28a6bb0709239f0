// A scripted camera on loopback: it sends a 64-byte first message and frames
// composed by the test, byte by byte, and reads the frames the client sends.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <thread>

#include "device/NetDVSDevice.h"
#include "net/LoopbackPeer.h"
#include "support/TestLinkTimer.h"

namespace scripted {

using loopback::AppendLE32;
using loopback::Bytes;
using loopback::LE32;

constexpr const char* kMac = "00:1A:2B:3C:4D:5E";

struct ServerInfoSpec {
    uint32_t protocol = 3;
    uint32_t deviceType = 0x11;
    uint32_t productType = 0x2201;
    uint32_t encryptType = 0;
    Bytes encryptParam = {0, 0, 0, 0};
    uint8_t loginEncrypt = 0;
    Bytes nonce = {0, 0, 0};  // bytes 45, 46, 47
    uint8_t streamEncrypted = 0;
};

inline Bytes ServerInfo(const ServerInfoSpec& fields = {}) {
    Bytes info(64, 0);
    info[0] = 0x5A;
    const auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            info[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    put(4, fields.deviceType);
    put(8, fields.productType);
    put(12, fields.protocol);
    put(24, fields.encryptType);
    std::copy(fields.encryptParam.begin(), fields.encryptParam.end(), info.begin() + 28);
    info[44] = fields.loginEncrypt;
    std::copy(fields.nonce.begin(), fields.nonce.end(), info.begin() + 45);
    info[52] = fields.streamEncrypted;
    return info;
}

// A frame as the device sends it, behind the link's data head. `dataLength`
// overrides the head's field.
inline Bytes DeviceFrame(uint32_t cmdType, const Bytes& payload, uint32_t cmdId = 0,
                         std::optional<uint32_t> dataLength = std::nullopt) {
    Bytes frame;
    AppendLE32(frame, cmdType);
    AppendLE32(frame, cmdId);
    AppendLE32(frame, 0);
    AppendLE32(frame, dataLength.value_or(static_cast<uint32_t>(payload.size())));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return loopback::Concat({loopback::DataHead(static_cast<uint32_t>(frame.size())), frame});
}

inline Bytes Hex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words) {
        AppendLE32(out, w);
    }
    return out;
}

// The payload of an accepted login carrying a software version.
inline Bytes LoginAccepted(uint32_t softwareVersion = 0x01020304) {
    Bytes payload(112, 0);
    for (int i = 0; i < 4; ++i) {
        payload[0x2C + i] = static_cast<uint8_t>(softwareVersion >> (8 * i));
    }
    payload[0x22] = 1;     // 16-bit samples
    payload[0x23] = 2;     // channel byte
    payload[0x24] = 0x40;  // 8000 Hz
    payload[0x25] = 0x1F;
    return payload;
}

// A frame the client sent.
struct ClientFrame {
    uint32_t cmdType = 0;
    uint32_t cmdId = 0;
    uint32_t reserved = 0;
    uint32_t dataLength = 0;
    Bytes payload;
    Bytes message;  // the whole link message (frame head and payload)
};

// What the client reports to its owner.
struct EventLog {
    struct Event {
        int32_t event;
        int32_t length;
        Bytes data;
        uint32_t cmdId;
        NET_STREAM_FRAME frame;
        Bytes media;
    };
    std::mutex mutex;
    std::vector<Event> events;

    static int32_t Callback(void* context, CNetDVSDevice*, int32_t event, int32_t length,
                            const void* data, uint32_t cmdId) {
        auto* self = static_cast<EventLog*>(context);
        Event e{event, length, {}, cmdId, {}, {}};
        if (event == 0 || event == 5) {
            e.frame = *static_cast<const NET_STREAM_FRAME*>(data);
            if (e.frame.media != nullptr) {
                e.media.assign(e.frame.media, e.frame.media + e.frame.mediaLength);
            }
        } else if (data != nullptr && length > 0) {
            const auto* bytes = static_cast<const uint8_t*>(data);
            e.data.assign(bytes, bytes + length);
        }
        std::lock_guard<std::mutex> guard(self->mutex);
        self->events.push_back(std::move(e));
        return 0;
    }
    std::vector<Event> Of(int32_t event) {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<Event> out;
        for (const auto& e : events) {
            if (e.event == event) {
                out.push_back(e);
            }
        }
        return out;
    }
    size_t Size() {
        std::lock_guard<std::mutex> guard(mutex);
        return events.size();
    }
};

class CScriptedDevice {
public:
    explicit CScriptedDevice(const char* address = "127.0.0.1") : m_listener(address) {}

    uint16_t Port() const { return m_listener.Port(); }
    const std::string& Address() const { return m_listener.Address(); }
    loopback::CPeer& Peer() { return m_peer; }

    // Connects a client (on this thread) while the device accepts and sends
    // `firstBytes`.
    uint32_t Connect(std::shared_ptr<CNetDVSDevice>& client, const Bytes& firstBytes,
                     EventLog* events = nullptr, uint32_t timeoutMs = 3000) {
        std::thread device([&] {
            m_peer = m_listener.Accept();
            m_peer.Write(firstBytes);
        });
        const uint32_t result = CNetDVSDevice::CreateServerObject(
            client, testing_support::TestLinkTimer(), kMac, Address(), Port(),
            events != nullptr ? &EventLog::Callback : nullptr, events, timeoutMs);
        device.join();
        return result;
    }

    // The next frame the client sent, skipping keep-alives.
    std::optional<ClientFrame> ReadFrame(int timeoutMs = 5000) {
        const Bytes message = m_peer.ReadMessage(timeoutMs);
        if (message.size() < 16) {
            return std::nullopt;
        }
        ClientFrame frame;
        frame.cmdType = LE32(message.data());
        frame.cmdId = LE32(message.data() + 4);
        frame.reserved = LE32(message.data() + 8);
        frame.dataLength = LE32(message.data() + 12);
        frame.payload.assign(message.begin() + 16, message.end());
        frame.message = message;
        return frame;
    }

    bool Send(const Bytes& bytes) { return m_peer.Write(bytes); }
    bool Reply(uint32_t cmdType, const Bytes& payload, uint32_t cmdId = 0) {
        return m_peer.Write(DeviceFrame(cmdType, payload, cmdId));
    }

    // Answers the login request with `replyType` and `payload`; returns the
    // request's payload.
    Bytes AnswerLogin(uint32_t replyType, const Bytes& payload) {
        auto request = ReadFrame();
        if (!request || request->cmdType != NET_CMD_LOGIN) {
            return {};
        }
        Reply(replyType, payload);
        return request->payload;
    }

private:
    loopback::CListener m_listener;
    loopback::CPeer m_peer;
};

// A connected and logged-in client with its scripted device.
struct LoggedInClient {
    CScriptedDevice device;
    EventLog events;
    std::shared_ptr<CNetDVSDevice> client;
    NET_DEVICE_INFO info;

    explicit LoggedInClient(const ServerInfoSpec& fields = {}) {
        if (device.Connect(client, ServerInfo(fields), &events) != NET_OK) {
            ADD_FAILURE() << "connect failed";
            return;
        }
        uint32_t result = 0;
        std::thread login([&] { result = client->LogIn("admin", "739518", &info, false); });
        device.AnswerLogin(NET_REPLY_LOGIN_ACCEPTED, LoginAccepted());
        login.join();
        EXPECT_EQ(result, NET_OK);
    }
};

}  // namespace scripted
