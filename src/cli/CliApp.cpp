#include "CliApp.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "app/Version.h"

namespace {

// Applies "KEY=VALUE" overrides to the program settings for this run.
bool ApplySettingOverrides(const std::vector<std::string>& overrides) {
    for (const std::string& item : overrides) {
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "firmhand-cli: --set expects KEY=VALUE, got \"" << item << "\"\n";
            return false;
        }
        GetProgramIni().SetOverride(item.substr(0, eq), item.substr(eq + 1));
    }
    return true;
}

}  // namespace

int RunCli(int argc, char** argv) {
    CLI::App app{"Firmhand: batch firmware upgrade of network cameras (headless)", "firmhand-cli"};
    app.set_version_flag("--version", "firmhand-cli " + VersionToString(GetModuleVersionNumber()));
    bool verbose = false;
    std::vector<std::string> overrides;
    app.add_flag("-v,--verbose", verbose, "Echo the log to standard error");
    app.add_option("--set", overrides, "Override a program setting for this run (KEY=VALUE)");
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    InitApplication("firmhand-cli");
    GetLogInstance()->SetEchoToStderr(verbose);
    if (!ApplySettingOverrides(overrides)) {
        return 2;
    }
    if (app.get_subcommands().empty()) {
        std::cout << app.help();
        return 0;
    }
    return 0;
}
