#include "HelpFit.h"

#include <memory>
#include <sstream>
#include <vector>

#include "TextTable.h"

namespace {

// Less room than this beside the option names, and the terminal wraps.
constexpr size_t kLeastDescriptionWidth = 20;

// Each line of `text` wrapped to `width` on its own.
std::string WrapLines(const std::string& text, size_t width) {
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        for (const std::string& line : WrapText(text.substr(start, end - start), width)) {
            out += (out.empty() ? "" : "\n") + line;
        }
        start = end + 1;
    }
    return out;
}

class CFittedFormatter : public CLI::Formatter {
public:
    explicit CFittedFormatter(size_t columns) : m_columns(columns) {}

    std::string make_description(const CLI::App* app) const override {
        const std::string text = CLI::Formatter::make_description(app);
        return m_columns < kLeastDescriptionWidth ? text : WrapLines(text, m_columns);
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        return Fitted(CLI::Formatter::make_option_desc(option));
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_display_name(true), Fitted(sub->get_description()),
                                 get_column_width());
        return out.str();
    }

private:
    // format_help indents each line after the first under the column.
    std::string Fitted(const std::string& text) const {
        const size_t column = get_column_width();
        if (m_columns < column + kLeastDescriptionWidth) {
            return text;
        }
        return WrapLines(text, m_columns - column);
    }

    size_t m_columns;
};

}  // namespace

std::string WrapParagraphs(const std::string& text, size_t columns) {
    if (columns == 0) {
        return text;
    }
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\n\n", start);
        end = end == std::string::npos ? text.size() : end;
        std::string paragraph = text.substr(start, end - start);
        for (char& c : paragraph) {
            c = c == '\n' ? ' ' : c;
        }
        if (!out.empty()) {
            out += "\n\n";
        }
        const std::vector<std::string> lines = WrapText(paragraph, columns);
        for (size_t i = 0; i < lines.size(); ++i) {
            out += (i == 0 ? "" : "\n") + lines[i];
        }
        start = end + 2;
    }
    return out;
}

void FitHelp(CLI::App& app, const std::string& footer, size_t columns) {
    app.footer(WrapParagraphs(footer, columns));
    if (columns > 0) {
        app.formatter(std::make_shared<CFittedFormatter>(columns));
    }
}
