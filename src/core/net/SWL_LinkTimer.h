// One thread for the timed work of every TCP link: every 100 ms it gives
// each registered client a turn (a link sends its keep-alive heads and
// reports its loss there). The thread starts with the first client and
// ends with the last one; a process with no link has no timer thread (one
// that exits with links still open leaves it to the exit).
#pragma once

#include <cstdint>

class CSWL_LinkTimer {
public:
    class IClient {
    public:
        // One turn on the timer thread; false removes the client (its last
        // turn). Must not block: the other clients wait for it.
        virtual bool OnTimerTurn() = 0;

    protected:
        ~IClient() = default;
    };

    static constexpr uint32_t kTurnMs = 100;

    // Gives `client` a turn from the next one on. False when the timer
    // thread cannot be started.
    static bool Add(IClient* client);
    // No turn of `client` starts after this returns; a turn that runs on
    // another thread is waited for. Called from the client's own turn, it
    // returns at once. Harmless for a client that was never added.
    static void Remove(IClient* client);
};
