// What every command runs with besides its own options: the session options
// that come from the whole command line (--set) or from the program that
// embeds the CLI (tests shorten timings), and the stop request to poll.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ProgressView.h"
#include "session/SessionOptions.h"

struct CliContext {
    // The command adds its search targets, adapter and reachability.
    SESSION_OPTIONS session;
    // True once the run should stop (SIGINT, SIGTERM); never null.
    std::function<bool()> stopRequested = [] { return false; };
    // --progress: the terminal the live view draws on (empty: one line per
    // state change), and where JSON events go (null: none).
    TerminalMeasure terminal;
    std::ostream* events = nullptr;
};

// The context's session options with a command's --target and --adapter.
SESSION_OPTIONS CommandSessionOptions(const CliContext& context,
                                      const std::vector<std::string>& targets,
                                      const std::string& adapter);
