// IPv4 addresses as 32-bit values in network byte order (the way sockets and
// the adapter records hold them), with the few conversions reachability needs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace reach {

// What an unparsable text converts to, as with inet_addr.
constexpr uint32_t kInaddrNone = 0xFFFFFFFFu;

// Strict dotted quad ("a.b.c.d", each 0..255, no blanks). False otherwise.
bool ParseIpv4(std::string_view text, uint32_t& address);
// ParseIpv4, or kInaddrNone when the text is not an address.
uint32_t InetAddr(std::string_view text);
// "a.b.c.d".
std::string Ipv4ToText(uint32_t address);

// Network order to host order and back (independent of the machine's order).
uint32_t Ipv4ToHost(uint32_t address);
uint32_t Ipv4FromHost(uint32_t value);

// Length of a contiguous mask (255.255.255.0 gives 24); -1 when the one bits
// are not contiguous from the top.
int MaskPrefixLength(uint32_t mask);
// The mask of a prefix length (0..32, clamped).
uint32_t PrefixLengthToMask(int prefixLength);

// An address that can name one station: parsable, not 0.0.0.0, not a
// multicast, reserved or broadcast address.
bool IsUnicastIpv4(uint32_t address);

// 169.254.0.0/16.
bool IsLinkLocalIpv4(uint32_t address);

}  // namespace reach

// The address class from the first octet: 0..4 for A..E; -1 for the address
// 0 and for a first octet of 248 or more.
int GetIpClass(uint32_t address);
