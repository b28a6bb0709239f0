#include "model/WaitDuration.h"

#include <cctype>

namespace {

constexpr size_t kMaxTextLength = 16;
constexpr size_t kMaxDigits = 5;

}  // namespace

bool ParseWaitDuration(const std::string& text, int& seconds, std::string& problem) {
    const std::string expected =
        "a waiting time like 90s, 10m, 1h or 1h30m, more than 0 and at most 24h";
    if (text.empty() || text.size() > kMaxTextLength) {
        problem = expected;
        return false;
    }
    static constexpr struct {
        char unit;
        long scale;
    } kUnits[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
    long total = 0;
    size_t at = 0;
    size_t nextUnit = 0;  // units come in order, each once
    while (at < text.size()) {
        const size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) {
            ++at;
        }
        const size_t digits = at - start;
        if (digits == 0 || digits > kMaxDigits || at == text.size()) {
            problem = expected;
            return false;
        }
        const char unit = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
        while (nextUnit < 3 && kUnits[nextUnit].unit != unit) {
            ++nextUnit;
        }
        if (nextUnit == 3) {
            problem = expected;
            return false;
        }
        total += std::stol(text.substr(start, digits)) * kUnits[nextUnit].scale;
        ++nextUnit;
        ++at;
    }
    if (total <= 0 || total > kMaxWaitSeconds) {
        problem = total <= 0 ? "the waiting time must be more than 0 (" + expected + ")"
                             : "the waiting time is longer than 24h (" + expected + ")";
        return false;
    }
    seconds = static_cast<int>(total);
    return true;
}
