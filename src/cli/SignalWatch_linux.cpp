#include "SignalWatch.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "TerminalKeys.h"

namespace {

// Touched by the handler: lock-free, so async-signal-safe.
std::atomic<int> g_stopSignals{0};
std::atomic<int> g_pauseToggles{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction g_oldInterrupt {};
struct sigaction g_oldTerminate {};
struct sigaction g_oldUser1 {};

void OnStopSignal(int) {
    if (g_stopSignals.fetch_add(1) >= 1) {
        // The terminal as it was, also when the keys were being read.
        RestoreTerminalKeys();
        _exit(kInterruptedExitStatus);
    }
}

void OnPauseSignal(int) {
    g_pauseToggles.fetch_add(1);
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
    g_pauseToggles.store(0);
    action.sa_handler = OnPauseSignal;
    // A toggle interrupts nothing: the main loop looks between messages.
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, &g_oldUser1);
}

CSignalWatch::~CSignalWatch() {
    sigaction(SIGINT, &g_oldInterrupt, nullptr);
    sigaction(SIGTERM, &g_oldTerminate, nullptr);
    sigaction(SIGUSR1, &g_oldUser1, nullptr);
}

bool CSignalWatch::StopRequested() {
    return g_stopSignals.load() > 0;
}

int CSignalWatch::PauseToggles() {
    return g_pauseToggles.load();
}
