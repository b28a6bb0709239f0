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
    sigaddset(&set, SIGUSR1);
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

bool SimWaitForStop(double seconds, const std::function<void()>& onUser1) {
    const sigset_t set = StopSignals();
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += static_cast<time_t>(std::floor(seconds));
    end.tv_nsec += static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    if (end.tv_nsec >= 1000000000L) {
        end.tv_sec += 1;
        end.tv_nsec -= 1000000000L;
    }
    for (;;) {
        int r = 0;
        if (seconds <= 0) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) {
                return false;
            }
            r = signal;
        } else {
            // What is left of the time: a SIGUSR1 does not restart it.
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            timespec left{end.tv_sec - now.tv_sec, end.tv_nsec - now.tv_nsec};
            if (left.tv_nsec < 0) {
                left.tv_sec -= 1;
                left.tv_nsec += 1000000000L;
            }
            if (left.tv_sec < 0) {
                return false;  // time-out
            }
            r = sigtimedwait(&set, nullptr, &left);
            if (r < 0 && errno != EINTR) {
                return false;  // time-out
            }
        }
        if (r == SIGUSR1) {
            if (onUser1) {
                onUser1();
            }
        } else if (r > 0) {
            return true;
        }
    }
}
