// The OS side of the search: one non-blocking UDP socket that sends the
// probes and receives the replies, a wake-up event for the search thread,
// and IPv4 address helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct Ipv4Endpoint {
    uint32_t address = 0;  // host byte order
    uint16_t port = 0;
};

std::string Ipv4ToString(uint32_t address);
// Dotted-quad text only.
bool ParseIpv4(const std::string& text, uint32_t& address);
// Dotted-quad text or a host name (looked up by the system resolver, which
// may take as long as its own time-out).
bool ResolveIpv4(const std::string& host, uint32_t& address);

// Wakes a thread that waits in WaitReadable (an eventfd).
class CWakeEvent {
public:
    CWakeEvent();
    ~CWakeEvent();
    CWakeEvent(const CWakeEvent&) = delete;
    CWakeEvent& operator=(const CWakeEvent&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    void Signal();
    int Handle() const { return m_fd; }

private:
    int m_fd = -1;
};

class CUdpSocket {
public:
    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // A non-blocking socket on 0.0.0.0 and a port the system picks, multicast
    // TTL 1, asking for a receive buffer of `receiveBufferBytes` (the
    // system may grant less; ReceiveBufferBytes tells).
    bool Open(int receiveBufferBytes);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    uint16_t LocalPort() const;
    int ReceiveBufferBytes() const;

    // One datagram by unicast. False on failure (errno in *error).
    bool SendTo(const Ipv4Endpoint& to, std::string_view data, int* error) const;
    // One multicast datagram leaving through the interface with this address.
    bool SendMulticast(uint32_t interfaceAddress, const Ipv4Endpoint& group, std::string_view data,
                       int* error) const;

    enum class Receive { Datagram, Nothing, Failed };
    // Reads one waiting datagram into `buffer`. `fullLength` is its real
    // length, which exceeds `capacity` when it was cut.
    Receive ReceiveFrom(char* buffer, size_t capacity, size_t& fullLength, Ipv4Endpoint& from,
                        int* error) const;

    // Waits until a datagram is waiting, `wake` is signalled (it is then
    // cleared), or `timeoutMs` has passed. True when a datagram is waiting.
    bool WaitReadable(CWakeEvent& wake, int timeoutMs) const;

private:
    int m_fd = -1;
};
