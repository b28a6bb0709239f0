#include "discovery/SearchTargets.h"

#include "app/Logger.h"

FH_LOG_SOURCE("SearchTargets");

namespace {

std::string TrimTargetText(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

std::vector<SearchTarget> ParseSearchTargets(const std::string& text, uint16_t defaultPort) {
    std::vector<SearchTarget> targets;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        const std::string item = TrimTargetText(text.substr(start, comma - start));
        start = comma + 1;
        if (item.empty()) {
            continue;
        }
        SearchTarget target;
        target.port = defaultPort;
        const size_t colon = item.find(':');
        target.host = TrimTargetText(item.substr(0, colon));
        const bool portOk = colon == std::string::npos ||
                            ParsePort(TrimTargetText(item.substr(colon + 1)), target.port);
        if (target.host.empty() || !portOk) {
            LOG_WARN("ParseSearchTargets", "search target '%s' skipped: not host[:port]",
                     item.c_str());
            continue;
        }
        targets.push_back(std::move(target));
    }
    return targets;
}
