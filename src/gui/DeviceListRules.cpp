#include "DeviceListRules.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <vector>

#include "app/IniFile.h"
#include "app/StringTable.h"

namespace {

const std::array<DEVICE_COLUMN_DEF, COL_COUNT> kColumns = {{
    {0, 25},
    {IDS_COL_INDEX, 45},
    {IDS_COL_NAME, 95},
    {IDS_COL_IP, 110},
    {IDS_COL_SLAVE_IP, kSlaveIpColumnWidth},
    {IDS_COL_MAC, 125},
    {IDS_COL_PRODUCT_TYPE, 95},
    {IDS_COL_SOFTWARE_VERSION, 115},
    {IDS_COL_BUILD_DATE, 90},
    {IDS_COL_KERNEL_VERSION, 85},
    {IDS_COL_ACTIVE_STATE, 85},
    {IDS_COL_AI_STRUCT, 0},
    {IDS_COL_AI_DETECT_FACE, 0},
    {IDS_COL_AI_VEHICLE, 0},
    {IDS_COL_AI_MATCH_FACE, 0},
    {IDS_COL_RESULT, 230},
}};

// Compares like strcmp: unsigned bytes, a shorter prefix first.
int CompareBytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareValues(uint32_t a, uint32_t b) {
    return a == b ? 0 : (a < b ? -1 : 1);
}

// One part of an inet_addr text: hex after "0x", octal after "0", else
// decimal. False when the part has no digits or overflows 32 bits.
bool ParseIpv4Part(std::string_view text, size_t& pos, uint32_t& value) {
    unsigned base = 10;
    if (pos < text.size() && text[pos] == '0') {
        base = 8;
        if (pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
            base = 16;
            pos += 2;
        }
    }
    uint64_t v = 0;
    bool any = base == 8;  // a lone "0" is a number
    for (; pos < text.size(); ++pos) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        unsigned digit = 0;
        if (std::isdigit(c)) {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && std::isxdigit(c)) {
            digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
        } else {
            break;
        }
        if (digit >= base) {
            return false;
        }
        v = v * base + digit;
        if (v > 0xFFFFFFFFull) {
            return false;
        }
        any = true;
    }
    value = static_cast<uint32_t>(v);
    return any;
}

}  // namespace

const DEVICE_COLUMN_DEF& DeviceColumnDef(int column) {
    if (column < 0 || column >= COL_COUNT) {
        return kColumns[COL_CHECK];
    }
    return kColumns[static_cast<size_t>(column)];
}

int ActivationStringId(int32_t deviceActivated) {
    switch (deviceActivated) {
        case 0:
            return IDS_ACTIVATED;
        case 1:
            return IDS_NONACTIVATED;
        default:
            return 0;
    }
}

uint32_t Ipv4HostOrder(std::string_view text) {
    constexpr uint32_t kNone = 0xFFFFFFFFu;
    std::vector<uint32_t> parts;
    size_t pos = 0;
    while (true) {
        uint32_t value = 0;
        if (!ParseIpv4Part(text, pos, value)) {
            return kNone;
        }
        parts.push_back(value);
        if (pos < text.size() && text[pos] == '.' && parts.size() < 4) {
            ++pos;
            continue;
        }
        break;
    }
    // Only trailing blanks may follow the number.
    for (; pos < text.size(); ++pos) {
        if (!std::isspace(static_cast<unsigned char>(text[pos]))) {
            return kNone;
        }
    }
    // The last part fills the bits that the parts before it leave.
    const size_t n = parts.size();
    uint32_t result = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (parts[i] > 0xFF) {
            return kNone;
        }
        result |= parts[i] << (24 - 8 * i);
    }
    const uint32_t lastMax = n == 1 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> (8 * (n - 1)));
    if (parts[n - 1] > lastMax) {
        return kNone;
    }
    return result | parts[n - 1];
}

bool IsSortableColumn(int column) {
    switch (column) {
        case COL_NAME:
        case COL_IP:
        case COL_SLAVE_IP:
        case COL_MAC:
        case COL_PRODUCT:
        case COL_VERSION:
        case COL_KERNEL:
            return true;
        default:
            return false;
    }
}

int CompareDevicesForSort(int column, const DEVICE_S_INFO& a, const DEVICE_S_INFO& b,
                          bool ascending) {
    int c = 0;
    switch (column) {
        case COL_NAME:
            c = CompareBytes(FieldText(a.devName), FieldText(b.devName));
            break;
        case COL_IP:
            c = CompareValues(Ipv4HostOrder(FieldText(a.ip)), Ipv4HostOrder(FieldText(b.ip)));
            break;
        case COL_SLAVE_IP:
            c = CompareValues(Ipv4HostOrder(FieldText(a.ip2)), Ipv4HostOrder(FieldText(b.ip2)));
            break;
        case COL_MAC:
            c = CompareBytes(FieldText(a.mac), FieldText(b.mac));
            break;
        case COL_PRODUCT:
            c = CompareBytes(FieldText(a.productModel), FieldText(b.productModel));
            break;
        case COL_VERSION:
            c = CompareBytes(FieldText(a.softwareVer), FieldText(b.softwareVer));
            break;
        case COL_KERNEL:
            c = CompareBytes(FieldText(a.kernelVer), FieldText(b.kernelVer));
            break;
        default:
            return 0;
    }
    return ascending ? c : -c;
}

std::string ProgressText(int32_t progress) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d%%", static_cast<int>(progress));
    return buffer;
}

std::string InstallingText(int seconds) {
    return LoadString(IDS_INSTALLING) + " (" + std::to_string(seconds) + " s)";
}

std::string FileDialogFilter(const std::string& tableFilter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= tableFilter.size()) {
        const size_t bar = tableFilter.find('|', start);
        if (bar == std::string::npos) {
            parts.push_back(tableFilter.substr(start));
            break;
        }
        parts.push_back(tableFilter.substr(start, bar - start));
        start = bar + 1;
    }
    std::string result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string text = parts[i];
        if (text.empty()) {
            break;
        }
        // Qt reads the patterns from the parenthesised tail of the text.
        const size_t open = text.rfind('(');
        if (open != std::string::npos && text.back() == ')') {
            text.erase(open);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        std::string patterns;
        size_t p = 0;
        const std::string& list = parts[i + 1];
        while (p <= list.size()) {
            size_t semi = list.find(';', p);
            if (semi == std::string::npos) {
                semi = list.size();
            }
            std::string pattern = list.substr(p, semi - p);
            if (pattern == "*.*") {
                pattern = "*";
            }
            if (!pattern.empty()) {
                patterns += (patterns.empty() ? "" : " ") + pattern;
            }
            p = semi + 1;
        }
        if (patterns.empty()) {
            patterns = "*";
        }
        result += (result.empty() ? "" : ";;") + text + " (" + patterns + ")";
    }
    return result;
}
