// firmhand-cli runs: the upgrade runs recorded on this machine, newest
// first, with their counts and whether each may be resumed.
#pragma once

#include <iosfwd>

#include "CliContext.h"

// Exit status 0 (also with no run).
int RunRuns(const CliContext& context, std::ostream& out, std::ostream& err);
