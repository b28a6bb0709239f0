#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "TestResponder.h"

std::string FakeReply(const FakeCamera& c) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<multicastSearchResult>\n"
           "  <mac>" +
           c.mac + "</mac>\n  <bootId>" + c.bootId +
           "</bootId>\n"
           "  <productInfo>\n    <productSeries>" +
           c.series +
           "</productSeries>\n"
           "    <productModel>IPC-2020</productModel>\n    <devName>" +
           c.devName +
           "</devName>\n"
           "    <softwareVer>4.0.2</softwareVer>\n    <build>230118</build>\n"
           "  </productInfo>\n  <tcpIp><ipAddr><item><ip>" +
           c.ip +
           "</ip><mask>255.255.255.0</mask></item></ipAddr></tcpIp>\n"
           "  <port><dataPort>9008</dataPort><httpPort>80</httpPort></port>\n"
           "</multicastSearchResult>\n";
}

CTestResponder::CTestResponder(bool multicast, const std::string& address) {
    m_fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_fd < 0) {
        throw std::runtime_error("socket");
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, multicast ? "239.192.77.1" : address.c_str(), &sa.sin_addr);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        throw std::runtime_error("bind");
    }
    socklen_t len = sizeof sa;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    if (multicast) {
        ip_mreq mreq{};
        inet_pton(AF_INET, "239.192.77.1", &mreq.imr_multiaddr);
        inet_pton(AF_INET, "127.0.0.1", &mreq.imr_interface);
        if (setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) != 0) {
            throw std::runtime_error("IP_ADD_MEMBERSHIP");
        }
    }
    const int big = 4 << 20;
    setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    m_thread = std::thread([this] { Run(); });
}

CTestResponder::~CTestResponder() {
    m_running = false;
    m_thread.join();
    close(m_fd);
}

void CTestResponder::SetCameras(std::vector<FakeCamera> cameras) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cameras = std::move(cameras);
}

void CTestResponder::UpdateCamera(const FakeCamera& camera) {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (FakeCamera& c : m_cameras) {
        if (c.mac == camera.mac) {
            c = camera;
        }
    }
}

void CTestResponder::SetExtraDatagrams(std::vector<std::string> datagrams) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_extra = std::move(datagrams);
}

std::string CTestResponder::LastProbe() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastProbe;
}

std::string CTestResponder::LastProbeSource() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastSource;
}

void CTestResponder::Run() {
    std::vector<char> buffer(65536);
    while (m_running) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(m_fd, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) {
            continue;
        }
        const std::string probe(buffer.data(), static_cast<size_t>(n));
        if (probe.find("<multicastSearch>") == std::string::npos) {
            continue;  // cameras ignore anything but a probe
        }
        std::vector<std::string> out;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            char source[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, source, sizeof source);
            m_lastProbe = probe;
            m_lastSource = source;
            for (const FakeCamera& c : m_cameras) {
                if (!c.silent) {
                    out.push_back(FakeReply(c));
                }
            }
            out.insert(out.end(), m_extra.begin(), m_extra.end());
        }
        for (const std::string& d : out) {
            sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
        ++m_probes;
    }
}
