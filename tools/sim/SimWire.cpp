#include "SimWire.h"

#include <cstdio>
#include <cstring>

#include "SimCrypto.h"

namespace simwire {

void AppendU32(Bytes* out, uint32_t v) {
    uint8_t b[4];
    SetU32(b, v);
    out->insert(out->end(), b, b + 4);
}

Bytes DataHead(uint32_t length, uint32_t magic) {
    Bytes head;
    AppendU32(&head, magic);
    AppendU32(&head, length);
    return head;
}

Bytes Frame(uint32_t cmdType, const uint8_t* payload, size_t length, uint32_t cmdId) {
    Bytes frame;
    frame.reserve(kFrameHeadSize + length);
    AppendU32(&frame, cmdType);
    AppendU32(&frame, cmdId);
    AppendU32(&frame, 0);
    AppendU32(&frame, static_cast<uint32_t>(length));
    if (length > 0) {
        frame.insert(frame.end(), payload, payload + length);
    }
    return frame;
}

Bytes FrameWithWord(uint32_t cmdType, uint32_t word) {
    uint8_t b[4];
    SetU32(b, word);
    return Frame(cmdType, b, 4);
}

Bytes Message(const Bytes& payload, uint32_t magic) {
    Bytes message = DataHead(static_cast<uint32_t>(payload.size()), magic);
    message.insert(message.end(), payload.begin(), payload.end());
    return message;
}

Bytes Fragment(uint32_t messageId, uint32_t count, uint32_t total, uint32_t index, uint32_t slot,
               const uint8_t* bytes, uint32_t length) {
    Bytes out = DataHead(kFragmentFollows);
    AppendU32(&out, messageId);
    AppendU32(&out, count);
    AppendU32(&out, total);
    AppendU32(&out, index);
    AppendU32(&out, length);
    AppendU32(&out, slot);
    out.insert(out.end(), bytes, bytes + length);
    return out;
}

std::array<uint8_t, kServerInfoSize> BuildServerInfo(const ServerInfo& info) {
    std::array<uint8_t, kServerInfoSize> out{};
    SetU32(&out[0], kServerInfoHeadFlag);
    SetU32(&out[4], info.deviceType);
    SetU32(&out[8], info.productType);
    SetU32(&out[12], info.protocolVersion);
    SetU32(&out[24], info.encryptType);
    SetU32(&out[28], info.encryptParam);
    out[44] = info.loginEncrypt;
    out[45] = uint8_t(info.loginNonce);
    out[46] = uint8_t(info.loginNonce >> 8);
    out[47] = uint8_t(info.loginNonce >> 16);
    out[52] = info.streamEncrypted ? 1 : 0;
    return out;
}

namespace {

using Field = std::array<uint8_t, kCredentialFieldSize>;

Field TextField(const std::string& text) {
    Field field{};
    std::memcpy(field.data(), text.data(), std::min(text.size(), field.size()));
    return field;
}

uint8_t KeyByte(uint32_t param, size_t i) {
    return uint8_t(param >> (8 * (i % 4)));
}

// The nonce digits that LoginEncrypt2 XORs into the user name.
std::string NonceDigits(uint32_t nonce) {
    return std::to_string(nonce & 0xFFFFFF);
}

std::string MacText(const uint8_t* mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

bool AllZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

std::string UntilNul(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len] != 0)
        ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

}  // namespace

Field ExpectedUserField(const LoginExpectation& e) {
    Field field = TextField(e.user);
    switch (e.protection) {
        case SimProtection::None:
        case SimProtection::LoginEncrypt1:
            break;
        case SimProtection::Xor: {
            // The name and its terminating zero (when it fits) are XORed.
            const size_t n = std::min(e.user.size() + 1, kCredentialFieldSize);
            for (size_t i = 0; i < n; ++i)
                field[i] ^= KeyByte(e.encryptParam, i);
            break;
        }
        case SimProtection::LoginEncrypt2: {
            const std::string k = NonceDigits(e.loginNonce);
            for (size_t i = 0; i < field.size(); ++i) {
                if (field[i] != 0)
                    field[i] ^= uint8_t(k[i % k.size()]);
            }
            break;
        }
    }
    return field;
}

Field ExpectedPasswordField(const LoginExpectation& e) {
    Field field = TextField(e.password);
    switch (e.protection) {
        case SimProtection::None:
            break;
        case SimProtection::Xor:
            for (size_t i = 0; i < field.size(); ++i)
                field[i] ^= KeyByte(e.encryptParam, i);
            break;
        case SimProtection::LoginEncrypt1:
        case SimProtection::LoginEncrypt2: {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08u", e.loginNonce & 0xFFFFFF);
            const std::string s = SimHex(SimMd5Of(e.password), true) + digits;
            const SimSha1 sha = SimSha1Of(s);
            field.fill(0);
            std::memcpy(field.data(), sha.data(), sha.size());
            break;
        }
    }
    return field;
}

LoginCheck CheckLoginRequest(const uint8_t* p, size_t length, const LoginExpectation& e) {
    LoginCheck check;
    if (length != kLoginRequestSize) {
        check.reason = "request length " + std::to_string(length);
        return check;
    }
    check.clientNonce = GetU32(p + 68);
    check.localMac = MacText(p + 104);
    check.upgradeMode = (p[111] & 1) != 0;

    // Read the user name back as far as the protection allows (for the log).
    uint8_t user[kCredentialFieldSize];
    std::memcpy(user, p + 4, sizeof user);
    if (e.protection == SimProtection::Xor) {
        for (size_t i = 0; i < sizeof user; ++i)
            user[i] ^= KeyByte(e.encryptParam, i);
    } else if (e.protection == SimProtection::LoginEncrypt2) {
        const std::string k = NonceDigits(e.loginNonce);
        for (size_t i = 0; i < sizeof user; ++i) {
            if (user[i] != 0)
                user[i] ^= uint8_t(k[i % k.size()]);
        }
    }
    check.userSeen = UntilNul(user, sizeof user);

    const bool hashing = e.protection == SimProtection::LoginEncrypt1 ||
                         e.protection == SimProtection::LoginEncrypt2;
    const Field expectedUser = ExpectedUserField(e);
    const Field expectedPassword = ExpectedPasswordField(e);
    if (std::memcmp(p + 4, expectedUser.data(), expectedUser.size()) != 0) {
        check.reason = "user name field";
    } else if (std::memcmp(p + 36, expectedPassword.data(), expectedPassword.size()) != 0) {
        check.reason = "password field";
    } else if (hashing && (check.clientNonce < 1 || check.clientNonce > 16776960)) {
        check.reason = "clientNonce out of range";
    } else if (!hashing && check.clientNonce != 0) {
        check.reason = "clientNonce not 0";
    } else if (!AllZero(p, 4) || !AllZero(p + 72, 32) || p[110] != 0 || (p[111] & 0xFE) != 0 ||
               !AllZero(p + 112, 4)) {
        check.reason = "reserved bytes not 0";
    } else {
        check.ok = true;
    }
    return check;
}

Bytes LoginAcceptedPayload(uint32_t softwareVersion, const std::array<uint8_t, 6>& mac) {
    Bytes payload(kLoginReplySize, 0);
    SetU32(&payload[0x00], 1);  // channels
    SetU32(&payload[0x04], 1);
    payload[0x18] = 1;
    payload[0x22] = 1;             // 16-bit audio samples
    payload[0x23] = 1;             // mono
    SetU32(&payload[0x24], 8000);  // audio sample rate
    SetU32(&payload[0x28], 1);
    SetU32(&payload[0x2C], softwareVersion);
    std::memcpy(&payload[0x34], mac.data(), mac.size());
    return payload;
}

uint32_t VersionWordFromText(const std::string& text) {
    uint32_t parts[4] = {0, 0, 0, 0};
    int index = 0;
    bool digits = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            parts[index] = std::min<uint32_t>(parts[index] * 10 + uint32_t(c - '0'), 255);
            digits = true;
        } else if (c == '.' && digits) {
            if (++index == 4)
                break;
            digits = false;
        } else {
            break;
        }
    }
    return (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
}

bool ParseMac(const std::string& text, std::array<uint8_t, 6>* mac) {
    if (text.size() != 17) {
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':') {
            return false;
        }
        unsigned value = 0;
        for (int j = 0; j < 2; ++j) {
            const char c = text[i * 3 + j];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= unsigned(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= unsigned(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= unsigned(c - 'A' + 10);
            } else {
                return false;
            }
        }
        (*mac)[i] = uint8_t(value);
    }
    return true;
}

BlockLayout LayoutFor(uint64_t length) {
    BlockLayout layout;
    layout.blockSize = length / kBlockCount;
    layout.firstBlockSize = length % kBlockCount + layout.blockSize;
    return layout;
}

bool CBlockTracker::Accept(uint32_t number, uint64_t size, std::string* reason) {
    auto refuse = [&](const std::string& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (m_last >= kBlockCount) {
        return refuse("block " + std::to_string(number) + " after block 100");
    }
    if (number != uint32_t(m_last + 1)) {
        return refuse("block " + std::to_string(number) + " where " + std::to_string(m_last + 1) +
                      " was due");
    }
    if (m_expectedLength) {
        const BlockLayout layout = LayoutFor(*m_expectedLength);
        const uint64_t due = number == 1 ? layout.firstBlockSize : layout.blockSize;
        if (size != due) {
            return refuse("block " + std::to_string(number) + " has " + std::to_string(size) +
                          " bytes where " + std::to_string(due) + " were due");
        }
    } else if (number == 2) {
        if (size > m_first || m_first - size >= uint64_t(kBlockCount)) {
            return refuse("block 2 has " + std::to_string(size) + " bytes after a first block of " +
                          std::to_string(m_first));
        }
    } else if (number > 2 && size != m_block) {
        return refuse("block " + std::to_string(number) + " has " + std::to_string(size) +
                      " bytes where " + std::to_string(m_block) + " were due");
    }
    if (number == 1) {
        m_first = size;
    } else if (number == 2) {
        m_block = size;
    }
    m_last = int(number);
    m_bytes += size;
    return true;
}

}  // namespace simwire
