// One camera's outcome of a batch, as the CLI and the window both record it,
// and the one rule that names its status in the reports.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/ResultCode.h"

// One step of a camera's upgrade path, as the reports list it.
struct OutcomeStep {
    std::string package;  // the file's name
    std::string fromVersion;
    std::string toVersion;              // "" unless it came back from the step
    std::optional<UpgradeResult> code;  // the step's result; none while open
    int attempts = 0;
};

struct CameraOutcome {
    std::string mac;
    std::string ip;
    std::string name;
    std::string package;                // the file it got ("" when skipped for its model)
    std::optional<UpgradeResult> code;  // none until the final result
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
    // The step of its upgrade path under way (1 to pathSteps); 0 without one.
    int pathStep = 0;
    int pathSteps = 0;
    // The steps of its upgrade path this run began, in order; empty
    // without a path (a batch with one package per model).
    std::vector<OutcomeStep> steps;
    // The waiting time as given ("10m") of a camera the batch waited to be
    // found; "" for one found before it started.
    std::string awaitedFor;
};

// "upgraded" (code 0), "skipped" (already current, or no package for its
// model), "cancelled" (prepared or attempted, still open when the batch was
// cancelled, not upgraded), "failed" (another final code, or attempted
// without one), "busy" (another process upgraded it right then) or
// "not-started" (never begun: also when a failure limit stopped the
// rollout, and "Cancelled" before it was prepared or attempted).
// "installing": its last block went out before the batch was cancelled.
std::string OutcomeStatus(const CameraOutcome& outcome);

// The words of the result codes in the interface language, handed down by
// the front-end that owns the string table; keyed by the codes' numbers.
struct ResultWords {
    std::map<int, std::string> text;    // each code's text ("" when it has none)
    std::map<int, std::string> reason;  // why a camera with the code failed
    std::string sentInstalling;         // "Sent, installing"
    std::string notFoundWithin;         // "Not found within %s"
};

// The result in words: the code's text, "Sent, installing", or for a
// camera never found "Not found within" its waiting time.
std::string OutcomeText(const CameraOutcome& outcome, const ResultWords& words);
// One step in words: "a.bin 4.0.2(1) -> 4.0.3(2) Upgraded successfully (1
// attempt)"; without the arrow when the camera did not come back from it.
std::string OutcomeStepText(const OutcomeStep& step, const ResultWords& words);
// The steps in one line for a CSV cell or a table, joined by "; "; "" without
// steps.
std::string OutcomeStepsText(const CameraOutcome& outcome, const ResultWords& words);
// Why a failed or busy camera was not upgraded, as a sentence; "" else.
std::string OutcomeReason(const CameraOutcome& outcome, const ResultWords& words);
