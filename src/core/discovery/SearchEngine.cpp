#include "discovery/SearchEngine.h"

#include <algorithm>
#include <cstring>

#include "app/Logger.h"
#include "discovery/NetInterfaces.h"

FH_LOG_SOURCE("LanProbe_Search");

namespace {

// Drop lines per round before they are only counted.
constexpr int kDropLinesPerRound = 5;
// Longest wait of the thread between looks at the clock.
constexpr int kMaxWaitMs = 1000;

std::string EndpointText(const Ipv4Endpoint& e) {
    return Ipv4ToString(e.address) + ":" + std::to_string(e.port);
}

}  // namespace

CSearchEngine::CSearchEngine(SearchConfig config, ReportFn report)
    : m_config(std::move(config)), m_report(std::move(report)), m_table(m_config.maxDevices) {
    m_config.roundIntervalMs = std::max(m_config.roundIntervalMs, 10);
    m_config.datagramsPerPass = std::max(m_config.datagramsPerPass, 1);
    m_config.directedProbeMs = std::max(m_config.directedProbeMs, 10);
}

CSearchEngine::~CSearchEngine() {
    Stop();
}

bool CSearchEngine::IsOwnThread() const {
    return m_threadId.load() == std::this_thread::get_id();
}

bool CSearchEngine::Start() {
    if (m_thread) {
        return true;
    }
    if (!m_wake.IsOpen() || !m_socket.Open(m_config.receiveBufferBytes)) {
        LOG_ERROR("CSearchEngine::Start", "search socket cannot be opened");
        return false;
    }
    m_localPort = m_socket.LocalPort();
    const int granted = m_socket.ReceiveBufferBytes();
    if (granted < m_config.receiveBufferBytes) {
        LOG_WARN("CSearchEngine::Start", "receive buffer %d bytes of %d asked", granted,
                 m_config.receiveBufferBytes);
    }
    m_thread = PUB_CreateThread([this] { Run(); }, &m_running);
    if (!m_thread) {
        LOG_ERROR("CSearchEngine::Start", "search thread cannot be started");
        m_socket.Close();
        return false;
    }
    LOG_INFO("CSearchEngine::Start",
             "search started, adapter: '%s', port %u, round %d ms, %zu extra targets, replies to "
             "port %u",
             m_config.adapterName.c_str(), m_config.searchPort, m_config.roundIntervalMs,
             m_config.targets.size(), m_localPort.load());
    return true;
}

void CSearchEngine::SearchNow() {
    m_roundNow = true;
    m_wake.Signal();
}

void CSearchEngine::Stop() {
    if (!m_thread) {
        return;
    }
    m_running = false;
    m_wake.Signal();
    PUB_ExitThread(m_thread, &m_running);
    m_socket.Close();
    LOG_INFO("CSearchEngine::Stop", "search stopped, %zu devices known", m_table.Size());
}

void CSearchEngine::Run() {
    m_threadId = std::this_thread::get_id();
    const std::vector<Ipv4Endpoint> targets = ResolveTargets();
    const auto interval = static_cast<uint32_t>(m_config.roundIntervalMs);
    uint32_t nextRound = PUB_GetTickCount();
    uint32_t nextDirected = nextRound + static_cast<uint32_t>(m_config.directedProbeMs);
    bool firstRound = true;
    while (m_running.load()) {
        const uint32_t now = PUB_GetTickCount();
        if (m_roundNow.exchange(false)) {
            nextRound = now;
        }
        if (m_config.directedTargets && static_cast<int32_t>(now - nextDirected) >= 0) {
            SendDirectedProbes(targets);
            nextDirected = now + static_cast<uint32_t>(m_config.directedProbeMs);
        }
        if (static_cast<int32_t>(now - nextRound) >= 0) {
            if (!firstRound) {
                CloseRound();
            }
            firstRound = false;
            SendProbes(targets);
            nextRound += interval;
            if (static_cast<int32_t>(now - nextRound) >= 0) {
                nextRound = now + interval;  // the thread was held up: no catching up
            }
        }
        auto untilNext = static_cast<int32_t>(nextRound - PUB_GetTickCount());
        if (m_config.directedTargets) {
            untilNext =
                std::min(untilNext, static_cast<int32_t>(nextDirected - PUB_GetTickCount()));
        }
        if (m_socket.WaitReadable(m_wake, std::clamp<int32_t>(untilNext, 0, kMaxWaitMs))) {
            ReceiveBurst();
        }
    }
    m_threadId = std::thread::id();
}

std::vector<Ipv4Endpoint> CSearchEngine::ResolveTargets() {
    std::vector<Ipv4Endpoint> resolved;
    for (const SearchTarget& target : m_config.targets) {
        if (!m_running.load()) {
            break;
        }
        Ipv4Endpoint endpoint;
        endpoint.port = target.port;
        if (ResolveIpv4(target.host, endpoint.address)) {
            resolved.push_back(endpoint);
        }
    }
    return resolved;
}

void CSearchEngine::NoteSendResult(const std::string& where, bool ok, int error) {
    // One line when a path starts failing and one when it works again.
    auto it = std::find(m_failingSends.begin(), m_failingSends.end(), where);
    if (!ok && it == m_failingSends.end()) {
        LOG_WARN("CSearchEngine::SendProbes", "probe to %s failed %d", where.c_str(), error);
        m_failingSends.push_back(where);
    } else if (ok && it != m_failingSends.end()) {
        LOG_INFO("CSearchEngine::SendProbes", "probe to %s sent again", where.c_str());
        m_failingSends.erase(it);
    }
}

void CSearchEngine::SendProbes(const std::vector<Ipv4Endpoint>& targets) {
    const std::string probe = search::BuildProbe(++m_seq);
    const std::vector<NetInterface> chosen =
        SelectSearchInterfaces(EnumIPv4Interfaces(), m_config.adapterName);
    if (chosen.empty() && !m_adapterMissingLogged) {
        LOG_WARN("CSearchEngine::SendProbes", "no interface that is up for adapter '%s'",
                 m_config.adapterName.c_str());
    }
    m_adapterMissingLogged = chosen.empty();
    const Ipv4Endpoint group{m_config.multicastGroup, m_config.searchPort};
    for (const NetInterface& itf : chosen) {
        int error = 0;
        const bool ok = m_socket.SendMulticast(itf.address, group, probe, &error);
        NoteSendResult(itf.name + " (" + Ipv4ToString(itf.address) + ")", ok, error);
    }
    for (const Ipv4Endpoint& target : targets) {
        int error = 0;
        const bool ok = m_socket.SendTo(target, probe, &error);
        NoteSendResult(EndpointText(target), ok, error);
    }
}

void CSearchEngine::SendDirectedProbes(const std::vector<Ipv4Endpoint>& targets) {
    const std::vector<std::string> addresses = m_config.directedTargets();
    if (addresses != m_directedLogged) {
        std::string list;
        for (const std::string& address : addresses) {
            list += (list.empty() ? "" : ", ") + address;
        }
        LOG_INFO("CSearchEngine::SendDirectedProbes", "awaited devices probed directly: %s",
                 list.empty() ? "none" : list.c_str());
        m_directedLogged = addresses;
    }
    if (addresses.empty()) {
        return;
    }
    // The round's probe document: the reply counts as one to this round.
    const std::string probe = search::BuildProbe(m_seq);
    for (const std::string& address : addresses) {
        Ipv4Endpoint endpoint{0, m_config.searchPort};
        if (!ParseIpv4(address, endpoint.address) || endpoint.address == 0) {
            continue;
        }
        for (const Ipv4Endpoint& target : targets) {
            if (target.address == endpoint.address) {
                endpoint.port = target.port;
                break;
            }
        }
        int error = 0;
        const bool ok = m_socket.SendTo(endpoint, probe, &error);
        NoteSendResult(EndpointText(endpoint), ok, error);
    }
}

void CSearchEngine::CloseRound() {
    if (m_droppedSuppressed > 0) {
        LOG_WARN("CSearchEngine::CloseRound", "%d more bad replies dropped this round",
                 m_droppedSuppressed);
    }
    m_droppedLogged = 0;
    m_droppedSuppressed = 0;
    for (const CSearchTable::Gone& gone : m_table.EndRound()) {
        if (!m_running.load()) {
            return;
        }
        LOG_INFO("CSearchEngine::CloseRound", "device gone, mac: %s", gone.mac.c_str());
        m_report(gone.mac, kSearchReportGone, gone.text);
    }
}

void CSearchEngine::ReceiveBurst() {
    // One byte more than a datagram may have, so that a longer one shows.
    char buffer[search::kMaxDatagram + 1];
    for (int i = 0; i < m_config.datagramsPerPass && m_running.load(); ++i) {
        size_t length = 0;
        Ipv4Endpoint from;
        int error = 0;
        const auto result = m_socket.ReceiveFrom(buffer, sizeof buffer, length, from, &error);
        if (result == CUdpSocket::Receive::Nothing) {
            return;
        }
        if (result == CUdpSocket::Receive::Failed) {
            NoteDropped(from, "receive failed " + std::to_string(error));
            return;
        }
        if (length > search::kMaxDatagram) {
            NoteDropped(from, "oversize datagram (" + std::to_string(length) + " bytes)");
            continue;
        }
        HandleDatagram(std::string(buffer, length), from);
    }
}

void CSearchEngine::HandleDatagram(const std::string& datagram, const Ipv4Endpoint& from) {
    search::SearchReply reply;
    std::string reason;
    if (!search::ParseReply(datagram, reply, reason)) {
        NoteDropped(from, reason);
        return;
    }
    std::string mac;
    switch (m_table.OnReply(reply.mac, reply.bootId, datagram, mac)) {
        case CSearchTable::Outcome::Silent:
            return;
        case CSearchTable::Outcome::Full:
            NoteDropped(from, "device table full (" + std::to_string(m_table.Capacity()) +
                                  " devices), mac: " + reply.mac);
            return;
        case CSearchTable::Outcome::Found:
            LOG_INFO("CSearchEngine::HandleDatagram", "device found at %s, mac: %s",
                     Ipv4ToString(from.address).c_str(), mac.c_str());
            m_report(mac, kSearchReportFound, datagram);
            return;
        case CSearchTable::Outcome::Changed:
            LOG_INFO("CSearchEngine::HandleDatagram", "device changed, mac: %s", mac.c_str());
            m_report(mac, kSearchReportChanged, datagram);
            return;
    }
}

void CSearchEngine::NoteDropped(const Ipv4Endpoint& from, const std::string& reason) {
    if (m_droppedLogged >= kDropLinesPerRound) {
        ++m_droppedSuppressed;
        return;
    }
    ++m_droppedLogged;
    LOG_WARN("CSearchEngine::HandleDatagram", "reply from %s dropped: %s",
             EndpointText(from).c_str(), reason.c_str());
}
