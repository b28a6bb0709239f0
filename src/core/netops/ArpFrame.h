// The ARP probe frame sent on an adapter, and the test for an answer to it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace reach {

using MacAddress = std::array<uint8_t, 6>;

constexpr size_t kArpProbeSize = 68;
using ArpProbeFrame = std::array<uint8_t, kArpProbeSize>;

// A broadcast ARP request for `target` (network order) from `senderMac`, with
// the sender protocol address 0.0.0.0 so that no station learns a mapping
// from it; 26 zero bytes pad it to 68.
ArpProbeFrame BuildArpProbe(const MacAddress& senderMac, uint32_t target);

// When `frame` is an ARP reply whose sender protocol address is `probed`,
// its Ethernet source address; otherwise nothing. Short or non-ARP frames
// never answer.
std::optional<MacAddress> ArpAnswerSource(const uint8_t* frame, size_t length, uint32_t probed);

// Six hexadecimal pairs separated by ":" or "-" (either letter case), or
// twelve digits without separators. False for anything else.
bool ParseMacText(std::string_view text, MacAddress& mac);

}  // namespace reach
