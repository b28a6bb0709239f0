// One command's run of the core: a session posting its events into a queue
// that the command's thread pumps, and the stop request checked while it waits.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "CliContext.h"
#include "session/FirmhandSession.h"
#include "session/SessionEventQueue.h"

// Exit status of a search that found no camera (or none of those chosen).
inline constexpr int kNoCameraExitStatus = 3;
// Exit status when the device search could not be started.
inline constexpr int kSearchNotStartedExitStatus = 1;

class CCommandSession {
public:
    CCommandSession(SESSION_OPTIONS options, std::function<bool()> stopRequested);

    bool Start() { return m_session.Start(); }
    CFirmhandSession& Session() { return m_session; }
    bool StopRequested() const { return m_stopRequested(); }

    using Handler = std::function<void(const SessionEvent&)>;
    // Hands each event that arrives to `handler` (search reports need
    // nothing: the session keeps the table) until `done` holds or `ms` passed.
    // Without a handler, an inventory notice is printed on standard error.
    void PumpUntil(const std::function<bool()>& done, int ms, const Handler& handler = {});
    // Handles what is queued now, without waiting.
    void Drain(const Handler& handler);
    // Lets the search run for `seconds`; false when a stop came first.
    bool Search(double seconds);
    // Starts the session and lets its search run for `seconds`: nothing when
    // both went well, else the exit status to end the command with (why is
    // said on `err`).
    std::optional<int> StartAndSearch(double seconds, std::ostream& err);
    // Why a search of `seconds` may have found no camera: where it looked.
    std::string NothingFoundText(double seconds) const;

private:
    void Hand(const SessionEvent& event, const Handler& handler);

    std::shared_ptr<CSessionEventQueue> m_queue = std::make_shared<CSessionEventQueue>();
    std::function<bool()> m_stopRequested;
    std::string m_adapter;
    std::vector<std::string> m_targets;  // the setting's, then --target
    CFirmhandSession m_session;          // last: stopped before the queue goes
};

// Says why the session refused a batch (its message and the detail); the
// exit status for it, 2.
int RefuseBatch(BatchStartResult result, const CFirmhandSession& session, std::ostream& err);
