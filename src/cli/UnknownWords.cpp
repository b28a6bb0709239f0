#include "UnknownWords.h"

#include "InputCheck.h"

namespace {

void AddOptionWords(const CLI::App& app, std::vector<std::string>& words) {
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            words.push_back("--" + name);
        }
    }
}

// The options the command line can take here, as typed ("--name"): those
// of `app`, of the programs above it and of the command chosen under it.
std::vector<std::string> OptionWords(const CLI::App& app) {
    std::vector<std::string> words;
    for (const CLI::App* at = &app; at != nullptr; at = at->get_parent()) {
        AddOptionWords(*at, words);
    }
    for (const CLI::App* chosen : app.get_subcommands()) {
        AddOptionWords(*chosen, words);
    }
    return words;
}

std::vector<std::string> CommandWords(const CLI::App& app) {
    std::vector<std::string> words;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        words.push_back(command->get_name());
    }
    return words;
}

}  // namespace

std::string NearestWord(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& candidate : candidates) {
        const size_t d = EditDistance(word, candidate);
        if (best.empty() || d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    // Up to two edits, and never more than half the word: "scna" is a
    // typo of "scan", "foo" is not one of "runs".
    const size_t allowed = std::min<size_t>(2, std::max<size_t>(1, word.size() / 2));
    return !best.empty() && bestDistance <= allowed ? best : std::string();
}

std::string UnknownWordsText(const CLI::App& app, const std::vector<std::string>& words) {
    std::string text;
    bool afterOption = false;
    for (const std::string& typed : words) {
        const bool option = typed.rfind("-", 0) == 0;
        // The word after an unknown option is most likely its value.
        if (!option && afterOption) {
            afterOption = false;
            continue;
        }
        afterOption = option && typed.find('=') == std::string::npos;
        // "--pakage=fw.bin" is the option "--pakage".
        const std::string word = option ? typed.substr(0, typed.find('=')) : typed;
        const std::vector<std::string> commands = CommandWords(app);
        const std::string hint = NearestWord(word, option ? OptionWords(app) : commands);
        const char* kind = option             ? "unknown option"
                           : commands.empty() ? "unexpected word"
                                              : "unknown command";
        text += (text.empty() ? "" : "; ") + std::string(kind) + " \"" + word + "\"";
        if (!hint.empty()) {
            text += "; did you mean \"" + hint + "\"?";
        }
    }
    return text;
}
