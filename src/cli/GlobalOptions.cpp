#include "GlobalOptions.h"

#include <iostream>

#include "TerminalSize.h"
#include "UnknownWords.h"
#include "app/Settings.h"

const char* const kHelpFooter =
    "Global options (--set, --verbose, --progress, --inventory) may come before or after the\n"
    "command.\n"
    "With --progress json, standard output carries one JSON object per event and the\n"
    "tables and messages go to standard error.\n"
    "\n"
    "Exit status: 0 all cameras upgraded or current (scan: cameras listed;\n"
    "auto-test: every round as expected), 1 some failed, 2 usage or input error,\n"
    "3 no camera found, 130 interrupted.";

void AddGlobalOptions(CLI::App& app, GlobalOptions& options) {
    app.add_flag("-v,--verbose", options.verbose, "Echo the log to standard error");
    app.add_option("--set", options.overrides,
                   "Override a program setting for this run (KEY=VALUE, repeatable)");
    app.add_option("--progress", options.progress,
                   "Progress output: auto (bars on a terminal, else one line per state "
                   "change), lines, or json (events on standard output)")
        ->check(CLI::IsMember({"auto", "lines", "json"}));
    app.add_option("--inventory", options.inventory,
                   "Site inventory database (default: "
                   "$XDG_STATE_HOME/firmhand/inventory.sqlite)");
    app.add_flag("--list-settings", options.listSettings)->group("");
    app.add_option("--lock-folder", options.lockFolder)->group("");
    app.add_flag("--list-options", options.listOptions)->group("");
    app.add_flag("--man-commands", options.manCommands)->group("");
    // Subcommands copy this from their parent when they are added.
    app.fallthrough();
}

std::string UsageErrorText(const CLI::App& app, const CLI::Error& error) {
    std::string command = "firmhand-cli";
    const auto chosen = app.get_subcommands();
    if (!chosen.empty()) {
        command += " " + chosen.front()->get_name();
    }
    std::string text = command + ": " + error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !app.remaining().empty()) {
        // The unknown words themselves, first, with what they may have meant.
        text = command + ": " + UnknownWordsText(app, app.remaining());
    } else if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        text +=
            "; options belong after the command they are for, the global ones "
            "(--set, --verbose, --progress, --inventory) go anywhere";
    } else if (std::string(error.what()).rfind("--progress", 0) == 0) {
        text += "; use --progress auto, lines or json";
    }
    return text + " (see " + command + " --help)\n";
}

void PrintSettingKeys(std::ostream& out) {
    for (const SettingKey& row : settings::AllKeys()) {
        out << row.key << "\n";
    }
}

std::ostream& ApplyProgress(const GlobalOptions& options, CliContext& context, std::ostream& json) {
    if (options.progress == "json") {
        context.events = &json;
        context.terminal = [] { return StderrTerminalSize(); };
        return std::cerr;
    }
    if (options.progress == "auto") {
        context.terminal = [] { return StdoutTerminalSize(); };
    }
    return std::cout;
}
