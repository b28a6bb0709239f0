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

namespace {

// The next part of `text` up to a dot (consumed), "0" when none is left.
std::string_view NextVersionPart(std::string_view& text) {
    if (text.empty()) {
        return "0";
    }
    const size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    return part;
}

int CompareVersionParts(std::string_view a, std::string_view b) {
    const auto digits = [](std::string_view part) {
        size_t n = 0;
        while (n < part.size() && part[n] >= '0' && part[n] <= '9') {
            ++n;
        }
        return n;
    };
    std::string_view numberA = a.substr(0, digits(a));
    std::string_view numberB = b.substr(0, digits(b));
    const std::string_view restA = a.substr(numberA.size());
    const std::string_view restB = b.substr(numberB.size());
    // By value without parsing: leading zeros off, then the longer number
    // is the larger, then the digits in order.
    while (numberA.size() > 1 && numberA[0] == '0') {
        numberA.remove_prefix(1);
    }
    while (numberB.size() > 1 && numberB[0] == '0') {
        numberB.remove_prefix(1);
    }
    if (numberA.size() != numberB.size()) {
        return numberA.size() < numberB.size() ? -1 : 1;
    }
    if (const int c = numberA.compare(numberB); c != 0) {
        return c < 0 ? -1 : 1;
    }
    const int c = restA.compare(restB);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int CompareFirmwareVersions(std::string_view a, std::string_view b) {
    while (!a.empty() || !b.empty()) {
        if (const int c = CompareVersionParts(NextVersionPart(a), NextVersionPart(b)); c != 0) {
            return c;
        }
    }
    return 0;
}

std::string SubnetText(uint32_t address, uint32_t mask) {
    const uint32_t net = address & mask;
    return std::to_string(net >> 24) + "." + std::to_string((net >> 16) & 0xFF) + "." +
           std::to_string((net >> 8) & 0xFF) + "." + std::to_string(net & 0xFF) + "/" +
           std::to_string(std::popcount(mask));
}

}  // namespace inventory
