// Process utilities: threads with a running flag, sleeping, the tick count,
// locks and events. Everything the engine needs from the OS besides sockets.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A started thread. Empty (null) means "no thread", like a zero handle.
using PUB_THREAD = std::unique_ptr<std::thread>;

// Sets *running to true, then starts a thread that runs `routine`.
// If the thread cannot be created, *running goes back to false and the
// result is empty.
PUB_THREAD PUB_CreateThread(std::function<void()> routine, std::atomic<bool>* running);

// If `thread` holds a thread: clears *running, joins the thread without limit
// and empties `thread`. Joining one's own thread is refused (it would hang);
// the thread is detached instead.
void PUB_ExitThread(PUB_THREAD& thread, std::atomic<bool>* running);

// Sleeps `ms` milliseconds; 0 means 10 ms.
void PUB_Sleep(uint32_t ms);

// Milliseconds since an arbitrary start, wrapping at 32 bits, never 0.
// Differences are taken as unsigned 32-bit values.
uint32_t PUB_GetTickCount();
// PUB_GetTickCount over another clock of milliseconds (tests).
uint32_t PUB_GetTickCountFrom(uint64_t (*nowMs)());

// Milliseconds elapsed since `start` (a PUB_GetTickCount value), wrap-safe.
inline uint32_t PUB_TicksSince(uint32_t start) {
    return PUB_GetTickCount() - start;
}

// `t` broken down as UTC or as local time, safe to call from any thread.
std::tm PUB_UtcTime(std::time_t t);
std::tm PUB_LocalTime(std::time_t t);

// This process's id, for names that must differ between processes, and
// the calling thread's id as the system's tools show it.
long PUB_GetProcessId();
long PUB_GetThreadId();

// Hands the heap's free pages back to the system. A process that stays up
// all day would otherwise keep the high-water mark of its busiest batch in
// every allocator arena that a worker thread once used.
void PUB_ReleaseFreeMemory();

// A critical section: recursive, so the owning thread may enter it again.
class CPUB_Lock {
public:
    CPUB_Lock() = default;
    CPUB_Lock(const CPUB_Lock&) = delete;
    CPUB_Lock& operator=(const CPUB_Lock&) = delete;

    void Lock() { m_mutex.lock(); }
    void UnLock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

    // Lets std::lock_guard and friends use the lock too.
    void lock() { Lock(); }
    void unlock() { UnLock(); }

private:
    std::recursive_mutex m_mutex;
};

// Scoped guard: enters the lock on construction, leaves it at scope end.
class CPUB_LockAction {
public:
    explicit CPUB_LockAction(CPUB_Lock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CPUB_LockAction() { m_lock.UnLock(); }
    CPUB_LockAction(const CPUB_LockAction&) = delete;
    CPUB_LockAction& operator=(const CPUB_LockAction&) = delete;

private:
    CPUB_Lock& m_lock;
};

// An event in the manner of a kernel event. A manual-reset event stays
// signalled until Reset; an auto-reset event releases one waiter and
// clears itself.
class CPUB_Event {
public:
    static constexpr int kInfinite = -1;

    CPUB_Event(bool manualReset, bool initialState)
        : m_manualReset(manualReset), m_signalled(initialState) {}
    CPUB_Event(const CPUB_Event&) = delete;
    CPUB_Event& operator=(const CPUB_Event&) = delete;

    void Set();
    void Reset();
    // Waits up to `timeoutMs` (kInfinite: without limit). True when signalled.
    bool Wait(int timeoutMs);
    bool IsSet() const;

private:
    const bool m_manualReset;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled;
};
