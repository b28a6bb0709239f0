// What the CLI asks of the system itself: terminals and the report's place.
#pragma once

#include <string>

bool StdinIsTerminal();
bool StdoutIsTerminal();
// "" when `path` can be written as a file: its folder exists and takes new
// files, and an existing file there is writable. Else the reason.
std::string FileWriteProblem(const std::string& path);
