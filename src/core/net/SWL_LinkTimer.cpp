#include "net/SWL_LinkTimer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

thread_local bool t_onTimerThread = false;

struct TimerState {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<CSWL_LinkTimer::IClient*> clients;
    CSWL_LinkTimer::IClient* current = nullptr;  // whose turn runs now
    bool currentRemoved = false;                 // removed during its own turn
    // A thread runs while its generation is the current one; a new
    // generation tells the old thread to end.
    uint64_t generation = 0;
    bool threadRunning = false;
    std::thread thread;

    void Run(uint64_t mine) {
        t_onTimerThread = true;
        std::unique_lock<std::mutex> lock(mutex);
        while (mine == generation) {
            changed.wait_for(lock, std::chrono::milliseconds(CSWL_LinkTimer::kTurnMs),
                             [&] { return mine != generation; });
            if (mine != generation) {
                break;
            }
            const std::vector<CSWL_LinkTimer::IClient*> turn = clients;
            for (CSWL_LinkTimer::IClient* client : turn) {
                if (mine != generation) {
                    break;
                }
                if (std::find(clients.begin(), clients.end(), client) == clients.end()) {
                    continue;  // removed by an earlier turn
                }
                current = client;
                currentRemoved = false;
                lock.unlock();
                const bool keep = client->OnTimerTurn();
                lock.lock();
                // A newer thread may have taken over meanwhile (this client
                // emptied the list in its turn): its turn is left alone.
                if (current == client) {
                    current = nullptr;
                }
                // A client removed during its turn may be gone: not touched.
                if (mine == generation && !keep && !currentRemoved) {
                    const auto it = std::find(clients.begin(), clients.end(), client);
                    if (it != clients.end()) {
                        clients.erase(it);
                    }
                }
                changed.notify_all();
            }
        }
        if (mine == generation) {
            threadRunning = false;
        }
    }
};

// Never destroyed: links that outlive main (a thread of their own still
// destroying them at exit) must find the timer's state intact.
TimerState& State() {
    static TimerState* const state = new TimerState;
    return *state;
}

}  // namespace

bool CSWL_LinkTimer::Add(IClient* client) {
    TimerState& state = State();
    std::thread previous;
    {
        std::lock_guard<std::mutex> guard(state.mutex);
        if (!state.threadRunning) {
            // A thread that ended during its own client's turn is joined here.
            previous = std::move(state.thread);
            const uint64_t generation = ++state.generation;
            try {
                state.thread = std::thread([&state, generation] { state.Run(generation); });
            } catch (const std::system_error&) {
                return false;
            }
            state.threadRunning = true;
        }
        state.clients.push_back(client);
    }
    if (previous.joinable()) {
        if (t_onTimerThread) {
            previous.detach();  // this very thread, ending after its turn
        } else {
            previous.join();
        }
    }
    return true;
}

void CSWL_LinkTimer::Remove(IClient* client) {
    TimerState& state = State();
    std::thread ended;
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        const auto it = std::find(state.clients.begin(), state.clients.end(), client);
        if (it != state.clients.end()) {
            state.clients.erase(it);
        }
        const bool onTimerThread = t_onTimerThread;
        if (onTimerThread) {
            if (state.current == client) {
                state.currentRemoved = true;
            }
        } else {
            state.changed.wait(lock, [&] { return state.current != client; });
        }
        if (state.clients.empty() && state.threadRunning) {
            // The last client: the thread ends; joined here unless this is it.
            ++state.generation;
            state.threadRunning = false;
            if (!onTimerThread) {
                ended = std::move(state.thread);
            }
        }
    }
    state.changed.notify_all();
    if (ended.joinable()) {
        ended.join();
    }
}
