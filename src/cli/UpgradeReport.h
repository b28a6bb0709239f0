// One camera's outcome of a batch, and how the CLI prints and stores it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct CameraOutcome {
    std::string mac;
    std::string ip;
    std::string name;
    std::string package;  // the file it got ("" when skipped for its model)
    int code = -1;        // -1 until the final result
    std::string oldVersion;
    std::string newVersion;  // "" unless the camera came back upgraded
    int attempts = 0;
    double seconds = 0;
    std::string startedAt;  // UTC, see UtcTime.h; "" when never begun
    std::string endedAt;
    int progress = 0;   // last block number shown
    std::string state;  // last text
    bool prepared = false;
    // Had no final result yet when the batch was cancelled.
    bool openAtCancel = false;
};

// "upgraded" (code 0), "skipped" (already current, or no package for its
// model), "cancelled" (prepared or attempted, still open when the batch was
// cancelled, not upgraded; or "Cancelled" before it started), "failed"
// (another final code, or attempted without one) or "not-started" (never
// begun, also when a failure limit stopped the rollout).
std::string OutcomeStatus(const CameraOutcome& outcome);

// At most `columns` wide when given (a terminal's width): text shortened,
// the address and time left out first.
void PrintOutcomeTable(const std::vector<CameraOutcome>& outcomes, std::ostream& out,
                       size_t columns = 0);
// Writes FILE.json ({"results": [...]}) or FILE.csv, each row naming its
// camera's package; false on failure.
bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path);
// Writes a report whole through a temporary file in the same folder that is
// renamed over `path`: a link at `path` is replaced, never followed.
bool WriteReportFile(const std::string& path, const std::string& text);
