// A camera stand-in for the search tests: answers probes on a loopback port
// that the system picks, with reply datagrams written here (not by the
// library's code), for any number of fake cameras.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeCamera {
    std::string mac;
    std::string bootId = "b1";
    std::string devName = "cam";
    std::string ip = "192.168.1.64";
    std::string series = "KMR_IPC_X";
    bool silent = false;
};

// The reply document of one camera.
std::string FakeReply(const FakeCamera& camera);

class CTestResponder {
public:
    // Unicast on `address` (e.g. "127.0.0.1"), port chosen by the system.
    static constexpr bool kUnicast = false;
    // Bound to the search group and joined on the loopback interface.
    static constexpr bool kMulticast = true;

    explicit CTestResponder(bool multicast = kUnicast, const std::string& address = "127.0.0.1");
    ~CTestResponder();
    CTestResponder(const CTestResponder&) = delete;
    CTestResponder& operator=(const CTestResponder&) = delete;

    uint16_t Port() const { return m_port; }

    void SetCameras(std::vector<FakeCamera> cameras);
    void UpdateCamera(const FakeCamera& camera);  // by MAC
    // Raw datagrams sent after the replies to every probe.
    void SetExtraDatagrams(std::vector<std::string> datagrams);

    int Probes() const { return m_probes.load(); }
    std::string LastProbe() const;
    std::string LastProbeSource() const;

private:
    void Run();

    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_running{true};
    std::atomic<int> m_probes{0};
    mutable std::mutex m_mutex;
    std::vector<FakeCamera> m_cameras;
    std::vector<std::string> m_extra;
    std::string m_lastProbe;
    std::string m_lastSource;
    std::thread m_thread;
};
