// The run's log lines on their way to the window's log pane. The logger
// calls the feed on whatever thread writes; the lines wait in a bounded
// queue until the window thread takes them (a timer, a few times a second),
// so no writer ever waits for the window.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct LOG_FEED_LINE {
    std::string text;     // "level function: text", as the pane shows it
    std::string mac;      // the camera the line names ("mac: ..."), or ""
    std::string address;  // the address an attempt uses ("currentIp: ..."), or ""
};

class CLogFeed {
public:
    // Most lines kept between two takes; older ones are dropped first.
    static constexpr size_t kMaxPending = 4000;

    CLogFeed();   // registers with the logger
    ~CLogFeed();  // unregisters; no call comes after it returns
    CLogFeed(const CLogFeed&) = delete;
    CLogFeed& operator=(const CLogFeed&) = delete;

    std::vector<LOG_FEED_LINE> Take();
    // Lines dropped because the window fell behind (since the last take).
    size_t Dropped() const;

    // The camera a line is about ("mac: 00:11:..." up to the next comma).
    static std::string MacOf(const std::string& text);
    static std::string AddressOf(const std::string& text);

private:
    int m_observer = 0;
    mutable std::mutex m_mutex;
    std::deque<LOG_FEED_LINE> m_pending;
    size_t m_dropped = 0;
};
