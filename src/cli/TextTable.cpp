#include "TextTable.h"

#include <algorithm>
#include <cstdint>

namespace {

bool IsWide(uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        uint32_t cp = c;
        if (c >= 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else if (c >= 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xC0) {
            length = 2;
            cp = c & 0x1F;
        }
        for (size_t k = 1; k < length && i + k < text.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        width += IsWide(cp) ? 2 : 1;
        i += length;
    }
    return width;
}

void CTextTable::Print(std::ostream& out) const {
    std::vector<size_t> widths(m_headings.size(), 0);
    for (size_t c = 0; c < m_headings.size(); ++c) {
        widths[c] = DisplayWidth(m_headings[c]);
        for (const auto& row : m_rows) {
            if (c < row.size()) {
                widths[c] = std::max(widths[c], DisplayWidth(row[c]));
            }
        }
    }
    const auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string cell = c < cells.size() ? cells[c] : std::string();
            line += cell;
            if (c + 1 < widths.size()) {
                line.append(widths[c] - DisplayWidth(cell) + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out << line << '\n';
    };
    printRow(m_headings);
    for (const auto& row : m_rows) {
        printRow(row);
    }
}
