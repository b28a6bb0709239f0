// A scripted HTTP peer on loopback for the client's tests: it records every
// request as it came over the wire and answers with bytes the test gives,
// so headers, paths and broken replies can be checked byte for byte.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CRawHttpPeer {
public:
    explicit CRawHttpPeer(std::string ip = "127.0.0.1");
    ~CRawHttpPeer();
    CRawHttpPeer(const CRawHttpPeer&) = delete;
    CRawHttpPeer& operator=(const CRawHttpPeer&) = delete;

    // Binds ip:0 and starts serving; false when it cannot bind.
    bool Start();
    uint16_t Port() const { return m_port; }
    std::string Url(const std::string& pathAndQuery) const;

    // The bytes sent back for each request; nullopt sends nothing. After the
    // reply the connection is closed unless `keepOpen` holds (then it stays
    // open, silent, until the client closes it or the peer stops).
    void SetReply(std::optional<std::string> raw, bool keepOpen = false);

    // Every request received so far: head and body as sent.
    std::vector<std::string> Requests() const;

    // A reply with this status, body and Content-Length.
    static std::string Reply(int status, const std::string& body,
                             const std::string& extraHeaders = "");

private:
    void Serve();
    void ServeConnection(int fd);
    bool Stopping() const { return m_stop.load(); }

    std::string m_ip;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::optional<std::string> m_reply;
    bool m_keepOpen = false;
    std::vector<std::string> m_requests;
};

// A port on `ip` where nothing listens (bound once, then closed).
uint16_t ClosedPort(const std::string& ip);
