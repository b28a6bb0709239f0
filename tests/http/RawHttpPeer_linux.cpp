#include "RawHttpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <cstdlib>

namespace {

int BindListener(const std::string& ip, uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// The request's Content-Length, 0 when it has none.
size_t ContentLength(const std::string& head) {
    size_t pos = 0;
    while ((pos = head.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (strncasecmp(head.c_str() + pos, "Content-Length:", 15) == 0) {
            return std::strtoul(head.c_str() + pos + 15, nullptr, 10);
        }
    }
    return 0;
}

}  // namespace

CRawHttpPeer::CRawHttpPeer(std::string ip) : m_ip(std::move(ip)) {
    m_reply = Reply(200, "");
}

CRawHttpPeer::~CRawHttpPeer() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listen >= 0) {
        ::close(m_listen);
    }
}

bool CRawHttpPeer::Start() {
    m_listen = BindListener(m_ip, &m_port);
    if (m_listen < 0) {
        return false;
    }
    m_thread = std::thread([this] { Serve(); });
    return true;
}

std::string CRawHttpPeer::Url(const std::string& pathAndQuery) const {
    return "http://" + m_ip + ":" + std::to_string(m_port) + pathAndQuery;
}

void CRawHttpPeer::SetReply(std::optional<std::string> raw, bool keepOpen) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reply = std::move(raw);
    m_keepOpen = keepOpen;
}

std::vector<std::string> CRawHttpPeer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::string CRawHttpPeer::Reply(int status, const std::string& body,
                                const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " Whatever\r\n" + extraHeaders +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

void CRawHttpPeer::Serve() {
    while (!Stopping()) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) != 1) {
            continue;
        }
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            ServeConnection(fd);
            ::close(fd);
        }
    }
}

void CRawHttpPeer::ServeConnection(int fd) {
    std::string in;
    bool recorded = false;
    while (!Stopping()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) != 1) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;  // the client closed
        }
        if (recorded) {
            continue;  // one request per connection; later bytes are ignored
        }
        in.append(buffer, static_cast<size_t>(n));
        const size_t headEnd = in.find("\r\n\r\n");
        if (headEnd == std::string::npos ||
            in.size() < headEnd + 4 + ContentLength(in.substr(0, headEnd + 2))) {
            continue;
        }
        recorded = true;
        std::optional<std::string> reply;
        bool keepOpen = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(in);
            reply = m_reply;
            keepOpen = m_keepOpen;
        }
        if (reply) {
            size_t sent = 0;
            while (sent < reply->size() && !Stopping()) {
                const ssize_t k =
                    ::send(fd, reply->data() + sent, reply->size() - sent, MSG_NOSIGNAL);
                if (k <= 0) {
                    return;
                }
                sent += static_cast<size_t>(k);
            }
            if (!keepOpen) {
                return;
            }
        }
    }
}

uint16_t ClosedPort(const std::string& ip) {
    uint16_t port = 0;
    const int fd = BindListener(ip, &port);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}
