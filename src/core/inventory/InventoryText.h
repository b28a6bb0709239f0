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

// Firmware versions in release order: part by part between the dots, the
// leading number of each part by its value ("4.0.10" after "4.0.2"), the
// rest of a part byte by byte; a missing part counts as "0". Below 0, 0 or
// above 0 as strcmp. The database's "firmware" collation is this order.
int CompareFirmwareVersions(std::string_view a, std::string_view b);

// "192.168.1.0/24" of an address and mask in host order.
std::string SubnetText(uint32_t address, uint32_t mask);

}  // namespace inventory
