#include "upgrade/ProbeTcpPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Closes the socket when the probe returns.
struct SocketCloser {
    int fd;
    ~SocketCloser() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

}  // namespace

bool ProbeTcpPort(const std::string& ip, uint16_t port, uint32_t timeoutMs) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
        return false;
    }
    SocketCloser sock{socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0) {
        return false;
    }
    if (connect(sock.fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    if (sock.fd >= FD_SETSIZE) {
        return false;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(sock.fd, &writable);
    timeval wait{static_cast<time_t>(timeoutMs / 1000),
                 static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    if (select(sock.fd + 1, nullptr, &writable, nullptr, &wait) <= 0) {
        return false;
    }
    // Writable also means "failed": only a connect without a pending error counts.
    int error = 0;
    socklen_t length = sizeof(error);
    return getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}
