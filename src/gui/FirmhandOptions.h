// The command line of `firmhand`. Without options the program asks for the
// network adapter first, as a technician expects; the options let scripts
// (the demo, the screenshot) and tests skip that question.
//
//   --adapter NAME          search on NAME ("" for every adapter), no dialog
//   --search-targets LIST   "host[:port],..." searched besides multicast
//   --package FILE          the upgrade file, preselected
//   --version               prints the version and ends
//   --help                  prints the usage and ends
// Hidden, for the screenshot script:
//   --auto-start COUNT      once COUNT cameras are listed: Select All, Upgrade
#pragma once

#include <optional>
#include <string>
#include <vector>

struct FIRMHAND_OPTIONS {
    std::optional<std::string> adapter;        // set: the adapter dialog is skipped
    std::optional<std::string> searchTargets;  // set: wins over the setting
    std::string packagePath;                   // "" keeps the list without a file
    int autoStartCount = 0;                    // 0: off
    bool showVersion = false;
    bool showHelp = false;
};

// Parses the arguments after the program name. False with `error` set for
// an unknown option, a missing value or a bad number.
bool ParseFirmhandOptions(const std::vector<std::string>& args, FIRMHAND_OPTIONS& options,
                          std::string& error);

// The usage text printed by --help and after an error.
std::string FirmhandUsage();
