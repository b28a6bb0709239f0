// Where the run journals are kept, decided in one place for the CLI's
// `runs`, the session and the upgrade engine.
#pragma once

#include <string>

// `chosen` when given (--runs-folder, a session's option); else "firmhand/runs"
// under the user's local state folder `stateFolder` ($XDG_STATE_HOME, see
// platform/Paths.h); "" when neither is known.
std::string RunsFolderOf(const std::string& chosen, const std::string& stateFolder);
