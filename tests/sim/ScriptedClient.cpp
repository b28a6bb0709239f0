#include "ScriptedClient.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kMagic = 0x31313131;
constexpr uint32_t kUnknownCode = 0x01007F7F;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string HexUpper(const unsigned char* p, size_t n) {
    std::string out;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        out += b;
    }
    return out;
}

}  // namespace

uint32_t ClientFrame::Word() const {
    return payload.size() >= 4 ? LE32(payload.data()) : 0xFFFFFFFFu;
}

bool CScriptedClient::Connect(const std::string& ip, uint16_t port, int timeoutMs) {
    m_peer.Close();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1)
        return false;
    loopback::CPeer peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!peer.Valid())
        return false;
    const int flags = fcntl(peer.Fd(), F_GETFL);
    fcntl(peer.Fd(), F_SETFL, flags | O_NONBLOCK);
    // Non-blocking, so that a camera that takes no connection ends the wait.
    if (::connect(peer.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        pollfd p{peer.Fd(), POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || ::poll(&p, 1, timeoutMs) != 1 ||
            getsockopt(peer.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return false;
    }
    fcntl(peer.Fd(), F_SETFL, flags);
    m_peer = std::move(peer);
    return true;
}

bool CScriptedClient::Refused(const std::string& ip, uint16_t port) {
    CScriptedClient probe;
    return !probe.Connect(ip, port, 500);
}

bool CScriptedClient::ReadExact(uint8_t* out, size_t length, int timeoutMs) {
    const ByteVec bytes = m_peer.Read(length, timeoutMs);
    std::copy(bytes.begin(), bytes.end(), out);
    return bytes.size() == length;
}

bool CScriptedClient::ReadServerInfo(std::array<uint8_t, 64>* out, int timeoutMs) {
    return ReadExact(out->data(), out->size(), timeoutMs);
}

bool CScriptedClient::SendFrame(uint32_t cmdType, const ByteVec& payload) {
    ByteVec out = loopback::DataHead(static_cast<uint32_t>(16 + payload.size()));
    for (const uint32_t word : {cmdType, 0u, 0u, static_cast<uint32_t>(payload.size())})
        AppendLE32(out, word);
    out.insert(out.end(), payload.begin(), payload.end());
    return SendRaw(out);
}

ReadResult CScriptedClient::ReadFrame(ClientFrame* frame, int timeoutMs) {
    const int64_t end = NowMs() + timeoutMs;
    for (;;) {
        const int left = static_cast<int>(std::max<int64_t>(end - NowMs(), 0));
        uint8_t head[8];
        pollfd p{m_peer.Fd(), POLLIN, 0};
        if (::poll(&p, 1, left) != 1)
            return ReadResult::Timeout;
        if (!ReadExact(head, 8, 2000))
            return ReadResult::Closed;
        if (LE32(head) != kMagic)
            return ReadResult::BadHead;
        const uint32_t length = LE32(head + 4);
        ByteVec message;
        if (length == 0) {
            ++keepAlives;
            continue;
        }
        if (length == 0xFFFFFFFF) {
            uint8_t f[24];
            if (!ReadExact(f, 24, 2000))
                return ReadResult::Closed;
            const uint32_t id = LE32(f), count = LE32(f + 4), total = LE32(f + 8),
                           index = LE32(f + 12), fragLength = LE32(f + 16), slotNo = LE32(f + 20);
            ByteVec bytes(fragLength);
            if (fragLength > (1u << 24) || !ReadExact(bytes.data(), fragLength, 2000))
                return ReadResult::Closed;
            ++fragments;
            if (slotNo > 1) {
                ++strayFragments;
                continue;
            }
            Slot& slot = m_slots[slotNo];
            slotsUsed[slotNo] = true;
            if (index == 1) {
                slot = Slot{true, id, count, total, {}};
            } else if (!slot.busy || slot.id != id || slot.count != count || slot.total != total) {
                ++strayFragments;
                continue;
            }
            slot.data.insert(slot.data.end(), bytes.begin(), bytes.end());
            if (index != count)
                continue;
            if (slot.data.size() != slot.total)
                return ReadResult::BadHead;
            message = std::move(slot.data);
            slot = Slot{};
        } else {
            message.resize(length);
            if (!ReadExact(message.data(), length, 2000))
                return ReadResult::Closed;
        }
        if (message.size() < 16)
            return ReadResult::BadHead;
        frame->cmdType = LE32(message.data());
        frame->cmdId = LE32(message.data() + 4);
        const uint32_t dataLength = LE32(message.data() + 12);
        if (dataLength > message.size() - 16)
            return ReadResult::BadHead;
        frame->payload.assign(message.begin() + 16, message.begin() + 16 + dataLength);
        return ReadResult::Frame;
    }
}

ReadResult CScriptedClient::ReadReply(ClientFrame* frame, int timeoutMs) {
    const int64_t end = NowMs() + timeoutMs;
    for (;;) {
        const ReadResult r =
            ReadFrame(frame, static_cast<int>(std::max<int64_t>(end - NowMs(), 0)));
        if (r == ReadResult::Frame && frame->cmdType == kUnknownCode) {
            ++unknownFrames;
            continue;
        }
        return r;
    }
}

ByteVec BuildLoginRequest(const std::array<uint8_t, 64>& info, const std::string& user,
                          const std::string& password, bool upgradeMode, uint32_t clientNonce) {
    ByteVec request(116, 0);
    std::memcpy(&request[4], user.data(), std::min<size_t>(user.size(), 32));
    std::memcpy(&request[36], password.data(), std::min<size_t>(password.size(), 32));
    const uint8_t mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
    std::memcpy(&request[104], mac, 6);
    request[111] = upgradeMode ? 1 : 0;
    const uint32_t encryptType = LE32(&info[24]);
    const uint8_t loginEncrypt = info[44];
    if (encryptType != 0) {
        const uint8_t* key = &info[28];
        const size_t n = std::min<size_t>(user.size() + 1, 32);
        for (size_t i = 0; i < n; ++i)
            request[4 + i] ^= key[i % 4];
        for (size_t i = 0; i < 32; ++i)
            request[36 + i] ^= key[i % 4];
    } else if (loginEncrypt == 1 || loginEncrypt == 2) {
        unsigned char md5[16];
        unsigned int len = 0;
        EVP_Digest(password.data(), password.size(), md5, &len, EVP_md5(), nullptr);
        const uint32_t nonce = info[45] + 256u * info[46] + 65536u * info[47];
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08d", static_cast<int>(nonce));
        const std::string s = HexUpper(md5, 16) + digits;
        unsigned char sha[20];
        EVP_Digest(s.data(), s.size(), sha, &len, EVP_sha1(), nullptr);
        std::memset(&request[36], 0, 32);
        std::memcpy(&request[36], sha, 20);
        for (int i = 0; i < 4; ++i)
            request[68 + i] = uint8_t(clientNonce >> (8 * i));
        if (loginEncrypt == 2) {
            const std::string k = std::to_string(nonce);
            for (size_t i = 0; i < 32; ++i) {
                if (request[4 + i] != 0)
                    request[4 + i] ^= uint8_t(k[i % k.size()]);
            }
        }
    }
    return request;
}

uint32_t LogIn(CScriptedClient& client, const std::array<uint8_t, 64>& info,
               const std::string& user, const std::string& password, bool upgradeMode,
               ClientFrame* reply) {
    if (!client.SendFrame(0x0101, BuildLoginRequest(info, user, password, upgradeMode, 4242))) {
        return 0;
    }
    ClientFrame frame;
    if (client.ReadFrame(&frame, 3000) != ReadResult::Frame) {
        return 0;
    }
    if (reply)
        *reply = frame;
    return frame.cmdType;
}

bool SendBlock(CScriptedClient& client, uint32_t number, const uint8_t* data, size_t length) {
    ByteVec payload;
    AppendLE32(payload, number);
    payload.insert(payload.end(), data, data + length);
    return client.SendFrame(0x0A02, payload);
}

TransferOutcome SendPackage(CScriptedClient& client, const ByteVec& payload, bool newStyle,
                            int ackTimeoutMs) {
    TransferOutcome outcome;
    if (newStyle) {
        ByteVec one;
        AppendLE32(one, 1);
        client.SendFrame(0x0A01, one);
    }
    const size_t b = payload.size() / 100;
    const size_t f = payload.size() % 100 + b;
    size_t offset = 0;
    for (uint32_t k = 1; k <= 100; ++k) {
        const size_t n = k == 1 ? f : b;
        if (!SendBlock(client, k, payload.data() + offset, n)) {
            outcome.end = ReadResult::Closed;
            return outcome;
        }
        offset += n;
        ClientFrame reply;
        const ReadResult r = client.ReadReply(&reply, ackTimeoutMs);
        if (r != ReadResult::Frame) {
            outcome.end = r;
            return outcome;
        }
        if (reply.cmdType == 0x01000A03) {
            outcome.error = reply.Word();
            return outcome;
        }
        if (reply.cmdType != 0x01000A04 || reply.Word() != k) {
            outcome.end = ReadResult::BadHead;
            return outcome;
        }
        outcome.lastAck = static_cast<int>(k);
    }
    return outcome;
}

ByteVec MakePackage(size_t length, bool newStyle, uint32_t productType) {
    ByteVec package(length);
    for (size_t i = 0; i < length; ++i)
        package[i] = static_cast<uint8_t>((i * 7 + 3) ^ (i >> 8));
    if (newStyle) {
        const uint32_t magic = 0x20220118;
        std::memcpy(package.data(), &magic, 4);
    } else {
        ByteVec trailer(64, 0);
        std::memcpy(trailer.data(), "head", 4);
        trailer[4] = 5;
        std::memcpy(&trailer[8], &productType, 4);
        package.insert(package.end(), trailer.begin(), trailer.end());
    }
    return package;
}
