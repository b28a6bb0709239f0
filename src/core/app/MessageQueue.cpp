#include "app/MessageQueue.h"

#include <chrono>

bool CMessageQueue::PostMessage(CWindowMessage message) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_closed) {
            return false;
        }
        m_messages.push_back(std::move(message));
    }
    m_cond.notify_one();
    return true;
}

std::optional<CWindowMessage> CMessageQueue::Pop(int timeoutMs) {
    std::unique_lock<std::mutex> guard(m_mutex);
    m_cond.wait_for(guard, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                    [this] { return !m_messages.empty() || m_closed; });
    if (m_messages.empty()) {
        return std::nullopt;
    }
    CWindowMessage message = std::move(m_messages.front());
    m_messages.pop_front();
    return message;
}

size_t CMessageQueue::Size() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_messages.size();
}

void CMessageQueue::Close() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_closed = true;
    }
    m_cond.notify_all();
}
