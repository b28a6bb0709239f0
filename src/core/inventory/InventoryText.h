// The inventory's input checks: site names and version texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace inventory {

constexpr size_t kMaxSiteNameBytes = 64;
constexpr size_t kMaxVersionBytes = 15;  // the record's field holds 15

// "" when `name` may name a site: 1 to 64 bytes of UTF-8 without control
// characters; else what is wrong with it.
std::string CheckSiteName(std::string_view name);

// "" when `version` reads as a firmware version ("4.0.2", "3.1.0.7"): one
// to four numbers joined by dots, at most 15 bytes; else what is wrong.
std::string CheckVersionText(std::string_view version);

// "192.168.1.0/24" of an address and mask in host order.
std::string SubnetText(uint32_t address, uint32_t mask);

}  // namespace inventory
