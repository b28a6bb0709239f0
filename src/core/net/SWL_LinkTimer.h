// One thread for the timed work of a set of TCP links: every 100 ms it
// gives each registered client a turn (a link sends its keep-alive heads and
// reports its loss there). The thread starts with the first client and ends
// with the last one, so a timer with no link has no thread. Its owner (the
// session, a test) creates it before the links it serves and destroys it
// after them; the destructor ends and joins the thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CSWL_LinkTimer {
public:
    class IClient {
    public:
        // One turn on the timer thread; false removes the client (its last
        // turn). Must not block: the other clients wait for it.
        virtual bool OnTimerTurn() = 0;

    protected:
        ~IClient() = default;
    };

    static constexpr uint32_t kTurnMs = 100;

    CSWL_LinkTimer() = default;
    // Ends and joins the thread. Every client must have been removed.
    ~CSWL_LinkTimer();
    CSWL_LinkTimer(const CSWL_LinkTimer&) = delete;
    CSWL_LinkTimer& operator=(const CSWL_LinkTimer&) = delete;

    // Gives `client` a turn from the next one on. False when the timer
    // thread cannot be started.
    bool Add(IClient* client);
    // No turn of `client` starts after this returns; a turn that runs on
    // another thread is waited for. Called from the client's own turn, it
    // returns at once. Harmless for a client that was never added.
    void Remove(IClient* client);

private:
    void Run(uint64_t mine);
    bool OnOwnThread() const;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<IClient*> m_clients;
    IClient* m_current = nullptr;   // whose turn runs now
    bool m_currentRemoved = false;  // removed during its own turn
    // A thread runs while its generation is the current one; a new
    // generation tells the old thread to end.
    uint64_t m_generation = 0;
    bool m_threadRunning = false;
    std::thread m_thread;
    // Threads that ended during a turn of their own and were replaced from
    // that turn: joined by a later Add or the destructor.
    std::vector<std::thread> m_retired;
};
