#include "RowPhase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "session/SessionTypes.h"

RowPhase PhaseOfResult(UpgradeResult code) {
    switch (code) {
        case UpgradeResult::Ok:
            return RowPhase::Upgraded;
        case UpgradeResult::AlreadyCurrent:
        case UpgradeResult::NoPackageForModel:
            return RowPhase::Skipped;
        case UpgradeResult::NotStarted:
        case UpgradeResult::Cancelled:
        case UpgradeResult::CanaryFailed:
            return RowPhase::Cancelled;
        default:
            return RowPhase::Failed;
    }
}

RowPhase PhaseOfState(UpgradeProgress state) {
    switch (state) {
        case UpgradeProgress::Starting:
            return RowPhase::Running;
        case UpgradeProgress::WaitUpgradeMode:
        case UpgradeProgress::WaitComplete:
            return RowPhase::Waiting;
        case UpgradeProgress::Queued:
        case UpgradeProgress::CanaryWait:
        case UpgradeProgress::WaitingToBeFound:
            return RowPhase::Queued;
    }
    return RowPhase::Queued;
}

bool IsFinalPhase(RowPhase phase) {
    return phase == RowPhase::Upgraded || phase == RowPhase::Failed || phase == RowPhase::Skipped ||
           phase == RowPhase::Cancelled;
}

const char* PhaseIconName(RowPhase phase) {
    switch (phase) {
        case RowPhase::Queued:
            return "appointment-new";
        case RowPhase::Running:
        case RowPhase::Transferring:
            return "network-transmit";
        case RowPhase::Waiting:
            return "appointment-soon";
        case RowPhase::Upgraded:
            return "emblem-default";
        case RowPhase::Failed:
            return "dialog-error";
        case RowPhase::Skipped:
            return "media-skip-forward";
        case RowPhase::Cancelled:
            return "process-stop";
        case RowPhase::None:
        case RowPhase::Count:
            break;
    }
    return "";
}

double EstimateSecondsLeft(double elapsedSeconds, int finished, int total, int parallel) {
    if (finished <= 0 || total <= finished || elapsedSeconds <= 0) {
        return finished > 0 && total <= finished ? 0 : -1;
    }
    // The cameras so far ran side by side, so the elapsed time covers
    // min(finished, parallel) of them at once.
    const int lanes = std::max(1, std::min(parallel, total));
    const double perCamera = elapsedSeconds * std::min(finished, lanes) / finished;
    const int left = total - finished;
    return perCamera * std::ceil(static_cast<double>(left) / lanes);
}

std::string DurationText(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}
