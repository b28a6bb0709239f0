#include "CliApp.h"

#include <CLI/CLI.hpp>

#include <strings.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <vector>

#include "CliCommands.h"
#include "GlobalOptions.h"
#include "HelpFit.h"
#include "InputCheck.h"
#include "InventoryCommand.h"
#include "OptionTable.h"
#include "SignalWatch.h"
#include "TerminalSize.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "app/Startup.h"
#include "app/Version.h"

namespace {

// "KEY=VALUE" items of --set as this run's settings overrides; a later item
// wins over an earlier one with the same key.
bool ParseSettingOverrides(const std::vector<std::string>& items,
                           std::map<std::string, std::string>& overrides) {
    for (const std::string& item : items) {
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "firmhand-cli: --set expects KEY=VALUE, got \"" << item << "\"\n";
            return false;
        }
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (const std::string problem = CheckSetting(key, value); !problem.empty()) {
            std::cerr << "firmhand-cli: --set " << problem << "\n";
            return false;
        }
        overrides[key] = value;
    }
    return true;
}

// --set LogLevel=N sets the log threshold, unless the environment chose
// one: the order in which the log reads them at start.
void ApplyLogLevel(const std::map<std::string, std::string>& overrides) {
    const char* env = std::getenv("FIRMHAND_LOG_LEVEL");
    if (env != nullptr && env[0] != '\0') {
        return;
    }
    for (const auto& [key, value] : overrides) {
        if (strcasecmp(key.c_str(), settings::kLogLevel) == 0) {
            GetLogInstance()->SetLevel(CSettingsView(overrides).GetInt(settings::kLogLevel));
            return;
        }
    }
}

int Refuse(const char* command, const std::string& problem) {
    std::cerr << "firmhand-cli " << command << ": " << problem << "\n";
    return 2;
}

// Session options of this run: the embedding program's, the lock folder and
// the inventory the command line names (the embedding program, a test, may
// have chosen the database already).
void PrepareContext(const GlobalOptions& global, const SESSION_OPTIONS& base, CliContext& context) {
    context.session = base;
    if (!global.lockFolder.empty()) {
        context.session.cameraLockFolder = global.lockFolder;
    }
    context.session.inventoryPath = !global.inventory.empty()     ? global.inventory
                                    : !base.inventoryPath.empty() ? base.inventoryPath
                                                                  : InventoryPathOf("");
    context.session.inventorySite.clear();  // scan and upgrade name theirs
}

// The option tables and lists that print instead of running a command;
// true when one was printed.
bool PrintListing(const GlobalOptions& global, const CLI::App& app) {
    if (global.listOptions) {
        PrintOptionTable(app, std::cout);
    } else if (global.manCommands) {
        PrintManCommands(app, std::cout);
    } else if (global.listSettings) {
        PrintSettingKeys(std::cout);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int RunCli(int argc, char** argv, const SESSION_OPTIONS& base) {
    CLI::App app{"Firmhand: batch firmware upgrade of network cameras (headless)", "firmhand-cli"};
    app.set_version_flag("--version", "firmhand-cli " + VersionToString(GetModuleVersionNumber()));
    GlobalOptions global;
    AddGlobalOptions(app, global);
    app.require_subcommand(0, 1);
    // The help is fitted to the terminal, also when it goes through a pager.
    std::optional<TerminalSize> terminal = StdoutTerminalSize();
    terminal = terminal ? terminal : StderrTerminalSize();
    FitHelp(app, kHelpFooter, terminal ? static_cast<size_t>(terminal->columns) : 0);
    // One line, as every other refusal.
    app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
        return UsageErrorText(*failed, error);
    });
    // In the order the help lists them.
    const std::vector<CliCommand> commands{
        AddScanCommand(app),      AddUpgradeCommand(app, {argv + 1, argv + argc}),
        AddRunsCommand(app),      AddHistoryCommand(app),
        AddInventoryCommand(app), AddAiVersionsCommand(app),
        AddAutoTestCommand(app)};
    const CliCommand& ai = commands[5];
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;  // --help and --version end well
    }
    const CliCommand* chosen = nullptr;
    for (const CliCommand& command : commands) {
        chosen = command.command->parsed() ? &command : chosen;
    }
    // Wrong input is refused here, before any search sends a packet.
    if (chosen != nullptr && chosen->check) {
        if (std::string problem = chosen->check(); !problem.empty()) {
            return Refuse(chosen->name, problem);
        }
    }
    if (PrintListing(global, app)) {
        return 0;
    }
    if (ai.command->parsed() && global.progress == "json") {
        return Refuse("ai-versions",
                      "--progress json is for scan and upgrade; use ai-versions --json");
    }

    InitApplication("firmhand-cli");
    GetLogInstance()->SetEchoToStderr(global.verbose);
    CliContext context;
    PrepareContext(global, base, context);
    std::ostream& human = ApplyProgress(global, context, std::cout);
    if (!ParseSettingOverrides(global.overrides, context.session.settingOverrides)) {
        return 2;
    }
    ApplyLogLevel(context.session.settingOverrides);
    CSignalWatch signals;
    context.stopRequested = [] { return CSignalWatch::StopRequested(); };
    if (chosen != nullptr) {
        return chosen->run(context, human);
    }
    std::cout << app.help();
    return 0;
}
