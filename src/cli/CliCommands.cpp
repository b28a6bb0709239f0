#include "CliCommands.h"

#include <iostream>
#include <memory>
#include <utility>

#include "AiVersionsCommand.h"
#include "AutoTestCommand.h"
#include "CliSystem.h"
#include "InputCheck.h"
#include "InventoryCommand.h"
#include "PasswordSource.h"
#include "RunsCommand.h"
#include "ScanCommand.h"
#include "TargetChoice.h"
#include "TerminalSize.h"
#include "UpgradeCommand.h"
#include "app/Settings.h"
#include "model/SafeText.h"
#include "model/WaitDuration.h"
#include "session/SessionInventory.h"

namespace {

// The width a listing fits itself to: the terminal's, none for a pipe.
size_t StdoutColumns() {
    const auto terminal = StdoutTerminalSize();
    return terminal ? static_cast<size_t>(terminal->columns) : 0;
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
    if (!upgrade.waitForMissing.empty()) {
        std::string problem;
        if (!ParseWaitDuration(upgrade.waitForMissing, upgrade.waitSeconds, problem)) {
            return "--wait-for-missing " + upgrade.waitForMissing + ": " + problem;
        }
        if (cameras.macs.empty() && upgrade.rollout.retryFailed.empty() && !upgrade.resume) {
            return "--wait-for-missing waits for cameras named by --mac, --retry-failed or "
                   "--resume";
        }
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

// The upgrade's --report and the names its HTML report carries.
void AddReportOptions(CLI::App& command, UpgradeOptions& upgrade) {
    command.add_option("--report", upgrade.reports,
                       "Write results to FILE.json, FILE.csv or a self-contained FILE.html "
                       "(repeatable; the folder must exist)");
    command.add_option("--site", upgrade.site,
                       "Site named in the HTML report and recorded in the inventory "
                       "(default there: the adapter's subnet)");
    command.add_option("--customer", upgrade.customer, "Customer named in the HTML report");
    command.add_option("--technician", upgrade.technician, "Technician named in the HTML report");
}

}  // namespace

CliCommand AddScanCommand(CLI::App& app) {
    struct Input {
        ScanOptions scan;
        SearchInput search{"", &scan.targets, &scan.adapter, nullptr};
    };
    auto in = std::make_shared<Input>();
    ScanOptions& scanInput = in->scan;
    CLI::App* command = app.add_subcommand("scan", "List the cameras found on the network");
    command->add_option("--seconds", in->search.seconds,
                        "How long to search, 0 < S <= 3600 (default 3)");
    command->add_option("--target", scanInput.targets, "Extra search target HOST[:PORT]");
    command->add_flag("--only-targets", scanInput.onlyTargets,
                      "List only the cameras at the --target addresses");
    command->add_option("--adapter", scanInput.adapter, "Network interface to search on");
    command->add_flag("--json", scanInput.json, "Print JSON instead of a table");
    command->add_option("--site", scanInput.site,
                        "Site the cameras are recorded under in the inventory (default: the "
                        "adapter's subnet, as 192.168.1.0/24)");
    auto check = [in]() -> std::string {
        ScanOptions& scan = in->scan;
        if (std::string problem = CheckSearchInput(in->search, scan.seconds); !problem.empty()) {
            return problem;
        }
        if (std::string problem = scan.onlyTargets ? CheckOnlyTargets(scan.targets) : "";
            !problem.empty()) {
            return problem;
        }
        return scan.site.empty() ? "" : CheckSiteOption(scan.site);
    };
    auto run = [in](CliContext& context, std::ostream& human) {
        context.session.inventorySite = in->scan.site;
        return RunScan(in->scan, context, human, std::cerr);
    };
    return {command, "scan", check, run};
}

CliCommand AddUpgradeCommand(CLI::App& app, std::vector<std::string> commandLine) {
    struct Input {
        UpgradeOptions upgrade;
        SearchInput search{"", &upgrade.targets, &upgrade.adapter, &upgrade.cameras.macs};
        PasswordInput password;
    };
    auto in = std::make_shared<Input>();
    UpgradeOptions& upgradeInput = in->upgrade;
    CLI::App* command = app.add_subcommand("upgrade", "Upgrade the firmware of the chosen cameras");
    command->add_option("--package", upgradeInput.rollout.packages,
                        "Upgrade package file, or MODEL=FILE for the cameras of one model "
                        "(repeatable; several for one model are an upgrade path, sent step by "
                        "step in the order of the versions in their file names; with "
                        "--retry-failed, the report's packages by default)");
    auto* all = command->add_flag("--all", upgradeInput.cameras.all, "Every camera found");
    auto* macs = command->add_option("--mac", upgradeInput.cameras.macs, "Cameras by MAC address");
    auto* model =
        command->add_option("--model", upgradeInput.cameras.models, "Cameras of these models");
    all->excludes(macs)->excludes(model);
    macs->excludes(model);
    command->add_option("--user", upgradeInput.user, "Device user name (default: remembered)");
    AddPasswordOptions(*command, in->password);
    command->add_option("--seconds", in->search.seconds,
                        "How long to search first, 0 < S <= 3600 (default 3)");
    command->add_option("--target", upgradeInput.targets, "Extra search target HOST[:PORT]");
    command->add_flag("--only-targets", upgradeInput.onlyTargets,
                      "Choose only among the cameras at the --target addresses, not those "
                      "the multicast search found besides");
    command->add_option("--adapter", upgradeInput.adapter, "Network interface to search on");
    command->add_flag("--yes", upgradeInput.yes,
                      "Upgrade without asking (also on duplicate slave addresses)");
    AddReportOptions(*command, upgradeInput);
    command->add_option("--credentials", upgradeInput.rollout.credentials,
                        "File of \"MATCH USER PASSWORD\" lines tried before the typed "
                        "credentials (owner-only)");
    command->add_option("--parallel", upgradeInput.rollout.parallel,
                        "Cameras upgraded at once, 1 to 64 (default 32)");
    command->add_flag("--remember", upgradeInput.remember,
                      "Without a keyring, remember the typed password in the settings "
                      "file of this user (a keyring, where one runs, always keeps it)");
    command->add_flag("--force", upgradeInput.force,
                      "Also upgrade cameras that already run the package's version");
    command->add_option("--max-failures", upgradeInput.rollout.maxFailures,
                        "Start no further camera once more than N (or N%) failed");
    CLI::Option* canaryOption =
        command
            ->add_option("--canary", upgradeInput.rollout.canary,
                         "Upgrade and verify the first N cameras of each model (1 without N) "
                         "before the others of that model start; when one fails, the others "
                         "of its model are not started")
            ->expected(0, 1)
            ->type_name("N");
    command->add_flag("--resume", upgradeInput.resume,
                      "Continue the last unfinished run (killed or interrupted)");
    CLI::Option* retryOption =
        command->add_option("--retry-failed", upgradeInput.rollout.retryFailed,
                            "Upgrade only the cameras this JSON report says failed");
    command
        ->add_flag("--retry-busy", upgradeInput.rollout.retryBusy,
                   "With --retry-failed, also the cameras upgraded elsewhere at the time")
        ->needs(retryOption);
    command
        ->add_option("--wait-for-missing", upgradeInput.waitForMissing,
                     "Keep the batch open this long (90s, 10m, 1h30m; at most 24h) for the "
                     "named cameras the search has not found; each is upgraded as soon as "
                     "it is found")
        ->type_name("DURATION");
    command->add_flag("--dry-run", upgradeInput.dryRun,
                      "Print each camera's package or skip reason; start nothing");
    auto check = [in, canaryOption] {
        in->upgrade.rollout.canaryGiven = canaryOption->count() > 0;
        return CheckUpgradeInput(in->upgrade, in->search);
    };
    auto run = [in, command, commandLine = std::move(commandLine)](CliContext& context,
                                                                   std::ostream& human) {
        UpgradeOptions& upgrade = in->upgrade;
        context.session.inventorySite = upgrade.site;
        if (!upgrade.rollout.parallel.empty()) {
            context.session.settingOverrides[settings::kMaxParallelUpgrades] =
                upgrade.rollout.parallel;
        }
        upgrade.userGiven = command->count("--user") > 0;
        upgrade.commandLine = commandLine;
        // A question, when one is needed, comes after the search.
        if (!ResolvePassword(in->password, "upgrade", std::cerr, upgrade.password,
                             upgrade.passwordGiven, &upgrade.passwordTyped, false)) {
            return 2;
        }
        return RunUpgrade(upgrade, context, human, std::cerr);
    };
    return {command, "upgrade", check, run};
}

CliCommand AddRunsCommand(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand("runs", "List the upgrade runs recorded on this machine");
    auto run = [](CliContext& context, std::ostream&) {
        return RunRuns(context, std::cout, std::cerr);
    };
    return {command, "runs", {}, run};
}

CliCommand AddHistoryCommand(CLI::App& app) {
    auto history = std::make_shared<HistoryOptions>();
    CLI::App* command = app.add_subcommand(
        "history", "List the upgrade steps the inventory recorded (no camera is contacted)");
    command->add_option("--mac", history->mac, "Only the steps of this camera");
    command->add_option("--site", history->site, "Only the steps of this site");
    command->add_flag("--json", history->json, "Print JSON instead of a table");
    auto check = [history] { return CheckHistoryInput(*history); };
    auto run = [history](CliContext& context, std::ostream&) {
        return RunHistory(*history, context.session.inventoryPath, std::cout, std::cerr,
                          StdoutColumns());
    };
    return {command, "history", check, run};
}

CliCommand AddInventoryCommand(CLI::App& app) {
    auto inventory = std::make_shared<InventoryOptions>();
    CLI::App* command = app.add_subcommand(
        "inventory", "List the cameras the inventory recorded (no camera is contacted)");
    command->add_option("--site", inventory->site, "Only the cameras of this site");
    command->add_option("--older-than", inventory->olderThan,
                        "Only cameras whose last version is older than VERSION, in release order "
                        "(4.0.10 is newer than 4.0.2)");
    command->add_flag("--csv", inventory->csv, "Print CSV instead of a table")
        ->excludes(command->add_flag("--json", inventory->json, "Print JSON instead of a table"));
    auto check = [inventory, command] {
        return CheckInventoryInput(*inventory, command->count("--older-than") > 0);
    };
    auto run = [inventory](CliContext& context, std::ostream&) {
        return RunInventory(*inventory, context.session.inventoryPath, std::cout, std::cerr,
                            StdoutColumns());
    };
    return {command, "inventory", check, run};
}

CliCommand AddAiVersionsCommand(CLI::App& app) {
    struct Input {
        AiVersionsOptions ai;
        SearchInput search{"", &ai.targets, &ai.adapter, &ai.cameras.macs};
        PasswordInput password;
    };
    auto in = std::make_shared<Input>();
    AiVersionsOptions& aiInput = in->ai;
    CLI::App* command = app.add_subcommand(
        "ai-versions", "Read the analytics library versions of the chosen cameras");
    command->add_flag("--all", aiInput.cameras.all, "Every camera found")
        ->excludes(command->add_option("--mac", aiInput.cameras.macs, "Cameras by MAC address"));
    command->add_option("--target", aiInput.targets, "Extra search target HOST[:PORT]");
    command->add_flag("--only-targets", aiInput.onlyTargets,
                      "Choose only among the cameras at the --target addresses");
    command->add_option("--adapter", aiInput.adapter, "Network interface to search on");
    command->add_option("--seconds", in->search.seconds,
                        "How long to search first, 0 < S <= 3600 (default 3)");
    command->add_option("--user", aiInput.user, "Device user name (default: remembered)");
    AddPasswordOptions(*command, in->password);
    command->add_flag("--json", aiInput.json, "Print JSON instead of a table");
    auto check = [in]() -> std::string {
        AiVersionsOptions& ai = in->ai;
        if (std::string problem = CheckSearchInput(in->search, ai.seconds); !problem.empty()) {
            return problem;
        }
        return ai.onlyTargets ? CheckOnlyTargets(ai.targets) : "";
    };
    auto run = [in, command](CliContext& context, std::ostream&) {
        AiVersionsOptions& ai = in->ai;
        if (!ai.cameras.all && ai.cameras.macs.empty()) {
            std::cerr << "firmhand-cli ai-versions: choose cameras with --all or --mac\n";
            return 2;
        }
        ai.userGiven = command->count("--user") > 0;
        if (!ResolvePassword(in->password, "ai-versions", std::cerr, ai.password, ai.passwordGiven,
                             nullptr, false)) {
            return 2;
        }
        return RunAiVersions(ai, context, std::cout, std::cerr);
    };
    return {command, "ai-versions", check, run};
}

CliCommand AddAutoTestCommand(CLI::App& app) {
    struct Input {
        AutoTestOptions test;
        SearchInput search{"", &test.targets, &test.adapter, nullptr};
        PasswordInput password;
        std::vector<std::string> mac;  // checked as --mac is everywhere
    };
    auto in = std::make_shared<Input>();
    AutoTestOptions& testInput = in->test;
    CLI::App* command =
        app.add_subcommand("auto-test",
                           "Upgrade one camera back and forth between two packages, checking each "
                           "return (the settings' automatic upgrade test)");
    command->add_option("--mac", in->mac, "The camera (default: AutoUpgradeDeviceMac)")
        ->expected(1)
        ->type_name("MAC");
    command
        ->add_option("--package1", testInput.package1, "First package (default: UpgradePackage1)")
        ->type_name("FILE");
    command
        ->add_option("--package2", testInput.package2,
                     "Second package, alternating with the first (default: UpgradePackage2)")
        ->type_name("FILE");
    command
        ->add_option("--build1", testInput.build1,
                     "Build the camera shows after package 1 (default: UpgradePackage1BulidNo; "
                     "none: not checked)")
        ->type_name("N");
    command
        ->add_option("--build2", testInput.build2,
                     "Build the camera shows after package 2 (default: UpgradePackage2BulidNo)")
        ->type_name("N");
    command
        ->add_option("--delay-ms", testInput.delayMs,
                     "Wait after each return before the next round (default: "
                     "AutoUpgradeDelay)")
        ->type_name("MS");
    command->add_option("--rounds", testInput.rounds, "Upgrades in all, 1 to 10000 (default 2)")
        ->type_name("N");
    command->add_option("--target", testInput.targets, "Extra search target HOST[:PORT]");
    command->add_option("--adapter", testInput.adapter, "Network interface to search on");
    command->add_option("--seconds", in->search.seconds,
                        "How long to search first, 0 < S <= 3600 (default 3)");
    command->add_option("--user", testInput.user, "Device user name (default: remembered)");
    AddPasswordOptions(*command, in->password);
    auto check = [in]() -> std::string {
        AutoTestOptions& test = in->test;
        if (test.rounds < 1 || test.rounds > kMaxAutoTestRounds) {
            return "--rounds must be 1 to " + std::to_string(kMaxAutoTestRounds);
        }
        for (const auto& [option, value] :
             {std::pair{"--build1", &test.build1}, std::pair{"--build2", &test.build2},
              std::pair{"--delay-ms", &test.delayMs}}) {
            if (!value->empty() && value->find_first_not_of("0123456789") != std::string::npos) {
                return std::string(option) + " takes a whole number, not \"" + VisibleText(*value) +
                       "\"";
            }
        }
        if (std::string problem = CheckSearchInput(in->search, test.seconds); !problem.empty()) {
            return problem;
        }
        if (!in->mac.empty()) {
            if (std::string problem = CheckMacs(in->mac); !problem.empty()) {
                return problem;
            }
            test.mac = in->mac.front();
        }
        return "";
    };
    auto run = [in, command](CliContext& context, std::ostream& human) {
        AutoTestOptions& test = in->test;
        test.userGiven = command->count("--user") > 0;
        if (!ResolvePassword(in->password, "auto-test", std::cerr, test.password,
                             test.passwordGiven, nullptr, true)) {
            return 2;
        }
        return RunAutoTest(test, context, human, std::cerr);
    };
    return {command, "auto-test", check, run};
}
