// The core's side of the network helper firmhand-netcfg: starts it on first
// use (and again when it has ended), sends one request at a time over a
// socket pair and reads the reply.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>

#include "netops/NetcfgRequest.h"

// Why the helper could not serve a request.
enum class NetcfgProblem {
    None,
    Missing,         // no helper program found
    NoCapabilities,  // it runs but lacks cap_net_admin or cap_net_raw
    Broken,          // it could not be started or stopped answering
};

class CNetcfgClient {
public:
    // `helperPath` "" looks for the helper (FindNetcfgHelper).
    explicit CNetcfgClient(std::string helperPath = {});
    ~CNetcfgClient();
    CNetcfgClient(const CNetcfgClient&) = delete;
    CNetcfgClient& operator=(const CNetcfgClient&) = delete;

    // The helper's reply to `request`; false with the problem (and a text for
    // the log) when there is none. A `stop` request ends the wait at once
    // (problem None): the helper, whose reply would come out of turn, is
    // ended and started again by the next call. One request at a time: a
    // call that waits for another's turn ends at its stop too.
    bool Call(const netcfg::Request& request, netcfg::Reply& reply, NetcfgProblem& problem,
              std::string& detail, std::stop_token stop = {});

    // Where the helper is (or, when missing, where it belongs).
    const std::string& HelperPath() const { return m_path; }

private:
    bool Start(NetcfgProblem& problem, std::string& detail, int wakeFd);
    bool Exchange(const netcfg::Request& request, netcfg::Reply& reply, std::string& detail,
                  int wakeFd);
    // Closes the socket, which ends the helper, waits for its exit at most
    // `graceMs` and then kills it.
    void Stop(int graceMs);

    // Guards `m_busy`, which makes a call the only one to use the helper.
    std::mutex m_lock;
    std::condition_variable_any m_turn;
    bool m_busy = false;
    std::string m_path;
    bool m_found = false;
    int m_fd = -1;
    pid_t m_pid = -1;
};

// The helper: $FIRMHAND_NETCFG, else ../libexec/firmhand/firmhand-netcfg
// from the executable's folder, else firmhand-netcfg beside it, else the
// build tree's ../netcfg/firmhand-netcfg. "" when none exists.
std::string FindNetcfgHelper();
// Where an installation puts the helper, seen from this executable.
std::string InstalledNetcfgHelperPath();

// True when this process may change the network itself: both
// cap_net_admin and cap_net_raw are effective (root, or a test).
bool HoldsNetworkCapabilities();
