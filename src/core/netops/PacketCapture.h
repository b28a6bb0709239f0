// Raw Ethernet frames on one adapter through the packet capture library.
// Sending and capturing need root or the capability cap_net_raw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pcap;

namespace reach {

// The names of the capture devices, in the library's order (on Linux the
// interface names, plus pseudo devices such as "any"). False on failure.
bool ListCaptureDevices(std::vector<std::string>& names);

// One opened capture device, closed at destruction. Only ARP frames are
// delivered, and each as soon as it arrives.
class CPacketCapture {
public:
    CPacketCapture() = default;
    CPacketCapture(const CPacketCapture&) = delete;
    CPacketCapture& operator=(const CPacketCapture&) = delete;

    // Opens `device`: snapshot length 100, promiscuous or not. False on failure.
    bool Open(const std::string& device, bool promiscuous);
    bool IsOpen() const { return m_handle != nullptr; }

    bool Send(const uint8_t* frame, size_t length);

    // Waits at most `timeoutMs` for a frame, or until `wakeFd` (-1: none)
    // turns readable. 1: a frame (valid until the next call); 0: none came
    // in time, or woken; -1: the device failed.
    int Next(const uint8_t*& frame, size_t& length, int timeoutMs, int wakeFd = -1);

private:
    struct Closer {
        void operator()(pcap* handle) const;
    };
    std::unique_ptr<pcap, Closer> m_handle;
};

}  // namespace reach
