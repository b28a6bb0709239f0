#include "PacketCapture.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>

namespace reach {

namespace {

constexpr int kSnapshotLength = 100;

struct DeviceListFree {
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};

struct FilterFree {
    void operator()(bpf_program* program) const { pcap_freecode(program); }
};

}  // namespace

void CPacketCapture::Closer::operator()(pcap* handle) const {
    pcap_close(handle);
}

bool ListCaptureDevices(std::vector<std::string>& names) {
    names.clear();
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* raw = nullptr;
    if (pcap_findalldevs(&raw, error) != 0) {
        return false;
    }
    std::unique_ptr<pcap_if_t, DeviceListFree> list(raw);
    for (const pcap_if_t* dev = list.get(); dev != nullptr; dev = dev->next) {
        if (dev->name != nullptr) {
            names.emplace_back(dev->name);
        }
    }
    return true;
}

bool CPacketCapture::Open(const std::string& device, bool promiscuous) {
    m_handle.reset();
    char error[PCAP_ERRBUF_SIZE] = {};
    std::unique_ptr<pcap, Closer> handle(pcap_create(device.c_str(), error));
    if (!handle) {
        return false;
    }
    // Immediate mode hands each frame over at once instead of holding it
    // until a buffer block fills. The library's read time-out does not make a
    // read return when nothing arrives, so reads are non-blocking and the
    // waiting is done here with poll.
    if (pcap_set_snaplen(handle.get(), kSnapshotLength) != 0 ||
        pcap_set_promisc(handle.get(), promiscuous ? 1 : 0) != 0 ||
        pcap_set_immediate_mode(handle.get(), 1) != 0 || pcap_activate(handle.get()) < 0 ||
        pcap_setnonblock(handle.get(), 1, error) != 0 || pcap_get_selectable_fd(handle.get()) < 0) {
        return false;
    }
    // Keeps other traffic from using up the reads; without the filter every
    // frame arrives and the answer test sorts them out.
    bpf_program program{};
    if (pcap_compile(handle.get(), &program, "arp", 1, PCAP_NETMASK_UNKNOWN) == 0) {
        std::unique_ptr<bpf_program, FilterFree> owned(&program);
        pcap_setfilter(handle.get(), &program);
    }
    m_handle = std::move(handle);
    return true;
}

bool CPacketCapture::Send(const uint8_t* frame, size_t length) {
    return m_handle && pcap_sendpacket(m_handle.get(), frame, static_cast<int>(length)) == 0;
}

int CPacketCapture::Next(const uint8_t*& frame, size_t& length, int timeoutMs, int wakeFd) {
    if (!m_handle) {
        return -1;
    }
    for (int pass = 0; pass < 2; ++pass) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(m_handle.get(), &header, &data);
        if (result == 1) {
            frame = data;
            length = header->caplen;
            return 1;
        }
        if (result < 0) {
            return -1;
        }
        if (pass == 1) {
            break;
        }
        pollfd ready[2] = {{pcap_get_selectable_fd(m_handle.get()), POLLIN, 0},
                           {wakeFd, POLLIN, 0}};
        const int polled = poll(ready, 2, timeoutMs < 0 ? 0 : timeoutMs);
        if (polled < 0 && errno != EINTR) {
            return -1;
        }
        if (polled <= 0 || ready[1].revents != 0) {
            break;
        }
    }
    return 0;
}

}  // namespace reach
