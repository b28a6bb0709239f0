#include "model/SafeText.h"

#include <cstdint>
#include <cstdio>

namespace {

// Length of the UTF-8 sequence at `at` and its code point; 0 when the bytes
// there are no well-formed sequence (overlong forms and surrogates included).
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& cp) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte(at + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool IsShownEscaped(uint32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string VisibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[12];
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[i]));
            out += escape;
            ++i;
            continue;
        }
        if (IsShownEscaped(cp)) {
            std::snprintf(escape, sizeof escape, cp < 0x80 ? "\\x%02X" : "\\u%04X",
                          static_cast<unsigned>(cp));
            out += escape;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

std::string CsvCell(std::string_view text) {
    std::string shown = VisibleText(text);
    if (!text.empty() &&
        std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
        shown.insert(0, 1, '\'');
    }
    if (shown.find_first_of(",\"") == std::string::npos) {
        return shown;
    }
    std::string out = "\"";
    for (const char c : shown) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}
