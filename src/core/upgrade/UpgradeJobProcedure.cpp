// The attempt loop of one job, its wait for upgrade mode, and the decision
// after the camera came back.
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/Logger.h"
#include "app/Settings.h"
#include "net/ProbeTcpPort.h"
#include "upgrade/CameraLock.h"
#include "upgrade/DeviceWaits.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeTimings.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

constexpr const char* kJobFunc = "CFirmhandDlg::upgradeDevice";

void PostResult(const CBatchContext& context, int code, const std::string& mac) {
    if (context.sink) {
        context.sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, code, mac));
    }
}

// The address of this attempt: the fixed one from the settings, else the
// slave address when it answers, else the main address.
std::string ChooseAddress(const CBatchContext& context, const DEVICE_S_INFO& record,
                          uint16_t port) {
    const std::string fixed = context.settings.GetString(settings::kUpgradeDeviceIp);
    if (!fixed.empty()) {
        return fixed;
    }
    if (record.ip2[0] != '\0' && ProbeTcpPort(record.ip2, port, context.timings.addressProbeMs)) {
        return record.ip2;
    }
    return record.ip;
}

// True when the camera that came back counts as upgraded.
bool IsUpgraded(const DEVICE_S_INFO& oldRecord, const DEVICE_S_INFO& newRecord,
                const std::string& packageFileName) {
    if (std::memcmp(oldRecord.softwareVer, newRecord.softwareVer, sizeof(oldRecord.softwareVer)) !=
            0 ||
        oldRecord.build != newRecord.build) {
        return true;
    }
    if (newRecord.softwareVer[0] != '\0' &&
        packageFileName.find(newRecord.softwareVer) != std::string::npos) {
        return true;
    }
    return packageFileName.find(std::to_string(newRecord.build)) != std::string::npos;
}

// After the last block: wait for the camera to flash, reboot and come back.
int CompleteUpgrade(const CBatchContext& context, const UpgradeInfoPtr& job,
                    const DeviceInfoPtr& oldRecord, const std::string& mac, const std::string& ip,
                    uint16_t port, int r) {
    waitDeviceOffline(context, job, mac, ip, port, oldRecord);
    PostResult(context, UPGRADE_WAIT_COMPLETE, mac);
    const int w = waitDeviceReboot(context, job, oldRecord);
    if (w == REBOOT_VERSION_CHANGED) {
        return UPGRADE_OK;
    }
    if (w == REBOOT_CANCELLED) {
        return UPGRADE_FAILED;
    }
    const DeviceInfoPtr current = job->Device();
    if (!current) {
        LOG_ERROR(kJobFunc, "invalid device info, mac: %s", mac.c_str());
        return r;
    }
    LOG_INFO(kJobFunc, "mac: %s, oldVersion: %s.%d, currentVersion: %s.%d", mac.c_str(),
             oldRecord->softwareVer, oldRecord->build, current->softwareVer, current->build);
    // A camera never found again has not shown any version: that is a
    // time-out, whatever the package's file name says.
    if (w == REBOOT_TIMEOUT) {
        return UPGRADE_TIMEOUT;
    }
    if (IsUpgraded(*oldRecord, *current, context.package->FileName())) {
        return UPGRADE_OK;
    }
    if (r == UPGRADE_WAIT_COMPLETE || w == REBOOT_SAME_VERSION) {
        return UPGRADE_VERSION_UNCHANGED;
    }
    return r;
}

bool VersionDiffers(const DEVICE_S_INFO& a, const DEVICE_S_INFO& b) {
    return std::memcmp(a.softwareVer, b.softwareVer, sizeof(a.softwareVer)) != 0 ||
           a.build != b.build;
}

// Every address the camera may answer at: the fixed one of the settings,
// and the main and slave addresses of its current and journaled records.
std::vector<std::string> ReachedAddresses(const CBatchContext& context, const DeviceInfoPtr& seen,
                                          const DEVICE_S_INFO& journaled) {
    std::vector<std::string> addresses;
    const auto add = [&addresses](const std::string& address) {
        if (!address.empty() &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(address);
        }
    };
    add(context.settings.GetString(settings::kUpgradeDeviceIp));
    if (seen) {
        add(seen->ip2);
        add(seen->ip);
    }
    add(journaled.ip2);
    add(journaled.ip);
    return addresses;
}

// A resumed run's camera whose last block may have reached it, followed as
// a running job follows a camera after its last block: the offline wait,
// the reboot wait, then the version rule against `oldRecord`, the version
// it showed when the interrupted transfer started. True when the job ends
// here with `result`: upgraded (also when it came back before this run
// found it), gone and not back, cancelled. False only when, after both
// waits, it was seen again with its old version and the package's file
// name does not name it, or it answered all along and never restarted:
// that last block never took, and it may be sent the package again.
bool VerifyResumedCamera(const CBatchContext& context, const UpgradeInfoPtr& job,
                         const DeviceInfoPtr& oldRecord, int& result) {
    const std::string mac = oldRecord->mac;
    const DeviceInfoPtr seen = job->Device();
    LOG_INFO(kJobFunc, "verify resumed device, mac: %s, oldVersion: %s.%d", mac.c_str(),
             oldRecord->softwareVer, oldRecord->build);
    if (seen && VersionDiffers(*oldRecord, *seen)) {
        result = UPGRADE_OK;
        return true;
    }
    const auto port = static_cast<uint16_t>(seen ? seen->dataPort : oldRecord->dataPort);
    const std::vector<std::string> addresses = ReachedAddresses(context, seen, *oldRecord);
    const bool wentOffline = waitDeviceOffline(context, job, mac, addresses, port, oldRecord);
    if (job->cancelled.load()) {
        result = UPGRADE_CANCELLED;
        return true;
    }
    // A camera that stayed reachable goes on to the reboot wait too.
    PostResult(context, UPGRADE_WAIT_COMPLETE, mac);
    const int w = waitDeviceReboot(context, job, oldRecord);
    if (w == REBOOT_VERSION_CHANGED) {
        result = UPGRADE_OK;
        return true;
    }
    if (w == REBOOT_CANCELLED) {
        result = UPGRADE_CANCELLED;
        return true;
    }
    const DeviceInfoPtr current = job->Device();
    if (w != REBOOT_SAME_VERSION || !current) {
        // Reachable through both waits, far longer than a flash lasts, and
        // still answering: it never restarted, so that last block never
        // reached it.
        const bool answers = std::any_of(addresses.begin(), addresses.end(), [&](const auto& ip) {
            return ProbeTcpPort(ip, port, context.timings.addressProbeMs);
        });
        if (!wentOffline && current && answers && !job->cancelled.load()) {
            LOG_WARN(kJobFunc, "resumed device never restarted, upgrade again, mac: %s",
                     mac.c_str());
            return false;
        }
        // Gone and not back: it may still be flashing.
        result = UPGRADE_TIMEOUT;
        return true;
    }
    if (IsUpgraded(*oldRecord, *current, context.package->FileName())) {
        result = UPGRADE_OK;
        return true;
    }
    LOG_WARN(kJobFunc, "resumed device shows its old version, upgrade again, mac: %s", mac.c_str());
    return false;
}

}  // namespace

namespace {

int RunJob(const BatchContextPtr& context, const UpgradeInfoPtr& job) {
    // One upgrade per camera on this machine, whichever process runs it.
    std::unique_ptr<platform::CFileLock> cameraLock;
    if (const DeviceInfoPtr record = job->Device()) {
        bool busy = false;
        std::string problem;
        cameraLock = LockCamera(record->mac, busy, problem, context->cameraLockFolder);
        if (busy) {
            LOG_WARN(kJobFunc, "upgraded elsewhere right now, mac: %s", record->mac);
            return UPGRADE_ELSEWHERE;
        }
        if (!cameraLock) {
            return UPGRADE_LOCK_REFUSED;
        }
    }
    waitDeviceIp2Change(*context, job);

    const DeviceInfoPtr first = job->Device();
    if (!first) {
        LOG_ERROR(kJobFunc, "invalid device info");
        return UPGRADE_FAILED;
    }
    const std::string mac = first->mac;
    const UpgradeTimings& timings = context->timings;
    const int tryMaxCount = context->settings.GetInt(settings::kTryUpgradeMaxCount);
    const int tryMaxCountSingle = context->settings.GetInt(settings::kTryUpgradeMaxCountSingle);
    const int upgradeModeTimeout = context->settings.GetInt(settings::kWaitUpgradeModeTimeout);
    LOG_INFO(kJobFunc,
             "upgrade device, mac: %s, product: %s, mes: %d, tryMaxCount: %d, "
             "upgradeModeTimeout: %ds",
             mac.c_str(), first->productModel, 0, tryMaxCount, upgradeModeTimeout);

    auto deviceEvent = std::make_shared<CPUB_Event>(false, false);
    job->SetDeviceEvent(deviceEvent);

    if (context->journal) {
        if (job->mayBeFlashingFrom) {
            context->journal->Step(mac, "verifying");
        } else {
            context->journal->Started(*first);
        }
    }
    if (job->mayBeFlashingFrom) {
        int verified = UPGRADE_FAILED;
        if (VerifyResumedCamera(*context, job, job->mayBeFlashingFrom, verified)) {
            job->SetDeviceEvent(nullptr);
            return verified;
        }
        // It showed its old version after the waits: the earlier last block
        // never took. A new transfer starts, and its own lines follow.
        if (context->journal) {
            if (const DeviceInfoPtr now = job->Device()) {
                context->journal->Started(*now);
            }
        }
    }
    // The credentials to try: entries of the credentials file, then the
    // typed ones; a refused login moves on to the next without using up
    // an attempt.
    std::vector<CameraCredential> credentials = job->credentials;
    if (credentials.empty()) {
        credentials.push_back({context->user, context->password, "typed"});
    }
    size_t credential = 0;

    int tryCount = 0;
    int singleCount = 0;
    std::string lastIp;
    bool upgradeMode = false;
    uint32_t progress = 0;
    int result = UPGRADE_FAILED;

    while (tryCount < tryMaxCount && singleCount < tryMaxCountSingle) {
        ++tryCount;
        ++singleCount;
        if (singleCount > 1) {
            job->PauseUnlessCancelled(timings.retryPauseMs);
        }
        if (job->cancelled.load()) {
            LOG_WARN(kJobFunc, "upgrade canceled, mac: %s", mac.c_str());
            result = UPGRADE_FAILED;
            break;
        }
        const DeviceInfoPtr record = job->Device();
        if (!record) {
            LOG_ERROR(kJobFunc, "invalid device info, mac: %s", mac.c_str());
            break;
        }
        const auto port = static_cast<uint16_t>(record->dataPort);
        const std::string ip = ChooseAddress(*context, *record, port);
        if (lastIp.empty()) {
            lastIp = ip;
        }
        if (lastIp != ip) {
            LOG_WARN(kJobFunc,
                     "%d(%d) times upgrade device, ip changed reset tryCount, mac: %s, lastIp: "
                     "%s, currentIp: %s",
                     singleCount, tryCount, mac.c_str(), lastIp.c_str(), ip.c_str());
            singleCount = 1;
            lastIp = ip;
        }
        LOG_INFO(kJobFunc,
                 "%d(%d) times upgrade device, mac: %s, ip: %s, ip2: %s, currentIp: %s:%d, "
                 "upgradeMode: %d",
                 singleCount, tryCount, mac.c_str(), record->ip, record->ip2, ip.c_str(),
                 static_cast<int>(port), upgradeMode ? 1 : 0);
        progress = 0;
        PostResult(*context, UPGRADE_STATE_STARTING, mac);

        ProgressReporter reporter = [&](uint32_t percent) {
            if (job->cancelled.load()) {
                return false;
            }
            progress = percent;
            if (context->sink) {
                context->sink->PostMessage(
                    MakeTextMessage(WM_UPGRADE_PROGRESS, static_cast<int32_t>(percent) - 1, mac));
            }
            return true;
        };
        const bool login = record->deviceActivated != 1;
        const CameraCredential& attemptLogin = credentials[credential];
        const int r =
            upgradeDevice(*context, mac, ip, port, attemptLogin.user, attemptLogin.password,
                          reporter, upgradeMode, login, &job->cancelled, job->StopToken());

        if (job->cancelled.load()) {
            // A cancelled transfer is a failure, never a completed upgrade.
            result = UPGRADE_FAILED;
            break;
        }
        if (r == UPGRADE_PACKAGE_ERROR || r == UPGRADE_NOT_SUPPORTED) {
            result = r;
            break;
        }
        if (r == UPGRADE_BAD_CREDENTIALS && credential + 1 < credentials.size()) {
            ++credential;
            LOG_WARN(kJobFunc, "login refused, next credentials (%s), mac: %s",
                     credentials[credential].source.c_str(), mac.c_str());
            --tryCount;
            --singleCount;
            result = r;
            continue;
        }
        if (r == UPGRADE_LOGIN_SET_MODE || r == UPGRADE_LOGIN_CLEAR_MODE) {
            upgradeMode = r == UPGRADE_LOGIN_SET_MODE;
            result = r;
            continue;
        }
        if (r == UPGRADE_WAIT_UPGRADE_MODE) {
            LOG_INFO(kJobFunc, "wait upgrade mode, mac: %s", mac.c_str());
            deviceEvent->Reset();
            job->waitingForDevice.store(true);
            PostResult(*context, UPGRADE_WAIT_UPGRADE_MODE, mac);
            // Checked after the reset: a cancellation's wake-up is never lost.
            const bool signalled =
                job->cancelled.load() || deviceEvent->Wait(upgradeModeTimeout * 1000);
            job->waitingForDevice.store(false);
            if (job->cancelled.load()) {
                LOG_WARN(kJobFunc, "upgrade canceled, mac: %s", mac.c_str());
                result = UPGRADE_FAILED;
                break;
            }
            if (!signalled) {
                LOG_WARN(kJobFunc, "device reboot timeout, mac: %s", mac.c_str());
                result = UPGRADE_TIMEOUT;
                break;
            }
            LOG_INFO(kJobFunc, "device reboot, mac: %s", mac.c_str());
            upgradeMode = true;
            job->PauseUnlessCancelled(timings.upgradeModePauseMs);
            // The wait does not change the result: attempts that run out
            // now end with the result from before it.
            continue;
        }
        if (r == UPGRADE_WAIT_COMPLETE || progress == UPGRADE_BLOCK_COUNT) {
            result = CompleteUpgrade(*context, job, record, mac, ip, port, r);
            break;
        }
        result = r;
        if (progress != 0) {
            break;
        }
    }

    if (IsIntermediateResult(result)) {
        // A progress state is never a final result.
        result = UPGRADE_FAILED;
    }
    if (result == UPGRADE_OK) {
        LOG_INFO(kJobFunc, "%d times upgrade succeed, mac: %s", tryCount, mac.c_str());
    } else {
        LOG_WARN(kJobFunc, "%d times upgrade failed %d, mac: %s", tryCount, result, mac.c_str());
    }
    if (job->cancelled.load() && result != UPGRADE_OK) {
        result = UPGRADE_CANCELLED;
    }
    job->SetDeviceEvent(nullptr);
    return result;
}

}  // namespace

int upgradeDevice(const BatchContextPtr& context, const UpgradeInfoPtr& job) {
    if (!job) {
        LOG_ERROR(kJobFunc, "invalid upgrade info");
        return UPGRADE_FAILED;
    }
    job->finished.store(false);
    const int result = RunJob(context, job);
    if (const DeviceInfoPtr record = job->Device()) {
        if (context->journal) {
            context->journal->Result(record->mac, result);
        }
        job->finished.store(true);
        PostResult(*context, result, record->mac);
    } else {
        job->finished.store(true);
    }
    return result;
}
