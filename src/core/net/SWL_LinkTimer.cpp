#include "net/SWL_LinkTimer.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

// The timer whose thread this is (null on every other thread).
thread_local const CSWL_LinkTimer* t_timerOfThread = nullptr;

}  // namespace

CSWL_LinkTimer::~CSWL_LinkTimer() {
    std::thread current;
    std::vector<std::thread> retired;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_generation;
        m_threadRunning = false;
        m_clients.clear();
        current = std::move(m_thread);
        retired.swap(m_retired);
    }
    m_changed.notify_all();
    if (current.joinable()) {
        current.join();
    }
    for (std::thread& thread : retired) {
        thread.join();
    }
}

bool CSWL_LinkTimer::OnOwnThread() const {
    return t_timerOfThread == this;
}

void CSWL_LinkTimer::Run(uint64_t mine) {
    t_timerOfThread = this;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (mine == m_generation) {
        m_changed.wait_for(lock, std::chrono::milliseconds(kTurnMs),
                           [&] { return mine != m_generation; });
        if (mine != m_generation) {
            break;
        }
        const std::vector<IClient*> turn = m_clients;
        for (IClient* client : turn) {
            if (mine != m_generation) {
                break;
            }
            if (std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end()) {
                continue;  // removed by an earlier turn
            }
            m_current = client;
            m_currentRemoved = false;
            lock.unlock();
            const bool keep = client->OnTimerTurn();
            lock.lock();
            // A newer thread may have taken over meanwhile (this client
            // emptied the list in its turn): its turn is left alone.
            if (m_current == client) {
                m_current = nullptr;
            }
            // A client removed during its turn may be gone: not touched.
            if (mine == m_generation && !keep && !m_currentRemoved) {
                const auto it = std::find(m_clients.begin(), m_clients.end(), client);
                if (it != m_clients.end()) {
                    m_clients.erase(it);
                }
            }
            m_changed.notify_all();
        }
    }
    if (mine == m_generation) {
        m_threadRunning = false;
    }
}

bool CSWL_LinkTimer::Add(IClient* client) {
    std::thread previous;
    std::vector<std::thread> retired;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_threadRunning) {
            // A thread that ended during its own client's turn is joined
            // here, or later when this is that very thread.
            previous = std::move(m_thread);
            const uint64_t generation = ++m_generation;
            try {
                m_thread = std::thread([this, generation] { Run(generation); });
            } catch (const std::system_error&) {
                m_thread = std::move(previous);
                return false;
            }
            m_threadRunning = true;
            if (previous.joinable() && OnOwnThread()) {
                m_retired.push_back(std::move(previous));
            }
        }
        if (!OnOwnThread()) {
            retired.swap(m_retired);
        }
        m_clients.push_back(client);
    }
    if (previous.joinable()) {
        previous.join();
    }
    for (std::thread& thread : retired) {
        thread.join();
    }
    return true;
}

void CSWL_LinkTimer::Remove(IClient* client) {
    std::thread ended;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto it = std::find(m_clients.begin(), m_clients.end(), client);
        if (it != m_clients.end()) {
            m_clients.erase(it);
        }
        const bool onTimerThread = OnOwnThread();
        if (onTimerThread) {
            if (m_current == client) {
                m_currentRemoved = true;
            }
        } else {
            m_changed.wait(lock, [&] { return m_current != client; });
        }
        if (m_clients.empty() && m_threadRunning) {
            // The last client: the thread ends; joined here unless this is it.
            ++m_generation;
            m_threadRunning = false;
            if (!onTimerThread) {
                ended = std::move(m_thread);
            }
        }
    }
    m_changed.notify_all();
    if (ended.joinable()) {
        ended.join();
    }
}
