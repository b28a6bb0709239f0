#include "device/Base64.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(const uint8_t* data, size_t length, size_t lineLength) {
    std::string plain;
    plain.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        const size_t left = length - i;
        const uint32_t group = (static_cast<uint32_t>(data[i]) << 16) |
                               (left > 1 ? static_cast<uint32_t>(data[i + 1]) << 8 : 0u) |
                               (left > 2 ? static_cast<uint32_t>(data[i + 2]) : 0u);
        plain += kAlphabet[(group >> 18) & 0x3F];
        plain += kAlphabet[(group >> 12) & 0x3F];
        plain += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        plain += left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    if (lineLength == 0 || plain.size() <= lineLength) {
        return plain;
    }
    std::string lines;
    for (size_t i = 0; i < plain.size(); i += lineLength) {
        if (i != 0) {
            lines += "\r\n";
        }
        lines.append(plain, i, lineLength);
    }
    return lines;
}
