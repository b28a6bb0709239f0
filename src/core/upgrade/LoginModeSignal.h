// What a camera's login may answer besides a result: the next attempt is to
// log in with upgrade mode set, or cleared. The signals keep the numbers 13
// and 14 that they had among the result codes, and never leave a camera's
// job: one whose attempts run out on a signal ends "Upgrade failed".
#pragma once

constexpr int kLoginSetUpgradeMode = 13;
constexpr int kLoginClearUpgradeMode = 14;

inline bool IsLoginModeSignal(int code) {
    return code == kLoginSetUpgradeMode || code == kLoginClearUpgradeMode;
}
