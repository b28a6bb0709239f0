#include "SimNet.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

void CSimFd::Reset(int fd) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

namespace simnet {

namespace {

bool ToAddress(const std::string& ip, uint16_t port, sockaddr_in* address) {
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    return inet_pton(AF_INET, ip.c_str(), &address->sin_addr) == 1;
}

void SetError(std::string* error, const std::string& what) {
    if (error) {
        *error = what + ": " + LastError();
    }
}

CSimFd NewSocket(int type) {
    return CSimFd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

uint16_t LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace

std::string LastError() {
    return std::strerror(errno);
}

bool IsIPv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ParseIPv4(const std::string& text, uint32_t* address) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    *address = ntohl(parsed.s_addr);
    return true;
}

std::string FormatIPv4(uint32_t address) {
    in_addr value{};
    value.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

CSimFd TcpBound(const std::string& ip, uint16_t port, bool listen, uint16_t* boundPort,
                std::string* error) {
    sockaddr_in address{};
    if (!ToAddress(ip, port, &address)) {
        if (error)
            *error = "not an IPv4 address: " + ip;
        return {};
    }
    CSimFd fd = NewSocket(SOCK_STREAM);
    if (!fd.Valid()) {
        SetError(error, "socket");
        return {};
    }
    const int one = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError(error, "bind " + ip + ":" + std::to_string(port));
        return {};
    }
    if (listen && !StartListening(fd, error)) {
        return {};
    }
    if (boundPort)
        *boundPort = LocalPort(fd.Get());
    return fd;
}

bool StartListening(const CSimFd& fd, std::string* error) {
    if (::listen(fd.Get(), 64) != 0) {
        SetError(error, "listen");
        return false;
    }
    return true;
}

CSimFd Accept(const CSimFd& listener, std::string* peer) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    CSimFd fd(::accept4(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length,
                        SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.Valid()) {
        const int one = 1;
        setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (peer) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
            *peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
        }
    }
    return fd;
}

CSimFd UdpBound(const std::string& ip, uint16_t port, uint16_t* boundPort, std::string* error) {
    sockaddr_in address{};
    if (!ToAddress(ip, port, &address)) {
        if (error)
            *error = "not an IPv4 address: " + ip;
        return {};
    }
    CSimFd fd = NewSocket(SOCK_DGRAM);
    if (!fd.Valid()) {
        SetError(error, "socket");
        return {};
    }
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError(error, "bind udp " + ip + ":" + std::to_string(port));
        return {};
    }
    if (boundPort)
        *boundPort = LocalPort(fd.Get());
    return fd;
}

CSimFd MulticastBound(const std::string& group, uint16_t port, const std::string& interfaceIp,
                      std::string* error) {
    sockaddr_in address{};
    ip_mreq request{};
    if (!ToAddress(group, port, &address) ||
        inet_pton(AF_INET, interfaceIp.c_str(), &request.imr_interface) != 1) {
        if (error)
            *error = "bad multicast group or interface";
        return {};
    }
    request.imr_multiaddr = address.sin_addr;
    CSimFd fd = NewSocket(SOCK_DGRAM);
    if (!fd.Valid()) {
        SetError(error, "socket");
        return {};
    }
    const int one = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError(error, "bind multicast " + group + ":" + std::to_string(port));
        return {};
    }
    if (setsockopt(fd.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
        SetError(error, "join " + group + " on " + interfaceIp);
        return {};
    }
    return fd;
}

long SendSome(int fd, const void* data, size_t length) {
    const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? -1 : -2;
}

long RecvSome(int fd, void* buffer, size_t length) {
    const ssize_t n = ::recv(fd, buffer, length, 0);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? -1 : -2;
}

long RecvFrom(int fd, void* buffer, size_t length, std::string* fromIp, uint16_t* fromPort) {
    sockaddr_in address{};
    socklen_t addressLength = sizeof address;
    // MSG_TRUNC reports the datagram's real length, so oversize ones are seen.
    const ssize_t n = ::recvfrom(fd, buffer, length, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (n < 0) {
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? -1 : -2;
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    if (fromIp)
        *fromIp = text;
    if (fromPort)
        *fromPort = ntohs(address.sin_port);
    return static_cast<long>(n);
}

bool SendTo(int fd, const void* data, size_t length, const std::string& ip, uint16_t port) {
    sockaddr_in address{};
    if (!ToAddress(ip, port, &address)) {
        return false;
    }
    return ::sendto(fd, data, length, 0, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
           static_cast<ssize_t>(length);
}

}  // namespace simnet
