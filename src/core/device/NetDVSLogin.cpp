// The login: the request with its credential protection, and the one reply
// that is read from the link directly.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "app/Logger.h"
#include "device/Base64.h"
#include "device/Digest.h"
#include "device/Encrypt.h"
#include "device/NetDVSDevice.h"

FH_LOG_SOURCE("NetDVSDevice");

namespace {

constexpr uint32_t kLoginReplyLimitMs = 20000;
constexpr uint32_t kClientNonceRange = 16776960;

// The request has room for 32 bytes of each text.
std::string Cut(const char* text) {
    if (text == nullptr) {
        return {};
    }
    return std::string(text, strnlen(text, login_request::kFieldSize));
}

uint32_t NextClientNonce() {
    static std::once_flag seeded;
    std::call_once(seeded, [] { std::srand(static_cast<unsigned>(std::time(nullptr))); });
    return 1 + static_cast<uint32_t>(std::rand()) % kClientNonceRange;
}

// How a secret shows in the log: never its bytes, only its length.
std::string Hidden(size_t length) {
    return "[hidden " + std::to_string(length) + "]";
}

}  // namespace

uint32_t CNetDVSDevice::LoginNonce() const {
    const uint8_t* nonce = m_serverInfo.data() + server_info::kLoginNonce;
    return nonce[0] + 256u * nonce[1] + 65536u * nonce[2];
}

std::array<uint8_t, LOGIN_REQUEST_SIZE> CNetDVSDevice::BuildLoginRequest(
    const std::string& user, const std::string& password, bool upgradeMode,
    uint32_t& clientNonce) const {
    using namespace login_request;
    std::array<uint8_t, LOGIN_REQUEST_SIZE> request{};
    std::memcpy(request.data() + kLocalMac, m_localMac.data(), m_localMac.size());
    std::memcpy(request.data() + kUserName, user.data(), user.size());
    std::memcpy(request.data() + kPassword, password.data(), password.size());
    request[kFlags] = upgradeMode ? 1 : 0;
    uint8_t* userField = request.data() + kUserName;
    uint8_t* passwordField = request.data() + kPassword;
    clientNonce = 0;

    const uint32_t encryptType = ReadLE32(m_serverInfo.data() + server_info::kEncryptType);
    const uint8_t loginEncrypt = m_serverInfo[server_info::kLoginEncrypt];
    if (encryptType != 0) {
        const std::span<const uint8_t> key(m_serverInfo.data() + server_info::kEncryptParam, 4);
        // The user name goes with its terminating zero when there is room.
        const size_t userBytes = std::min<size_t>(user.size() + 1, kFieldSize);
        CredentialCipherFactory::Make(encryptType)->Encrypt({userField, userBytes}, key);
        CredentialCipherFactory::Make(encryptType)->Encrypt({passwordField, kFieldSize}, key);
        return request;
    }
    if (loginEncrypt == 0) {
        return request;
    }
    // Hashing modes (an unknown mode is hashed like mode 1, so the password
    // never travels in clear to a device that asked for a hash).
    const uint32_t nonce = LoginNonce();
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%08u", nonce);
    const std::string salted =
        DigestToHex(DigestMd5(password.data(), password.size()), true) + digits;
    const SHA1_DIGEST hashed = DigestSha1(salted.data(), salted.size());
    std::memset(passwordField, 0, kFieldSize);
    std::memcpy(passwordField, hashed.data(), hashed.size());
    clientNonce = NextClientNonce();
    WriteLE32(request.data() + login_request::kClientNonce, clientNonce);
    if (loginEncrypt == 2) {
        std::snprintf(digits, sizeof(digits), "%u", nonce);
        const size_t keyLength = std::strlen(digits);
        for (size_t i = 0; i < kFieldSize; ++i) {
            if (userField[i] != 0) {
                userField[i] ^= static_cast<uint8_t>(digits[i % keyLength]);
            }
        }
    }
    return request;
}

void CNetDVSDevice::FillDeviceInfo(const uint8_t* payload, uint32_t length, NET_DEVICE_INFO& info) {
    uint8_t b[LOGIN_REPLY_MIN_SIZE] = {};
    std::memcpy(b, payload, std::min<uint32_t>(length, sizeof(b)));
    info = NET_DEVICE_INFO{};
    info.wordA = ReadLE32(b);
    for (int i = 0; i < 5; ++i) {
        info.wordB[i] = ReadLE32(b + 0x04 + 4 * i);
    }
    info.flag18 = b[0x18] != 0;
    info.flag19 = b[0x19] == 1;
    info.wordC1 = b[0x1A];
    info.wordC2 = b[0x1B];
    info.flag1D = b[0x1D] != 0;
    info.wordD = b[0x1F] != 0 ? b[0x23] : 0;
    info.flag20 = b[0x20] == 1;
    m_audioWidthCode = b[0x22];
    m_audioChannelByte = b[0x23];
    m_audioSampleRate = ReadLE32(b + 0x24);
    const uint32_t e = ReadLE32(b + 0x28);
    info.wordE = e == 1 ? 15 : (e == 2 ? 14 : 12);
    info.softwareVersion = ReadLE32(b + 0x2C);
    info.wordF = ReadLE32(b + 0x30);
    std::memcpy(info.address, b + 0x34, sizeof(info.address));
    info.wordG = ReadLE32(b + 0x5C);
    for (int i = 0; i < 4; ++i) {
        info.wordH[i] = b[0x60 + i];
    }
    info.wordJ = b[0x6D];
}

uint32_t CNetDVSDevice::LogIn(const char* userName, const char* password, NET_DEVICE_INFO* info,
                              bool upgradeMode) {
    const std::string user = Cut(userName);
    const std::string secret = Cut(password);
    uint32_t clientNonce = 0;
    const auto request = BuildLoginRequest(user, secret, upgradeMode, clientNonce);

    const uint8_t* nonce = m_serverInfo.data() + server_info::kLoginNonce;
    LOG_INFO(
        "CNetDVSDevice::LogIn",
        "encryptType: 0x%08X, encryptParam: 0x%08X, loginEncrypt: %d, loginNonce: "
        "%d.%d.%d, clientNonce: 0x%08X, upgradeMode: %d, username: %s(%s), password: "
        "%s(%s), mac: %s",
        ReadLE32(m_serverInfo.data() + server_info::kEncryptType),
        ReadLE32(m_serverInfo.data() + server_info::kEncryptParam),
        m_serverInfo[server_info::kLoginEncrypt], nonce[2], nonce[1], nonce[0], clientNonce,
        upgradeMode ? 1 : 0, user.c_str(),
        Base64Encode(request.data() + login_request::kUserName, login_request::kFieldSize).c_str(),
        Hidden(secret.size()).c_str(), Hidden(login_request::kFieldSize).c_str(), m_mac.c_str());

    for (auto& counter : m_counters) {
        counter.store(0);
    }
    if (SendPackcmd(NET_CMD_LOGIN, LOGIN_REQUEST_SIZE, request.data(), 0) != NET_OK) {
        return NET_SEND_FAILED;
    }
    std::vector<uint8_t> reply;
    if (m_link->RecvData(reply, true, kLoginReplyLimitMs) != SWL_RECV_DONE) {
        return NET_SEND_FAILED;
    }

    uint32_t cmdType = 0;
    uint32_t dataLength = 0;
    if (reply.size() >= NET_CMD_HEAD_SIZE) {
        cmdType = ReadLE32(reply.data());
        dataLength = std::min<uint32_t>(ReadLE32(reply.data() + 12),
                                        static_cast<uint32_t>(reply.size()) - NET_CMD_HEAD_SIZE);
    }
    // A reply shorter than a frame head has no payload to point at.
    const uint8_t* payload =
        reply.size() >= NET_CMD_HEAD_SIZE ? reply.data() + NET_CMD_HEAD_SIZE : nullptr;

    if (cmdType == NET_REPLY_LOGIN_REFUSED) {
        const uint32_t error = dataLength >= 4 ? ReadLE32(payload) : 0;
        LOG_WARN("CNetDVSDevice::LogIn", "login failed %d, mac: %s", error, m_mac.c_str());
        // A refusal is never a success, whatever error it carries.
        const uint32_t result = MapLoginError(error);
        return result == NET_OK ? NET_FAILED : result;
    }
    if (cmdType != NET_REPLY_LOGIN_ACCEPTED) {
        LOG_WARN("CNetDVSDevice::LogIn", "login failed, unexpected reply 0x%08X, mac: %s", cmdType,
                 m_mac.c_str());
        return NET_FAILED;
    }
    if (dataLength < LOGIN_REPLY_MIN_SIZE) {
        LOG_WARN("CNetDVSDevice::LogIn", "short login reply %u, mac: %s", dataLength,
                 m_mac.c_str());
    }
    NET_DEVICE_INFO filled;
    FillDeviceInfo(payload, dataLength, filled);
    m_deviceInfo = filled;
    if (info != nullptr) {
        *info = filled;
    }
    m_link->StartAutoRecv();
    CPUB_LockAction guard(m_progressLock);
    m_connectState = CONNECT_LOGGED_IN;
    return NET_OK;
}
