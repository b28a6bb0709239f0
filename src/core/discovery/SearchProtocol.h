// The camera discovery wire protocol: UDP probes to the search port (multicast
// group and extra unicast targets), one XML reply datagram per camera.
#pragma once

#include <cstdint>
#include <string>

namespace search {

constexpr uint16_t kSearchPort = 37810;
constexpr uint32_t kMulticastGroup = 0xEFC04D01;  // 239.192.77.1, host byte order
constexpr size_t kMaxDatagram = 8192;

// The probe document of round `seq`.
std::string BuildProbe(uint32_t seq);

// Six hexadecimal pairs separated by ":", either letter case.
bool IsValidMac(const std::string& mac);

struct SearchReply {
    std::string mac;     // as the camera wrote it (blanks around it removed)
    std::string bootId;  // "" when absent
};

// Reads a reply datagram. On failure returns false and says why in `reason`
// ("oversize", "not XML", ...), for the log.
bool ParseReply(const std::string& datagram, SearchReply& reply, std::string& reason);

}  // namespace search
