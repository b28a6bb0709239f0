// Sockets for the simulated cameras: an owner for file descriptors and the
// few socket calls the cameras make, all non-blocking. OS calls live in
// SimNet_linux.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Owns one file descriptor and closes it.
class CSimFd {
public:
    CSimFd() = default;
    explicit CSimFd(int fd) : m_fd(fd) {}
    ~CSimFd() { Reset(); }
    CSimFd(CSimFd&& other) noexcept : m_fd(other.Release()) {}
    CSimFd& operator=(CSimFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    CSimFd(const CSimFd&) = delete;
    CSimFd& operator=(const CSimFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

namespace simnet {

bool IsIPv4(const std::string& text);
// Dotted text <-> host-order number.
bool ParseIPv4(const std::string& text, uint32_t* address);
std::string FormatIPv4(uint32_t address);

// A TCP socket bound to ip:port (SO_REUSEADDR, non-blocking), listening when
// `listen` is set; a bound socket that does not listen refuses connections
// while it keeps the port. *boundPort gets the actual port.
CSimFd TcpBound(const std::string& ip, uint16_t port, bool listen, uint16_t* boundPort,
                std::string* error);
bool StartListening(const CSimFd& fd, std::string* error);
// Accepts one connection (non-blocking); invalid when none is waiting.
CSimFd Accept(const CSimFd& listener, std::string* peer);

// A UDP socket bound to ip:port, non-blocking.
CSimFd UdpBound(const std::string& ip, uint16_t port, uint16_t* boundPort, std::string* error);
// A UDP socket bound to group:port (shared with other cameras) that has
// joined the group on the interface of `interfaceIp`.
CSimFd MulticastBound(const std::string& group, uint16_t port, const std::string& interfaceIp,
                      std::string* error);

// > 0 bytes moved; 0 the peer closed (receive only); -1 would block; -2 error.
long SendSome(int fd, const void* data, size_t length);
long RecvSome(int fd, void* buffer, size_t length);
// One datagram; -1 none waiting, -2 error. *fromIp / *fromPort give the sender.
long RecvFrom(int fd, void* buffer, size_t length, std::string* fromIp, uint16_t* fromPort);
bool SendTo(int fd, const void* data, size_t length, const std::string& ip, uint16_t port);

std::string LastError();

}  // namespace simnet
