#include "SimDeviceSession.h"

#include <cstdio>

#include "SimCamera.h"
#include "SimReactor.h"
#include "app/Logger.h"

FH_LOG_SOURCE("SimDeviceSession");

using namespace simwire;

namespace {
constexpr uint32_t kKeepAliveMs = 1000;
constexpr size_t kReadChunk = 256 * 1024;
constexpr size_t kReadPerTurn = 4u << 20;
constexpr size_t kMaxPendingOutput = 8u << 20;
// A data head that is not "1111" ("ABCD").
constexpr uint32_t kBadMagic = 0x44434241;

std::string Hex32(uint32_t v) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}
}  // namespace

CSimDeviceSession::CSimDeviceSession(CSimCamera& camera, CSimFd fd, int id, std::string peer,
                                     std::string localIp)
    : m_camera(camera),
      m_fd(std::move(fd)),
      m_id(id),
      m_peer(std::move(peer)),
      m_localIp(std::move(localIp)) {}

CSimDeviceSession::~CSimDeviceSession() {
    Close("gone");
}

void CSimDeviceSession::Begin() {
    const SimCameraConfig& config = m_camera.Config();
    m_protection = config.protection;
    m_encryptParam = config.encryptParam ? *config.encryptParam : SimRandom();
    m_loginNonce = (config.loginNonce ? *config.loginNonce : SimRandom()) & 0xFFFFFF;

    ServerInfo info;
    info.deviceType = config.deviceType;
    info.productType = config.productType;
    info.protocolVersion = config.protocolVersion;
    info.streamEncrypted = config.streamEncrypted;
    switch (m_protection) {
        case SimProtection::None:
            break;
        case SimProtection::Xor:
            info.encryptType = kEncryptXor;
            info.encryptParam = m_encryptParam;
            break;
        case SimProtection::LoginEncrypt1:
        case SimProtection::LoginEncrypt2:
            info.loginEncrypt = m_protection == SimProtection::LoginEncrypt1 ? 1 : 2;
            info.loginNonce = m_loginNonce;
            break;
    }
    SimEvent e;
    e.kind = "connect";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("peer", m_peer).Add("local", m_localIp)));

    const int fd = m_fd.Get();
    m_camera.Reactor().Watch(fd, false, [this](bool r, bool w) { OnIo(r, w); });
    const auto first = BuildServerInfo(info);
    SendBytes(Bytes(first.begin(), first.end()));
    ArmKeepAlive();
}

void CSimDeviceSession::Close(const std::string& reason) {
    if (m_closed) {
        return;
    }
    m_closed = true;
    SimEvent e;
    e.kind = "disconnect";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("reason", reason)));
    CSimReactor& reactor = m_camera.Reactor();
    if (m_keepAliveTimer) {
        reactor.Cancel(m_keepAliveTimer);
        m_keepAliveTimer = 0;
    }
    reactor.Unwatch(m_fd.Get());
    m_fd.Reset();
}

void CSimDeviceSession::Finish(const std::string& reason) {
    Close(reason);
    m_camera.DropSession(m_id);
}

void CSimDeviceSession::ArmKeepAlive() {
    m_keepAliveTimer = m_camera.Reactor().After(kKeepAliveMs, [this] {
        m_keepAliveTimer = 0;
        SendBytes(DataHead(0));
        if (!m_closed)
            ArmKeepAlive();
    });
}

// ---- output --------------------------------------------------------------

void CSimDeviceSession::SendBytes(const Bytes& bytes) {
    if (m_closed) {
        return;
    }
    if (m_out.size() - m_outPos + bytes.size() > kMaxPendingOutput) {
        Finish("client does not read");
        return;
    }
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    Flush();
}

void CSimDeviceSession::Flush() {
    while (!m_closed && m_outPos < m_out.size()) {
        const long n =
            simnet::SendSome(m_fd.Get(), m_out.data() + m_outPos, m_out.size() - m_outPos);
        if (n == -1) {
            break;
        }
        if (n < 0) {
            Finish("send failed");
            return;
        }
        m_outPos += static_cast<size_t>(n);
    }
    if (m_closed) {
        return;
    }
    if (m_outPos == m_out.size()) {
        m_out.clear();
        m_outPos = 0;
    }
    const bool want = m_outPos < m_out.size();
    if (want != m_wantWrite) {
        m_wantWrite = want;
        m_camera.Reactor().SetWrite(m_fd.Get(), want);
    }
}

void CSimDeviceSession::SendFrame(const Bytes& frame, bool mayFragment) {
    if (mayFragment && m_camera.Config().faults.fragmentReplies) {
        SendFragmented(frame);
    } else {
        SendBytes(Message(frame));
    }
}

// The reply goes in three fragments in one slot while an unknown frame goes
// in two fragments in the other; a stray fragment, keep-alives and a whole
// unknown frame are mixed in. A client must deliver the reply once, whole.
void CSimDeviceSession::SendFragmented(const Bytes& frame) {
    const uint32_t slot = m_fragmentedReplies++ % 2;
    const uint32_t other = 1 - slot;
    const uint32_t replyId = m_nextMessageId++;
    const uint32_t unknownId = m_nextMessageId++;
    const uint32_t strayId = m_nextMessageId++;
    const uint32_t total = static_cast<uint32_t>(frame.size());
    const uint32_t a = total / 3;
    const uint32_t b = total / 3;
    const uint32_t c = total - a - b;
    const Bytes unknown = FrameWithWord(kReplyUnknown, 0x5A5A5A5A);
    const uint32_t u1 = static_cast<uint32_t>(unknown.size()) / 2;
    const uint32_t u2 = static_cast<uint32_t>(unknown.size()) - u1;
    const uint8_t stray[4] = {0xEE, 0xEE, 0xEE, 0xEE};

    Bytes out;
    auto append = [&out](const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };
    append(Fragment(strayId, 3, 12, 2, slot, stray, sizeof stray));
    append(Fragment(replyId, 3, total, 1, slot, frame.data(), a));
    append(DataHead(0));
    append(Fragment(unknownId, 2, static_cast<uint32_t>(unknown.size()), 1, other, unknown.data(),
                    u1));
    append(Fragment(replyId, 3, total, 2, slot, frame.data() + a, b));
    append(Message(FrameWithWord(kReplyUnknown, 0)));
    append(Fragment(unknownId, 2, static_cast<uint32_t>(unknown.size()), 2, other,
                    unknown.data() + u1, u2));
    append(DataHead(0));
    append(Fragment(replyId, 3, total, 3, slot, frame.data() + a + b, c));
    SendBytes(out);
}

// ---- input ---------------------------------------------------------------

void CSimDeviceSession::OnIo(bool readable, bool writable) {
    if (writable) {
        Flush();
    }
    if (readable && !m_closed) {
        ReadInput();
    }
}

void CSimDeviceSession::ReadInput() {
    size_t taken = 0;
    while (!m_closed && taken < kReadPerTurn) {
        const size_t old = m_in.size();
        m_in.resize(old + kReadChunk);
        const long n = simnet::RecvSome(m_fd.Get(), m_in.data() + old, kReadChunk);
        m_in.resize(old + static_cast<size_t>(n > 0 ? n : 0));
        if (n == -1) {
            break;
        }
        if (n == 0) {
            Finish("peer closed");
            return;
        }
        if (n < 0) {
            Finish("receive failed");
            return;
        }
        taken += static_cast<size_t>(n);
        ProcessInput();
    }
}

void CSimDeviceSession::ProcessInput() {
    while (!m_closed && m_in.size() - m_inPos >= kDataHeadSize) {
        const uint8_t* head = m_in.data() + m_inPos;
        const uint32_t magic = GetU32(head);
        const uint32_t length = GetU32(head + 4);
        auto bad = [&](const std::string& reason) {
            SimEvent e;
            e.kind = "bad_frame";
            m_camera.Log(std::move(e.Add("conn", m_id).Add("reason", reason)));
            LOG_WARN("CSimDeviceSession::ProcessInput", "%s, closing, mac: %s", reason.c_str(),
                     m_camera.Mac().c_str());
            Finish("bad data");
        };
        if (magic != kHeadMagic) {
            bad("data head magic " + Hex32(magic));
            return;
        }
        if (length == 0) {
            m_inPos += kDataHeadSize;  // keep-alive
            continue;
        }
        if (length == kFragmentFollows) {
            bad("fragment from a client");
            return;
        }
        if (length > kMaxMessage) {
            bad("message of " + std::to_string(length) + " bytes");
            return;
        }
        if (m_in.size() - m_inPos < kDataHeadSize + length) {
            break;
        }
        HandleMessage(head + kDataHeadSize, length);
        m_inPos += kDataHeadSize + length;
    }
    if (m_inPos == m_in.size()) {
        m_in.clear();
        m_inPos = 0;
    } else if (m_inPos > (1u << 20)) {
        m_in.erase(m_in.begin(), m_in.begin() + static_cast<long>(m_inPos));
        m_inPos = 0;
    }
}

void CSimDeviceSession::HandleMessage(const uint8_t* data, size_t length) {
    auto bad = [&](const std::string& reason) {
        SimEvent e;
        e.kind = "bad_frame";
        m_camera.Log(std::move(e.Add("conn", m_id).Add("reason", reason)));
    };
    if (length < kFrameHeadSize) {
        bad("frame of " + std::to_string(length) + " bytes");
        return;
    }
    const uint32_t cmdType = GetU32(data);
    const uint32_t dataLength = GetU32(data + 12);
    if (dataLength > length - kFrameHeadSize) {
        bad("dataLength " + std::to_string(dataLength) + " beyond the message");
        return;
    }
    const uint8_t* payload = data + kFrameHeadSize;
    if (cmdType == kCmdLogin) {
        HandleLogin(payload, dataLength);
        return;
    }
    if (cmdType == kCmdUpgradeStart || cmdType == kCmdUpgradeData) {
        if (!MayUpgrade(cmdType)) {
            return;
        }
        if (cmdType == kCmdUpgradeStart) {
            HandleUpgradeStart(payload, dataLength);
        } else {
            HandleBlock(payload, dataLength);
        }
        return;
    }
    SimEvent e;
    e.kind = "unknown_command";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("cmd", Hex32(cmdType))));
}

// ---- login ---------------------------------------------------------------

void CSimDeviceSession::HandleLogin(const uint8_t* payload, size_t length) {
    const SimCameraConfig& config = m_camera.Config();
    m_camera.CountLogin();
    LoginExpectation expect;
    expect.protection = m_protection;
    expect.user = config.user;
    expect.password = config.password;
    expect.encryptParam = m_encryptParam;
    expect.loginNonce = m_loginNonce;
    const LoginCheck check = CheckLoginRequest(payload, length, expect);
    {
        SimEvent e;
        e.kind = "login";
        e.Add("conn", m_id)
            .Add("user", check.userSeen)
            .Add("upgradeMode", check.upgradeMode)
            .Add("clientNonce", int64_t{check.clientNonce})
            .Add("localMac", check.localMac);
        m_camera.Log(std::move(e));
    }
    if (config.faults.silentLogin) {
        return;
    }

    uint32_t error = 0;
    std::string reason;
    if (const uint32_t forced = m_camera.TakeForcedLoginError()) {
        error = forced;
        reason = "forced";
    } else if (config.faults.tooManyConnections) {
        error = kLoginErrorTooManyConnections;
        reason = "too many connections";
    } else if (config.faults.maxSessions > 0 &&
               m_camera.LoggedInSessions() >= config.faults.maxSessions && !m_loggedIn) {
        error = kLoginErrorTooManyConnections;
        reason = "too many sessions";
    } else if (!check.ok) {
        error = kLoginErrorCredentials;
        reason = "credentials: " + check.reason;
    }
    if (error != 0) {
        SimEvent e;
        e.kind = "login_refused";
        m_camera.Log(std::move(e.Add("conn", m_id).Add("error", error).Add("reason", reason)));
        SendFrame(FrameWithWord(kReplyLoginRefused, error), false);
        return;
    }

    m_loggedIn = true;
    const uint32_t version = m_camera.VersionWord();
    SimEvent e;
    e.kind = "login_ok";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("softwareVersion", Hex32(version))));
    std::array<uint8_t, 6> mac{};
    ParseMac(config.mac, &mac);
    const Bytes reply = LoginAcceptedPayload(version, mac);
    const Bytes frame = Frame(kReplyLoginOk, reply.data(), reply.size());
    if (config.faults.invalidHeadAtLogin) {
        SimEvent bad;
        bad.kind = "invalid_head";
        m_camera.Log(std::move(bad.Add("conn", m_id).Add("at", "login")));
        SendBytes(Message(frame, kBadMagic));
        return;
    }
    // The login reply is read outside the dispatch, so it always goes whole.
    SendFrame(frame, false);
}

// ---- upgrade -------------------------------------------------------------

bool CSimDeviceSession::MayUpgrade(uint32_t cmdType) {
    // A camera that is not activated takes a new-style package without login.
    if (m_loggedIn || m_camera.Config().deviceActivated == 1) {
        return true;
    }
    SimEvent e;
    e.kind = "no_login";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("cmd", Hex32(cmdType))));
    return false;
}

void CSimDeviceSession::StartTransfer(bool newStyle) {
    m_transferActive = true;
    m_newStyle = newStyle;
    m_acksStopped = false;
    m_tracker = CBlockTracker(m_camera.ExpectedPayloadLength());
    m_md5.Reset();
    m_camera.NoteBlock(0);
    SimEvent e;
    e.kind = "upgrade_start";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("style", newStyle ? "new" : "old")));
}

void CSimDeviceSession::HandleUpgradeStart(const uint8_t* payload, size_t length) {
    if (length < 4 || GetU32(payload) != 1) {
        SimEvent e;
        e.kind = "bad_frame";
        m_camera.Log(std::move(e.Add("conn", m_id).Add("reason", "0x0A01 without the word 1")));
    }
    StartTransfer(true);
}

void CSimDeviceSession::RefuseBlock(uint32_t number, const std::string& reason, uint32_t error) {
    SimEvent e;
    e.kind = "block_rejected";
    m_camera.Log(std::move(
        e.Add("conn", m_id).Add("n", int64_t{number}).Add("reason", reason).Add("error", error)));
    SendFrame(FrameWithWord(kReplyUpgradeError, error));
    m_transferActive = false;
}

void CSimDeviceSession::HandleBlock(const uint8_t* payload, size_t length) {
    if (length < 4) {
        RefuseBlock(0, "block without its number", kUpgradeErrorBadBlock);
        return;
    }
    const uint32_t number = GetU32(payload);
    const uint64_t size = length - 4;
    if (!m_transferActive) {
        StartTransfer(false);
    }
    const SimFaults& faults = m_camera.Config().faults;
    const int n = static_cast<int>(number);
    if (faults.closeAtBlock > 0 && n == faults.closeAtBlock) {
        SimEvent e;
        e.kind = "close_at_block";
        m_camera.Log(std::move(e.Add("conn", m_id).Add("n", n)));
        Finish("fault: close at block");
        return;
    }
    if (faults.upgradeErrorAtBlock > 0 && n == faults.upgradeErrorAtBlock &&
        !m_camera.UpgradeMode()) {
        SimEvent e;
        e.kind = "upgrade_error";
        m_camera.Log(
            std::move(e.Add("conn", m_id).Add("n", n).Add("word", faults.upgradeErrorWord)));
        SendFrame(FrameWithWord(kReplyUpgradeError, faults.upgradeErrorWord));
        m_transferActive = false;
        if (faults.upgradeErrorWord == 22) {
            m_camera.RestartIntoUpgradeMode();
        }
        return;
    }
    std::string reason;
    if (!m_tracker.Accept(number, size, &reason)) {
        RefuseBlock(number, reason, kUpgradeErrorBadBlock);
        return;
    }
    m_md5.Update(payload + 4, static_cast<size_t>(size));
    m_camera.NoteBlock(n);
    if (faults.stopAcksAtBlock > 0 && n >= faults.stopAcksAtBlock) {
        if (!m_acksStopped) {
            m_acksStopped = true;
            SimEvent e;
            e.kind = "acks_stopped";
            m_camera.Log(std::move(e.Add("conn", m_id).Add("n", n)));
        }
        return;
    }
    if (n == kBlockCount) {
        const SimMd5 digest = m_md5.Final();
        const auto& expected = m_camera.ExpectedMd5();
        const bool ok = !expected || *expected == digest;
        SimEvent e;
        e.kind = "transfer_done";
        m_camera.Log(std::move(e.Add("conn", m_id)
                                   .Add("bytes", int64_t(m_tracker.Bytes()))
                                   .Add("md5", SimHex(digest, true))
                                   .Add("md5Checked", expected.has_value())
                                   .Add("md5Ok", ok)));
        m_transferActive = false;
        if (!ok) {
            SendFrame(FrameWithWord(kReplyUpgradeError, kUpgradeErrorBadPackage));
            return;
        }
    }
    SimEvent e;
    e.kind = "block";
    m_camera.Log(std::move(e.Add("conn", m_id).Add("n", n).Add("size", int64_t(size))));
    const Bytes ack = FrameWithWord(kReplyUpgradeProgress, number);
    if (faults.invalidHeadAtBlock > 0 && n == faults.invalidHeadAtBlock) {
        SimEvent bad;
        bad.kind = "invalid_head";
        m_camera.Log(std::move(bad.Add("conn", m_id).Add("at", std::to_string(n))));
        SendBytes(Message(ack, kBadMagic));
        return;
    }
    SendFrame(ack);
    if (n == kBlockCount) {
        m_camera.TransferCompleted();
    }
}
