// A descriptor that turns readable once a stop is requested, so that a
// thread blocked in poll on a socket or a process wakes at the stop.
#pragma once

#include <optional>
#include <stop_token>

namespace platform {

class CStopWakeFd {
public:
    // Without a token that can be stopped there is no descriptor (-1, which
    // poll passes over).
    explicit CStopWakeFd(std::stop_token stop);
    ~CStopWakeFd();
    CStopWakeFd(const CStopWakeFd&) = delete;
    CStopWakeFd& operator=(const CStopWakeFd&) = delete;

    // For poll with POLLIN; -1 when there is none.
    int Get() const { return m_fd; }

private:
    struct CSignal {
        int fd;
        void operator()() const;
    };
    int m_fd = -1;
    // Destroyed before the descriptor closes; its destructor waits for a
    // callback that is running.
    std::optional<std::stop_callback<CSignal>> m_onStop;
};

}  // namespace platform
