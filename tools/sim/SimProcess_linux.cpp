#include "SimProcess.h"

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <cmath>

namespace {
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void SimBlockStopSignals() {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SimRaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool SimWaitForStop(double seconds) {
    const sigset_t set = StopSignals();
    if (seconds <= 0) {
        int signal = 0;
        return sigwait(&set, &signal) == 0;
    }
    timespec limit{};
    limit.tv_sec = static_cast<time_t>(std::floor(seconds));
    limit.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    for (;;) {
        const int r = sigtimedwait(&set, nullptr, &limit);
        if (r > 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;  // time-out
        }
    }
}
