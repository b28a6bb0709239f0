#include "platform/Pub.h"

#include <malloc.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <system_error>

PUB_THREAD PUB_CreateThread(std::function<void()> routine, std::atomic<bool>* running) {
    if (running != nullptr) {
        running->store(true);
    }
    try {
        return std::make_unique<std::thread>(std::move(routine));
    } catch (const std::system_error&) {
        if (running != nullptr) {
            running->store(false);
        }
        return nullptr;
    }
}

void PUB_ExitThread(PUB_THREAD& thread, std::atomic<bool>* running) {
    if (!thread) {
        return;
    }
    if (running != nullptr) {
        running->store(false);
    }
    if (thread->joinable()) {
        if (thread->get_id() == std::this_thread::get_id()) {
            thread->detach();
        } else {
            thread->join();
        }
    }
    thread.reset();
}

void PUB_Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms == 0 ? 10 : ms));
}

namespace {

uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace

uint32_t PUB_GetTickCount() {
    return PUB_GetTickCountFrom(&MonotonicMs);
}

uint32_t PUB_GetTickCountFrom(uint64_t (*nowMs)()) {
    for (;;) {
        const auto tick = static_cast<uint32_t>(nowMs());
        if (tick != 0) {
            return tick;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void CPUB_Event::Set() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_signalled = true;
    }
    if (m_manualReset) {
        m_cond.notify_all();
    } else {
        m_cond.notify_one();
    }
}

void CPUB_Event::Reset() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_signalled = false;
}

bool CPUB_Event::IsSet() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_signalled;
}

bool CPUB_Event::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> guard(m_mutex);
    const auto ready = [this] { return m_signalled; };
    if (timeoutMs < 0) {
        m_cond.wait(guard, ready);
    } else if (!m_cond.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    if (!m_manualReset) {
        m_signalled = false;
    }
    return true;
}

void PUB_ReleaseFreeMemory() {
    malloc_trim(0);
}

std::tm PUB_UtcTime(std::time_t t) {
    std::tm broken{};
    gmtime_r(&t, &broken);
    return broken;
}

std::tm PUB_LocalTime(std::time_t t) {
    std::tm broken{};
    localtime_r(&t, &broken);
    return broken;
}

long PUB_GetProcessId() {
    return static_cast<long>(::getpid());
}

long PUB_GetThreadId() {
    return static_cast<long>(::syscall(SYS_gettid));
}
