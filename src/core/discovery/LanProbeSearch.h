// The device-search library: finds the cameras on the LAN by UDP probes
// (multicast on the chosen interfaces, unicast to the "SearchTargets") and
// reports each camera to a callback as its reply's XML text. One object is
// one search with its own socket and thread; several live side by side
// (two sessions in one process). Its owner (the search intake) stops it.
//
// Order of calls: SetNetworkAdapter, Initial, StartAuto (once the network is
// up), Quit. Calls out of order are refused and logged, never harmful:
// StartAuto before Initial or twice, Quit without Initial or twice.
//
// Reports arrive on the search's own thread:
//   LANPROBE_SEARCH_FOUND   (1) first reply of a MAC, or a reply with a new bootId
//   LANPROBE_SEARCH_CHANGED (3) a reply whose text differs from the last one
//   LANPROBE_SEARCH_GONE    (2) no reply for three rounds; carries the last reply
// The MAC text of a device's reports is that of its first reply. The texts
// live only for the call. The callback must not call into the search itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using LANPROBE_SEARCH_CALLBACK = void (*)(const char* mac, int kind, const char* xml,
                                          void* context);

constexpr int LANPROBE_SEARCH_FOUND = 1;
constexpr int LANPROBE_SEARCH_GONE = 2;
constexpr int LANPROBE_SEARCH_CHANGED = 3;

class CSearchEngine;

// The results: 0 done, -1 refused (the reason is logged).
class CLanProbeSearch {
public:
    using DirectedTargets = std::function<std::vector<std::string>()>;

    CLanProbeSearch();
    // Quit.
    ~CLanProbeSearch();
    CLanProbeSearch(const CLanProbeSearch&) = delete;
    CLanProbeSearch& operator=(const CLanProbeSearch&) = delete;

    // The interface to search on: the system's interface name ("eth0"), or
    // "" for every IPv4 interface that is up. Read by the next StartAuto.
    int SetNetworkAdapter(const char* adapterName);

    // Keeps the callback and its context. `datagramsPerPass` (32 in the
    // program) is how many replies the search thread reads at a time before
    // it looks at the clock and the stop flag again; values below 1 mean 32.
    int Initial(LANPROBE_SEARCH_CALLBACK callback, void* context, int datagramsPerPass);

    // Starts searching: a round of probes every `intervalSeconds` (5 in the
    // program), the first one at once. Without targets of the running
    // program, the extra unicast targets are read from the "SearchTargets"
    // setting now.
    int StartAuto(int intervalSeconds);

    // Stops the search and joins its thread; once it returns, no callback
    // runs. The adapter, port and interval settings are kept for a later
    // Initial. Refused on the search's own thread (from the callback).
    int Quit();

    // --- our own additions, for tests and tools ----------------------------

    // The port the cameras listen on (default 37810; 0 restores it). Read by
    // the next StartAuto.
    int SetSearchPort(int port);
    // The extra unicast targets ("host[:port],..."), given by the running
    // program instead of the "SearchTargets" setting; null reads the setting
    // again. Read by the next StartAuto.
    int SetSearchTargets(const char* targets);
    // A round interval in milliseconds that wins over StartAuto's seconds
    // (0 restores the seconds). Read by the next StartAuto.
    int SetRoundIntervalMs(int intervalMs);
    // Addresses (dotted IPv4 text) to probe directly between rounds, asked
    // for on the search thread every `intervalMs` (500 in the program); the
    // replies are taken as those of a round. An empty function probes none.
    // The function must be quick and must not call into the search. Read by
    // the next StartAuto.
    int SetDirectedTargets(DirectedTargets targets, int intervalMs);
    // The local port the replies come back to; 0 while not searching.
    int GetReplyPort() const;
    // Starts the next search round at once; -1 when no search runs.
    int SearchNow();

private:
    mutable std::mutex m_mutex;
    std::string m_adapterName;
    uint16_t m_searchPort;
    int m_intervalOverrideMs = 0;
    bool m_targetsGiven = false;
    std::string m_targets;
    bool m_initialised = false;
    LANPROBE_SEARCH_CALLBACK m_callback = nullptr;
    void* m_context = nullptr;
    int m_datagramsPerPass;
    DirectedTargets m_directedTargets;
    int m_directedProbeMs = 500;
    std::unique_ptr<CSearchEngine> m_engine;
};
