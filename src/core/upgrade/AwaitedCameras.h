// The cameras a batch waits for: named by the technician, not found by the
// search when the batch started. Each is seen at most once (its first
// search report); the ones not seen when the waiting time is over end.
// Plain bookkeeping: the engine keeps it under the run's lock, so that a
// report on the search thread and the coordinator meet there.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

class CAwaitedCameras {
public:
    using Clock = std::chrono::steady_clock;

    // Before the wait starts: one more camera to wait for (each MAC once,
    // in any letter case).
    void Add(const std::string& mac);
    // The waiting time starts now; `text` is the time as given ("10m").
    void Open(int seconds, std::string text, Clock::time_point now);

    // Every camera waited for, seen or not, in the order added.
    const std::vector<std::string>& Macs() const { return m_macs; }
    const std::string& Text() const { return m_text; }
    int Seconds() const { return m_seconds; }
    // Some camera is still waited for.
    bool Waiting() const { return !m_waiting.empty(); }
    Clock::time_point Deadline() const { return m_deadline; }

    // A search report: true when it shows a camera still waited for, which
    // is then no longer waited for and handed out by TakeSeen.
    bool Seen(const DEVICE_S_INFO& record);
    // The coordinator has something to do: a camera was seen, or the time
    // is over while some are still waited for.
    bool HasNews(Clock::time_point now) const;
    std::vector<DeviceInfoPtr> TakeSeen();
    // The cameras still waited for once the time is over (empty before);
    // afterwards none is waited for.
    std::vector<std::string> TakeExpired(Clock::time_point now);
    // Every camera still waited for or seen and not taken, the wait
    // ending now (a cancel).
    std::vector<std::string> TakeAll();

private:
    std::vector<std::string> m_macs;
    std::vector<std::string> m_waiting;
    std::vector<DeviceInfoPtr> m_seen;
    Clock::time_point m_deadline{};
    int m_seconds = 0;
    std::string m_text;
};
