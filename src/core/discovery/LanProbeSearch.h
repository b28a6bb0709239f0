// The device-search library: finds the cameras on the LAN by UDP probes
// (multicast on the chosen interfaces, unicast to the "SearchTargets") and
// reports each camera to a callback as its reply's XML text.
//
// Order of calls: SetNetworkAdapter, Initial, StartAuto (once the network is
// up), Quit. Calls out of order are refused and logged, never harmful:
// StartAuto before Initial or twice, Quit without Initial or twice.
//
// Reports arrive on the library's search thread:
//   LANPROBE_SEARCH_FOUND   (1) first reply of a MAC, or a reply with a new bootId
//   LANPROBE_SEARCH_CHANGED (3) a reply whose text differs from the last one
//   LANPROBE_SEARCH_GONE    (2) no reply for three rounds; carries the last reply
// The MAC text of a device's reports is that of its first reply. The texts
// live only for the call. The callback must not call LANPROBE_SEARCH_* itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using LANPROBE_SEARCH_CALLBACK = void (*)(const char* mac, int kind, const char* xml,
                                          void* context);

constexpr int LANPROBE_SEARCH_FOUND = 1;
constexpr int LANPROBE_SEARCH_GONE = 2;
constexpr int LANPROBE_SEARCH_CHANGED = 3;

// The results: 0 done, -1 refused (the reason is logged).

// The interface to search on: the system's interface name ("eth0"), or ""
// for every IPv4 interface that is up. Read by the next StartAuto.
int LANPROBE_SEARCH_SetNetworkAdapter(const char* adapterName);

// Keeps the callback and its context. `datagramsPerPass` (32 in the
// program) is how many replies the search thread reads at a time before it
// looks at the clock and the stop flag again; values below 1 mean 32.
int LANPROBE_SEARCH_Initial(LANPROBE_SEARCH_CALLBACK callback, void* context, int datagramsPerPass);

// Starts searching: a round of probes every `intervalSeconds` (5 in the
// program), the first one at once. The extra unicast targets are read from
// the "SearchTargets" setting now.
int LANPROBE_SEARCH_StartAuto(int intervalSeconds);

// Stops the search and joins its thread; once it returns, no callback runs.
// The adapter, port and interval settings are kept for a later Initial.
int LANPROBE_SEARCH_Quit();

// --- our own additions, for tests and tools ---------------------------------

// The port the cameras listen on (default 37810; 0 restores it). Read by
// the next StartAuto.
int LANPROBE_SEARCH_SetSearchPort(int port);
// The extra unicast targets ("host[:port],..."), given by the running
// program instead of the "SearchTargets" setting; null reads the setting
// again. Read by the next StartAuto.
int LANPROBE_SEARCH_SetSearchTargets(const char* targets);
// A round interval in milliseconds that wins over StartAuto's seconds
// (0 restores the seconds). Read by the next StartAuto.
int LANPROBE_SEARCH_SetRoundIntervalMs(int intervalMs);
// Addresses (dotted IPv4 text) to probe directly between rounds, asked for
// on the search thread every `intervalMs` (500 in the program); the
// replies are taken as those of a round. An empty function probes none.
// The function must be quick and must not call LANPROBE_SEARCH_*. Read by
// the next StartAuto.
using LANPROBE_SEARCH_DIRECTED_TARGETS = std::function<std::vector<std::string>()>;
int LANPROBE_SEARCH_SetDirectedTargets(LANPROBE_SEARCH_DIRECTED_TARGETS targets, int intervalMs);
// The local port the replies come back to; 0 while not searching.
int LANPROBE_SEARCH_GetReplyPort();
// Starts the next search round at once; -1 when no search runs.
int LANPROBE_SEARCH_SearchNow();
