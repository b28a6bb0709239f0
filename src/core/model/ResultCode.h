// The final and progress codes of one camera's upgrade, and the groups the
// reports and the rollout count them in. Plain numbers: the words for them
// live with the string table.
#pragma once

enum UpgradeResultCode : int {
    UPGRADE_OK = 0,            // new version came back
    UPGRADE_FAILED = 1,        // failure without a more specific cause
    UPGRADE_DEVICE_ERROR = 2,  // the camera reported an upgrade error
    UPGRADE_OPEN_FILE_FAILED = 3,
    UPGRADE_PACKAGE_ERROR = 4,  // package rejected for this camera
    UPGRADE_WRONG_IP = 5,
    UPGRADE_WRONG_PORT = 6,
    UPGRADE_VERSION_UNCHANGED = 7,  // rebooted, version did not change
    UPGRADE_NOT_SUPPORTED = 8,      // protocol version not supported
    UPGRADE_NETWORK_DISCONNECTED = 9,
    UPGRADE_CONNECT_FAILED = 10,
    UPGRADE_BAD_CREDENTIALS = 11,
    UPGRADE_TOO_MANY_CONNECTIONS = 12,
    // 13 and 14 are the upgrade procedure's own signals (upgrade/LoginModeSignal.h).
    UPGRADE_SEND_FAILED = 15,
    UPGRADE_STATE_STARTING = 16,     // progress state: an attempt starts
    UPGRADE_WAIT_UPGRADE_MODE = 17,  // restart into upgrade mode first
    UPGRADE_WAIT_COMPLETE = 18,      // all blocks acknowledged, camera finishing
    UPGRADE_TIMEOUT = 19,
    UPGRADE_MES_FAIL = 22,
    UPGRADE_ELSEWHERE = 23,  // another process upgrades this camera right now
    // Rollouts: a camera waiting for a free slot, and the ends of cameras
    // that were never sent the package.
    UPGRADE_QUEUED = 24,                // progress state: waits for a slot
    UPGRADE_ALREADY_CURRENT = 25,       // skipped: runs the package's version
    UPGRADE_NO_PACKAGE_FOR_MODEL = 26,  // skipped: no package for its model
    UPGRADE_NOT_STARTED = 27,           // not started: the failure limit was passed
    UPGRADE_CANCELLED = 28,             // not started: the batch was cancelled
    // The run's journal could not record the last block: block 100 was not
    // sent, so no camera flashes without a record a resumed run can find.
    UPGRADE_JOURNAL_FAILED = 29,
    // The camera's lock could not be taken safely: the camera is left
    // alone rather than risk a second process upgrading it at once.
    UPGRADE_LOCK_REFUSED = 30,
    // Canary rollouts: a camera of a model whose canary failed is left
    // alone (a resumed run takes it up again), and one that waits for its
    // model's canaries to be upgraded and verified.
    UPGRADE_CANARY_FAILED = 31,  // not started: a canary of its model failed
    UPGRADE_CANARY_WAIT = 32,    // progress state: waits for its model's canaries
    // Cameras a batch waits for (named, not yet found by the search): one
    // still awaited, and one the search never saw within the waiting time.
    UPGRADE_WAITING_TO_BE_FOUND = 33,  // progress state: not found by the search yet
    UPGRADE_NOT_FOUND_IN_TIME = 34,    // the waiting time ended before it was found
};

// True for the codes posted while a camera's job still runs or waits
// (16, 17, 18, 24, 32, 33).
inline bool IsIntermediateResult(int code) {
    return code == UPGRADE_STATE_STARTING || code == UPGRADE_WAIT_UPGRADE_MODE ||
           code == UPGRADE_WAIT_COMPLETE || code == UPGRADE_QUEUED || code == UPGRADE_CANARY_WAIT ||
           code == UPGRADE_WAITING_TO_BE_FOUND;
}

// Final codes of cameras never sent the package because the run held them
// back: a resumed run takes them up again.
inline bool IsHeldBackResult(int code) {
    return code == UPGRADE_NOT_STARTED || code == UPGRADE_CANCELLED ||
           code == UPGRADE_CANARY_FAILED;
}

// Final codes of cameras left alone on purpose: they count as done.
inline bool IsSkippedResult(int code) {
    return code == UPGRADE_ALREADY_CURRENT || code == UPGRADE_NO_PACKAGE_FOR_MODEL;
}

// Final codes that count against a rollout's failure limit. A camera
// another process upgrades right now has not failed: it is busy.
inline bool IsFailedResult(int code) {
    return code != UPGRADE_OK && !IsIntermediateResult(code) && !IsSkippedResult(code) &&
           !IsHeldBackResult(code) && code != UPGRADE_ELSEWHERE;
}
