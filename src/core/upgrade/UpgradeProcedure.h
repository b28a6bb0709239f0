// The upgrade of one camera: the attempt loop per job, and the transfer of
// the package in one attempt.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "upgrade/LoginModeSignal.h"
#include "upgrade/UpgradeContext.h"

// Called with the current block number; false stops the transfer (the job
// was cancelled).
using ProgressReporter = std::function<bool(uint32_t percent)>;

// Runs the whole procedure of one job on the calling worker thread; ends
// with the job finished and its final result journaled and posted, and
// returns that result.
UpgradeResult upgradeDevice(const BatchContextPtr& context, const UpgradeInfoPtr& job);

// What one attempt is given besides the batch's context.
struct UpgradeAttempt {
    std::string mac;
    std::string ip;
    uint16_t port = 0;
    std::string user;
    std::string password;
    // Told of each block; may be empty.
    ProgressReporter reporter;
    // The login asks the camera for upgrade mode.
    bool upgradeMode = false;
    // Log in first; an activated new-style camera is only listened to.
    bool login = true;
    // The job's flag: ends the connect and the block loop. May be null.
    const std::atomic<bool>* cancel = nullptr;
    // The job's stop: also ends a wait for the login reply or a blocked send.
    std::stop_token stop;
};

// One attempt: connect, log in, check, send the 100 blocks. Returns a final
// result, the state the job goes on from, or a login-mode signal.
AttemptResult upgradeDevice(const CBatchContext& context, const UpgradeAttempt& attempt);
