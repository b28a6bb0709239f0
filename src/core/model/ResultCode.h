// The outcomes of one camera's upgrade: its final results, the progress
// states of a job still running or waiting, and the groups the reports and
// the rollout count results in. The numbers are those stored in the
// journal, the reports and the inventory, and the keys of the string
// table's words: they never change.
#pragma once

#include <optional>

// A camera's final result, posted once per camera and batch.
enum class UpgradeResult : int {
    Ok = 0,           // new version came back
    Failed = 1,       // failure without a more specific cause
    DeviceError = 2,  // the camera reported an upgrade error
    OpenFileFailed = 3,
    PackageError = 4,  // package rejected for this camera
    WrongIp = 5,
    WrongPort = 6,
    VersionUnchanged = 7,  // rebooted, version did not change
    NotSupported = 8,      // protocol version not supported
    NetworkDisconnected = 9,
    ConnectFailed = 10,
    BadCredentials = 11,
    TooManyConnections = 12,
    // 13 and 14 are the upgrade procedure's own signals (upgrade/LoginModeSignal.h);
    // 16, 17, 18 are progress states (UpgradeProgress).
    SendFailed = 15,
    Timeout = 19,
    MesFail = 22,
    Elsewhere = 23,  // another process upgrades this camera right now
    // Rollouts: the ends of cameras that were never sent the package.
    AlreadyCurrent = 25,     // skipped: runs the package's version
    NoPackageForModel = 26,  // skipped: no package for its model
    NotStarted = 27,         // not started: the failure limit was passed
    Cancelled = 28,          // not started: the batch was cancelled
    // The run's journal could not record the last block: block 100 was not
    // sent, so no camera flashes without a record a resumed run can find.
    JournalFailed = 29,
    // The camera's lock could not be taken safely: the camera is left
    // alone rather than risk a second process upgrading it at once.
    LockRefused = 30,
    // Canary rollouts: a camera of a model whose canary failed is left
    // alone (a resumed run takes it up again).
    CanaryFailed = 31,  // not started: a canary of its model failed
    // A camera a batch waited for (named, not yet found by the search) that
    // the search never saw within the waiting time.
    NotFoundInTime = 34,
};

// A state of a camera's job that still runs or waits.
enum class UpgradeProgress : int {
    Starting = 16,          // an attempt starts
    WaitUpgradeMode = 17,   // restart into upgrade mode first
    WaitComplete = 18,      // all blocks acknowledged, camera finishing
    Queued = 24,            // a rollout's camera waits for a slot
    CanaryWait = 32,        // waits for its model's canaries to be upgraded and verified
    WaitingToBeFound = 33,  // named for the batch, not found by the search yet
};

// The stored or posted number of each.
constexpr int NumberOf(UpgradeResult result) {
    return static_cast<int>(result);
}
constexpr int NumberOf(UpgradeProgress progress) {
    return static_cast<int>(progress);
}

// The final result a stored or posted number names; nothing for any other
// number (13, 14, a progress state, 20, 21, above 34, negative).
constexpr std::optional<UpgradeResult> UpgradeResultOfNumber(int number) {
    switch (static_cast<UpgradeResult>(number)) {
        case UpgradeResult::Ok:
        case UpgradeResult::Failed:
        case UpgradeResult::DeviceError:
        case UpgradeResult::OpenFileFailed:
        case UpgradeResult::PackageError:
        case UpgradeResult::WrongIp:
        case UpgradeResult::WrongPort:
        case UpgradeResult::VersionUnchanged:
        case UpgradeResult::NotSupported:
        case UpgradeResult::NetworkDisconnected:
        case UpgradeResult::ConnectFailed:
        case UpgradeResult::BadCredentials:
        case UpgradeResult::TooManyConnections:
        case UpgradeResult::SendFailed:
        case UpgradeResult::Timeout:
        case UpgradeResult::MesFail:
        case UpgradeResult::Elsewhere:
        case UpgradeResult::AlreadyCurrent:
        case UpgradeResult::NoPackageForModel:
        case UpgradeResult::NotStarted:
        case UpgradeResult::Cancelled:
        case UpgradeResult::JournalFailed:
        case UpgradeResult::LockRefused:
        case UpgradeResult::CanaryFailed:
        case UpgradeResult::NotFoundInTime:
            return static_cast<UpgradeResult>(number);
    }
    return std::nullopt;
}

// The progress state a posted number names; nothing for any other number.
constexpr std::optional<UpgradeProgress> UpgradeProgressOfNumber(int number) {
    switch (static_cast<UpgradeProgress>(number)) {
        case UpgradeProgress::Starting:
        case UpgradeProgress::WaitUpgradeMode:
        case UpgradeProgress::WaitComplete:
        case UpgradeProgress::Queued:
        case UpgradeProgress::CanaryWait:
        case UpgradeProgress::WaitingToBeFound:
            return static_cast<UpgradeProgress>(number);
    }
    return std::nullopt;
}

// Final results of cameras never sent the package because the run held
// them back: a resumed run takes them up again.
constexpr bool IsHeldBackResult(UpgradeResult result) {
    return result == UpgradeResult::NotStarted || result == UpgradeResult::Cancelled ||
           result == UpgradeResult::CanaryFailed;
}

// Final results of cameras left alone on purpose: they count as done.
constexpr bool IsSkippedResult(UpgradeResult result) {
    return result == UpgradeResult::AlreadyCurrent || result == UpgradeResult::NoPackageForModel;
}

// Final results that count against a rollout's failure limit. A camera
// another process upgrades right now has not failed: it is busy.
constexpr bool IsFailedResult(UpgradeResult result) {
    return result != UpgradeResult::Ok && !IsSkippedResult(result) && !IsHeldBackResult(result) &&
           result != UpgradeResult::Elsewhere;
}

// The number a report stores for a result that may not be there yet: -1
// while open.
constexpr int NumberOf(std::optional<UpgradeResult> result) {
    return result ? NumberOf(*result) : -1;
}
