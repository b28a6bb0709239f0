// A plain text table with columns sized to their widest cell (UTF-8 aware),
// fitted to a width when one is given.
#pragma once

#include <ostream>
#include <string>
#include <vector>

class CTextTable {
public:
    // How a column gives way when the table is wider than its limit.
    enum class Fit {
        Fixed,   // kept whole (addresses, numbers)
        Shrink,  // text shortened with "…", down to a few characters
        Drop,    // left out before text gets that short
    };

    explicit CTextTable(std::vector<std::string> headings)
        : m_headings(std::move(headings)), m_fits(m_headings.size(), Fit::Fixed) {}
    // Cells are camera text: their control characters are shown escaped.
    void AddRow(std::vector<std::string> cells);
    void SetFit(size_t column, Fit fit) { m_fits.at(column) = fit; }
    // Lines of at most `columns` display cells (0: no limit).
    void SetMaxWidth(size_t columns) { m_maxWidth = columns; }
    // Over the limit, one space between columns rather than two when that
    // keeps the columns not left out whole, headings included.
    void SetNarrowGapWhenTight() { m_narrowGapWhenTight = true; }
    void Print(std::ostream& out) const;

private:
    // The columns' widths and the gap between them.
    std::vector<size_t> FittedWidths(size_t& gap) const;
    void ShrinkTextColumns(std::vector<size_t>& widths, const std::vector<bool>& shown, size_t gap,
                           const std::vector<size_t>& shortest) const;

    std::vector<std::string> m_headings;
    std::vector<Fit> m_fits;
    std::vector<std::vector<std::string>> m_rows;
    size_t m_maxWidth = 0;
    bool m_narrowGapWhenTight = false;
};

// Display width of UTF-8 text: one per code point, two for CJK.
size_t DisplayWidth(const std::string& text);
// `text` cut to at most `width` display cells, ending in "…" when cut.
std::string FitText(const std::string& text, size_t width);
// `text` in lines of at most `width` display cells, broken at spaces; a
// word wider than that (as a sentence without spaces) is broken anywhere.
std::vector<std::string> WrapText(const std::string& text, size_t width);
