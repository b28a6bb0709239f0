#include "ExitStops.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

class CExitStopRegistry {
public:
    uint64_t Add(std::function<void()> stop) {
        std::lock_guard<std::mutex> guard(m_mutex);
        const uint64_t id = m_nextId++;
        m_stops.emplace(id, std::move(stop));
        return id;
    }

    void Remove(uint64_t id) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stops.erase(id);
        // The owner may go away once this returns: a stop that another
        // thread runs right now must end first.
        m_changed.wait(lock, [&] {
            const auto running = m_running.find(id);
            return running == m_running.end() || running->second == std::this_thread::get_id();
        });
    }

    void RunAll() {
        const std::thread::id self = std::this_thread::get_id();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stops.empty()) {
            // One at a time, the lock released, so that a stop may register
            // or unregister others.
            const auto last = std::prev(m_stops.end());
            const uint64_t id = last->first;
            std::function<void()> stop = std::move(last->second);
            m_stops.erase(last);
            m_running.emplace(id, self);
            lock.unlock();
            try {
                stop();
            } catch (...) {
                // The process is ending: the other stops still run.
            }
            lock.lock();
            m_running.erase(id);
            m_changed.notify_all();
        }
        m_changed.wait(lock, [&] {
            return std::all_of(m_running.begin(), m_running.end(),
                               [&](const auto& running) { return running.second == self; });
        });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<uint64_t, std::function<void()>> m_stops;  // by registration order
    std::map<uint64_t, std::thread::id> m_running;      // stops being run, by whom
    uint64_t m_nextId = 1;
};

// Never destroyed: an atexit handler may still need it after the statics.
CExitStopRegistry& Registry() {
    static auto* registry = new CExitStopRegistry;
    return *registry;
}

}  // namespace

CExitStop& CExitStop::operator=(CExitStop&& other) noexcept {
    if (this != &other) {
        Reset();
        m_id = other.m_id;
        other.m_id = 0;
    }
    return *this;
}

void CExitStop::Reset() {
    if (m_id != 0) {
        Registry().Remove(m_id);
        m_id = 0;
    }
}

CExitStop RegisterExitStop(std::function<void()> stop) {
    if (!stop) {
        return {};
    }
    return CExitStop(Registry().Add(std::move(stop)));
}

void RunExitStops() {
    Registry().RunAll();
}
