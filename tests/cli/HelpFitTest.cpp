// The help in an 80-column terminal: descriptions and the footer wrap in
// whole words, under their column, and nothing runs past the edge.
#include <gtest/gtest.h>

#include <sstream>

#include "GlobalOptions.h"
#include "HelpFit.h"
#include "TextTable.h"

TEST(HelpFit, DescriptionsAndFooterWrapInWholeWordsAt80Columns) {
    const std::string description =
        "Keep the batch open this long (90s, 10m, 1h30m; at most 24h) for the named cameras "
        "the search has not found; each is upgraded as soon as it is found";
    CLI::App app{"test", "firmhand-cli"};
    FitHelp(app, kHelpFooter, 80);
    CLI::App* command = app.add_subcommand("upgrade", description);
    std::string wait;
    command->add_option("--wait-for-missing", wait, description);
    for (const std::string& help : {app.help(), command->help()}) {
        std::istringstream lines(help);
        std::string joined;
        int described = 0;
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(DisplayWidth(line), 80u) << line;
            if (line.find("upgrade") == 2 || line.find("--wait-for-missing") == 2) {
                joined = line.substr(30);
            } else if (!joined.empty() && line.rfind(std::string(30, ' '), 0) == 0) {
                joined += " " + line.substr(30);
            } else if (!joined.empty()) {
                EXPECT_EQ(joined, description) << help;
                joined.clear();
                ++described;
            }
        }
        EXPECT_EQ(described, 1) << help;
        EXPECT_NE(help.find("Exit status: 0"), std::string::npos) << help;
    }
    EXPECT_EQ(WrapParagraphs(kHelpFooter, 0), kHelpFooter) << "a pipe gets it as written";
}
