#include "ArpFrame.h"

#include <cstring>

#include "platform/HexDigit.h"

namespace reach {

namespace {

constexpr size_t kEthernetHeader = 14;
constexpr size_t kArpEnd = 42;  // end of an Ethernet/IPv4 ARP message

void PutU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

uint16_t GetU16(const uint8_t* at) {
    return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

}  // namespace

ArpProbeFrame BuildArpProbe(const MacAddress& senderMac, uint32_t target) {
    ArpProbeFrame frame{};
    std::memset(frame.data(), 0xFF, 6);                  // Ethernet destination: broadcast
    std::memcpy(frame.data() + 6, senderMac.data(), 6);  // Ethernet source
    PutU16(frame.data() + 12, 0x0806);                   // EtherType ARP
    uint8_t* arp = frame.data() + kEthernetHeader;
    PutU16(arp + 0, 1);       // hardware type Ethernet
    PutU16(arp + 2, 0x0800);  // protocol type IPv4
    arp[4] = 6;
    arp[5] = 4;
    PutU16(arp + 6, 1);                         // request
    std::memcpy(arp + 8, senderMac.data(), 6);  // sender hardware address
    std::memset(arp + 14, 0, 4);                // sender protocol address 0.0.0.0
    std::memset(arp + 18, 0, 6);                // target hardware address unknown
    std::memcpy(arp + 24, &target, 4);          // target protocol address
    return frame;                               // bytes 42..67 stay zero
}

std::optional<MacAddress> ArpAnswerSource(const uint8_t* frame, size_t length, uint32_t probed) {
    if (frame == nullptr || length < kArpEnd || GetU16(frame + 12) != 0x0806) {
        return std::nullopt;
    }
    const uint8_t* arp = frame + kEthernetHeader;
    if (GetU16(arp + 6) != 2 || std::memcmp(arp + 14, &probed, 4) != 0) {
        return std::nullopt;
    }
    MacAddress source;
    std::memcpy(source.data(), frame + 6, source.size());
    return source;
}

bool ParseMacText(std::string_view text, MacAddress& mac) {
    const bool separated = text.size() == 17;
    if (!separated && text.size() != 12) {
        return false;
    }
    const char separator = separated ? text[2] : '\0';
    if (separated && separator != ':' && separator != '-') {
        return false;
    }
    MacAddress parsed{};
    size_t pos = 0;
    for (size_t i = 0; i < parsed.size(); ++i) {
        if (separated && i > 0) {
            if (text[pos] != separator) {
                return false;
            }
            ++pos;
        }
        const int high = platform::HexDigitValue(text[pos]);
        const int low = platform::HexDigitValue(text[pos + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        parsed[i] = static_cast<uint8_t>((high << 4) | low);
        pos += 2;
    }
    mac = parsed;
    return true;
}

}  // namespace reach
