// The CLI's own option table, read back from the parser: the bash
// completion asks the program for it (--list-options) and the manual
// page's COMMANDS section is written from it at build time
// (--man-commands), so that neither can leave an option out.
#pragma once

#include <CLI/CLI.hpp>

#include <ostream>

// One line per command: "COMMAND --opt --opt2 ..." (the global options
// under "-"), first a line "commands NAME..." naming every command.
void PrintOptionTable(const CLI::App& app, std::ostream& out);

// The manual page's COMMANDS section for help2man: every command with its
// description and each of its options with theirs.
void PrintManCommands(const CLI::App& app, std::ostream& out);
