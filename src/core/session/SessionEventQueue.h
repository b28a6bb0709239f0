// A session's events queued for a reader that polls: the CLI's command
// loop and the tests.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "session/SessionEvents.h"

class CSessionEventQueue : public ISessionEventSink {
public:
    bool OnEvent(SessionEvent event) override;

    // Waits up to `timeoutMs` for the next event.
    std::optional<SessionEvent> Pop(int timeoutMs);
    std::optional<SessionEvent> TryPop() { return Pop(0); }

    // After Close, OnEvent fails (the reader is gone) and Pop returns what
    // is left, then nothing.
    void Close();

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<SessionEvent> m_events;
    bool m_closed = false;
};
