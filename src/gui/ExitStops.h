// Stops to run when the process is about to end without the program's own
// shutdown: exit() called by a library (Qt's xcb plugin on a lost X
// connection) destroys the statics while threads of ours may still run and
// use them. Whoever starts a thread registers a stop that ends and joins it;
// RunExitStops runs them before the statics go (QtExitGuard.h decides when).
#pragma once

#include <cstdint>
#include <functional>

// A registered stop. Destroying or resetting it unregisters the stop; once
// that returns, the stop will not run and is not running (when another
// thread runs it right then, the unregistering thread waits for its end; the
// stop itself may unregister without waiting). Move-only.
class CExitStop {
public:
    CExitStop() = default;
    ~CExitStop() { Reset(); }
    CExitStop(CExitStop&& other) noexcept : m_id(other.m_id) { other.m_id = 0; }
    CExitStop& operator=(CExitStop&& other) noexcept;
    CExitStop(const CExitStop&) = delete;
    CExitStop& operator=(const CExitStop&) = delete;

    void Reset();
    bool IsRegistered() const { return m_id != 0; }

private:
    friend CExitStop RegisterExitStop(std::function<void()> stop);
    explicit CExitStop(uint64_t id) : m_id(id) {}

    uint64_t m_id = 0;
};

// Registers `stop`, which ends and joins threads of its owner (a picture's
// animation, a session's batch: cancel, then join). It must neither throw nor
// wait for Qt's event loop: it runs on the thread that ends the process,
// usually the window thread, inside a Qt message handler or an atexit
// handler. Each stop runs at most once. Any thread may register; keep the
// result for as long as the threads run. An empty `stop` is not registered.
[[nodiscard]] CExitStop RegisterExitStop(std::function<void()> stop);

// Runs every registered stop, the latest registered first, and forgets it;
// returns when all have ended, those that other threads were running too.
// Any thread may call it, also from an atexit handler (the registry is never
// destroyed). A second run runs only what was registered since; a run from
// within a stop runs the rest and does not wait for the stop it came from.
void RunExitStops();
