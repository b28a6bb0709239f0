// The headless front-end: parses the command line and runs one command.
#pragma once

#include "session/SessionOptions.h"

// Runs firmhand-cli with the given arguments (argv[0] included) and returns
// the exit status. `base` holds the session options that no argument sets
// (a test's short timings); the command line adds the rest.
int RunCli(int argc, char** argv, const SESSION_OPTIONS& base = {});
