#include "upgrade/DeviceWaits.h"

#include <cstring>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "net/ProbeTcpPort.h"
#include "upgrade/UpgradeTimings.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

// True when more than `limitMs` have passed since `start` (unsigned ticks).
bool Exceeded(uint32_t start, uint64_t limitMs) {
    return static_cast<uint64_t>(PUB_TicksSince(start)) > limitMs;
}

uint64_t SecondsSetting(const CSettingsView& view, const char* key) {
    return static_cast<uint64_t>(view.GetInt(key)) * 1000u;
}

// A camera seen again with another version than `before` has restarted,
// however short its time away: a fast restart may stay under the stretch
// of refused connections that counts as offline.
bool CameBackWithOtherVersion(const DeviceInfoPtr& before, const DeviceInfoPtr& now) {
    return before && now &&
           (std::memcmp(before->softwareVer, now->softwareVer, sizeof(now->softwareVer)) != 0 ||
            before->build != now->build);
}

}  // namespace

bool waitDeviceIp2Change(const CBatchContext& context, const UpgradeInfoPtr& job) {
    static constexpr const char* kFunc = "CFirmhandDlg::waitDeviceIp2Change";
    if (!job) {
        return false;
    }
    DeviceInfoPtr record = job->Device();
    if (!record) {
        LOG_ERROR(kFunc, "invalid device info");
        return false;
    }
    const int timeoutSeconds = context.settings.GetInt(settings::kWaitIp2ChangeTimeout);
    const uint32_t start = PUB_GetTickCount();
    LOG_INFO(kFunc, "wait ip2 change, mac: %s, timeout: %ds", record->mac, timeoutSeconds);

    bool duplicate = false;
    for (;;) {
        if (job->cancelled.load()) {
            LOG_WARN(kFunc, "upgrade canceled, mac: %s", record->mac);
            break;
        }
        record = job->Device();
        if (!record) {
            LOG_ERROR(kFunc, "invalid device info");
            break;
        }
        duplicate = false;
        context.jobs->forEachJob([&](const UpgradeInfoPtr& other) {
            const DeviceInfoPtr otherRecord = other->Device();
            // Cameras without a second address share nothing.
            if (otherRecord && record->ip2[0] != '\0' &&
                std::memcmp(otherRecord->mac, record->mac, sizeof(record->mac)) != 0 &&
                std::memcmp(otherRecord->ip2, record->ip2, sizeof(record->ip2)) == 0) {
                duplicate = true;
                return false;
            }
            return true;
        });
        if (!duplicate) {
            LOG_INFO(kFunc, "no repeat ip2: %s:%d, mac: %s", record->ip2, record->dataPort,
                     record->mac);
            break;
        }
        if (Exceeded(start, static_cast<uint64_t>(timeoutSeconds) * 1000u)) {
            LOG_WARN(kFunc, "wait ip2 change timeout, ip2: %s:%d, mac: %s", record->ip2,
                     record->dataPort, record->mac);
            break;
        }
        job->PauseUnlessCancelled(200);
    }
    return !duplicate;
}

bool waitDeviceOffline(const CBatchContext& context, const UpgradeInfoPtr& job,
                       const std::string& mac, const std::string& ip, uint16_t port,
                       const DeviceInfoPtr& versionBefore) {
    return waitDeviceOffline(context, job, mac, std::vector<std::string>{ip}, port, versionBefore);
}

bool waitDeviceOffline(const CBatchContext& context, const UpgradeInfoPtr& job,
                       const std::string& mac, const std::vector<std::string>& ips, uint16_t port,
                       const DeviceInfoPtr& versionBefore) {
    static constexpr const char* kFunc = "CFirmhandDlg::waitDeviceOffline";
    if (!job || mac.empty() || ips.empty() || ips.front().empty()) {
        return false;
    }
    const int timeoutSeconds = context.settings.GetInt(settings::kWaitDeviceOfflineTimeout);
    const uint32_t start = PUB_GetTickCount();
    LOG_INFO(kFunc, "wait device offline, mac: %s, timeout: %ds", mac.c_str(), timeoutSeconds);

    const uint32_t offlineStretchMs = context.timings.offlineStretchMs;
    // A camera that restarts fast may be back, and its record replaced,
    // before this wait begins: compare with the record from before the
    // transfer.
    const DeviceInfoPtr before = versionBefore ? versionBefore : job->Device();
    // The search probes a camera that is waited for, so that its return
    // with the new version is seen while it may still look online.
    job->waitingForDevice.store(true);
    bool reachable = false;
    uint32_t unreachableSince = 0;
    for (;;) {
        if (job->cancelled.load()) {
            LOG_WARN(kFunc, "upgrade cancelled, mac: %s", mac.c_str());
            break;
        }
        if (CameBackWithOtherVersion(before, job->Device())) {
            job->waitingForDevice.store(false);
            LOG_INFO(kFunc, "device restarted with another version, mac: %s", mac.c_str());
            return true;
        }
        const uint32_t probeStart = PUB_GetTickCount();
        reachable = false;
        for (const std::string& ip : ips) {
            reachable = reachable || ProbeTcpPort(ip, port, 100);
        }
        if (reachable) {
            unreachableSince = 0;
            // A camera that accepts at once would make this loop spin; keep
            // the probe's pace of about 100 ms per pass.
            const uint32_t spent = PUB_TicksSince(probeStart);
            if (spent < 100) {
                job->PauseUnlessCancelled(100 - spent);
            }
        } else if (unreachableSince == 0) {
            unreachableSince = PUB_GetTickCount();
        } else if (Exceeded(unreachableSince, offlineStretchMs)) {
            break;
        }
        if (!reachable && PUB_TicksSince(probeStart) < 100) {
            job->PauseUnlessCancelled(100 - PUB_TicksSince(probeStart));  // refused at once
        }
        if (Exceeded(start, static_cast<uint64_t>(timeoutSeconds) * 1000u)) {
            break;
        }
    }
    job->waitingForDevice.store(false);
    if (reachable) {
        LOG_WARN(kFunc, "device is not offline, mac: %s", mac.c_str());
        return false;
    }
    LOG_INFO(kFunc, "device is offline, mac: %s", mac.c_str());
    return true;
}

int waitDeviceReboot(const CBatchContext& context, const UpgradeInfoPtr& job,
                     const DeviceInfoPtr& oldRecord) {
    static constexpr const char* kFunc = "CFirmhandDlg::waitDeviceReboot";
    if (!job || !oldRecord) {
        return REBOOT_NO_JOB;
    }
    const uint64_t limitMs = SecondsSetting(context.settings, settings::kWaitRebootTimeout);
    const uint32_t start = PUB_GetTickCount();
    LOG_INFO(kFunc, "wait device reboot, mac: %s, timeout: %ds", oldRecord->mac,
             static_cast<int>(limitMs / 1000));
    job->waitingForDevice.store(true);
    std::shared_ptr<CPUB_Event> event = job->DeviceEvent();
    if (!event) {
        event = std::make_shared<CPUB_Event>(false, false);
        job->SetDeviceEvent(event);
    }

    bool found = false;
    int result = REBOOT_TIMEOUT;
    for (;;) {
        event->Reset();
        // Checked after the reset: a cancellation's wake-up is never lost.
        if (job->cancelled.load()) {
            LOG_WARN(kFunc, "upgrade cancelled, mac: %s", oldRecord->mac);
            result = REBOOT_CANCELLED;
            break;
        }
        const DeviceInfoPtr current = job->Device();
        if (current && (std::memcmp(current->softwareVer, oldRecord->softwareVer,
                                    sizeof(oldRecord->softwareVer)) != 0 ||
                        current->build != oldRecord->build)) {
            LOG_INFO(kFunc,
                     "device software changed, mac: %s, oldVersion: %s.%d, currentVersion: %s.%d",
                     oldRecord->mac, oldRecord->softwareVer, oldRecord->build, current->softwareVer,
                     current->build);
            result = REBOOT_VERSION_CHANGED;
            break;
        }
        if (found) {
            result = REBOOT_SAME_VERSION;
            break;
        }
        if (event->Wait(100)) {
            if (job->cancelled.load()) {
                continue;  // woken by the cancellation, not by the camera
            }
            LOG_INFO(kFunc, "device reboot, mac: %s", oldRecord->mac);
            found = true;
            continue;
        }
        if (Exceeded(start, limitMs)) {
            LOG_WARN(kFunc, "wait device reboot timeout, mac: %s", oldRecord->mac);
            result = REBOOT_TIMEOUT;
            break;
        }
    }
    job->waitingForDevice.store(false);
    return result;
}
