#include "SignalWatch.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace {

// Touched by the handler: lock-free, so async-signal-safe.
std::atomic<int> g_stopSignals{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction g_oldInterrupt {};
struct sigaction g_oldTerminate {};

void OnStopSignal(int) {
    if (g_stopSignals.fetch_add(1) >= 1) {
        _exit(kInterruptedExitStatus);
    }
}

}  // namespace

CSignalWatch::CSignalWatch() {
    g_stopSignals.store(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a call that blocks the main thread (the prompt, a
    // report path that never opens) gives way; any thread that sees EINTR
    // is stopping anyway.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &g_oldInterrupt);
    sigaction(SIGTERM, &action, &g_oldTerminate);
}

CSignalWatch::~CSignalWatch() {
    sigaction(SIGINT, &g_oldInterrupt, nullptr);
    sigaction(SIGTERM, &g_oldTerminate, nullptr);
}

bool CSignalWatch::StopRequested() {
    return g_stopSignals.load() > 0;
}
