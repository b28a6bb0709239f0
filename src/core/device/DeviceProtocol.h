// The cameras' binary command protocol: frames, records, codes and results.
// All integers on the wire are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

// The head of every command frame; `dataLength` payload bytes follow.
struct NET_CMD_HEAD {
    uint32_t cmdType = 0;  // request code, or reply/notification code
    uint32_t cmdId = 0;    // 0 on sending; passed on to the owner's events
    uint32_t reserved = 0;
    uint32_t dataLength = 0;
};
constexpr uint32_t NET_CMD_HEAD_SIZE = 16;

// Requests used by name; every reply a device sends adds NET_REPLY_BASE to a
// number of its request's family.
constexpr uint32_t NET_REPLY_BASE = 0x01000000;
constexpr uint32_t NET_CMD_LOGIN = 0x0101;
constexpr uint32_t NET_REPLY_LOGIN_ACCEPTED = 0x01000101;
constexpr uint32_t NET_REPLY_LOGIN_REFUSED = 0x01000102;
constexpr uint32_t NET_CMD_OPEN_LIVE_STREAM = 0x0201;
constexpr uint32_t NET_CMD_CLOSE_LIVE_STREAM = 0x0202;
constexpr uint32_t NET_CMD_REOPEN_LIVE_STREAM = 0x0203;
constexpr uint32_t NET_CMD_START_UPGRADE = 0x0A01;
constexpr uint32_t NET_CMD_UPGRADE_DATA = 0x0A02;
constexpr uint32_t NET_CMD_SET_UPGRADE_MODE = 0x0A06;
constexpr uint32_t NET_REPLY_STREAM_FRAME = 0x01000C01;
constexpr uint32_t NET_REPLY_STREAM_FRAME_2 = 0x01000C03;

// The 64 bytes a device sends first, raw, right after the TCP connect.
constexpr uint32_t SERVER_INFO_SIZE = 64;
namespace server_info {
constexpr uint32_t kDeviceType = 4;
constexpr uint32_t kProductType = 8;
constexpr uint32_t kProtocolVersion = 12;
constexpr uint32_t kEncryptType = 24;
constexpr uint32_t kEncryptParam = 28;  // 4 key bytes, wire order
constexpr uint32_t kLoginEncrypt = 44;  // hashing mode 0, 1, 2
constexpr uint32_t kLoginNonce = 45;    // 3 bytes, least significant first
constexpr uint32_t kStreamEncrypted = 52;
constexpr uint32_t kSupportedProtocol = 3;
}  // namespace server_info

// The credential cipher a device may name in `encryptType`.
constexpr uint32_t ENCRYPT_XOR = 0x00010000;

// The login request (payload of 0x0101).
constexpr uint32_t LOGIN_REQUEST_SIZE = 116;
namespace login_request {
constexpr uint32_t kUserName = 4;
constexpr uint32_t kPassword = 36;
constexpr uint32_t kFieldSize = 32;
constexpr uint32_t kClientNonce = 68;
constexpr uint32_t kLocalMac = 104;
constexpr uint32_t kFlags = 111;  // bit 0: upgrade mode
}  // namespace login_request

// What an accepted login tells about the device. Only `softwareVersion` has
// a reader in this program; the other fields keep the reply's words in the
// order the device family's records use.
struct NET_DEVICE_INFO {
    uint32_t word0 = 0;
    uint8_t byte0 = 0;
    bool flag20 = false;  // reply byte 0x20 equals 1
    bool flag19 = false;  // reply byte 0x19 equals 1
    uint32_t softwareVersion = 0;
    uint32_t wordF = 0;
    uint32_t word1 = 1;
    uint32_t wordD = 0;
    int32_t wordMinus1a = -1;
    uint32_t wordC1 = 0;
    uint32_t wordC2 = 0;
    int32_t wordMinus1b = -1;
    uint32_t wordB[5] = {};
    uint32_t wordA = 0;
    uint32_t wordE = 0;
    uint32_t wordH[4] = {};
    uint8_t address[6] = {};
    uint32_t word15 = 15;
    uint32_t wordG = 0;
    bool flag18 = false;  // reply byte 0x18 is non-zero
    bool flag1D = false;  // reply byte 0x1D is non-zero
    uint32_t wordJ = 0;
};
// The accepted login reply carries at least this many payload bytes.
constexpr uint32_t LOGIN_REPLY_MIN_SIZE = 110;

// Results of every client operation.
enum : uint32_t {
    NET_OK = 0,
    NET_LOGIN_WRONG_PASSWORD = 1,  // device error 2
    NET_REFUSED_DETAIL_5 = 2,      // refused data request, detail 5
    NET_REFUSED_DETAIL_6 = 3,      // refused data request, detail 6
    NET_SEND_FAILED = 4,           // not sent, or link lost while waiting
    NET_LOGIN_ERROR_13 = 5,        // device error 13
    NET_LOGIN_TOO_MANY = 6,        // device error 3 or 4
    NET_UPGRADE_ERROR = 8,         // device upgrade error other than 1, 22
    NET_NOT_SUPPORTED = 11,        // base interface
    NET_REQUEST_REFUSED = 12,      // device refused 0x0701
    NET_PROTOCOL_TOO_OLD = 13,     // protocol version below 3
    NET_PROTOCOL_TOO_NEW = 14,     // protocol version above 3
    NET_FAILED = 15,               // connect, first receive, refusal, poll ran out
    NET_STATUS_TIMEOUT = 18,       // a wait on the status event ran out
    NET_UPGRADE_ERROR_1 = 20,      // device upgrade error 1
    NET_UPGRADE_MODE_NEEDED = 22,  // device error 22 (login or upgrade)
    NET_LOGIN_ERROR_23 = 23,
    NET_LOGIN_ERROR_24 = 24,
    NET_LOGIN_ERROR_30 = 30,
    NET_NO_RESOURCES = 65535,  // memory, connect procedure or link
};

// Request state of a client.
enum : uint32_t {
    REQUEST_IDLE = 0,
    REQUEST_WAITING = 1,
    REQUEST_DONE = 2,
    REQUEST_REFUSED = 3,
    REQUEST_LINK_LOST = 4,
};

// connectState of a client.
enum : uint32_t {
    CONNECT_LOGGED_IN = 0,
    CONNECT_LINK_LOST = 4,
    CONNECT_CONNECTED = 100,
};

class CNetDVSDevice;

// The owner's event sink: (owner context, client, event, length, data,
// cmdId). Data is valid during the call only. The result is ignored.
using DeviceEventCallback = int32_t (*)(void* context, CNetDVSDevice* device, int32_t event,
                                        int32_t length, const void* data, uint32_t cmdId);

// Event numbers.
enum : int32_t {
    DEVICE_EVENT_STREAM_FRAME = 0,    // data: NET_STREAM_FRAME, length -1
    DEVICE_EVENT_LINK_LOST = 1,       // null, -1
    DEVICE_EVENT_ALARM = 2,           // data: 3 words (128 or 64, word 0, word 1), 12
    DEVICE_EVENT_STREAM_FRAME_2 = 5,  // data: NET_STREAM_FRAME, length -1
};

// The 40-byte head of a live-stream frame's payload; media data follows.
constexpr uint32_t STREAM_HEAD_SIZE = 40;
// The owner's view of one live-stream frame (event 0 or 5).
struct NET_STREAM_FRAME {
    uint32_t streamHalf = 0;  // stream number / 2
    uint32_t mediaKind = 0;   // 0 video, 1 audio, 4 second stream kind
    uint32_t frameType = 0;   // 1 key frame
    uint32_t zero = 0;
    uint32_t seconds = 0;  // time stamp in whole seconds
    uint32_t mediaLength = 0;
    uint32_t timeLow = 0;  // time stamp in microseconds, low and high words
    uint32_t timeHigh = 0;
    uint32_t passThrough[2] = {};
    uint32_t streamNumber = 0;
    uint32_t encoding = 0;
    uint32_t widthOrRate = 0;    // video: width; audio: sample rate
    uint32_t heightOrAudio = 0;  // video: height; audio: bytes bits, channel byte, 0, 0
    const uint8_t* media = nullptr;

    uint32_t AudioBits() const { return heightOrAudio & 0xFFu; }
    uint32_t AudioChannelByte() const { return (heightOrAudio >> 8) & 0xFFu; }
};

// Little-endian helpers for the wire.
inline uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
