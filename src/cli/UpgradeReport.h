// One camera's outcome of a batch, and how the CLI prints and stores it.
#pragma once

#include <cstdint>
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
    double seconds = 0;     // from its first attempt to its result, its own time
    std::string queuedAt;   // UTC, see UtcTime.h; "" when never queued
    std::string startedAt;  // "" when never begun
    std::string endedAt;
    int progress = 0;   // last block number shown
    std::string state;  // last text
    bool prepared = false;
    // Seconds into the batch: its first attempt, and when its last block
    // went out (it installs and restarts from then on); -1 when not reached.
    double startSeconds = -1;
    double lastBlockSeconds = -1;
    double installingFor = 0;  // seconds since the last block, while installing
    // Since the epoch: its start and result (0 when not reached), and the
    // attempts of a resumed run's earlier process.
    int64_t startedMs = 0;
    int64_t endedMs = 0;
    int earlierAttempts = 0;
    // Had no final result yet when the batch was cancelled.
    bool openAtCancel = false;
};

// "upgraded" (code 0), "skipped" (already current, or no package for its
// model), "cancelled" (prepared or attempted, still open when the batch was
// cancelled, not upgraded; or "Cancelled" before it started), "failed"
// (another final code, or attempted without one), "busy" (another process
// upgraded it right then) or "not-started" (never begun, also when a
// failure limit stopped the rollout).
// "installing": its last block went out before the batch was cancelled.
std::string OutcomeStatus(const CameraOutcome& outcome);
// The result in words: the code's text, or "Sent, installing".
std::string OutcomeText(const CameraOutcome& outcome);
// Why a failed or busy camera was not upgraded, as a sentence; "" else.
std::string OutcomeReason(const CameraOutcome& outcome);

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
