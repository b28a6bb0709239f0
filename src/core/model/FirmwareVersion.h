// Firmware versions in release order, and the version a package's file
// name carries. The one comparison of versions: the inventory's "firmware"
// collation and the order of an upgrade path's steps both use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Part by part between the dots, the leading number of each part by its
// value ("4.0.10" after "4.0.2"), the rest of a part byte by byte; a missing
// part counts as "0". Below 0, 0 or above 0 as strcmp.
int CompareFirmwareVersions(std::string_view a, std::string_view b);

// The version a package is for, read from its file name: the first run of
// two to four numbers joined by dots ("4.0.3"), and the build, the next
// number after it (0 when none), as in "IPC_4.0.3_230119.bin".
struct PackageVersion {
    std::string text;
    int64_t build = 0;

    std::string Shown() const;  // "4.0.3" or "4.0.3 build 230119"
};

// Nothing when the name holds no such version.
std::optional<PackageVersion> PackageVersionOfName(std::string_view fileName);

// Release order: by the text, then by the build.
int ComparePackageVersions(const PackageVersion& a, const PackageVersion& b);
