// Report times: ISO 8601 in UTC to the second, as "2026-12-07T21:04:05Z".
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

std::string IsoUtc(std::chrono::system_clock::time_point when);
// A journal time (ms since the epoch) for people, as "2026-12-07 21:04:05Z";
// "-" for none.
std::string UtcText(int64_t ms);
inline std::string IsoUtcNow() {
    return IsoUtc(std::chrono::system_clock::now());
}
