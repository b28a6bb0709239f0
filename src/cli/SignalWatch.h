// SIGINT and SIGTERM while a command runs. The handler only counts them; the
// command's main loop asks between messages and stops in order. A second
// one ends the process at once, for when that orderly stop hangs. SIGUSR1
// is counted too: each one pauses a running upgrade or lets it go on.
#pragma once

// Exit status of a command ended by SIGINT or SIGTERM (128 + SIGINT).
constexpr int kInterruptedExitStatus = 130;

class CSignalWatch {
public:
    // Installs the handlers; one watch at a time.
    CSignalWatch();
    // Puts the earlier handlers back.
    ~CSignalWatch();
    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;

    // True once a stop signal arrived, on any thread.
    static bool StopRequested();
    // SIGUSR1 signals since the watch was installed, on any thread.
    static int PauseToggles();
};
