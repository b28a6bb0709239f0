// Notifications of IPv4 addresses added to the host's adapters, so that a
// wait for an added address wakes when the kernel has it instead of asking
// again and again.
#pragma once

#include <chrono>
#include <stop_token>

namespace reach {

class CAddressWatch {
public:
    // Subscribes at once: an address added after the constructor returns is
    // never missed.
    CAddressWatch();
    ~CAddressWatch();
    CAddressWatch(const CAddressWatch&) = delete;
    CAddressWatch& operator=(const CAddressWatch&) = delete;

    // False when the kernel's notifications could not be had.
    bool Ok() const { return m_fd >= 0; }

    enum class Wake {
        Added,     // an address was added, or notifications were lost
        Stopped,   // `stop` was requested
        TimedOut,  // `limit` passed
    };
    // Waits for an announcement on `watch`; without one (null) only the
    // stop or the limit ends the wait.
    static Wake Wait(CAddressWatch* watch, std::chrono::milliseconds limit, std::stop_token stop);

private:
    // Reads what is queued; true when an IPv4 address was added or the
    // queue overflowed (something may have been added).
    bool DrainAdded();

    int m_fd = -1;
};

}  // namespace reach
