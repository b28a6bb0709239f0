#include "TextTable.h"

#include <algorithm>
#include <cstdint>

#include "model/SafeText.h"

namespace {

bool IsWide(uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

namespace {

// The code point at `i` of UTF-8 `text` and its length in bytes.
uint32_t CodePointAt(const std::string& text, size_t i, size_t& length) {
    const auto c = static_cast<unsigned char>(text[i]);
    length = 1;
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
    return cp;
}

// Text columns are not shortened below this (or their own width), unless
// the line would otherwise run past the terminal: then down to the last.
constexpr size_t kMinTextWidth = 8;
constexpr size_t kLastResortTextWidth = 3;
constexpr size_t kGap = 2;
constexpr size_t kNarrowGap = 1;

size_t LineWidth(const std::vector<size_t>& widths, const std::vector<bool>& shown, size_t gap) {
    size_t total = 0;
    size_t columns = 0;
    for (size_t c = 0; c < widths.size(); ++c) {
        if (shown[c]) {
            total += widths[c];
            ++columns;
        }
    }
    return total + (columns > 0 ? (columns - 1) * gap : 0);
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        width += IsWide(CodePointAt(text, i, length)) ? 2 : 1;
        i += length;
    }
    return width;
}

std::string FitText(const std::string& text, size_t width) {
    if (DisplayWidth(text) <= width) {
        return text;
    }
    if (width == 0) {
        return "";
    }
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        const size_t cell = IsWide(CodePointAt(text, i, length)) ? 2 : 1;
        if (used + cell > width - 1) {
            break;
        }
        out.append(text, i, length);
        used += cell;
        i += length;
    }
    return out + "\u2026";
}

std::vector<std::string> WrapText(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t used = 0;
    const auto add = [&](const std::string& piece, size_t cells) {
        if (used > 0 && used + cells > width) {
            lines.push_back(line);
            line.clear();
            used = 0;
        }
        if (used == 0 && piece == " ") {
            return;  // no line starts with the space it was broken at
        }
        line += piece;
        used += cells;
    };
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            add(" ", 1);
            ++i;
            continue;
        }
        size_t end = text.find(' ', i);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = text.substr(i, end - i);
        if (width == 0 || DisplayWidth(word) <= width) {
            add(word, DisplayWidth(word));
        } else {
            for (size_t k = 0; k < word.size();) {
                size_t length = 1;
                const size_t cell = IsWide(CodePointAt(word, k, length)) ? 2 : 1;
                add(word.substr(k, length), cell);
                k += length;
            }
        }
        i = end;
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}

// Shortens the widest shown Shrink column a cell at a time, not below
// `shortest`, until the line fits or none can give more.
void CTextTable::ShrinkTextColumns(std::vector<size_t>& widths, const std::vector<bool>& shown,
                                   size_t gap, const std::vector<size_t>& shortest) const {
    while (LineWidth(widths, shown, gap) > m_maxWidth) {
        size_t widest = widths.size();
        for (size_t c = 0; c < widths.size(); ++c) {
            if (shown[c] && m_fits[c] == Fit::Shrink && widths[c] > shortest[c] &&
                (widest == widths.size() || widths[c] > widths[widest])) {
                widest = c;
            }
        }
        if (widest == widths.size()) {
            return;  // as narrow as it gets
        }
        --widths[widest];
    }
}

// Natural widths, then: leave out Drop columns while even the shortest text
// would not fit; then, when asked, narrow the gaps if that keeps the other
// columns whole; else shorten the widest text column a cell at a time,
// below its usual least width only when nothing else makes the line fit. A
// left-out column has width 0.
std::vector<size_t> CTextTable::FittedWidths(size_t& gap) const {
    std::vector<size_t> widths(m_headings.size(), 0);
    for (size_t c = 0; c < m_headings.size(); ++c) {
        widths[c] = DisplayWidth(m_headings[c]);
        for (const auto& row : m_rows) {
            if (c < row.size()) {
                widths[c] = std::max(widths[c], DisplayWidth(row[c]));
            }
        }
    }
    std::vector<bool> shown(widths.size(), true);
    gap = kGap;
    if (m_maxWidth == 0 || LineWidth(widths, shown, gap) <= m_maxWidth) {
        return widths;
    }
    std::vector<size_t> shortest = widths;
    for (size_t c = 0; c < widths.size(); ++c) {
        if (m_fits[c] == Fit::Shrink) {
            shortest[c] = std::min(widths[c], kMinTextWidth);
        }
    }
    // Columns are left out only when even the narrowest gap leaves no room.
    const size_t tightGap = m_narrowGapWhenTight ? kNarrowGap : gap;
    for (size_t c = widths.size(); c-- > 0 && LineWidth(shortest, shown, tightGap) > m_maxWidth;) {
        if (m_fits[c] == Fit::Drop) {
            shown[c] = false;
        }
    }
    // The narrow gap when it keeps the text whole, or when the wide one
    // leaves no room even for the shortest text.
    if (m_narrowGapWhenTight && (LineWidth(widths, shown, kNarrowGap) <= m_maxWidth ||
                                 LineWidth(shortest, shown, gap) > m_maxWidth)) {
        gap = kNarrowGap;
    }
    ShrinkTextColumns(widths, shown, gap, shortest);
    // A line the terminal would wrap is worse than a name cut short (a
    // heading wider than its cells, as "Step" over "1", can be the cause).
    for (size_t c = 0; c < widths.size(); ++c) {
        shortest[c] = std::min(shortest[c], kLastResortTextWidth);
    }
    ShrinkTextColumns(widths, shown, gap, shortest);
    for (size_t c = 0; c < widths.size(); ++c) {
        widths[c] = shown[c] ? widths[c] : 0;
    }
    return widths;
}

void CTextTable::AddRow(std::vector<std::string> cells) {
    for (std::string& cell : cells) {
        cell = VisibleText(cell);
    }
    m_rows.push_back(std::move(cells));
}

void CTextTable::Print(std::ostream& out) const {
    size_t gap = kGap;
    const std::vector<size_t> widths = FittedWidths(gap);
    size_t last = 0;
    for (size_t c = 0; c < widths.size(); ++c) {
        if (widths[c] > 0 || m_maxWidth == 0) {
            last = c;
        }
    }
    const auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t c = 0; c <= last && c < widths.size(); ++c) {
            if (widths[c] == 0 && m_maxWidth != 0) {
                continue;  // left out
            }
            const std::string cell =
                FitText(c < cells.size() ? cells[c] : std::string(), widths[c]);
            line += cell;
            if (c < last) {
                line.append(widths[c] - DisplayWidth(cell) + gap, ' ');
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
