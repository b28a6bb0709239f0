// Socket primitives. A thin layer over the OS sockets; every socket it makes
// is non-blocking, and every wait is a poll with a time-out. The OS calls
// live in SWL_Socket_linux.cpp only.
//
// Results: -1 on failure unless said otherwise; the OS error then stays
// available through SWL_GetLastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sockaddr;

using SWL_SOCKET = int;
constexpr SWL_SOCKET SWL_INVALID_SOCKET = -1;

// Address family, type and protocol of the IPv4 stream sockets the connect
// procedures ask for.
constexpr int SWL_AF_INET = 2;
constexpr int SWL_SOCK_STREAM = 1;
// `how` of SWL_Shutdown for both directions.
constexpr int SWL_SHUT_BOTH = 2;

// Starts the socket layer (counted): 0, or -1 when it cannot be started.
int SWL_Init();
// Undoes one SWL_Init; without a matching SWL_Init it does nothing and
// returns 0.
int SWL_Quit();
// The number of SWL_Init calls not yet matched by SWL_Quit.
int SWL_InitCount();

// A socket with SO_REUSEADDR set, switched to non-blocking mode.
SWL_SOCKET SWL_CreateSocket(int family, int type, int protocol);
// Closes `sock` and sets it to SWL_INVALID_SOCKET.
int SWL_CloseSocket(SWL_SOCKET& sock);
int SWL_CloseSocketEx(SWL_SOCKET sock);
int SWL_Shutdown(SWL_SOCKET sock, int how);
// One send; never raises SIGPIPE on a closed peer.
int SWL_Send(SWL_SOCKET sock, const void* buffer, size_t length);
// One recv.
int SWL_Recv(SWL_SOCKET sock, void* buffer, size_t length);

// Connects `sock`. A time-out of 0 only starts the connect and returns -1
// (the connect goes on in the background). Otherwise waits up to `timeoutMs`
// and returns 0 only when the connection is made: a socket that turns
// writable with a pending error (refused, unreachable) is not connected.
int SWL_ConnectEx(SWL_SOCKET sock, const sockaddr* address, uint32_t addressLength, int timeoutMs);

// Waits for `sock` to become readable and/or writable. A negative time-out
// waits without limit. Returns the number of ready sockets, 0 on time-out
// (the last error then says "timed out"), -1 on error.
int SWL_Select(SWL_SOCKET sock, bool readable, bool writable, int timeoutMs);

// A descriptor that ends every wait on it once signalled (an eventfd): the
// stop signal of a thread that sleeps on a socket. Signalled, it stays so.
class CSWL_WakeFd {
public:
    CSWL_WakeFd();
    ~CSWL_WakeFd();
    CSWL_WakeFd(const CSWL_WakeFd&) = delete;
    CSWL_WakeFd& operator=(const CSWL_WakeFd&) = delete;

    bool Valid() const { return m_fd >= 0; }
    void Signal();
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// SWL_Select that also ends when `wake` is signalled. Returns 1 when the
// socket is ready, 2 when woken, 0 on time-out, -1 on error. A negative
// time-out waits without limit.
int SWL_SelectOrWake(SWL_SOCKET sock, bool readable, bool writable, const CSWL_WakeFd& wake,
                     int timeoutMs);

// The state of a connect that was started on `sock`: 0 once it is
// connected, else the error that keeps it from being so (the pending error,
// or "not connected" while it is still going on).
int SWL_GetConnectError(SWL_SOCKET sock);

// The local IPv4 address of a connected socket as dotted text: 0, or -1.
int SWL_GetLocalAddress(SWL_SOCKET sock, std::string& address);

// An IPv4 socket address, opaque outside the OS layer.
struct SWL_IPV4_ADDRESS {
    alignas(8) unsigned char bytes[16] = {};
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(bytes); }
    static constexpr uint32_t kLength = 16;
};

// Fills `address` from dotted IPv4 text and a host-order port. False when
// the text is not a dotted IPv4 address.
bool SWL_MakeAddress(const char* text, uint16_t port, SWL_IPV4_ADDRESS& address);

// True when the last socket call failed only because it would block.
bool SWL_IsWouldBlock();
// True when the last SWL_ConnectEx failed only because the connect goes on
// in the background.
bool SWL_IsConnectInProgress();
int SWL_GetLastError();
void SWL_SetLastError(int error);

// Owns one socket and closes it when it goes out of scope, unless released.
class CSWL_SocketHandle {
public:
    CSWL_SocketHandle() = default;
    explicit CSWL_SocketHandle(SWL_SOCKET sock) : m_sock(sock) {}
    ~CSWL_SocketHandle() { Reset(); }
    CSWL_SocketHandle(const CSWL_SocketHandle&) = delete;
    CSWL_SocketHandle& operator=(const CSWL_SocketHandle&) = delete;
    CSWL_SocketHandle(CSWL_SocketHandle&& other) noexcept : m_sock(other.Release()) {}
    CSWL_SocketHandle& operator=(CSWL_SocketHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    SWL_SOCKET Get() const { return m_sock; }
    bool Valid() const { return m_sock != SWL_INVALID_SOCKET; }
    // Hands the socket on; the handle no longer closes it.
    SWL_SOCKET Release() {
        const SWL_SOCKET sock = m_sock;
        m_sock = SWL_INVALID_SOCKET;
        return sock;
    }
    void Reset(SWL_SOCKET sock = SWL_INVALID_SOCKET) {
        if (m_sock != SWL_INVALID_SOCKET) {
            SWL_CloseSocketEx(m_sock);
        }
        m_sock = sock;
    }

private:
    SWL_SOCKET m_sock = SWL_INVALID_SOCKET;
};
