// Report times: ISO 8601 in UTC to the second, as "2026-12-07T21:04:05Z".
#pragma once

#include <chrono>
#include <string>

std::string IsoUtc(std::chrono::system_clock::time_point when);
inline std::string IsoUtcNow() {
    return IsoUtc(std::chrono::system_clock::now());
}
