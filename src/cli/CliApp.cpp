#include "CliApp.h"

#include <CLI/CLI.hpp>

#include <strings.h>

#include <cstdlib>
#include <iostream>
#include <map>

#include "AiVersionsCommand.h"
#include "CliSystem.h"
#include "GlobalOptions.h"
#include "InputCheck.h"
#include "InventoryCommand.h"
#include "OptionTable.h"
#include "PasswordSource.h"
#include "RunsCommand.h"
#include "ScanCommand.h"
#include "SignalWatch.h"
#include "TargetChoice.h"
#include "UpgradeCommand.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "app/Startup.h"
#include "app/Version.h"
#include "inventory/InventoryText.h"
#include "upgrade/UpgradePackage.h"

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

// The values every searching command shares, as typed.
struct SearchInput {
    std::string seconds;  // "" = the command's default
    std::vector<std::string>* targets = nullptr;
    const std::string* adapter = nullptr;
    std::vector<std::string>* macs = nullptr;
};

// "" when the search values are right (seconds stored in `seconds`), else
// what is wrong with the first wrong one.
std::string CheckSearchInput(const SearchInput& input, double& seconds) {
    if (!input.seconds.empty()) {
        if (std::string problem = CheckSeconds(input.seconds, seconds); !problem.empty()) {
            return problem;
        }
    }
    for (const std::string& target : *input.targets) {
        if (std::string problem = CheckTarget(target); !problem.empty()) {
            return problem;
        }
    }
    if (std::string problem = CheckAdapter(*input.adapter); !problem.empty()) {
        return problem;
    }
    return input.macs != nullptr ? CheckMacs(*input.macs) : "";
}

// The upgrade's own values, package first: nothing else matters without it.
std::string CheckUpgradeInput(UpgradeOptions& upgrade, const SearchInput& search) {
    if (upgrade.rollout.packages.empty() && upgrade.rollout.retryFailed.empty()) {
        return "--package is required (or --retry-failed REPORT, which names the packages)";
    }
    if (std::string problem = CheckRolloutInput(upgrade.rollout); !problem.empty()) {
        return problem;
    }
    CameraChoice& cameras = upgrade.cameras;
    if (!cameras.all && cameras.macs.empty() && cameras.models.empty()) {
        if (upgrade.rollout.retryFailed.empty()) {
            return "choose cameras with --all, --mac or --model";
        }
        cameras.all = true;  // the report's cameras, narrowed below
    }
    if (std::string problem = CheckSearchInput(search, upgrade.seconds); !problem.empty()) {
        return problem;
    }
    if (upgrade.onlyTargets) {
        if (std::string problem = CheckOnlyTargets(upgrade.targets); !problem.empty()) {
            return problem;
        }
    }
    for (const std::string& report : upgrade.reports) {
        if (std::string problem = CheckReportPath(report); !problem.empty()) {
            return problem;
        }
    }
    for (const auto& [option, value] :
         {std::pair{"--site", &upgrade.site}, std::pair{"--customer", &upgrade.customer},
          std::pair{"--technician", &upgrade.technician}}) {
        if (std::string problem = CheckReportField(option, *value); !problem.empty()) {
            return problem;
        }
    }
    // The report's site is the inventory's too.
    if (!upgrade.site.empty()) {
        if (std::string problem = CheckSiteOption(upgrade.site); !problem.empty()) {
            return problem;
        }
    }
    if (!upgrade.yes && !upgrade.dryRun && !StdinIsTerminal()) {
        return "no terminal to confirm the upgrade on; add --yes to upgrade without asking";
    }
    return "";
}

std::string CheckHistoryInput(HistoryOptions& history) {
    if (!history.mac.empty()) {
        std::vector<std::string> macs{history.mac};
        if (std::string problem = CheckMacs(macs); !problem.empty()) {
            return problem;
        }
        history.mac = macs.front();
    }
    return history.site.empty() ? "" : CheckSiteOption(history.site);
}

// `olderThanGiven`: an empty --older-than is malformed, not absent.
std::string CheckInventoryInput(const InventoryOptions& options, bool olderThanGiven) {
    if (!options.site.empty()) {
        if (std::string problem = CheckSiteOption(options.site); !problem.empty()) {
            return problem;
        }
    }
    if (olderThanGiven) {
        if (std::string problem = inventory::CheckVersionText(options.olderThan);
            !problem.empty()) {
            return "--older-than: " + problem;
        }
    }
    return "";
}

int Refuse(const char* command, const std::string& problem) {
    std::cerr << "firmhand-cli " << command << ": " << problem << "\n";
    return 2;
}

}  // namespace

int RunCli(int argc, char** argv, const SESSION_OPTIONS& base) {
    CLI::App app{"Firmhand: batch firmware upgrade of network cameras (headless)", "firmhand-cli"};
    app.set_version_flag("--version", "firmhand-cli " + VersionToString(GetModuleVersionNumber()));
    GlobalOptions global;
    AddGlobalOptions(app, global);
    app.require_subcommand(0, 1);
    app.footer(kHelpFooter);
    // One line, as every other refusal.
    app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
        return UsageErrorText(*failed, error);
    });

    ScanOptions scan;
    CLI::App* scanCommand = app.add_subcommand("scan", "List the cameras found on the network");
    SearchInput scanInput{"", &scan.targets, &scan.adapter, nullptr};
    scanCommand->add_option("--seconds", scanInput.seconds,
                            "How long to search, 0 < S <= 3600 (default 3)");
    scanCommand->add_option("--target", scan.targets, "Extra search target HOST[:PORT]");
    scanCommand->add_flag("--only-targets", scan.onlyTargets,
                          "List only the cameras at the --target addresses");
    scanCommand->add_option("--adapter", scan.adapter, "Network interface to search on");
    scanCommand->add_flag("--json", scan.json, "Print JSON instead of a table");
    scanCommand->add_option("--site", scan.site,
                            "Site the cameras are recorded under in the inventory (default: the "
                            "adapter's subnet, as 192.168.1.0/24)");

    UpgradeOptions upgrade;
    CLI::App* upgradeCommand =
        app.add_subcommand("upgrade", "Upgrade the firmware of the chosen cameras");
    upgradeCommand->add_option(
        "--package", upgrade.rollout.packages,
        "Upgrade package file, or MODEL=FILE for the cameras of one model "
        "(repeatable; with --retry-failed, the report's packages by default)");
    auto* all = upgradeCommand->add_flag("--all", upgrade.cameras.all, "Every camera found");
    auto* macs =
        upgradeCommand->add_option("--mac", upgrade.cameras.macs, "Cameras by MAC address");
    auto* model =
        upgradeCommand->add_option("--model", upgrade.cameras.models, "Cameras of these models");
    all->excludes(macs)->excludes(model);
    macs->excludes(model);
    upgradeCommand->add_option("--user", upgrade.user, "Device user name (default: remembered)");
    PasswordInput upgradePassword;
    AddPasswordOptions(*upgradeCommand, upgradePassword);
    SearchInput upgradeInput{"", &upgrade.targets, &upgrade.adapter, &upgrade.cameras.macs};
    upgradeCommand->add_option("--seconds", upgradeInput.seconds,
                               "How long to search first, 0 < S <= 3600 (default 3)");
    upgradeCommand->add_option("--target", upgrade.targets, "Extra search target HOST[:PORT]");
    upgradeCommand->add_flag("--only-targets", upgrade.onlyTargets,
                             "Choose only among the cameras at the --target addresses, not those "
                             "the multicast search found besides");
    upgradeCommand->add_option("--adapter", upgrade.adapter, "Network interface to search on");
    upgradeCommand->add_flag("--yes", upgrade.yes,
                             "Upgrade without asking (also on duplicate slave addresses)");
    upgradeCommand->add_option("--report", upgrade.reports,
                               "Write results to FILE.json, FILE.csv or a self-contained FILE.html "
                               "(repeatable; the folder must exist)");
    upgradeCommand->add_option("--site", upgrade.site,
                               "Site named in the HTML report and recorded in the inventory "
                               "(default there: the adapter's subnet)");
    upgradeCommand->add_option("--customer", upgrade.customer, "Customer named in the HTML report");
    upgradeCommand->add_option("--technician", upgrade.technician,
                               "Technician named in the HTML report");
    upgradeCommand->add_option("--credentials", upgrade.rollout.credentials,
                               "File of \"MATCH USER PASSWORD\" lines tried before the typed "
                               "credentials (owner-only)");
    upgradeCommand->add_option("--parallel", upgrade.rollout.parallel,
                               "Cameras upgraded at once, 1 to 64 (default 32)");
    upgradeCommand->add_flag("--remember", upgrade.remember,
                             "Without a keyring, remember the typed password in the settings "
                             "file of this user (a keyring, where one runs, always keeps it)");
    upgradeCommand->add_flag("--force", upgrade.force,
                             "Also upgrade cameras that already run the package's version");
    upgradeCommand->add_option("--max-failures", upgrade.rollout.maxFailures,
                               "Start no further camera once more than N (or N%) failed");
    CLI::Option* canaryOption =
        upgradeCommand
            ->add_option("--canary", upgrade.rollout.canary,
                         "Upgrade and verify the first N cameras of each model (1 without N) "
                         "before the others of that model start; when one fails, the others "
                         "of its model are not started")
            ->expected(0, 1)
            ->type_name("N");
    upgradeCommand->add_flag("--resume", upgrade.resume,
                             "Continue the last unfinished run (killed or interrupted)");
    CLI::Option* retryOption =
        upgradeCommand->add_option("--retry-failed", upgrade.rollout.retryFailed,
                                   "Upgrade only the cameras this JSON report says failed");
    upgradeCommand
        ->add_flag("--retry-busy", upgrade.rollout.retryBusy,
                   "With --retry-failed, also the cameras upgraded elsewhere at the time")
        ->needs(retryOption);
    upgradeCommand->add_flag("--dry-run", upgrade.dryRun,
                             "Print each camera's package or skip reason; start nothing");

    CLI::App* runsCommand =
        app.add_subcommand("runs", "List the upgrade runs recorded on this machine");

    HistoryOptions history;
    CLI::App* historyCommand = app.add_subcommand(
        "history", "List the upgrade steps the inventory recorded (no camera is contacted)");
    historyCommand->add_option("--mac", history.mac, "Only the steps of this camera");
    historyCommand->add_option("--site", history.site, "Only the steps of this site");
    historyCommand->add_flag("--json", history.json, "Print JSON instead of a table");

    InventoryOptions inventory;
    CLI::App* inventoryCommand = app.add_subcommand(
        "inventory", "List the cameras the inventory recorded (no camera is contacted)");
    inventoryCommand->add_option("--site", inventory.site, "Only the cameras of this site");
    inventoryCommand->add_option(
        "--older-than", inventory.olderThan,
        "Only cameras whose last version is older than VERSION, in release order "
        "(4.0.10 is newer than 4.0.2)");
    inventoryCommand->add_flag("--csv", inventory.csv, "Print CSV instead of a table")
        ->excludes(
            inventoryCommand->add_flag("--json", inventory.json, "Print JSON instead of a table"));

    AiVersionsOptions ai;
    CLI::App* aiCommand = app.add_subcommand(
        "ai-versions", "Read the analytics library versions of the chosen cameras");
    aiCommand->add_flag("--all", ai.cameras.all, "Every camera found")
        ->excludes(aiCommand->add_option("--mac", ai.cameras.macs, "Cameras by MAC address"));
    aiCommand->add_option("--target", ai.targets, "Extra search target HOST[:PORT]");
    aiCommand->add_flag("--only-targets", ai.onlyTargets,
                        "Choose only among the cameras at the --target addresses");
    aiCommand->add_option("--adapter", ai.adapter, "Network interface to search on");
    SearchInput aiInput{"", &ai.targets, &ai.adapter, &ai.cameras.macs};
    aiCommand->add_option("--seconds", aiInput.seconds,
                          "How long to search first, 0 < S <= 3600 (default 3)");
    aiCommand->add_option("--user", ai.user, "Device user name (default: remembered)");
    PasswordInput aiPassword;
    AddPasswordOptions(*aiCommand, aiPassword);
    aiCommand->add_flag("--json", ai.json, "Print JSON instead of a table");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;  // --help and --version end well
    }
    // Wrong input is refused here, before any search sends a packet.
    if (upgradeCommand->parsed()) {
        upgrade.rollout.canaryGiven = canaryOption->count() > 0;
        if (std::string problem = CheckUpgradeInput(upgrade, upgradeInput); !problem.empty()) {
            return Refuse("upgrade", problem);
        }
    } else if (scanCommand->parsed()) {
        if (std::string problem = CheckSearchInput(scanInput, scan.seconds); !problem.empty()) {
            return Refuse("scan", problem);
        }
        if (std::string problem = scan.onlyTargets ? CheckOnlyTargets(scan.targets) : "";
            !problem.empty()) {
            return Refuse("scan", problem);
        }
    } else if (aiCommand->parsed()) {
        if (std::string problem = CheckSearchInput(aiInput, ai.seconds); !problem.empty()) {
            return Refuse("ai-versions", problem);
        }
        if (std::string problem = ai.onlyTargets ? CheckOnlyTargets(ai.targets) : "";
            !problem.empty()) {
            return Refuse("ai-versions", problem);
        }
    } else if (historyCommand->parsed()) {
        if (std::string problem = CheckHistoryInput(history); !problem.empty()) {
            return Refuse("history", problem);
        }
    } else if (inventoryCommand->parsed()) {
        if (std::string problem =
                CheckInventoryInput(inventory, inventoryCommand->count("--older-than") > 0);
            !problem.empty()) {
            return Refuse("inventory", problem);
        }
    }
    if (scanCommand->parsed() && !scan.site.empty()) {
        if (std::string problem = CheckSiteOption(scan.site); !problem.empty()) {
            return Refuse("scan", problem);
        }
    }

    if (global.listOptions) {
        PrintOptionTable(app, std::cout);
        return 0;
    }
    if (global.manCommands) {
        PrintManCommands(app, std::cout);
        return 0;
    }
    if (global.listSettings) {
        PrintSettingKeys(std::cout);
        return 0;
    }
    if (aiCommand->parsed() && global.progress == "json") {
        return Refuse("ai-versions",
                      "--progress json is for scan and upgrade; use ai-versions --json");
    }

    InitApplication("firmhand-cli");
    GetLogInstance()->SetEchoToStderr(global.verbose);
    CliContext context;
    context.session = base;
    if (!global.lockFolder.empty()) {
        context.session.cameraLockFolder = global.lockFolder;
    }
    // Every search records what it saw; the embedding program (a test) may
    // have chosen the database already.
    const std::string inventoryPath = !global.inventory.empty()     ? global.inventory
                                      : !base.inventoryPath.empty() ? base.inventoryPath
                                                                    : InventoryPathOf("");
    context.session.inventoryPath = inventoryPath;
    context.session.inventorySite = scanCommand->parsed() ? scan.site : upgrade.site;
    std::ostream& human = ApplyProgress(global, context, std::cout);
    if (!ParseSettingOverrides(global.overrides, context.session.settingOverrides)) {
        return 2;
    }
    ApplyLogLevel(context.session.settingOverrides);
    CSignalWatch signals;
    context.stopRequested = [] { return CSignalWatch::StopRequested(); };
    if (scanCommand->parsed()) {
        return RunScan(scan, context, human, std::cerr);
    }
    if (runsCommand->parsed()) {
        return RunRuns(context, std::cout, std::cerr);
    }
    if (historyCommand->parsed()) {
        return RunHistory(history, inventoryPath, std::cout, std::cerr);
    }
    if (inventoryCommand->parsed()) {
        return RunInventory(inventory, inventoryPath, std::cout, std::cerr);
    }
    if (upgradeCommand->parsed()) {
        if (!upgrade.rollout.parallel.empty()) {
            context.session.settingOverrides[settings::kMaxParallelUpgrades] =
                upgrade.rollout.parallel;
        }
        upgrade.userGiven = upgradeCommand->count("--user") > 0;
        upgrade.commandLine.assign(argv + 1, argv + argc);
        // A question, when one is needed, comes after the search.
        if (!ResolvePassword(upgradePassword, "upgrade", std::cerr, upgrade.password,
                             upgrade.passwordGiven, &upgrade.passwordTyped, false)) {
            return 2;
        }
        return RunUpgrade(upgrade, context, human, std::cerr);
    }
    if (aiCommand->parsed()) {
        if (!ai.cameras.all && ai.cameras.macs.empty()) {
            std::cerr << "firmhand-cli ai-versions: choose cameras with --all or --mac\n";
            return 2;
        }
        ai.userGiven = aiCommand->count("--user") > 0;
        if (!ResolvePassword(aiPassword, "ai-versions", std::cerr, ai.password, ai.passwordGiven,
                             nullptr, false)) {
            return 2;
        }
        return RunAiVersions(ai, context, std::cout, std::cerr);
    }
    std::cout << app.help();
    return 0;
}
