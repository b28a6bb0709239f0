#include "SimReactor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

CSimReactor::CSimReactor() : m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CSimReactor::~CSimReactor() = default;

uint64_t CSimReactor::NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void CSimReactor::Watch(int fd, bool write, Handler handler) {
    Watched& entry = m_watched[fd];
    entry.write = write;
    entry.generation = ++m_generation;
    entry.handler = std::move(handler);
}

void CSimReactor::SetWrite(int fd, bool write) {
    auto it = m_watched.find(fd);
    if (it != m_watched.end()) {
        it->second.write = write;
    }
}

void CSimReactor::Unwatch(int fd) {
    m_watched.erase(fd);
}

uint64_t CSimReactor::After(uint32_t ms, std::function<void()> task) {
    const uint64_t id = m_nextTimerId++;
    const uint64_t deadline = NowMs() + ms;
    m_timers.emplace(id, std::make_pair(deadline, std::move(task)));
    m_deadlines.emplace(deadline, id);
    return id;
}

void CSimReactor::Cancel(uint64_t timerId) {
    auto it = m_timers.find(timerId);
    if (it == m_timers.end()) {
        return;
    }
    auto range = m_deadlines.equal_range(it->second.first);
    for (auto d = range.first; d != range.second; ++d) {
        if (d->second == timerId) {
            m_deadlines.erase(d);
            break;
        }
    }
    m_timers.erase(it);
}

void CSimReactor::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_postMutex);
        m_posted.push_back(std::move(task));
    }
    Wake();
}

void CSimReactor::Quit() {
    {
        std::lock_guard<std::mutex> lock(m_postMutex);
        m_quit = true;
    }
    Wake();
}

bool CSimReactor::InLoopThread() const {
    std::lock_guard<std::mutex> lock(m_postMutex);
    return m_loopThread == std::this_thread::get_id();
}

void CSimReactor::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd.Get(), &one, sizeof one);
}

void CSimReactor::DrainWake() {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wakeFd.Get(), &value, sizeof value);
}

void CSimReactor::RunPosted() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(m_postMutex);
        tasks.swap(m_posted);
    }
    for (auto& task : tasks) {
        task();
    }
}

void CSimReactor::RunTimers() {
    const uint64_t now = NowMs();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        const uint64_t id = m_deadlines.begin()->second;
        m_deadlines.erase(m_deadlines.begin());
        auto it = m_timers.find(id);
        if (it == m_timers.end()) {
            continue;
        }
        std::function<void()> task = std::move(it->second.second);
        m_timers.erase(it);
        task();
    }
}

int CSimReactor::NextTimeoutMs() const {
    if (m_deadlines.empty()) {
        return -1;
    }
    const uint64_t now = NowMs();
    const uint64_t deadline = m_deadlines.begin()->first;
    return deadline <= now ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, 60000));
}

void CSimReactor::Run() {
    {
        std::lock_guard<std::mutex> lock(m_postMutex);
        m_loopThread = std::this_thread::get_id();
        m_quit = false;
    }
    std::vector<pollfd> fds;
    std::vector<uint64_t> generations;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_postMutex);
            if (m_quit) {
                break;
            }
        }
        fds.clear();
        generations.clear();
        fds.push_back({m_wakeFd.Get(), POLLIN, 0});
        generations.push_back(0);
        for (const auto& [fd, entry] : m_watched) {
            fds.push_back({fd, static_cast<short>(POLLIN | (entry.write ? POLLOUT : 0)), 0});
            generations.push_back(entry.generation);
        }
        const int ready = ::poll(fds.data(), fds.size(), NextTimeoutMs());
        m_turns.fetch_add(1, std::memory_order_relaxed);
        if (ready > 0) {
            if (fds[0].revents != 0) {
                DrainWake();
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents == 0) {
                    continue;
                }
                auto it = m_watched.find(fds[i].fd);
                // Skip an fd that was unwatched (or reused) earlier in this turn.
                if (it == m_watched.end() || it->second.generation != generations[i]) {
                    continue;
                }
                const bool readable =
                    (fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
                const bool writable = (fds[i].revents & POLLOUT) != 0;
                Handler handler = it->second.handler;  // the handler may unwatch itself
                handler(readable, writable);
            }
        }
        RunPosted();
        RunTimers();
    }
    RunPosted();
    std::lock_guard<std::mutex> lock(m_postMutex);
    m_loopThread = std::thread::id();
}
