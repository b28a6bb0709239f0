// The command that continues an interrupted run: the words the technician
// typed with --resume, without a password given on the command line.
#pragma once

#include <string>
#include <vector>

// `args` are the words after the program's name; the result starts with
// "firmhand-cli" and quotes words the shell would split or expand.
std::string ResumeCommandLine(const std::vector<std::string>& args);
