// The fleet's event log: kept in memory for assertions and, when a file is
// named, appended to it as JSON lines. Safe to use from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimEvent.h"

class CSimEventLog {
public:
    CSimEventLog();
    ~CSimEventLog();

    // Opens (appends to) the file; false when it cannot be opened.
    bool OpenFile(const std::string& path);
    void SetStart(uint64_t startMs);
    // Stamps the time and stores the event. A bounded log: past
    // kMaxEvents the oldest half is dropped from memory (the file keeps all).
    void Add(SimEvent event);

    std::vector<SimEvent> All() const;
    std::vector<SimEvent> For(const std::string& mac) const;
    int Count(const std::string& mac, const std::string& kind) const;
    bool WaitFor(const std::string& mac, const std::string& kind, int count, int timeoutMs) const;
    void Clear();
    // Called with each event once it is stored, before the camera acts on
    // it (an acknowledgement goes out after its "block" event was seen).
    void SetObserver(std::function<void(const SimEvent&)> observer);

    static constexpr size_t kMaxEvents = 200000;

private:
    struct FileCloser {
        void operator()(FILE* f) const {
            if (f)
                fclose(f);
        }
    };
    int CountLocked(const std::string& mac, const std::string& kind) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<SimEvent> m_events;
    std::unique_ptr<FILE, FileCloser> m_file;
    uint64_t m_startMs = 0;
    std::mutex m_observerMutex;  // held while the observer runs, never with m_mutex
    std::function<void(const SimEvent&)> m_observer;
};

// MAC texts compare without regard to letter case.
bool SimSameMac(const std::string& a, const std::string& b);
