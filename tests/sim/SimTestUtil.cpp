#include "SimTestUtil.h"

#include "net/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

std::string ProbeText(uint32_t seq) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<multicastSearch>\n  <version>1</version>\n"
           "  <seq>" +
           std::to_string(seq) + "</seq>\n</multicastSearch>\n";
}

std::string SendProbe(const std::string& ip, uint16_t port, int timeoutMs,
                      const std::string& probe) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return "";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    const std::string text = probe.empty() ? ProbeText() : probe;
    ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::string reply;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) == 1) {
        char buffer[9000];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            reply.assign(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

std::string HttpExchange(const std::string& ip, uint16_t port, const std::string& request,
                         int timeoutMs) {
    const loopback::CPeer peer(loopback::ConnectTo(ip, port));
    if (!peer.Valid() || !peer.Write(loopback::Bytes(request.begin(), request.end()))) {
        return "";
    }
    // Up to the peer's close, or what came within the time.
    const loopback::Bytes reply = peer.Read(16u << 20, timeoutMs);
    return std::string(reply.begin(), reply.end());
}

std::string XmlText(const std::string& xml, const std::string& name, bool* found) {
    const std::string open = "<" + name + ">";
    const size_t a = xml.find(open);
    const size_t b = a == std::string::npos ? a : xml.find("</" + name + ">", a);
    if (found)
        *found = b != std::string::npos;
    if (b == std::string::npos)
        return "";
    return xml.substr(a + open.size(), b - a - open.size());
}

SimCameraConfig TestCamera(const std::string& mac, const std::string& ip) {
    SimCameraConfig config;
    config.mac = mac;
    config.ip = ip;
    config.flashMs = 150;
    config.offlineMs = 250;
    return config;
}
