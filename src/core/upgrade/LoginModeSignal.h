// What a camera's login may answer besides a result: the next attempt is to
// log in with upgrade mode set, or cleared. The signals keep the numbers 13
// and 14 that they had among the result codes, and never leave a camera's
// job: one whose attempts run out on a signal ends "Upgrade failed".
#pragma once

#include <variant>

#include "model/ResultCode.h"

enum class LoginModeSignal : int {
    SetUpgradeMode = 13,
    ClearUpgradeMode = 14,
};

// What one attempt ends with: a final result; the state the job goes on
// from (WaitUpgradeMode: the camera must restart into upgrade mode first;
// WaitComplete: every block was acknowledged); or a login-mode signal for
// the next attempt. Only the job's attempt loop sees it.
using AttemptResult = std::variant<UpgradeResult, UpgradeProgress, LoginModeSignal>;
