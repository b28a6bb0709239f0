// A plain text table with columns sized to their widest cell (UTF-8 aware).
#pragma once

#include <ostream>
#include <string>
#include <vector>

class CTextTable {
public:
    explicit CTextTable(std::vector<std::string> headings) : m_headings(std::move(headings)) {}
    void AddRow(std::vector<std::string> cells) { m_rows.push_back(std::move(cells)); }
    void Print(std::ostream& out) const;

private:
    std::vector<std::string> m_headings;
    std::vector<std::vector<std::string>> m_rows;
};

// Display width of UTF-8 text: one per code point, two for CJK.
size_t DisplayWidth(const std::string& text);
