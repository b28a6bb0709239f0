// How long a batch keeps waiting for cameras the search has not found yet:
// "90s", "10m", "1h", "1h30m" (hours, minutes, seconds, each at most once
// and in that order), more than nothing and at most a day.
#pragma once

#include <string>

constexpr int kMaxWaitSeconds = 24 * 3600;

// Seconds in `seconds`, or false with `problem` saying what is wrong.
bool ParseWaitDuration(const std::string& text, int& seconds, std::string& problem);
