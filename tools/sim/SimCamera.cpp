#include "SimCamera.h"

#include <cstdio>

#include "SimDeviceSession.h"
#include "SimEventLog.h"
#include "SimHttpSession.h"
#include "SimReactor.h"
#include "SimWire.h"
#include "SimXml.h"
#include "app/Logger.h"

FH_LOG_SOURCE("SimCamera");

namespace {
constexpr const char* kSearchGroup = "239.192.77.1";
constexpr uint32_t kNewPackageMagic = 0x20220118;
constexpr size_t kPackageTrailerSize = 64;
constexpr size_t kMaxDatagram = 8192;
constexpr size_t kDigestNoncesKept = 64;
// Time for an upgrade-error reply to leave before the camera restarts.
constexpr uint32_t kUpgradeModeRestartDelayMs = 100;
}  // namespace

CSimCamera::CSimCamera(CSimReactor& reactor, CSimEventLog& log, const SimCameraConfig& config)
    : m_reactor(reactor), m_log(log), m_config(config) {
    m_digestOpaque = SimHex(SimMd5Of(config.mac + std::to_string(SimRandom())), false);
}

CSimCamera::~CSimCamera() = default;

bool CSimCamera::BindListener(Listener* listener, const std::string& ip, uint16_t port,
                              std::string* error) {
    listener->ip = ip;
    listener->listening = false;
    listener->fd = simnet::TcpBound(ip, port, false, &listener->port, error);
    return listener->fd.Valid();
}

bool CSimCamera::Bind(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = m_config.mac + ": " + why;
        LOG_ERROR("CSimCamera::Bind", "%s, mac: %s", why.c_str(), m_config.mac.c_str());
        return false;
    };
    if (!simwire::ParseMac(m_config.mac, &m_macBytes)) {
        return fail("bad MAC text '" + m_config.mac + "'");
    }
    if (!simnet::IsIPv4(m_config.ip)) {
        return fail("bad address '" + m_config.ip + "'");
    }
    if (!m_config.ip2.empty() && !simnet::IsIPv4(m_config.ip2)) {
        return fail("bad second address '" + m_config.ip2 + "'");
    }
    if (m_config.user.size() > simwire::kCredentialFieldSize ||
        m_config.password.size() > simwire::kCredentialFieldSize) {
        return fail("user name and password hold at most 32 bytes");
    }
    std::string why;
    const bool pickPorts = m_config.dataPort == 0 || m_config.httpPort == 0;
    bool secondBound = false;
    for (int attempt = 0; attempt < 16; ++attempt) {
        for (auto* l : {&m_data[0], &m_data[1], &m_http[0], &m_http[1]})
            l->fd.Reset();
        if (!BindListener(&m_data[0], m_config.ip, m_config.dataPort, &why) ||
            !BindListener(&m_http[0], m_config.ip, m_config.httpPort, &why)) {
            return fail(why);
        }
        if (m_config.ip2.empty()) {
            secondBound = true;
            break;
        }
        // The second address uses the same port numbers as the first.
        secondBound = BindListener(&m_data[1], m_config.ip2, m_data[0].port, &why) &&
                      BindListener(&m_http[1], m_config.ip2, m_http[0].port, &why);
        if (secondBound || !pickPorts) {
            break;
        }
    }
    if (!secondBound) {
        // Another camera holds the shared second address on these ports: it
        // answers there, as on a LAN with an address conflict.
        LOG_WARN("CSimCamera::Bind", "second address not bound: %s, mac: %s", why.c_str(),
                 m_config.mac.c_str());
        m_data[1].fd.Reset();
        m_http[1].fd.Reset();
    }

    m_search = simnet::UdpBound(m_config.ip, m_config.searchPort, &m_searchPort, &why);
    if (!m_search.Valid()) {
        return fail(why);
    }
    if (m_config.searchPort != 0) {
        m_multicast = simnet::MulticastBound(kSearchGroup, m_config.searchPort, "127.0.0.1", &why);
        if (!m_multicast.Valid()) {
            LOG_WARN("CSimCamera::Bind", "multicast search not available: %s, mac: %s", why.c_str(),
                     m_config.mac.c_str());
        }
    }
    SetPackage(m_config.package);
    return true;
}

void CSimCamera::NewBootId() {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", SimRandom());
    m_bootId = text;
}

void CSimCamera::Start() {
    m_started = true;
    for (CSimFd* fd : {&m_search, &m_multicast}) {
        if (fd->Valid()) {
            const int raw = fd->Get();
            m_reactor.Watch(raw, false, [this, raw](bool, bool) { OnDatagram(raw); });
        }
    }
    for (int i = 0; i < 2; ++i) {
        Listen(&m_data[i], false);
        Listen(&m_http[i], true);
    }
    NewBootId();
    m_phase = Phase::Online;
    SimEvent e;
    e.kind = "start";
    e.Add("bootId", m_bootId)
        .Add("ip", m_config.ip)
        .Add("ip2", m_config.ip2)
        .Add("dataPort", int(m_data[0].port))
        .Add("httpPort", int(m_http[0].port))
        .Add("searchPort", int(m_searchPort))
        .Add("softwareVer", m_config.softwareVer)
        .Add("build", m_config.build);
    Log(std::move(e));
    ScheduleIp2Change();
    if (m_config.switchedOff) {
        m_switchedOff = true;
        GoOffline("switched_off");
    }
}

void CSimCamera::Shutdown() {
    CancelPhaseTimer();
    if (m_ip2Timer) {
        m_reactor.Cancel(m_ip2Timer);
        m_ip2Timer = 0;
    }
    CloseSessions();
    for (Listener* l : {&m_data[0], &m_data[1], &m_http[0], &m_http[1]}) {
        if (l->fd.Valid())
            m_reactor.Unwatch(l->fd.Get());
        l->fd.Reset();
        l->listening = false;
    }
    for (CSimFd* fd : {&m_search, &m_multicast}) {
        if (fd->Valid())
            m_reactor.Unwatch(fd->Get());
        fd->Reset();
    }
    m_phase = Phase::Offline;
    m_started = false;
}

SimCameraInfo CSimCamera::Info() const {
    SimCameraInfo info;
    info.mac = m_config.mac;
    info.ip = m_config.ip;
    info.ip2 = m_config.ip2;
    info.dataPort = m_data[0].port;
    info.httpPort = m_http[0].port;
    info.searchPort = m_searchPort;
    return info;
}

SimCameraState CSimCamera::State() const {
    SimCameraState s;
    s.online = m_phase != Phase::Offline;
    s.phase = m_phase == Phase::Online     ? "online"
              : m_phase == Phase::Flashing ? "flashing"
                                           : "offline";
    s.upgradeMode = m_upgradeMode;
    s.softwareVer = m_config.softwareVer;
    s.build = m_config.build;
    s.versionWord = VersionWord();
    s.bootId = m_bootId;
    s.ip2 = m_config.ip2;
    s.mask2 = m_config.mask2;
    s.connections = static_cast<int>(m_sessions.size());
    s.sessions = LoggedInSessions();
    s.logins = m_logins;
    s.lastBlock = m_lastBlock;
    s.upgradesCompleted = m_upgradesCompleted;
    s.probesAnswered = m_probesAnswered;
    s.httpRequests = m_httpRequests;
    return s;
}

void CSimCamera::Log(SimEvent event) {
    event.mac = m_config.mac;
    m_log.Add(std::move(event));
}

uint32_t CSimCamera::VersionWord() const {
    return m_config.versionWord ? m_config.versionWord
                                : simwire::VersionWordFromText(m_config.softwareVer);
}

uint32_t CSimCamera::TakeForcedLoginError() {
    const auto& errors = m_config.faults.loginErrors;
    if (m_forcedLoginIndex < errors.size()) {
        return errors[m_forcedLoginIndex++];
    }
    return 0;
}

int CSimCamera::LoggedInSessions() const {
    int n = 0;
    for (const auto& [id, session] : m_sessions) {
        if (session->LoggedIn())
            ++n;
    }
    return n;
}

std::optional<uint64_t> CSimCamera::ExpectedPayloadLength() const {
    return m_expectedLength;
}

// ---- listening -----------------------------------------------------------

void CSimCamera::Listen(Listener* listener, bool http) {
    if (!listener->fd.Valid() || listener->listening) {
        return;
    }
    std::string error;
    if (!simnet::StartListening(listener->fd, &error)) {
        LOG_WARN("CSimCamera::Listen", "%s on %s:%u, mac: %s", error.c_str(), listener->ip.c_str(),
                 listener->port, m_config.mac.c_str());
        return;
    }
    listener->listening = true;
    m_reactor.Watch(listener->fd.Get(), false,
                    [this, listener, http](bool, bool) { OnAccept(listener, http); });
}

void CSimCamera::Silence(Listener* listener) {
    if (!listener->fd.Valid() || !listener->listening) {
        return;
    }
    m_reactor.Unwatch(listener->fd.Get());
    listener->fd.Reset();
    listener->listening = false;
    // Keep the port with a bound socket that refuses connections.
    std::string error;
    uint16_t port = 0;
    listener->fd = simnet::TcpBound(listener->ip, listener->port, false, &port, &error);
    if (!listener->fd.Valid()) {
        LOG_WARN("CSimCamera::Silence", "%s, mac: %s", error.c_str(), m_config.mac.c_str());
    }
}

void CSimCamera::OnAccept(Listener* listener, bool http) {
    for (int i = 0; i < 16; ++i) {
        std::string peer;
        CSimFd fd = simnet::Accept(listener->fd, &peer);
        if (!fd.Valid()) {
            return;
        }
        const int id = m_nextSessionId++;
        if (http) {
            m_httpSessions[id] = std::make_unique<CSimHttpSession>(*this, std::move(fd), id, peer);
        } else {
            auto session =
                std::make_unique<CSimDeviceSession>(*this, std::move(fd), id, peer, listener->ip);
            CSimDeviceSession* raw = session.get();
            m_sessions[id] = std::move(session);
            raw->Begin();
        }
    }
}

void CSimCamera::DropSession(int id) {
    m_reactor.Post([this, id] { m_sessions.erase(id); });
}

void CSimCamera::DropHttpSession(int id) {
    m_reactor.Post([this, id] { m_httpSessions.erase(id); });
}

void CSimCamera::CloseSessions() {
    for (auto& [id, session] : m_sessions)
        session->Close("offline");
    for (auto& [id, session] : m_httpSessions)
        session->Close();
    m_sessions.clear();
    m_httpSessions.clear();
}

// ---- discovery -----------------------------------------------------------

std::string CSimCamera::SearchReply() const {
    CSimXmlWriter xml;
    xml.Open("multicastSearchResult");
    xml.Element("mac", m_config.mac);
    xml.Element("bootId", m_bootId);
    xml.Open("productInfo");
    xml.Element("productSeries", m_config.series);
    xml.Element("productModel", m_config.model);
    xml.Element("devName", m_config.name);
    xml.Element("softwareVer", m_config.softwareVer);
    xml.Element("build", std::to_string(m_config.build));
    xml.Element("softwareBulildDate", m_config.buildDate);
    xml.Element("kernelVer", m_config.kernelVer);
    xml.Element("hardwareVer", m_config.hardwareVer);
    xml.Element("deviceActivated", std::to_string(m_config.deviceActivated));
    xml.Close();
    xml.Open("tcpIp");
    xml.Open("ipAddr");
    xml.Open("item");
    xml.Element("ip", m_config.ip);
    xml.Element("mask", m_config.mask);
    xml.Close();
    if (!m_config.ip2.empty()) {
        xml.Open("item");
        xml.Element("ip", m_config.ip2);
        xml.Element("mask", m_config.mask2);
        xml.Close();
    }
    xml.Close();
    xml.Close();
    xml.Open("port");
    xml.Element("dataPort", std::to_string(m_data[0].port));
    xml.Element("httpPort", std::to_string(m_http[0].port));
    xml.Close();
    xml.Close();
    return xml.Text();
}

void CSimCamera::OnDatagram(int fd) {
    std::string buffer(kMaxDatagram + 1, '\0');
    for (int i = 0; i < 16; ++i) {
        std::string fromIp;
        uint16_t fromPort = 0;
        const long n = simnet::RecvFrom(fd, buffer.data(), buffer.size(), &fromIp, &fromPort);
        if (n < 0) {
            return;
        }
        const std::string from = fromIp + ":" + std::to_string(fromPort);
        auto ignore = [&](const std::string& reason) {
            SimEvent e;
            e.kind = "probe_ignored";
            Log(std::move(e.Add("from", from).Add("reason", reason)));
        };
        if (static_cast<size_t>(n) > kMaxDatagram) {
            ignore("datagram of " + std::to_string(n) + " bytes");
            continue;
        }
        if (m_phase == Phase::Offline) {
            continue;  // silent, and not worth an event every round
        }
        uint32_t seq = 0;
        std::string reason;
        if (!SimIsSearchProbe(buffer.substr(0, static_cast<size_t>(n)), &seq, &reason)) {
            ignore(reason);
            continue;
        }
        // Logged before the reply leaves, so a client that has it finds the event.
        ++m_probesAnswered;
        SimEvent e;
        e.kind = "probe_answered";
        Log(std::move(e.Add("from", from).Add("seq", int64_t{seq})));
        const std::string reply = SearchReply();
        if (!simnet::SendTo(m_search.Get(), reply.data(), reply.size(), fromIp, fromPort)) {
            LOG_WARN("CSimCamera::OnDatagram", "reply to %s failed: %s, mac: %s", from.c_str(),
                     simnet::LastError().c_str(), m_config.mac.c_str());
        }
    }
}

// ---- life cycle ----------------------------------------------------------

void CSimCamera::CancelPhaseTimer() {
    if (m_phaseTimer) {
        m_reactor.Cancel(m_phaseTimer);
        m_phaseTimer = 0;
    }
}

void CSimCamera::GoOffline(const std::string& reason) {
    if (m_phase == Phase::Offline) {
        return;
    }
    CloseSessions();
    for (int i = 0; i < 2; ++i) {
        Silence(&m_data[i]);
        Silence(&m_http[i]);
    }
    m_phase = Phase::Offline;
    SimEvent e;
    e.kind = "offline";
    Log(std::move(e.Add("reason", reason)));
}

void CSimCamera::GoOnline() {
    if (m_phase != Phase::Offline || !m_started) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        Listen(&m_data[i], false);
        Listen(&m_http[i], true);
    }
    NewBootId();
    m_phase = Phase::Online;
    SimEvent e;
    e.kind = "online";
    e.Add("bootId", m_bootId)
        .Add("softwareVer", m_config.softwareVer)
        .Add("build", m_config.build)
        .Add("upgradeMode", m_upgradeMode);
    Log(std::move(e));
}

void CSimCamera::ApplyUpgrade() {
    m_upgradeMode = false;
    if (m_config.faults.sameVersionOnReturn) {
        return;
    }
    const int oldBuild = m_config.build;
    if (!m_config.upgradeSoftwareVer.empty()) {
        m_config.softwareVer = m_config.upgradeSoftwareVer;
    }
    m_config.build = m_config.upgradeBuild ? m_config.upgradeBuild : oldBuild + 1;
    m_config.versionWord = m_config.upgradeVersionWord;
}

void CSimCamera::TransferCompleted() {
    if (m_phase != Phase::Online) {
        return;
    }
    m_phase = Phase::Flashing;
    ++m_upgradesCompleted;
    CancelPhaseTimer();
    SimEvent e;
    e.kind = "flash_start";
    Log(std::move(e.Add("ms", m_config.flashMs)));
    m_phaseTimer = m_reactor.After(m_config.flashMs, [this] {
        m_phaseTimer = 0;
        GoOffline("flash");
        ApplyUpgrade();
        if (m_config.faults.neverReturn) {
            return;
        }
        m_phaseTimer = m_reactor.After(m_config.offlineMs, [this] {
            m_phaseTimer = 0;
            GoOnline();
        });
    });
}

void CSimCamera::RestartIntoUpgradeMode() {
    CancelPhaseTimer();
    m_phaseTimer = m_reactor.After(kUpgradeModeRestartDelayMs, [this] {
        GoOffline("upgrade_mode");
        m_phaseTimer = m_reactor.After(m_config.offlineMs, [this] {
            m_phaseTimer = 0;
            m_upgradeMode = true;
            GoOnline();
        });
    });
}

void CSimCamera::SetOnline(bool online) {
    m_switchedOff = m_switchedOff && !online;
    CancelPhaseTimer();
    if (online) {
        GoOnline();
    } else {
        GoOffline("api");
    }
}

bool CSimCamera::SwitchOn() {
    if (!m_switchedOff) {
        return false;
    }
    m_switchedOff = false;
    SetOnline(true);
    return true;
}

void CSimCamera::Restart(uint32_t offlineMs) {
    CancelPhaseTimer();
    GoOffline("restart");
    m_phaseTimer = m_reactor.After(offlineMs, [this] {
        m_phaseTimer = 0;
        GoOnline();
    });
}

void CSimCamera::ScheduleIp2Change() {
    if (m_ip2Timer) {
        m_reactor.Cancel(m_ip2Timer);
        m_ip2Timer = 0;
    }
    if (m_config.faults.ip2ChangeAfterMs == 0) {
        return;
    }
    m_ip2Timer = m_reactor.After(m_config.faults.ip2ChangeAfterMs, [this] {
        m_ip2Timer = 0;
        SetIp2(m_config.faults.ip2ChangeTo, m_config.faults.ip2ChangeMask);
    });
}

void CSimCamera::SetIp2(const std::string& ip2, const std::string& mask2) {
    if (!ip2.empty() && !simnet::IsIPv4(ip2)) {
        LOG_WARN("CSimCamera::SetIp2", "bad second address '%s', mac: %s", ip2.c_str(),
                 m_config.mac.c_str());
        return;
    }
    for (Listener* l : {&m_data[1], &m_http[1]}) {
        if (l->fd.Valid() && l->listening)
            m_reactor.Unwatch(l->fd.Get());
        l->fd.Reset();
        l->listening = false;
    }
    m_config.ip2 = ip2;
    m_config.mask2 = ip2.empty() ? "" : mask2;
    if (!ip2.empty()) {
        std::string error;
        if (!BindListener(&m_data[1], ip2, m_data[0].port, &error) ||
            !BindListener(&m_http[1], ip2, m_http[0].port, &error)) {
            LOG_WARN("CSimCamera::SetIp2", "%s, mac: %s", error.c_str(), m_config.mac.c_str());
            m_data[1].fd.Reset();
            m_http[1].fd.Reset();
        } else if (m_phase != Phase::Offline) {
            Listen(&m_data[1], false);
            Listen(&m_http[1], true);
        }
    }
    SimEvent e;
    e.kind = "ip2_changed";
    Log(std::move(e.Add("ip2", m_config.ip2).Add("mask2", m_config.mask2)));
}

void CSimCamera::SetFaults(const SimFaults& faults) {
    m_config.faults = faults;
    m_forcedLoginIndex = 0;
    if (m_started) {
        ScheduleIp2Change();
    }
}

void CSimCamera::SetVersion(const std::string& softwareVer, int build, uint32_t versionWord) {
    m_config.softwareVer = softwareVer;
    m_config.build = build;
    m_config.versionWord = versionWord;
}

void CSimCamera::SetCredentials(const std::string& user, const std::string& password,
                                SimProtection protection) {
    m_config.user = user.substr(0, simwire::kCredentialFieldSize);
    m_config.password = password.substr(0, simwire::kCredentialFieldSize);
    m_config.protection = protection;
}

void CSimCamera::SetTimings(uint32_t flashMs, uint32_t offlineMs) {
    m_config.flashMs = flashMs;
    m_config.offlineMs = offlineMs;
}

void CSimCamera::SetPackage(const std::vector<uint8_t>& package) {
    m_config.package = package;
    m_expectedMd5.reset();
    m_expectedLength.reset();
    if (package.empty()) {
        return;
    }
    size_t length = package.size();
    if (length < 4 || simwire::GetU32(package.data()) != kNewPackageMagic) {
        if (length < kPackageTrailerSize) {
            LOG_WARN("CSimCamera::SetPackage", "package of %zu bytes has no trailer, mac: %s",
                     length, m_config.mac.c_str());
            return;
        }
        length -= kPackageTrailerSize;
    }
    m_expectedLength = length;
    m_expectedMd5 = SimMd5Of(package.data(), length);
}

std::string CSimCamera::NewDigestNonce() {
    const std::string nonce = SimHex(
        SimMd5Of(m_config.mac + std::to_string(SimRandom()) + std::to_string(SimRandom())), false);
    m_digestNonces.push_back(nonce);
    while (m_digestNonces.size() > kDigestNoncesKept)
        m_digestNonces.pop_front();
    return nonce;
}

bool CSimCamera::KnownDigestNonce(const std::string& nonce) const {
    for (const auto& n : m_digestNonces) {
        if (n == nonce)
            return true;
    }
    return false;
}
