#include "model/UtcTime.h"

#include <cstdio>

std::string IsoUtc(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(when - day)};
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string UtcText(int64_t ms) {
    if (ms <= 0) {
        return "-";
    }
    std::string text = IsoUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
    text[10] = ' ';  // a space between the day and the time reads better in tables
    return text;
}
