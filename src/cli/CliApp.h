// The headless front-end: parses the command line and runs one command.
#pragma once

#include <string>
#include <vector>

// Runs firmhand-cli with the given arguments (argv[0] included) and returns
// the exit status.
int RunCli(int argc, char** argv);
