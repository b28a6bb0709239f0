// The options every command takes, before or after the command's name
// (--set, --verbose, --progress), what the help says about exit statuses,
// and how a usage error is told.
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "CliContext.h"

struct GlobalOptions {
    bool verbose = false;
    std::vector<std::string> overrides;  // --set KEY=VALUE, as typed
    std::string progress = "auto";       // auto, lines or json
    bool listSettings = false;           // hidden: the keys --set takes, for completion
    // Hidden: the folder of the per-camera locks instead of the machine's
    // (tests keep theirs apart; never taken from the environment).
    std::string lockFolder;
    // The site inventory's database instead of the user's.
    std::string inventory;
    bool listOptions = false;  // hidden: the option table, for completion
    bool manCommands = false;  // hidden: the manual's COMMANDS section
};

// Adds the global options to `app` and lets every subcommand added after
// this pass them up, so that they may follow the command's name too.
void AddGlobalOptions(CLI::App& app, GlobalOptions& options);

// The help's footer: global options after the command, and exit statuses.
extern const char* const kHelpFooter;

// One line for a usage error: what is wrong, with the option named by the
// parser, and where to look for the fix.
std::string UsageErrorText(const CLI::App& app, const CLI::Error& error);

// The keys --set takes, one a line (shell completion reads them).
void PrintSettingKeys(std::ostream& out);

// Sets where a run's output goes for --progress: JSON events on `json` and
// the human output on standard error (json), or the human output on
// standard output, live on a terminal (auto) or one line per state change
// (lines). Returns the stream for the human output.
std::ostream& ApplyProgress(const GlobalOptions& options, CliContext& context, std::ostream& json);
