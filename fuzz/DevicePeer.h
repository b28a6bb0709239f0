// A camera on loopback for the device client's fuzz targets: it accepts one
// connection, writes the bytes it was given (first message, then whatever
// the camera "says"), and reads and drops what the client sends. Plain BSD
// sockets, independent of the socket layer under test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/NetDVSDevice.h"

namespace fuzz_peer {

using Bytes = std::vector<uint8_t>;

inline void AppendLE32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// A link message: "1111", its length, the bytes.
inline Bytes LinkMessage(const Bytes& payload) {
    Bytes out = {'1', '1', '1', '1'};
    AppendLE32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A device frame: cmdType, cmdId, reserved, dataLength, payload.
inline Bytes Frame(uint32_t cmdType, const Bytes& payload) {
    Bytes out;
    AppendLE32(out, cmdType);
    AppendLE32(out, 0);
    AppendLE32(out, 0);
    AppendLE32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The 64-byte first message of a protocol-3 camera without credential
// protection.
inline Bytes PlainServerInfo() {
    Bytes info(SERVER_INFO_SIZE, 0);
    info[server_info::kProtocolVersion] = 3;
    return info;
}

// Touches every byte an event hands out, so that the sanitizer sees a read
// past what the client owns.
inline int32_t TouchEvent(void*, CNetDVSDevice*, int32_t event, int32_t length, const void* data,
                          uint32_t) {
    static std::atomic<uint32_t> sink{0};
    uint32_t sum = 0;
    if ((event == DEVICE_EVENT_STREAM_FRAME || event == DEVICE_EVENT_STREAM_FRAME_2) &&
        data != nullptr) {
        const auto* frame = static_cast<const NET_STREAM_FRAME*>(data);
        if (frame->media != nullptr) {
            for (uint32_t i = 0; i < frame->mediaLength; ++i) {
                sum += frame->media[i];
            }
        }
    } else if (data != nullptr && length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (int32_t i = 0; i < length; ++i) {
            sum += bytes[i];
        }
    }
    sink.fetch_add(sum, std::memory_order_relaxed);
    return 0;
}

class CListener {
public:
    CListener() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(m_fd, 64) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::abort();
        }
        m_port = ntohs(address.sin_port);
    }
    ~CListener() { close(m_fd); }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;

    uint16_t Port() const { return m_port; }

    // The next connection within `timeoutMs`, or -1.
    int Accept(int timeoutMs) const {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1) {
            return -1;
        }
        return accept(m_fd, nullptr, nullptr);
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// One accepted connection: writes `script`, optionally ends its sending
// side, then reads and drops until the client closes.
class CPeerConnection {
public:
    CPeerConnection(const CListener& listener, Bytes script, bool endAfterScript)
        : m_thread([this, &listener, script = std::move(script), endAfterScript] {
              m_fd = listener.Accept(5000);
              if (m_fd < 0) {
                  return;
              }
              size_t sent = 0;
              while (sent < script.size()) {
                  const ssize_t n =
                      send(m_fd, script.data() + sent, script.size() - sent, MSG_NOSIGNAL);
                  if (n <= 0) {
                      break;
                  }
                  sent += static_cast<size_t>(n);
              }
              if (endAfterScript) {
                  shutdown(m_fd, SHUT_WR);
              }
              char scratch[4096];
              while (recv(m_fd, scratch, sizeof(scratch), 0) > 0) {
              }
          }) {}
    // Call only after the client has gone (its close ends the reading).
    ~CPeerConnection() {
        m_thread.join();
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CPeerConnection(const CPeerConnection&) = delete;
    CPeerConnection& operator=(const CPeerConnection&) = delete;

private:
    int m_fd = -1;
    std::thread m_thread;
};

}  // namespace fuzz_peer
