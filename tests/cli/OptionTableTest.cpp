// The manual page's COMMANDS section and the bash completion come from the
// CLI's own option table: every option of every command is in both, so an
// option added to the parser cannot be left out of either.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "CliApp.h"
#include "platform/Paths.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using std::chrono::seconds;

std::string RunCapturing(std::vector<std::string> args) {
    args.insert(args.begin(), "firmhand-cli");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), SESSION_OPTIONS{}), 0);
    return testing::internal::GetCapturedStdout();
}

// Command ("-" for the global options, "commands" for the command names)
// to its words.
std::map<std::string, std::vector<std::string>> OptionTable() {
    std::map<std::string, std::vector<std::string>> table;
    std::istringstream lines(RunCapturing({"--list-options"}));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string head;
        words >> head;
        std::vector<std::string>& row = table[head];
        for (std::string word; words >> word;) {
            row.push_back(word);
        }
    }
    return table;
}

std::string RoffWord(const std::string& option) {
    std::string out;
    for (const char c : option) {
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return out;
}

// What the completion offers for `line` (the cursor at its end), with the
// build tree's program as the command.
std::set<std::string> Completions(const std::vector<std::string>& words,
                                  testing_support::CSandbox& box) {
    const std::string script =
        (std::filesystem::path(__FILE__).parent_path() / "../../src/cli/completion/firmhand-cli")
            .lexically_normal()
            .string();
    std::string array;
    for (const std::string& word : words) {
        array += " '" + word + "'";
    }
    const std::string program =
        platform::PathCombine(platform::ExecutableFolder(), "../src/cli/firmhand-cli");
    const std::string code =
        "source /usr/share/bash-completion/bash_completion && source '" + script +
        "' && COMP_WORDS=('" + program + "'" + array +
        ") && COMP_CWORD=${#COMP_WORDS[@]}-1 && COMP_LINE=\"${COMP_WORDS[*]}\"" +
        " && COMP_POINT=${#COMP_LINE} && _firmhand_cli && " + "printf '%s\\n' \"${COMPREPLY[@]}\"";
    CHILD_OPTIONS options;
    options.program = "/bin/bash";
    options.args = {"-c", code};
    options.outPath = box.File("completions.txt");
    options.errPath = box.File("completions.err");
    CChildProcess child;
    std::string error;
    EXPECT_TRUE(child.Start(options, error)) << error;
    const auto end = child.Wait(seconds(60));
    EXPECT_TRUE(end.has_value() && end->code == 0) << box.Read("completions.err");
    std::set<std::string> offered;
    std::istringstream lines(box.Read("completions.txt"));
    for (std::string line; std::getline(lines, line);) {
        offered.insert(line);
    }
    return offered;
}

}  // namespace

TEST(OptionTable, ManualPageListsEveryOptionOfEveryCommand) {
    const auto table = OptionTable();
    ASSERT_TRUE(table.count("commands"));
    const std::vector<std::string>& commands = table.at("commands");
    for (const char* expected : {"scan", "upgrade", "runs", "ai-versions"}) {
        EXPECT_NE(std::find(commands.begin(), commands.end(), expected), commands.end())
            << expected;
    }
    const std::string page = RunCapturing({"--man-commands"});
    EXPECT_EQ(page.rfind("[COMMANDS]\n", 0), 0u);
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        EXPECT_NE(page.find(".SS " + RoffWord(command) + "\n"), std::string::npos) << page;
        ASSERT_TRUE(table.count(command));
        // Each option under its own command's heading.
        const size_t from = page.find(".SS " + RoffWord(command) + "\n");
        const size_t to = page.find(".SS ", from + 1);
        const std::string section = page.substr(from, to - from);
        for (const std::string& option : table.at(command)) {
            EXPECT_NE(section.find(".B " + RoffWord(option)), std::string::npos) << option;
        }
    }
    const auto& upgrade = table.at("upgrade");
    for (const char* option :
         {"--resume", "--retry-failed", "--credentials", "--max-failures", "--dry-run",
          "--parallel", "--force", "--only-targets", "--canary"}) {
        EXPECT_NE(std::find(upgrade.begin(), upgrade.end(), option), upgrade.end()) << option;
    }
}

TEST(OptionTable, BashCompletionOffersEveryCommandAndOption) {
    if (!std::filesystem::exists("/usr/share/bash-completion/bash_completion")) {
        GTEST_SKIP() << "bash-completion is not installed";
    }
    testing_support::CSandbox box;
    const auto table = OptionTable();
    const std::set<std::string> commands = Completions({""}, box);
    for (const std::string& command : table.at("commands")) {
        EXPECT_TRUE(commands.count(command)) << command;
    }
    for (const std::string& command : table.at("commands")) {
        SCOPED_TRACE(command);
        const std::set<std::string> offered = Completions({command, "-"}, box);
        for (const std::string& option : table.at(command)) {
            EXPECT_TRUE(offered.count(option)) << option;
        }
        for (const std::string& option : table.at("-")) {
            EXPECT_TRUE(offered.count(option)) << option;
        }
    }
}
