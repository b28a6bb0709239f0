// One running device search: a thread that sends a probe every round on the
// chosen interfaces and to the extra targets, reads the replies on one
// socket, and turns them into found / changed / gone reports. A
// CLanProbeSearch runs one engine; several run side by side.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/SearchProtocol.h"
#include "discovery/SearchSocket.h"
#include "discovery/SearchTable.h"
#include "discovery/SearchTargets.h"
#include "platform/Pub.h"

struct SearchConfig {
    std::string adapterName;  // "" = every interface that is up
    uint16_t searchPort = search::kSearchPort;
    uint32_t multicastGroup = search::kMulticastGroup;
    int roundIntervalMs = 5000;
    std::vector<SearchTarget> targets;  // extra unicast probes
    int datagramsPerPass = 32;          // read per wake-up before looking at the clock
    size_t maxDevices = 4096;
    // Room for a burst of about 1000 replies.
    int receiveBufferBytes = 4 << 20;
    // Addresses (dotted IPv4 text) that get a unicast probe between rounds,
    // asked for on the search thread every `directedProbeMs`: the cameras
    // that are awaited back. Their replies are taken like any other.
    std::function<std::vector<std::string>()> directedTargets;
    int directedProbeMs = 500;
};

// Report kinds, as the library's callback receives them.
constexpr int kSearchReportFound = 1;
constexpr int kSearchReportGone = 2;
constexpr int kSearchReportChanged = 3;

class CSearchEngine {
public:
    // Called on the engine's thread: MAC text, report kind, XML text.
    using ReportFn = std::function<void(const std::string& mac, int kind, const std::string& xml)>;

    CSearchEngine(SearchConfig config, ReportFn report);
    ~CSearchEngine();
    CSearchEngine(const CSearchEngine&) = delete;
    CSearchEngine& operator=(const CSearchEngine&) = delete;

    // Opens the socket and starts the thread; the first round starts at once.
    bool Start();
    // Stops and joins the thread; no report is made after it returns.
    // Harmless when not started or called twice.
    void Stop();

    // Starts the next round at once (the F5 of a front-end); any thread.
    void SearchNow();

    // True on the engine's own thread (a report handler must not Stop it).
    bool IsOwnThread() const;
    // The port the replies come back to (0 before Start).
    uint16_t LocalPort() const { return m_localPort.load(); }

private:
    void Run();
    std::vector<Ipv4Endpoint> ResolveTargets();
    void SendProbes(const std::vector<Ipv4Endpoint>& targets);
    // One probe to each awaited address: at the port of an extra target
    // with that address, else at the search port.
    void SendDirectedProbes(const std::vector<Ipv4Endpoint>& targets);
    void CloseRound();
    void ReceiveBurst();
    void HandleDatagram(const std::string& datagram, const Ipv4Endpoint& from);
    void NoteDropped(const Ipv4Endpoint& from, const std::string& reason);
    void NoteSendResult(const std::string& where, bool ok, int error);

    SearchConfig m_config;
    ReportFn m_report;
    CSearchTable m_table;
    CUdpSocket m_socket;
    CWakeEvent m_wake;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_roundNow{false};
    std::atomic<uint16_t> m_localPort{0};
    std::atomic<std::thread::id> m_threadId{};
    PUB_THREAD m_thread;

    // Search-thread state.
    uint32_t m_seq = 0;
    int m_droppedLogged = 0;                  // drop lines written this round
    int m_droppedSuppressed = 0;              // drops not logged this round
    std::vector<std::string> m_failingSends;  // send paths that failed last time
    bool m_adapterMissingLogged = false;
    std::vector<std::string> m_directedLogged;  // the addresses last logged
};
