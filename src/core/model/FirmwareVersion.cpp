#include "model/FirmwareVersion.h"

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

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string PackageVersion::Shown() const {
    return build == 0 ? text : text + " build " + std::to_string(build);
}

std::optional<PackageVersion> PackageVersionOfName(std::string_view name) {
    for (size_t start = 0; start < name.size(); ++start) {
        if (!IsDigit(name[start]) ||
            (start > 0 && (IsDigit(name[start - 1]) || name[start - 1] == '.'))) {
            continue;
        }
        // Numbers joined by single dots from here on.
        size_t end = start;
        int numbers = 0;
        while (end < name.size() && IsDigit(name[end])) {
            while (end < name.size() && IsDigit(name[end])) {
                ++end;
            }
            ++numbers;
            if (end + 1 < name.size() && name[end] == '.' && IsDigit(name[end + 1]) &&
                numbers < 4) {
                ++end;
            } else {
                break;
            }
        }
        if (numbers < 2 || end - start > 15) {
            continue;
        }
        PackageVersion version;
        version.text = std::string(name.substr(start, end - start));
        // The build: the next number, at most 18 digits so that it fits.
        size_t digits = end;
        while (digits < name.size() && !IsDigit(name[digits])) {
            ++digits;
        }
        size_t last = digits;
        while (last < name.size() && IsDigit(name[last]) && last - digits < 18) {
            version.build = version.build * 10 + (name[last] - '0');
            ++last;
        }
        return version;
    }
    return std::nullopt;
}

int ComparePackageVersions(const PackageVersion& a, const PackageVersion& b) {
    if (const int c = CompareFirmwareVersions(a.text, b.text); c != 0) {
        return c;
    }
    return a.build < b.build ? -1 : a.build > b.build ? 1 : 0;
}
