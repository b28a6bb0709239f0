// The device client's connection and login: the camera's 64-byte first
// message, then the camera's bytes after the login request (raw link bytes:
// heads, fragments, the reply frame, anything) and the end of its sending
// side; the frames that follow go through the dispatch of the new client.
//
// Tearing a client down waits for its keep-alive thread's 100 ms turn, so
// clients are handed to a few reaper threads and the next input goes on.
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "DevicePeer.h"
#include "FuzzInput.h"
#include "app/Logger.h"
#include "device/NetDVSDevice.h"
#include "net/SWL_LinkTimer.h"
#include "net/SWL_TCPLink.h"

namespace {

// One link timer for every run of the target, outliving each link.
CSWL_LinkTimer& FuzzLinkTimer() {
    static CSWL_LinkTimer timer;
    return timer;
}

struct Finished {
    std::shared_ptr<CNetDVSDevice> client;
    std::unique_ptr<fuzz_peer::CPeerConnection> peer;  // after the client
};

// Ends clients (and then their peers) on a few threads.
class CReaper {
public:
    static constexpr size_t kThreads = 8;
    static constexpr size_t kMaxQueued = 32;

    CReaper() {
        for (size_t i = 0; i < kThreads; ++i) {
            m_threads.emplace_back([this] { Run(); });
        }
    }
    void Add(Finished finished) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [&] { return m_queue.size() < kMaxQueued; });
        m_queue.push_back(std::move(finished));
        m_work.notify_one();
    }
    // Ends everything queued and the threads (before the logger goes).
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_work.notify_all();
        for (auto& thread : m_threads) {
            thread.join();
        }
        m_threads.clear();
    }

private:
    void Run() {
        for (;;) {
            Finished item;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_work.wait(lock, [&] { return m_stop || !m_queue.empty(); });
                if (m_queue.empty()) {
                    return;
                }
                item = std::move(m_queue.front());
                m_queue.pop_front();
                m_room.notify_one();
            }
            item.client.reset();
            item.peer.reset();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_room;
    std::deque<Finished> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

std::unique_ptr<CReaper> g_reaper;
std::unique_ptr<fuzz_peer::CListener> g_listener;

bool Setup() {
    GetLogInstance();  // constructed before the exit handler is registered
    // A stalled half message ends quickly instead of after 20 s.
    CSWL_TCPLink::SetProgressLimitForTest(2000);
    // Made before the exit handler is registered, so that it goes after
    // the reapers have ended their clients' links.
    FuzzLinkTimer();
    g_reaper = std::make_unique<CReaper>();
    g_listener = std::make_unique<fuzz_peer::CListener>();
    std::atexit([] {
        g_reaper->Stop();
        g_reaper.reset();
    });
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    const fuzz_peer::CListener* listener = g_listener.get();

    CFuzzInput in(data, size);
    const uint8_t flags = in.Byte();
    fuzz_peer::Bytes script(SERVER_INFO_SIZE, 0);
    const auto info = in.Bytes(SERVER_INFO_SIZE);
    std::copy(info.begin(), info.end(), script.begin());
    const auto loginBytes = in.Chunk();
    script.insert(script.end(), loginBytes.begin(), loginBytes.end());

    Finished finished;
    finished.peer = std::make_unique<fuzz_peer::CPeerConnection>(*listener, script, true);
    const uint32_t created = CNetDVSDevice::CreateServerObject(
        finished.client, FuzzLinkTimer(), "00:1A:2B:3C:4D:5E", "127.0.0.1", listener->Port(),
        &fuzz_peer::TouchEvent, nullptr, 2000);
    if (created == NET_OK) {
        NET_DEVICE_INFO deviceInfo;
        finished.client->LogIn("admin", "secret", &deviceInfo, (flags & 1) != 0);
        while (!in.Empty()) {
            const auto frame = in.Chunk();
            if (frame.empty()) {
                continue;
            }
            const std::vector<uint8_t> message(frame.begin(), frame.end());
            CNetDVSDevice::RecvEntry(finished.client.get(), message.data(),
                                     static_cast<int32_t>(message.size()));
        }
    }
    g_reaper->Add(std::move(finished));
    return 0;
}
