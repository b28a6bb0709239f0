// One camera's outcome of a batch, and how the CLI prints and stores it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct CameraOutcome {
    std::string mac;
    std::string ip;
    int code = -1;  // -1 while running
    std::string oldVersion;
    std::string newVersion;
    int attempts = 0;
    double seconds = 0;
    int progress = 0;   // last block number shown
    std::string state;  // last text
};

void PrintOutcomeTable(const std::vector<CameraOutcome>& outcomes, std::ostream& out);
// Writes FILE.json ({"results": [...]}) or FILE.csv; false on failure.
bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path);
