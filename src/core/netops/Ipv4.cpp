#include "Ipv4.h"

#include <cstring>

namespace reach {

bool ParseIpv4(std::string_view text, uint32_t& address) {
    uint8_t bytes[4] = {};
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                return false;
            }
            ++pos;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return false;
        }
        bytes[part] = static_cast<uint8_t>(value);
    }
    if (pos != text.size()) {
        return false;
    }
    std::memcpy(&address, bytes, sizeof(address));
    return true;
}

uint32_t InetAddr(std::string_view text) {
    uint32_t address = 0;
    return ParseIpv4(text, address) ? address : kInaddrNone;
}

std::string Ipv4ToText(uint32_t address) {
    const uint32_t host = Ipv4ToHost(address);
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

uint32_t Ipv4ToHost(uint32_t address) {
    uint8_t bytes[4];
    std::memcpy(bytes, &address, sizeof(bytes));
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

uint32_t Ipv4FromHost(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

int MaskPrefixLength(uint32_t mask) {
    const uint32_t host = Ipv4ToHost(mask);
    int length = 0;
    while (length < 32 && (host & (0x80000000u >> length)) != 0) {
        ++length;
    }
    // Every bit below the first zero must be zero too.
    const uint32_t expected = length == 0 ? 0 : 0xFFFFFFFFu << (32 - length);
    return host == expected ? length : -1;
}

uint32_t PrefixLengthToMask(int prefixLength) {
    if (prefixLength <= 0) {
        return 0;
    }
    return Ipv4FromHost(prefixLength >= 32 ? 0xFFFFFFFFu : 0xFFFFFFFFu << (32 - prefixLength));
}

}  // namespace reach

int GetIpClass(uint32_t address) {
    if (address == 0) {
        return -1;
    }
    const uint32_t first = reach::Ipv4ToHost(address) >> 24;
    if (first < 128) {
        return 0;
    }
    if (first < 192) {
        return 1;
    }
    if (first < 224) {
        return 2;
    }
    if (first < 240) {
        return 3;
    }
    if (first < 248) {
        return 4;
    }
    return -1;
}

namespace reach {

bool IsUnicastIpv4(uint32_t address) {
    const int ipClass = GetIpClass(address);
    return ipClass >= 0 && ipClass <= 2;
}

bool IsLinkLocalIpv4(uint32_t address) {
    return (Ipv4ToHost(address) >> 16) == 0xA9FE;
}

}  // namespace reach
