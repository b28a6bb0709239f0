#include "ResumeCommand.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

// A word as the shell reads it back: bare when it is made of safe
// characters, else in single quotes.
std::string ShellWord(const std::string& word) {
    const bool safe = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("-_./:=,@%+").find(c) != std::string_view::npos;
    });
    if (safe) {
        return word;
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::string ResumeCommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    bool resume = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A typed password stays out of what is printed: the remembered
        // one, the password file or the prompt serve the resumed run.
        if (arg == "--password") {
            ++i;
            continue;
        }
        if (arg.rfind("--password=", 0) == 0) {
            continue;
        }
        resume = resume || arg == "--resume";
        words.push_back(arg);
    }
    if (!resume) {
        const auto upgrade = std::find(words.begin(), words.end(), "upgrade");
        words.insert(upgrade == words.end() ? words.end() : upgrade + 1, "--resume");
    }
    std::string line = "firmhand-cli";
    for (const std::string& word : words) {
        line += " " + ShellWord(word);
    }
    return line;
}
