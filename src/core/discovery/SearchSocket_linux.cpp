#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "app/Logger.h"
#include "discovery/SearchSocket.h"

FH_LOG_SOURCE("SearchSocket");

namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(endpoint.address);
    sa.sin_port = htons(endpoint.port);
    return sa;
}

void SetError(int* error) {
    if (error != nullptr) {
        *error = errno;
    }
}

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::string Ipv4ToString(uint32_t address) {
    in_addr in{};
    in.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

bool ParseIpv4(const std::string& text, uint32_t& address) {
    in_addr in{};
    if (inet_pton(AF_INET, text.c_str(), &in) != 1) {
        return false;
    }
    address = ntohl(in.s_addr);
    return true;
}

bool ResolveIpv4(const std::string& host, uint32_t& address) {
    if (ParseIpv4(host, address)) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* raw = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &raw);
    if (rc != 0 || raw == nullptr) {
        LOG_WARN("ResolveIpv4", "cannot resolve '%s': %s", host.c_str(), gai_strerror(rc));
        return false;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    address = ntohl(reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
    return true;
}

CWakeEvent::CWakeEvent() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd < 0) {
        LOG_ERROR("CWakeEvent::CWakeEvent", "eventfd failed %d", errno);
    }
}

CWakeEvent::~CWakeEvent() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void CWakeEvent::Signal() {
    if (m_fd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
    }
}

CUdpSocket::~CUdpSocket() {
    Close();
}

void CUdpSocket::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool CUdpSocket::Open(int receiveBufferBytes) {
    Close();
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        LOG_ERROR("CUdpSocket::Open", "socket failed %d", errno);
        return false;
    }
    // Past the system limit only with the right privilege; else as much as allowed.
    if (setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes,
                   sizeof receiveBufferBytes) != 0) {
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    const unsigned char ttl = 1;
    setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    sockaddr_in any = ToSockaddr({INADDR_ANY, 0});
    if (bind(m_fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        LOG_ERROR("CUdpSocket::Open", "bind failed %d", errno);
        Close();
        return false;
    }
    return true;
}

uint16_t CUdpSocket::LocalPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

int CUdpSocket::ReceiveBufferBytes() const {
    int bytes = 0;
    socklen_t len = sizeof bytes;
    if (m_fd < 0 || getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &len) != 0) {
        return 0;
    }
    return bytes;
}

bool CUdpSocket::SendTo(const Ipv4Endpoint& to, std::string_view data, int* error) const {
    const sockaddr_in sa = ToSockaddr(to);
    if (sendto(m_fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa),
               sizeof sa) < 0) {
        SetError(error);
        return false;
    }
    return true;
}

bool CUdpSocket::SendMulticast(uint32_t interfaceAddress, const Ipv4Endpoint& group,
                               std::string_view data, int* error) const {
    in_addr itf{};
    itf.s_addr = htonl(interfaceAddress);
    if (setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &itf, sizeof itf) != 0) {
        SetError(error);
        return false;
    }
    return SendTo(group, data, error);
}

CUdpSocket::Receive CUdpSocket::ReceiveFrom(char* buffer, size_t capacity, size_t& fullLength,
                                            Ipv4Endpoint& from, int* error) const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC: the result is the datagram's real length even when cut.
    const ssize_t n = recvfrom(m_fd, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return Receive::Nothing;
        }
        SetError(error);
        return Receive::Failed;
    }
    fullLength = static_cast<size_t>(n);
    from.address = ntohl(sa.sin_addr.s_addr);
    from.port = ntohs(sa.sin_port);
    return Receive::Datagram;
}

bool CUdpSocket::WaitReadable(CWakeEvent& wake, int timeoutMs) const {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {wake.Handle(), POLLIN, 0}};
    const int n = poll(fds, wake.IsOpen() ? 2 : 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (n <= 0) {
        return false;
    }
    if (wake.IsOpen() && (fds[1].revents & POLLIN) != 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t r = read(wake.Handle(), &count, sizeof count);
    }
    return (fds[0].revents & (POLLIN | POLLERR)) != 0;
}
