#include "model/MacAddress.h"

#include <cstdio>

#include "platform/HexDigit.h"

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::optional<CMacAddress> CMacAddress::Parse(std::string_view text) {
    if (text.size() != 17) {
        return std::nullopt;
    }
    const char separator = text[2];
    if (separator != ':' && separator != '-') {
        return std::nullopt;
    }
    Bytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        const size_t at = i * 3;
        if (i > 0 && text[at - 1] != separator) {
            return std::nullopt;
        }
        const int high = platform::HexDigitValue(text[at]);
        const int low = platform::HexDigitValue(text[at + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return CMacAddress(bytes);
}

std::string CMacAddress::Text() const {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", m_bytes[0], m_bytes[1],
                  m_bytes[2], m_bytes[3], m_bytes[4], m_bytes[5]);
    return text;
}

std::string MacKey(std::string_view text) {
    if (const std::optional<CMacAddress> mac = CMacAddress::Parse(text)) {
        return mac->Text();
    }
    std::string key(text);
    for (char& c : key) {
        c = Upper(c);
    }
    return key;
}

std::string MacShown(std::string_view text) {
    const std::optional<CMacAddress> mac = CMacAddress::Parse(text);
    return mac ? mac->Text() : std::string(text);
}

// As MacKey(a) == MacKey(b), without building either: a text that is a
// MAC never equals one that is not, since the key of the one would parse.
bool SameMac(std::string_view a, std::string_view b) {
    const std::optional<CMacAddress> first = CMacAddress::Parse(a);
    const std::optional<CMacAddress> second = CMacAddress::Parse(b);
    if (first || second) {
        return first == second;
    }
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}
