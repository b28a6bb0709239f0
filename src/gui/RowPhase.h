// What a row's camera is doing in a batch, as the result column shows it:
// the phase behind its state icon, the counts of the status bar and the
// estimate of the time left. Free of Qt so that it can be checked alone.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "session/SessionTypes.h"

enum class RowPhase : uint8_t {
    None,          // no batch result
    Queued,        // waits for a free slot
    Running,       // an attempt is being set up
    Transferring,  // blocks are being sent (a progress bar)
    Waiting,       // waits for the camera (upgrade mode, flashing, reboot)
    Upgraded,
    Failed,
    Skipped,    // already current, or no package for its model
    Cancelled,  // not started or cancelled
    Count,
};

// The phase a final result or a progress state leaves a camera in.
RowPhase PhaseOfResult(UpgradeResult code);
RowPhase PhaseOfState(UpgradeProgress state);
// Phases that end a camera's part of a batch.
bool IsFinalPhase(RowPhase phase);

// The icon theme name of a phase's state icon ("" for None).
const char* PhaseIconName(RowPhase phase);

// Cameras of the list per phase; `found` and `checked` count rows.
struct LIST_COUNTS {
    int found = 0;
    int checked = 0;
    std::array<int, static_cast<size_t>(RowPhase::Count)> phases{};

    int Of(RowPhase phase) const { return phases[static_cast<size_t>(phase)]; }
    // Running, transferring or waiting.
    int Active() const {
        return Of(RowPhase::Running) + Of(RowPhase::Transferring) + Of(RowPhase::Waiting);
    }
};

// The time a batch still needs, from the cameras already done: the mean
// time per finished camera times those not finished, spread over the
// cameras that run side by side. -1 while nothing has finished.
double EstimateSecondsLeft(double elapsedSeconds, int finished, int total, int parallel);

// "1:05" or "1:02:05".
std::string DurationText(double seconds);
