// Waits around a transfer for what the camera cannot be asked about: that
// no other camera of the batch shares its slave address, that it went
// offline to flash, and that it came back. All run on the job's worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "upgrade/UpgradeContext.h"

// Results of waitDeviceReboot.
constexpr int REBOOT_VERSION_CHANGED = 0;
constexpr int REBOOT_NO_JOB = 1;
constexpr int REBOOT_SAME_VERSION = 18;
constexpr int REBOOT_TIMEOUT = 19;
constexpr int REBOOT_CANCELLED = -1;  // the job was cancelled while waiting

// True when, at the end, no other job's camera shares this one's slave
// address. Waits up to "WaitIp2ChangeTimeout" seconds for that.
bool waitDeviceIp2Change(const CBatchContext& context, const UpgradeInfoPtr& job);

// True when the camera stopped accepting connections for more than 10 s
// within "WaitDeviceOfflineTimeout" seconds, or was seen again with
// another version than `versionBefore` (its record before the transfer;
// null: the record at the start of the wait) however short its restart.
bool waitDeviceOffline(const CBatchContext& context, const UpgradeInfoPtr& job,
                       const std::string& mac, const std::string& ip, uint16_t port,
                       const DeviceInfoPtr& versionBefore = nullptr);
// The same over every address the camera may answer at: offline when none
// of them accepts a connection.
bool waitDeviceOffline(const CBatchContext& context, const UpgradeInfoPtr& job,
                       const std::string& mac, const std::vector<std::string>& ips, uint16_t port,
                       const DeviceInfoPtr& versionBefore = nullptr);

// Waits up to "WaitRebootTimeout" seconds for the camera to come back:
// 0 when its version or build changed, 18 when it was found again with
// the same version, 19 on time-out, 1 without job or old record,
// REBOOT_CANCELLED when the job was cancelled.
int waitDeviceReboot(const CBatchContext& context, const UpgradeInfoPtr& job,
                     const DeviceInfoPtr& oldRecord);
