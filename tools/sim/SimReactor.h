// The event loop that drives every simulated camera of a fleet: one thread
// waits in poll() on all sockets and on the next timer, so an idle fleet
// sleeps. Everything but Post, Quit and NowMs runs on the loop's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SimNet.h"

class CSimReactor {
public:
    using Handler = std::function<void(bool readable, bool writable)>;

    CSimReactor();
    ~CSimReactor();
    CSimReactor(const CSimReactor&) = delete;
    CSimReactor& operator=(const CSimReactor&) = delete;

    // Calls `handler` when fd is readable (or hung up / in error) or, when
    // asked, writable. Replaces an earlier watch of the same fd.
    void Watch(int fd, bool write, Handler handler);
    void SetWrite(int fd, bool write);
    void Unwatch(int fd);

    // Runs `task` once after `ms`; the id cancels it.
    uint64_t After(uint32_t ms, std::function<void()> task);
    void Cancel(uint64_t timerId);

    // From any thread: runs `task` on the loop's thread soon.
    void Post(std::function<void()> task);
    // From any thread: Run returns after the current turn.
    void Quit();
    // Runs the loop on the calling thread until Quit.
    void Run();
    bool InLoopThread() const;

    // How many times the loop has woken up (an idle loop must not spin).
    uint64_t Turns() const { return m_turns.load(std::memory_order_relaxed); }

    // Milliseconds on a steady clock.
    static uint64_t NowMs();

private:
    struct Watched {
        bool write = false;
        uint64_t generation = 0;
        Handler handler;
    };
    void Wake();
    void DrainWake();
    void RunPosted();
    void RunTimers();
    int NextTimeoutMs() const;

    CSimFd m_wakeFd;
    std::map<int, Watched> m_watched;
    uint64_t m_generation = 0;
    std::multimap<uint64_t, uint64_t> m_deadlines;  // deadline -> timer id
    std::map<uint64_t, std::pair<uint64_t, std::function<void()>>>
        m_timers;  // id -> deadline, task
    uint64_t m_nextTimerId = 1;

    mutable std::mutex m_postMutex;
    std::vector<std::function<void()>> m_posted;
    bool m_quit = false;  // under m_postMutex
    std::atomic<uint64_t> m_turns{0};
    std::thread::id m_loopThread;
};
