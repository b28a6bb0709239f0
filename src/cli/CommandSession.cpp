#include "CommandSession.h"

#include <algorithm>
#include <chrono>

CCommandSession::CCommandSession(SESSION_OPTIONS options, std::function<bool()> stopRequested)
    : m_stopRequested(std::move(stopRequested)), m_session(std::move(options), m_queue) {}

void CCommandSession::PumpUntil(const std::function<bool()>& done, int ms, const Handler& handler) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        // Short pops, so that `done` (a stop request) is seen soon.
        if (auto message = m_queue->Pop(static_cast<int>(std::min<long long>(left.count(), 100)))) {
            if (handler) {
                handler(*message);
            }
        }
    }
}

void CCommandSession::Drain(const Handler& handler) {
    while (auto message = m_queue->TryPop()) {
        if (handler) {
            handler(*message);
        }
    }
}

bool CCommandSession::Search(double seconds) {
    PumpUntil(m_stopRequested, static_cast<int>(seconds * 1000));
    return !m_stopRequested();
}
