// A scripted TCP peer on loopback for protocol tests: it writes raw bytes
// composed by the test and reads what the code under test sends. Written on
// plain BSD sockets, independent of the socket layer under test.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace loopback {

using Bytes = std::vector<uint8_t>;

inline void AppendLE32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline uint32_t LE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// "1111" and a length.
inline Bytes DataHead(uint32_t length) {
    Bytes out = {'1', '1', '1', '1'};
    AppendLE32(out, length);
    return out;
}

// A data head announcing a fragment, the 24-byte fragment head, the bytes.
inline Bytes Fragment(uint32_t id, uint32_t count, uint32_t total, uint32_t index, uint32_t slot,
                      const Bytes& bytes) {
    Bytes out = DataHead(0xFFFFFFFFu);
    AppendLE32(out, id);
    AppendLE32(out, count);
    AppendLE32(out, total);
    AppendLE32(out, index);
    AppendLE32(out, static_cast<uint32_t>(bytes.size()));
    AppendLE32(out, slot);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

inline Bytes Pattern(size_t length, uint8_t seed) {
    Bytes out(length);
    for (size_t i = 0; i < length; ++i) {
        out[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return out;
}

inline void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

// A connected, blocking socket of the peer.
class CPeer {
public:
    CPeer() = default;
    explicit CPeer(int fd) : m_fd(fd) {}
    ~CPeer() { Close(); }
    CPeer(CPeer&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CPeer& operator=(CPeer&& other) noexcept {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        return *this;
    }

    int Fd() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

    bool Write(const Bytes& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Exactly `length` bytes, or fewer when the time runs out or the other
    // side closes.
    Bytes Read(size_t length, int timeoutMs = 5000) const {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < length) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                break;
            }
            pollfd entry{m_fd, POLLIN, 0};
            if (poll(&entry, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            uint8_t buffer[4096];
            const size_t want = std::min(sizeof(buffer), length - out.size());
            const ssize_t n = recv(m_fd, buffer, want, 0);
            if (n <= 0) {
                break;
            }
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // The payload of the next data head that is not a keep-alive; empty
    // when none comes in time. Keep-alive heads seen are counted.
    Bytes ReadMessage(int timeoutMs = 5000, int* keepAlives = nullptr) const {
        for (;;) {
            const Bytes head = Read(8, timeoutMs);
            if (head.size() < 8 || std::memcmp(head.data(), "1111", 4) != 0) {
                return {};
            }
            const uint32_t length = LE32(head.data() + 4);
            if (length == 0) {
                if (keepAlives != nullptr) {
                    ++*keepAlives;
                }
                continue;
            }
            return Read(length, timeoutMs);
        }
    }

    // True when the other side has closed the connection within the time.
    bool WaitClosed(int timeoutMs = 5000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd entry{m_fd, POLLIN, 0};
            if (poll(&entry, 1, 50) > 0) {
                uint8_t buffer[4096];
                const ssize_t n = recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN)) {
                    return true;
                }
            }
        }
        return false;
    }

    void Close() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

// A listening socket on a loopback address; port 0 lets the kernel choose.
class CListener {
public:
    explicit CListener(const char* address = "127.0.0.1", int backlog = 16) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in in{};
        in.sin_family = AF_INET;
        inet_pton(AF_INET, address, &in.sin_addr);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&in), sizeof(in)) == 0 &&
            listen(m_fd, backlog) == 0) {
            socklen_t length = sizeof(in);
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&in), &length);
            m_port = ntohs(in.sin_port);
        }
        m_address = address;
    }
    ~CListener() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;

    uint16_t Port() const { return m_port; }
    const std::string& Address() const { return m_address; }

    CPeer Accept(int timeoutMs = 5000) const {
        pollfd entry{m_fd, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) <= 0) {
            return CPeer();
        }
        return CPeer(accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    std::string m_address;
};

// A blocking client connect from the test side.
inline int ConnectTo(const std::string& address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &in.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof(in)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A connected pair: `local` is non-blocking (for the code under test), the
// peer side is blocking and scripted by the test.
struct SocketPair {
    int local = -1;
    CPeer peer;
};

inline SocketPair MakePair(const char* address = "127.0.0.1") {
    CListener listener(address);
    SocketPair pair;
    pair.local = ConnectTo(address, listener.Port());
    pair.peer = listener.Accept();
    if (pair.local >= 0) {
        SetNonBlocking(pair.local);
    }
    return pair;
}

// A port on `address` with nothing listening (connects are refused).
inline uint16_t ClosedPort(const char* address = "127.0.0.1") {
    CListener listener(address);
    return listener.Port();
}

}  // namespace loopback
