// The camera's side of the binary protocol: the link framing ("1111" data
// heads, fragments), command frames, the 64-byte first message, the login
// check with each credential protection, the login reply and the layout of
// upgrade blocks. Written from the camera's point of view, independently of
// the client.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SimConfig.h"

namespace simwire {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kHeadMagic = 0x31313131;  // "1111"
constexpr uint32_t kFragmentFollows = 0xFFFFFFFF;
constexpr size_t kDataHeadSize = 8;
constexpr size_t kFragmentHeadSize = 24;
constexpr size_t kFrameHeadSize = 16;
constexpr size_t kServerInfoSize = 64;
constexpr size_t kLoginRequestSize = 116;
constexpr size_t kLoginReplySize = 128;
constexpr size_t kCredentialFieldSize = 32;
constexpr uint32_t kEncryptXor = 0x00010000;
constexpr uint32_t kServerInfoHeadFlag = 0x64616568;  // "head"

constexpr uint32_t kCmdLogin = 0x0101;
constexpr uint32_t kReplyLoginOk = 0x01000101;
constexpr uint32_t kReplyLoginRefused = 0x01000102;
constexpr uint32_t kCmdUpgradeStart = 0x0A01;
constexpr uint32_t kCmdUpgradeData = 0x0A02;
constexpr uint32_t kReplyUpgradeError = 0x01000A03;
constexpr uint32_t kReplyUpgradeProgress = 0x01000A04;
// A code no client knows; sent between fragments to test that it is dropped.
constexpr uint32_t kReplyUnknown = 0x01007F7F;

constexpr int kBlockCount = 100;
// Upgrade error word for a block that breaks numbering or layout, and for a
// payload whose MD5 differs from the expected package.
constexpr uint32_t kUpgradeErrorBadBlock = 3;
constexpr uint32_t kUpgradeErrorBadPackage = 7;

// Device login errors.
constexpr uint32_t kLoginErrorCredentials = 2;
constexpr uint32_t kLoginErrorTooManyConnections = 4;

inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void SetU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void AppendU32(Bytes* out, uint32_t v);

// An 8-byte data head (a keep-alive when length is 0).
Bytes DataHead(uint32_t length, uint32_t magic = kHeadMagic);
// A command frame: 16-byte head (cmdType, cmdId, 0, dataLength) + payload.
Bytes Frame(uint32_t cmdType, const uint8_t* payload, size_t length, uint32_t cmdId = 0);
Bytes FrameWithWord(uint32_t cmdType, uint32_t word);
// A whole link message: data head + bytes.
Bytes Message(const Bytes& payload, uint32_t magic = kHeadMagic);
// One fragment on the wire: head with length 0xFFFFFFFF, fragment head, bytes.
Bytes Fragment(uint32_t messageId, uint32_t count, uint32_t total, uint32_t index, uint32_t slot,
               const uint8_t* bytes, uint32_t length);

// The camera's first message.
struct ServerInfo {
    uint32_t deviceType = 0;
    uint32_t productType = 0;
    uint32_t protocolVersion = 3;
    uint32_t encryptType = 0;
    uint32_t encryptParam = 0;  // key bytes in wire order, read little-endian
    uint8_t loginEncrypt = 0;
    uint32_t loginNonce = 0;  // 24 bits
    bool streamEncrypted = false;
};
std::array<uint8_t, kServerInfoSize> BuildServerInfo(const ServerInfo& info);

// What the camera expects in a login request.
struct LoginExpectation {
    SimProtection protection = SimProtection::None;
    std::string user;
    std::string password;
    uint32_t encryptParam = 0;
    uint32_t loginNonce = 0;
};

// The user name and password fields as the camera expects them on the wire.
std::array<uint8_t, kCredentialFieldSize> ExpectedUserField(const LoginExpectation& e);
std::array<uint8_t, kCredentialFieldSize> ExpectedPasswordField(const LoginExpectation& e);

struct LoginCheck {
    bool ok = false;
    std::string reason;  // why a request was refused
    bool upgradeMode = false;
    uint32_t clientNonce = 0;
    std::string localMac;  // "aa:bb:..." from offset 104
    std::string userSeen;  // the user name as the camera could read it back
};
// Checks a login request payload byte for byte against the expectation.
LoginCheck CheckLoginRequest(const uint8_t* payload, size_t length, const LoginExpectation& e);

// Payload of the accepted login reply (0x01000101), carrying softwareVersion.
Bytes LoginAcceptedPayload(uint32_t softwareVersion, const std::array<uint8_t, 6>& mac);

// "4.0.2" -> 0x04000200 (up to four dotted numbers, each cut to a byte).
uint32_t VersionWordFromText(const std::string& text);
// "00:1A:2B:3C:4D:5E" -> bytes; false when it is not six hex pairs.
bool ParseMac(const std::string& text, std::array<uint8_t, 6>* mac);

// Sizes of the blocks for a payload of `length` bytes.
struct BlockLayout {
    uint64_t blockSize = 0;       // blocks 2..100
    uint64_t firstBlockSize = 0;  // block 1
};
BlockLayout LayoutFor(uint64_t length);

// Follows the blocks of one transfer: numbering 1..100 in order, block 1 of
// size f, every later block of one size b with b <= f and f - b < 100, and,
// when the payload length is known in advance, exactly its layout.
class CBlockTracker {
public:
    explicit CBlockTracker(std::optional<uint64_t> expectedLength = std::nullopt)
        : m_expectedLength(expectedLength) {}
    // Checks block `number` with `size` payload bytes; on success it becomes
    // the last accepted block.
    bool Accept(uint32_t number, uint64_t size, std::string* reason);
    int LastBlock() const { return m_last; }
    uint64_t Bytes() const { return m_bytes; }
    bool Complete() const { return m_last == kBlockCount; }

private:
    std::optional<uint64_t> m_expectedLength;
    int m_last = 0;
    uint64_t m_first = 0;
    uint64_t m_block = 0;
    uint64_t m_bytes = 0;
};

}  // namespace simwire
