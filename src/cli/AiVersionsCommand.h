// firmhand-cli ai-versions: scan, ask the chosen cameras for the versions of
// their analytics libraries one after another, print each camera's versions
// and verdict as a table or as JSON.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CameraChoice.h"
#include "CliContext.h"
#include "session/SessionTypes.h"

struct AiVersionsOptions {
    CameraChoice cameras;  // --all or --mac
    std::vector<std::string> targets;
    std::string adapter;
    bool onlyTargets = false;  // choose among the cameras at the targets only
    double seconds = 3;
    std::string user;      // "" = the remembered user name
    std::string password;  // "" = the remembered password
    bool userGiven = false;
    bool passwordGiven = false;
    bool json = false;
};

// Exit status: 0 when every chosen camera answered; 1 when a camera gave no
// reply; 3 when a MAC was not found (the cameras found are still asked) or
// no camera at all; 2 when the query could not start; 130 when a stop
// signal came first.
int RunAiVersions(const AiVersionsOptions& options, const CliContext& context, std::ostream& out,
                  std::ostream& err);

// One camera's line: {"mac","struct","face","vehicle","id"} with id the
// verdict's string id; and the table around such lines.
std::string AiVersionJson(const AiVersionResult& result);
// At most `columns` wide when given (a terminal's width).
void PrintAiVersionTable(const std::vector<AiVersionResult>& results,
                         const std::vector<std::string>& ips, std::ostream& out,
                         size_t columns = 0);
