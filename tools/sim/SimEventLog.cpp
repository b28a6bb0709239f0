#include "SimEventLog.h"

#include <strings.h>
#include <chrono>

#include "SimReactor.h"

bool SimSameMac(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

CSimEventLog::CSimEventLog() : m_startMs(CSimReactor::NowMs()) {}
CSimEventLog::~CSimEventLog() = default;

bool CSimEventLog::OpenFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.reset(fopen(path.c_str(), "a"));
    return m_file != nullptr;
}

void CSimEventLog::SetStart(uint64_t startMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_startMs = startMs;
}

void CSimEventLog::SetObserver(std::function<void(const SimEvent&)> observer) {
    std::lock_guard<std::mutex> lock(m_observerMutex);
    m_observer = std::move(observer);
}

void CSimEventLog::Add(SimEvent event) {
    {
        std::lock_guard<std::mutex> lock(m_observerMutex);
        if (m_observer) {
            m_observer(event);
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        event.timeMs = CSimReactor::NowMs() - m_startMs;
        if (m_file) {
            const std::string line = event.Json() + "\n";
            fwrite(line.data(), 1, line.size(), m_file.get());
            fflush(m_file.get());
        }
        if (m_events.size() >= kMaxEvents) {
            m_events.erase(m_events.begin(), m_events.begin() + kMaxEvents / 2);
        }
        m_events.push_back(std::move(event));
    }
    m_changed.notify_all();
}

std::vector<SimEvent> CSimEventLog::All() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::vector<SimEvent> CSimEventLog::For(const std::string& mac) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SimEvent> out;
    for (const auto& e : m_events) {
        if (SimSameMac(e.mac, mac)) {
            out.push_back(e);
        }
    }
    return out;
}

int CSimEventLog::CountLocked(const std::string& mac, const std::string& kind) const {
    int n = 0;
    for (const auto& e : m_events) {
        if (e.kind == kind && SimSameMac(e.mac, mac)) {
            ++n;
        }
    }
    return n;
}

int CSimEventLog::Count(const std::string& mac, const std::string& kind) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return CountLocked(mac, kind);
}

bool CSimEventLog::WaitFor(const std::string& mac, const std::string& kind, int count,
                           int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return CountLocked(mac, kind) >= count; });
}

void CSimEventLog::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.clear();
}
