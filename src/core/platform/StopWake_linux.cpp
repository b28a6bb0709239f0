#include "StopWake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

void CStopWakeFd::CSignal::operator()() const {
    const uint64_t one = 1;
    // Never read back: the descriptor stays readable from now on.
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof(one));
}

CStopWakeFd::CStopWakeFd(std::stop_token stop) {
    if (!stop.stop_possible()) {
        return;
    }
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd >= 0) {
        // Runs at once when the stop was requested already.
        m_onStop.emplace(stop, CSignal{m_fd});
    }
}

CStopWakeFd::~CStopWakeFd() {
    m_onStop.reset();
    if (m_fd >= 0) {
        close(m_fd);
    }
}

}  // namespace platform
