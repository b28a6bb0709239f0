// The subcommands of firmhand-cli, one registration each: it adds the
// subcommand and its options to the application and hands back what RunCli
// checks once the line is parsed and what it runs.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "CliContext.h"

struct CliCommand {
    CLI::App* command = nullptr;
    const char* name = "";
    // After parsing: "" when the command's input is right, else what is
    // wrong with it (refused before any search sends a packet). Empty: no
    // input to check.
    std::function<std::string()> check;
    // Runs the command; `human` takes what is meant for a person (standard
    // output, or standard error when standard output carries JSON events).
    std::function<int(CliContext& context, std::ostream& human)> run;
};

CliCommand AddScanCommand(CLI::App& app);
// `commandLine`: the arguments after the program's name, for the run's record.
CliCommand AddUpgradeCommand(CLI::App& app, std::vector<std::string> commandLine);
CliCommand AddRunsCommand(CLI::App& app);
CliCommand AddHistoryCommand(CLI::App& app);
CliCommand AddInventoryCommand(CLI::App& app);
CliCommand AddAiVersionsCommand(CLI::App& app);
CliCommand AddAutoTestCommand(CLI::App& app);
