// The automatic upgrade test's rule, one for the window and the CLI: one
// camera upgraded back and forth between two packages, each round checked
// by the build the camera comes back with, the next round a delay after
// its return. The front-ends own the timer and press Upgrade; this says
// which package comes next, whether a return is as expected and when a
// batch's end is the camera's return.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/ResultCode.h"

class CSettingsView;

struct AUTO_UPGRADE_CONFIG {
    std::string mac;
    std::string package1;  // file paths; "" when not set
    std::string package2;
    std::string buildNo1;  // the build each package gives, as the setting holds it
    std::string buildNo2;
    int delayMs = 0;  // as set: a front-end takes a negative one as 0
};

// The test's settings, whether or not "AutoUpgradeTest" is on.
AUTO_UPGRADE_CONFIG AutoUpgradeSettings(const CSettingsView& settings);
// The test's settings, or nothing when "AutoUpgradeTest" is off.
std::optional<AUTO_UPGRADE_CONFIG> ReadAutoUpgradeConfig(const CSettingsView& settings);

class CAutoUpgradeCycle {
public:
    CAutoUpgradeCycle() = default;
    explicit CAutoUpgradeCycle(AUTO_UPGRADE_CONFIG config) : m_config(std::move(config)) {}

    const AUTO_UPGRADE_CONFIG& Config() const { return m_config; }
    // A camera is configured and `mac` is it (any letter case or separator).
    bool IsCamera(std::string_view mac) const;
    // The package of the next round after `lastSent` ("" before the first):
    // package 1 unless it was the last one sent and there is a package 2;
    // "" when neither is set.
    std::string NextPackage(const std::string& lastSent) const;
    // The build the camera comes back with after `package`, when the test
    // knows it (one of its packages, with its build number set).
    std::optional<int> ExpectedBuild(const std::string& package) const;
    // The package whose build the camera should have come back with after
    // `lastSent` but did not, or "" (as expected, or no build expected).
    std::string FailedPackage(const std::string& lastSent, int build) const;
    // The delay before the next round, never negative.
    int StartDelayMs() const { return m_config.delayMs < 0 ? 0 : m_config.delayMs; }

    // A batch starts; `holdsCamera`: the configured camera is in it.
    void OnBatchStarted(bool holdsCamera) { m_inBatch = holdsCamera; }
    // The batch ended with `cameraCode` for the camera (none when it was not in
    // it). True when the batch already saw the camera come back (upgraded,
    // or back with its old version), so the next round may be scheduled now;
    // otherwise, after a batch that held it, its next report is its return.
    bool OnBatchEnded(std::optional<UpgradeResult> cameraCode);
    bool AwaitingReturn() const { return m_awaitingReturn; }
    // The camera is back: nothing is awaited any more.
    void CameraBack() { m_awaitingReturn = false; }

private:
    AUTO_UPGRADE_CONFIG m_config;
    bool m_inBatch = false;
    bool m_awaitingReturn = false;
};
