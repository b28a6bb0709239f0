// BSD socket calls behind the SWL_ functions. poll() stands in for select()
// so that descriptors above FD_SETSIZE are safe.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "net/SWL_Socket.h"
#include "platform/Pub.h"

static_assert(sizeof(sockaddr_in) == SWL_IPV4_ADDRESS::kLength);

namespace {

std::atomic<int> g_initCount{0};

// Waits on one descriptor; retries after a signal with the time that is left.
int PollOne(int fd, short events, int timeoutMs, short* revents) {
    const uint32_t start = PUB_GetTickCount();
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs > 0) {
            const uint32_t spent = PUB_TicksSince(start);
            wait =
                spent >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
        }
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (revents != nullptr) {
            *revents = entry.revents;
        }
        return ready;
    }
}

// The connect errors that mean "going on in the background".
bool IsConnectPending(int error) {
    return error == EINPROGRESS || error == EALREADY || error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

int SWL_Init() {
    // Nothing to start on this OS; the count is kept for symmetry with
    // SWL_Quit.
    g_initCount.fetch_add(1);
    return 0;
}

int SWL_Quit() {
    int count = g_initCount.load();
    while (count > 0 && !g_initCount.compare_exchange_weak(count, count - 1)) {
    }
    return 0;
}

int SWL_InitCount() {
    return g_initCount.load();
}

SWL_SOCKET SWL_CreateSocket(int family, int type, int protocol) {
    const int osFamily = family == SWL_AF_INET ? AF_INET : family;
    const int osType = type == SWL_SOCK_STREAM ? SOCK_STREAM : type;
    const int sock = socket(osFamily, osType | SOCK_CLOEXEC, protocol);
    if (sock < 0) {
        return SWL_INVALID_SOCKET;
    }
    const int one = 1;
    if (setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) {
        const int error = errno;
        close(sock);
        errno = error;
        return SWL_INVALID_SOCKET;
    }
    const int flags = fcntl(sock, F_GETFL, 0);
    if (flags >= 0) {
        fcntl(sock, F_SETFL, flags | O_NONBLOCK);
    }
    if (osType == SOCK_STREAM) {
        // The link writes its data head and the message in two sends; without
        // this the second waits for the peer's delayed acknowledgement.
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    }
    return sock;
}

int SWL_CloseSocket(SWL_SOCKET& sock) {
    const int result = SWL_CloseSocketEx(sock);
    sock = SWL_INVALID_SOCKET;
    return result;
}

int SWL_CloseSocketEx(SWL_SOCKET sock) {
    return close(sock) == 0 ? 0 : -1;
}

int SWL_Shutdown(SWL_SOCKET sock, int how) {
    const int osHow = how == SWL_SHUT_BOTH ? SHUT_RDWR : how;
    return shutdown(sock, osHow) == 0 ? 0 : -1;
}

int SWL_Send(SWL_SOCKET sock, const void* buffer, size_t length) {
    return static_cast<int>(send(sock, buffer, length, MSG_NOSIGNAL));
}

int SWL_Recv(SWL_SOCKET sock, void* buffer, size_t length) {
    return static_cast<int>(recv(sock, buffer, length, 0));
}

int SWL_ConnectEx(SWL_SOCKET sock, const sockaddr* address, uint32_t addressLength, int timeoutMs) {
    if (connect(sock, address, addressLength) != 0) {
        const int error = errno;
        if (error == EISCONN) {
            errno = error;
            return 0;
        }
        if (!IsConnectPending(error)) {
            errno = error;
            return -1;
        }
    } else {
        return 0;
    }
    if (timeoutMs == 0) {
        return -1;
    }
    short revents = 0;
    const int ready = PollOne(sock, POLLOUT | POLLPRI, timeoutMs, &revents);
    if (ready <= 0) {
        if (ready == 0) {
            errno = ETIMEDOUT;
        }
        return -1;
    }
    if ((revents & POLLOUT) == 0) {
        return -1;
    }
    // Writable is not connected: a refused connect is writable too.
    const int error = SWL_GetConnectError(sock);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

int SWL_Select(SWL_SOCKET sock, bool readable, bool writable, int timeoutMs) {
    short events = 0;
    if (readable) {
        events |= POLLIN;
    }
    if (writable) {
        events |= POLLOUT;
    }
    const int ready = PollOne(sock, events, timeoutMs < 0 ? -1 : timeoutMs, nullptr);
    if (ready == 0) {
        errno = ETIMEDOUT;
    }
    return ready;
}

CSWL_WakeFd::CSWL_WakeFd() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CSWL_WakeFd::~CSWL_WakeFd() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void CSWL_WakeFd::Signal() {
    if (m_fd >= 0) {
        const uint64_t one = 1;
        // Never read back: the descriptor stays readable from now on.
        [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof(one));
    }
}

int SWL_SelectOrWake(SWL_SOCKET sock, bool readable, bool writable, const CSWL_WakeFd& wake,
                     int timeoutMs) {
    short events = 0;
    if (readable) {
        events |= POLLIN;
    }
    if (writable) {
        events |= POLLOUT;
    }
    const uint32_t start = PUB_GetTickCount();
    for (;;) {
        int wait = timeoutMs < 0 ? -1 : timeoutMs;
        if (timeoutMs > 0) {
            const uint32_t spent = PUB_TicksSince(start);
            wait =
                spent >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
        }
        pollfd entries[2] = {{sock, events, 0}, {wake.Get(), POLLIN, 0}};
        const int ready = poll(entries, wake.Valid() ? 2 : 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            if (ready == 0) {
                errno = ETIMEDOUT;
            }
            return ready;
        }
        return entries[0].revents != 0 ? 1 : 2;
    }
}

int SWL_GetConnectError(SWL_SOCKET sock) {
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    if (error != 0) {
        return error;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof(peer);
    if (getpeername(sock, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
        return errno;
    }
    return 0;
}

int SWL_GetLocalAddress(SWL_SOCKET sock, std::string& address) {
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (getsockname(sock, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return -1;
    }
    if (local.sin_family != AF_INET) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text)) == nullptr) {
        return -1;
    }
    address = text;
    return 0;
}

bool SWL_MakeAddress(const char* text, uint16_t port, SWL_IPV4_ADDRESS& address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    if (text == nullptr || inet_pton(AF_INET, text, &in.sin_addr) != 1) {
        return false;
    }
    std::memcpy(address.bytes, &in, sizeof(in));
    return true;
}

bool SWL_IsWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

bool SWL_IsConnectInProgress() {
    return IsConnectPending(errno);
}

int SWL_GetLastError() {
    return errno;
}

void SWL_SetLastError(int error) {
    errno = error;
}
