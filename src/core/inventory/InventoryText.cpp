#include "inventory/InventoryText.h"

#include <bit>
#include <cstring>

#include "model/SafeText.h"

namespace inventory {

std::string CheckSiteName(std::string_view name) {
    if (name.empty()) {
        return "a site name must not be empty";
    }
    if (name.size() > kMaxSiteNameBytes) {
        return "a site name is at most " + std::to_string(kMaxSiteNameBytes) + " bytes";
    }
    // VisibleText escapes exactly the control characters, the direction
    // overrides and the bytes that are no UTF-8: a name it changes has one.
    if (VisibleText(name) != name) {
        return "a site name must not hold control characters: \"" + VisibleText(name) + "\"";
    }
    return "";
}

std::string CheckVersionText(std::string_view version) {
    const std::string shown = "\"" + VisibleText(version.substr(0, 32)) + "\"";
    if (version.empty() || version.size() > kMaxVersionBytes) {
        return "a version is 1 to " + std::to_string(kMaxVersionBytes) + " bytes, got " + shown;
    }
    int numbers = 1;
    bool digitBefore = false;
    for (const char c : version) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if (c == '.' && digitBefore) {
            digitBefore = false;
            ++numbers;
        } else {
            return "a version is numbers joined by dots, such as 4.0.2, got " + shown;
        }
    }
    if (!digitBefore || numbers > 4) {
        return "a version is one to four numbers joined by dots, such as 4.0.2, got " + shown;
    }
    return "";
}

std::string SubnetText(uint32_t address, uint32_t mask) {
    const uint32_t net = address & mask;
    return std::to_string(net >> 24) + "." + std::to_string((net >> 16) & 0xFF) + "." +
           std::to_string((net >> 8) & 0xFF) + "." + std::to_string(net & 0xFF) + "/" +
           std::to_string(std::popcount(mask));
}

}  // namespace inventory
