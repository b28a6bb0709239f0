#include "session/SessionEventQueue.h"

#include <chrono>

bool CSessionEventQueue::OnEvent(SessionEvent event) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_closed) {
            return false;
        }
        m_events.push_back(std::move(event));
    }
    m_cond.notify_one();
    return true;
}

std::optional<SessionEvent> CSessionEventQueue::Pop(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [this] { return !m_events.empty() || m_closed; });
    if (m_events.empty()) {
        return std::nullopt;
    }
    SessionEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

void CSessionEventQueue::Close() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_closed = true;
    }
    m_cond.notify_all();
}
